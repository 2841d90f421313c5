// The continuation shortcut on the platform: desktop folder and where it leads, attribute query, the
// shell link object and the link file written through a checked handle.
#include "src/shortcut_win.h"

#include <shlobj.h>
#include <knownfolders.h>
#include <shobjidl.h>

#include "base/final_path_win.h"
#include "base/handles_win.h"
#include "base/path_text.h"
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

bool ShortcutFolderIsInsideProfile(const std::wstring& shortcutPath, std::wstring& desktopFolder) {
  desktopFolder = shortcutPath.substr(0, shortcutPath.find_last_of(L'\\'));
  // The profile's place comes from the system's list of profiles, not from the user's settings.
  wchar_t* profile = nullptr;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_Profile, 0, nullptr, &profile))) return false;
  const UniqueHandle profileFolder = OpenFolderAsIs(profile);
  CoTaskMemFree(profile);
  const UniqueHandle desktopHandle = OpenFolderAsIs(desktopFolder);
  if (!profileFolder || !desktopHandle) return false;
  const std::wstring profileFinal = FinalPath(profileFolder.get());
  const std::wstring desktopFinal = FinalPath(desktopHandle.get());
  if (!desktopFinal.empty()) desktopFolder = desktopFinal;
  return !profileFinal.empty() && PathIsInside(desktopFinal, profileFinal);
}

HRESULT CreateShortcut(const std::wstring& targetPath, const std::wstring& linkPath) {
  ComPtr<IShellLinkW> link;
  HRESULT result =
      CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void());
  if (FAILED(result)) return result;

  link->SetPath(targetPath.c_str());
  link->SetDescription(kShortcutDescription);

  // The link's bytes are made in memory and written by the stub itself through a handle that leads
  // to `linkPath`: saving by name would follow a link planted at that name.
  ComPtr<IPersistStream> persist;
  if (FAILED(result = link->QueryInterface(IID_IPersistStream, persist.put_void()))) return result;
  ComPtr<IStream> stream;
  if (FAILED(result = CreateStreamOnHGlobal(nullptr, TRUE, stream.put()))) return result;
  if (FAILED(result = persist->Save(stream.get(), TRUE))) return result;
  HGLOBAL memory = nullptr;
  if (FAILED(result = GetHGlobalFromStream(stream.get(), &memory))) return result;
  STATSTG size{};
  if (FAILED(result = stream->Stat(&size, STATFLAG_NONAME))) return result;

  std::wstring finalPath;
  const UniqueHandle file = OpenOrMakeFileByPath(linkPath, GENERIC_WRITE, 0, finalPath);
  if (!file) return HRESULT_FROM_WIN32(GetLastError());
  const DWORD length = static_cast<DWORD>(size.cbSize.QuadPart);
  const void* bytes = GlobalLock(memory);
  DWORD written = 0;
  const bool saved = bytes != nullptr && WriteFile(file.get(), bytes, length, &written, nullptr) &&
                     written == length && SetEndOfFile(file.get());
  const DWORD error = GetLastError();
  if (bytes != nullptr) GlobalUnlock(memory);
  SetLastError(error);
  return saved ? S_OK : HRESULT_FROM_WIN32(error);
}

}  // namespace cv
