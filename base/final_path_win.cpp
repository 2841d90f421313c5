// Final-path checks of files and folders opened by a path (see final_path_win.h).
#include "base/final_path_win.h"

#include "base/path_text.h"

namespace cv {
namespace {

// `path` as the platform would write it: full, "." and ".." resolved, short names made long. Links
// are not followed here, so a link on the way still shows against the final path.
std::wstring ExpandedPath(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length >= full.size()) {
    full.resize(length);
    length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  if (length == 0 || length >= full.size()) return path;
  full.resize(length);
  std::wstring longPath(full.size() + MAX_PATH, L'\0');
  length = GetLongPathNameW(full.c_str(), longPath.data(), static_cast<DWORD>(longPath.size()));
  if (length == 0 || length >= longPath.size()) return full;
  longPath.resize(length);
  return longPath;
}

}  // namespace

std::wstring FinalPath(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return DosFormOfFinalPath(path);
    }
    path.resize(length);  // too small: `length` is the size needed, terminator included
  }
}

bool ReachedByPath(HANDLE handle, const std::wstring& path, bool onlyName, std::wstring& finalPath) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return false;
  finalPath = FinalPath(handle);
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return false;
  if (onlyName && info.nNumberOfLinks != 1) return false;
  return !finalPath.empty() && SamePathText(finalPath, ExpandedPath(path));
}

UniqueHandle OpenFolderAsIs(const std::wstring& path) {
  return UniqueHandle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

UniqueHandle OpenOrMakeFileByPath(const std::wstring& path, DWORD access, DWORD share, std::wstring& finalPath) {
  constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  access |= FILE_READ_ATTRIBUTES;
  // A new file is made with the right to remove it again; an existing one is opened without, so
  // that a reader that does not share deletion does not keep the stub out.
  bool made = true;
  UniqueHandle file(CreateFileW(path.c_str(), access | DELETE, share, nullptr, CREATE_NEW, kFlags, nullptr));
  if (!file && GetLastError() == ERROR_FILE_EXISTS) {
    made = false;
    file.reset(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, kFlags, nullptr));
  }
  if (!file) return file;
  if (ReachedByPath(file.get(), path, true, finalPath)) return file;
  if (made) {
    FILE_DISPOSITION_INFO remove{TRUE};
    SetFileInformationByHandle(file.get(), FileDispositionInfo, &remove, sizeof(remove));
  }
  file.reset();
  SetLastError(ERROR_CANT_ACCESS_FILE);
  return file;
}

}  // namespace cv
