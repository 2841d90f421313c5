// The continuation shortcut on the platform: desktop folder, attribute query, shell link object.
#include "src/shortcut_win.h"

#include <shlobj.h>
#include <shobjidl.h>

#include "base/handles_win.h"
#include "src/shortcut.h"

namespace cv {

std::wstring MakeShortcutPath() {
  // The folder query writes at most MAX_PATH characters.
  wchar_t desktop[MAX_PATH + 1] = {};
  if (!SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE)) return std::wstring();
  return ShortcutPathOn(desktop);
}

bool PathExists(const std::wstring& path) {
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  return !ErrorMeansAbsent(GetLastError());
}

HRESULT CreateShortcut(const std::wstring& targetPath, const std::wstring& linkPath) {
  ComPtr<IShellLinkW> link;
  HRESULT result =
      CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void());
  if (FAILED(result)) return result;

  link->SetPath(targetPath.c_str());
  link->SetDescription(kShortcutDescription);

  ComPtr<IPersistFile> file;
  result = link->QueryInterface(IID_IPersistFile, file.put_void());
  if (FAILED(result)) return result;
  return file->Save(linkPath.c_str(), TRUE);
}

}  // namespace cv
