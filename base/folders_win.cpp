// The temporary folders and the stub's own path, in buffers that grow to what the platform needs.
#include "base/folders_win.h"

#include <windows.h>

namespace cv {

std::wstring TempFolder() {
  std::wstring folder(MAX_PATH + 1, L'\0');
  for (;;) {
    const DWORD length = GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
    if (length == 0) return std::wstring();
    if (length < folder.size()) {
      folder.resize(length);
      return folder;
    }
    folder.resize(length);  // too small: `length` is the size needed, terminator included
  }
}

std::wstring WindowsTempFolder() {
  std::wstring folder(MAX_PATH + 1, L'\0');
  for (;;) {
    const UINT length = GetWindowsDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
    if (length == 0) return std::wstring();
    if (length < folder.size()) {
      folder.resize(length);
      break;
    }
    folder.resize(length);  // too small: `length` is the size needed, terminator included
  }
  if (folder.back() != L'\\') folder += L'\\';
  return folder + L"Temp\\";
}

std::wstring OwnModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return std::wstring();  // longer than any path the platform makes
    path.resize(path.size() * 2);
  }
}

}  // namespace cv
