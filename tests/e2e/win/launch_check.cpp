// Starts a program through the stub's own launch with a file held as the checked one, the way the
// stub holds the installer from its check to its launch:
//   launch_check <report> <program> <checked file> <arguments>
// writes to <report> "started <exit code>" when the program ran (it is waited for), or
// "refused <ERROR line>" when the launch refused it. Ends with 90 when the checked file cannot be held.
#include <windows.h>

#include <cstdio>
#include <string>

#include "base/handles_win.h"
#include "src/launch_win.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) return 2;
  const std::wstring program = argv[2];
  cv::UniqueHandle checked(CreateFileW(argv[3], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!checked) return 90;
  std::string failure;
  const cv::UniqueHandle process =
      cv::StartCheckedProgram(program, L"\"" + program + L"\" " + argv[4], checked.get(), failure);
  std::string report = "refused " + failure;
  if (process) {
    WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    report = "started " + std::to_string(code);
  }
  FILE* file = _wfopen(argv[1], L"wb");
  if (file == nullptr) return 91;
  fputs(report.c_str(), file);
  return fclose(file) == 0 ? 0 : 91;
}
