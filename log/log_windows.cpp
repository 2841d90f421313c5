// Where the log file lies on Windows: %APPDATA%\Halcyra\CV.log (ANSI code page path).
#include <windows.h>
#include <shlobj.h>

#include "log/log.h"

namespace cv {

void ConfigureLog() {
  char folder[MAX_PATH + 1] = {};
  const HRESULT hr = SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  // Without the folder there is nowhere sensible to write: a path relative to the current drive's
  // root could land anywhere, so file output stays off instead.
  if (FAILED(hr) || folder[0] == '\0') {
    ConfigureLogFile(std::string());
    return;
  }
  ConfigureLogFile(std::string(folder) + "\\Halcyra\\CV.log");
}

}  // namespace cv
