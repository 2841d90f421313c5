// Starting a program that was checked: the file is named explicitly (no shell, no file-class verbs),
// the process starts suspended, and it runs only when the image the platform mapped is the very file
// the caller holds open since its check.
#pragma once

#include <windows.h>

#include <string>

#include "base/handles_win.h"

namespace cv {

// Starts `programPath` with the command line `commandLine` and returns its process handle, or an
// invalid handle and the ERROR line that says why. `checkedFile` is the caller's handle of the
// checked file: a process whose image is another file is ended before it has run a single
// instruction of its own.
UniqueHandle StartCheckedProgram(const std::wstring& programPath, const std::wstring& commandLine,
                                 HANDLE checkedFile, std::string& failureLine);

}  // namespace cv
