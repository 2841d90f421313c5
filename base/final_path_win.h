// Files and folders reached by a path the user's own programs may have planted links in (the
// temporary folder, the application-data folder, the desktop): opened without following a link at
// the last step, and accepted only when the platform's final path of the handle is the path itself,
// so that no junction, symbolic link or mount point on the way led somewhere else.
#pragma once

#include <windows.h>

#include <string>

#include "base/handles_win.h"

namespace cv {

// The path by which the platform reaches what `handle` holds, every link resolved, in DOS form
// ("C:\...", "\\host\share\..."); empty (with the platform's last error) when it cannot say.
std::wstring FinalPath(HANDLE handle);

// True when `handle`, opened by `path`, is no reparse point and its final path is `path` (in full,
// with long names). With `onlyName` the file must also have no other name (no hard link elsewhere).
// `finalPath` receives where the handle really leads.
bool ReachedByPath(HANDLE handle, const std::wstring& path, bool onlyName, std::wstring& finalPath);

// Opens the folder `path` for reading its attributes, not following a link at its last step.
UniqueHandle OpenFolderAsIs(const std::wstring& path);

// Opens the file `path` for `access` (besides reading its attributes), making it when it is missing,
// not following a link at its last step, and keeps it only when ReachedByPath holds with `onlyName`
// set. A file made by this call and then refused is removed again. On refusal, `finalPath` says
// where the path led and the last error is ERROR_CANT_ACCESS_FILE; on any other failure the
// platform's last error is kept.
UniqueHandle OpenOrMakeFileByPath(const std::wstring& path, DWORD access, DWORD share, std::wstring& finalPath);

}  // namespace cv
