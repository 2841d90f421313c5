// Folders and paths the platform gives the stub: the user's temporary folder and the stub's own path.
#pragma once

#include <string>

namespace cv {

// The user's temporary folder, ending in a backslash, however long; empty (with the platform's last
// error) when the platform cannot say.
std::wstring TempFolder();

// Full path of the running executable, however long; empty when the platform cannot say.
std::wstring OwnModulePath();

}  // namespace cv
