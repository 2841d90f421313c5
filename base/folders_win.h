// Folders and paths the platform gives the stub: the user's temporary folder, the Windows folder's
// Temp, and the stub's own path.
#pragma once

#include <string>

namespace cv {

// The user's temporary folder, ending in a backslash, however long; empty (with the platform's last
// error) when the platform cannot say.
std::wstring TempFolder();

// The Temp folder of the Windows directory, ending in a backslash: a place that no setting of the
// user's (environment, shell folders) moves. Empty (with the platform's last error) when the
// platform cannot say.
std::wstring WindowsTempFolder();

// Full path of the running executable, however long; empty when the platform cannot say.
std::wstring OwnModulePath();

}  // namespace cv
