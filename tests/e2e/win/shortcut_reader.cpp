// Test helper: loads a shell link and writes what it holds, one "key=value" line each (UTF-8), to an
// output file:
//   shortcut_reader.exe <link path> <output path>
// Keys: target, arguments, directory, description. Exit code 0, or the failing step's number.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(size) - 1);
  return out;
}

int Read(const wchar_t* linkPath, FILE* out) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    return 3;
  }
  IPersistFile* file = nullptr;
  int result = 4;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    result = 5;
    if (SUCCEEDED(file->Load(linkPath, STGM_READ))) {
      wchar_t text[INFOTIPSIZE] = {};
      link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
      fprintf(out, "target=%s\n", Utf8(text).c_str());
      text[0] = L'\0';
      link->GetArguments(text, INFOTIPSIZE);
      fprintf(out, "arguments=%s\n", Utf8(text).c_str());
      text[0] = L'\0';
      link->GetWorkingDirectory(text, MAX_PATH);
      fprintf(out, "directory=%s\n", Utf8(text).c_str());
      text[0] = L'\0';
      link->GetDescription(text, INFOTIPSIZE);
      fprintf(out, "description=%s\n", Utf8(text).c_str());
      result = 0;
    }
    file->Release();
  }
  link->Release();
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 1;
  if (FAILED(CoInitialize(nullptr))) return 2;
  FILE* out = _wfopen(argv[2], L"wb");
  int result = 6;
  if (out != nullptr) {
    result = Read(argv[1], out);
    if (fclose(out) != 0 && result == 0) result = 6;
  }
  CoUninitialize();
  return result;
}
