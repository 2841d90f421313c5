// The desktop shortcut "Continue installation" that resumes a cancelled installation from the stub's
// copy in the temporary folder: its path, an existence test, and its creation through the shell link
// object.
#pragma once

#include <windows.h>

#include <string>

namespace cv {

// The current user's desktop folder followed by "\Continue installation.lnk"; empty when the
// desktop folder cannot be determined.
std::wstring MakeShortcutPath();

// True when `path` exists; a failed query counts as "absent" only for the errors that say so
// (ErrorMeansAbsent), any other error counts as existing.
bool PathExists(const std::wstring& path);

// True when the folder of `shortcutPath` (the desktop folder), links followed, lies inside the user's
// own profile folder. `desktopFolder` receives where that folder leads (as far as the platform can
// say). The shortcut is then written by that same path, through a handle checked to lead there.
bool ShortcutFolderIsInsideProfile(const std::wstring& shortcutPath, std::wstring& desktopFolder);

// Writes the shortcut `linkPath` that starts `targetPath` with no arguments and no working folder of
// its own, described as "Continue installation of Pellomax"; an existing file of that name is
// replaced, but a link or a hard link at that name is not written through. COM must be initialised on
// the calling thread. A negative result is a failure.
HRESULT CreateShortcut(const std::wstring& targetPath, const std::wstring& linkPath);

}  // namespace cv
