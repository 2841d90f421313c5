// Test helper standing in for the real installer. It writes its raw command line (UTF-8) to
// "test_installer_record.txt" in the temporary folder (not beside itself: the stub removes its own
// folder after the run), then acts as its arguments say:
//   --exit <n>          ends with exit code n (unsigned decimal, default 0)
//   --message <text>    posts text (one byte per character) into the stub's mailslot before ending
//   --long-message      posts a 64-byte message instead
//   --inspect           writes "test_installer_inspect.txt" to the temporary folder: its own path, the
//                       access list of its folder as read back, and what renaming and deleting that
//                       folder gave (1 or 0 and the error number); ends with 94 when it cannot
//   --digest            writes "test_installer_digest.txt" to the temporary folder: the size and the
//                       CRC-32 (decimal) of its own file, read back from disk as it was started
//   --broadcast         sends WM_SETTINGCHANGE to every top-level window and waits for their answers,
//                       as installers that change the environment do (see Broadcast); ends with 93
//                       when no window of the process that started it was reached
// Unknown arguments (the stub's "-id" and "-v", padding) are ignored.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "src/crc32.h"

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

DWORD ParentProcessId() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  DWORD parent = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
  }
  CloseHandle(snapshot);
  return parent;
}

// Broadcasts WM_SETTINGCHANGE and waits until every top-level window has answered. A thread in a
// single-threaded COM apartment owns a hidden window of COM's: Windows has made it top-level, so that
// the broadcast reaches it, while Wine makes it message-only, so the message goes to the message-only
// windows of the starting process as well. The number of that process's windows reached.
int Broadcast() {
  const auto text = reinterpret_cast<LPARAM>(L"Environment");
  SendMessageW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, text);
  const DWORD parent = ParentProcessId();
  int reached = 0;
  for (const HWND level : {HWND(nullptr), HWND_MESSAGE}) {
    for (HWND window = nullptr; (window = FindWindowExW(level, window, nullptr, nullptr)) != nullptr;) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner != parent) continue;
      if (level == HWND_MESSAGE) SendMessageW(window, WM_SETTINGCHANGE, 0, text);
      ++reached;
    }
  }
  return reached;
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

// The size and CRC-32 of the program's own file: which file the stub started.
bool Digest() {
  wchar_t self[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return false;
  const HANDLE file = CreateFileW(self, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  cv::Crc32 crc;
  unsigned long long size = 0;
  static char piece[1 << 16];
  DWORD read = 0;
  while (ReadFile(file, piece, sizeof(piece), &read, nullptr) && read > 0) {
    crc.Update(piece, read);
    size += read;
  }
  CloseHandle(file);
  return WriteTempFile(L"test_installer_digest.txt", std::to_string(size) + " " + std::to_string(crc.Value()));
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
      if (!Inspect()) return 94;
    } else if (arg == L"--digest") {
      if (!Digest()) return 95;
    } else if (arg == L"--broadcast") {
      if (Broadcast() == 0) return 93;
    } else if (arg == L"--long-message") {
      std::string bytes;
      for (int k = 0; k < 64; ++k) bytes.push_back(static_cast<char>('A' + k % 26));
      if (!Post(bytes)) return 92;
    }
  }
  LocalFree(argv);
  ExitProcess(static_cast<UINT>(exitCode));
}
