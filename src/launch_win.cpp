// Starting a checked program (see launch_win.h).
#include "src/launch_win.h"

#include "src/outcome.h"

namespace cv {
namespace {

// How long a process that was refused may take to end.
constexpr DWORD kEndWaitMs = 5000;

// True when the two handles hold the same file: same volume, same file index.
bool SameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION first{}, second{};
  return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber && first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

// Opens the file the suspended process was made from. The platform names the image by the path it
// really opened, links resolved, so the file opened here is the one it mapped; the image is mapped,
// so it can be neither replaced nor removed while the process exists.
UniqueHandle OpenImageOf(HANDLE process, DWORD& error) {
  std::wstring image(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = static_cast<DWORD>(image.size());
    if (QueryFullProcessImageNameW(process, 0, image.data(), &length)) {
      image.resize(length);
      break;
    }
    error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER || image.size() >= 32768) return UniqueHandle();
    image.resize(image.size() * 2);
  }
  UniqueHandle file(CreateFileW(image.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) error = GetLastError();
  return file;
}

}  // namespace

UniqueHandle StartCheckedProgram(const std::wstring& programPath, const std::wstring& commandLine,
                                 HANDLE checkedFile, std::string& failureLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION started{};
  // The platform may write into the command line.
  std::wstring mutableLine = commandLine;
  if (!CreateProcessW(programPath.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                      nullptr, &startup, &started)) {
    failureLine = LaunchFailedLine(GetLastError());
    return UniqueHandle();
  }
  UniqueHandle process(started.hProcess);
  const UniqueHandle thread(started.hThread);

  DWORD error = 0;
  const UniqueHandle image = OpenImageOf(process.get(), error);
  if (!image) {
    failureLine = LaunchFailedLine(error);
  } else if (!SameFile(image.get(), checkedFile)) {
    failureLine = kNotTheCheckedFileLine;
  } else if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
    failureLine = LaunchFailedLine(GetLastError());
  } else {
    return process;
  }
  // Ended before it ran: what it would have done must not happen, not even in part.
  TerminateProcess(process.get(), ERROR_CANT_ACCESS_FILE);
  WaitForSingleObject(process.get(), kEndWaitMs);
  return UniqueHandle();
}

}  // namespace cv
