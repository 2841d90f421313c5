// Where the log file lies on Windows: %APPDATA%\Halcyra\CV.log, a folder the user owns. The stub runs
// elevated, so it opens the file itself by its wide path, follows no link at the file's name, and
// writes only when the opened file is where the path says; otherwise there is no log.
#include <windows.h>
#include <shlobj.h>

#include "base/final_path_win.h"
#include "log/log.h"

namespace cv {
namespace {

// The open log file, for the rest of the process.
UniqueHandle& LogFile() {
  static UniqueHandle file;
  return file;
}

// Appends one line with its CR LF; a line that cannot be written is lost, the run goes on.
void AppendLine(const std::string& line) {
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(LogFile().get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

UniqueHandle OpenLogFile() {
  wchar_t appData[MAX_PATH + 1] = {};
  // Without the folder there is nowhere sensible to write: a path relative to the current drive's
  // root could land anywhere.
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)) || appData[0] == L'\0') {
    return UniqueHandle();
  }
  const std::wstring folder = std::wstring(appData) + L"\\Halcyra";
  // The folder is made only where the application-data folder really is.
  std::wstring finalPath;
  const UniqueHandle appDataFolder = OpenFolderAsIs(appData);
  if (!appDataFolder || !ReachedByPath(appDataFolder.get(), appData, false, finalPath)) return UniqueHandle();
  CreateDirectoryW(folder.c_str(), nullptr);
  // Appending only: every write lands at the end, whoever else has the file open.
  return OpenOrMakeFileByPath(folder + L"\\CV.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, finalPath);
}

}  // namespace

void ConfigureLog() {
  LogFile() = OpenLogFile();
  if (LogFile()) {
    ConfigureLogLines(AppendLine);
  } else {
    ConfigureLogLines(nullptr);
  }
}

}  // namespace cv
