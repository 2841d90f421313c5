// Test helper standing in for the real installer. It writes its raw command line (UTF-8) to
// "test_installer_record.txt" in the temporary folder (not beside itself: the stub removes its own
// folder after the run), then acts as its arguments say:
//   --exit <n>          ends with exit code n (unsigned decimal, default 0)
//   --message <text>    posts text (one byte per character) into the stub's mailslot before ending
//   --long-message      posts a 64-byte message instead
//   --inspect           writes "test_installer_inspect.txt" to the temporary folder: its own path, the
//                       access list of its folder as read back, and what renaming and deleting that
//                       folder gave (1 or 0 and the error number)
// Unknown arguments (the stub's "-id" and "-v", padding) are ignored.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

bool Post(const std::string& message) {
  const HANDLE slot = CreateFileW(L"\\\\.\\mailslot\\talmeni_halcyra", GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (slot == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(slot, message.data(), static_cast<DWORD>(message.size()), &written, nullptr);
  CloseHandle(slot);
  return ok && written == message.size();
}

std::wstring TempFile(const wchar_t* name) {
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(temp) + name;
}

std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
  bytes.resize(static_cast<std::size_t>(size) - 1);
  return bytes;
}

// Writes `text` to the file `name` of the temporary folder.
bool WriteTempFile(const wchar_t* name, const std::string& text) {
  const std::wstring path = TempFile(name);
  FILE* file = path.empty() ? nullptr : _wfopen(path.c_str(), L"wb");
  if (file == nullptr) return false;
  const bool ok = fwrite(text.data(), 1, text.size(), file) == text.size();
  return fclose(file) == 0 && ok;
}

bool Record(const wchar_t* commandLine) { return WriteTempFile(L"test_installer_record.txt", Utf8(commandLine)); }

// What another program of the user sees of the folder the installer was started from.
bool Inspect() {
  wchar_t self[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return false;
  const std::wstring path(self);
  const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));

  std::wstring access = L"none";
  const HANDLE handle = CreateFileW(folder.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                        &descriptor) == ERROR_SUCCESS) {
      LPWSTR text = nullptr;
      if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                               &text, nullptr)) {
        access = text;
        LocalFree(text);
      }
      LocalFree(descriptor);
    }
    CloseHandle(handle);
  }
  const BOOL renamed = MoveFileW(folder.c_str(), (folder + L"-moved").c_str());
  const DWORD renameError = renamed ? 0 : GetLastError();
  const BOOL removed = RemoveDirectoryW(folder.c_str());
  const DWORD removeError = removed ? 0 : GetLastError();

  const std::string report = "path: " + Utf8(path) + "\naccess: " + Utf8(access) + "\nrename: " +
                             std::to_string(renamed) + " " + std::to_string(renameError) + "\nremove: " +
                             std::to_string(removed) + " " + std::to_string(removeError) + "\n";
  return WriteTempFile(L"test_installer_inspect.txt", report);
}

}  // namespace

int wmain() {
  const wchar_t* commandLine = GetCommandLineW();
  if (!Record(commandLine)) return 90;

  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(commandLine, &argc);
  if (argv == nullptr) return 91;
  unsigned long exitCode = 0;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--exit" && i + 1 < argc) {
      exitCode = std::wcstoul(argv[++i], nullptr, 10);
    } else if (arg == L"--message" && i + 1 < argc) {
      const std::wstring text = argv[++i];
      std::string bytes;
      for (const wchar_t c : text) bytes.push_back(static_cast<char>(c & 0xFF));
      if (!Post(bytes)) return 92;
    } else if (arg == L"--inspect") {
      if (!Inspect()) return 93;
    } else if (arg == L"--long-message") {
      std::string bytes;
      for (int k = 0; k < 64; ++k) bytes.push_back(static_cast<char>('A' + k % 26));
      if (!Post(bytes)) return 92;
    }
  }
  LocalFree(argv);
  ExitProcess(static_cast<UINT>(exitCode));
}
