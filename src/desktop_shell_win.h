// Opening a document or address as the signed-in user rather than as the elevated stub: the request
// goes to the desktop shell's own process, which runs without administrator rights, and that process
// picks the program by the user's own file classes. COM must be initialised on the calling thread.
#pragma once

#include <windows.h>

#include <string>

namespace cv {

// Asks the desktop shell to open `target` with its default verb. S_OK once the shell has taken the
// request; a failure (S_FALSE among them: no desktop shell runs) when there is no such route.
HRESULT OpenAsDesktopUser(const std::wstring& target);

}  // namespace cv
