// Texts and decisions of the continuation shortcut (see shortcut.h).
#include "src/shortcut.h"

namespace cv {

std::wstring ShortcutPathOn(std::wstring_view desktop) {
  if (desktop.empty()) return std::wstring();
  std::wstring path(desktop);
  if (path.back() != L'\\') path.push_back(L'\\');
  path.append(kShortcutFileName);
  return path;
}

bool ErrorMeansAbsent(std::uint32_t errorCode) {
  switch (errorCode) {
    case 2:    // ERROR_FILE_NOT_FOUND
    case 3:    // ERROR_PATH_NOT_FOUND
    case 15:   // ERROR_INVALID_DRIVE
    case 21:   // ERROR_NOT_READY
    case 53:   // ERROR_BAD_NETPATH
    case 87:   // ERROR_INVALID_PARAMETER
    case 123:  // ERROR_INVALID_NAME
    case 161:  // ERROR_BAD_PATHNAME
      return true;
    default:
      return false;
  }
}

}  // namespace cv
