// Test helper standing in for the real installer. It writes its raw command line (UTF-8) to
// "test_installer_record.txt" beside itself, then acts as its arguments say:
//   --exit <n>          ends with exit code n (unsigned decimal, default 0)
//   --message <text>    posts text (one byte per character) into the stub's mailslot before ending
//   --long-message      posts a 64-byte message instead
//   --broadcast         sends WM_SETTINGCHANGE to every top-level window and waits for their answers,
//                       as installers that change the environment do (see Broadcast); ends with 93
//                       when no window of the process that started it was reached
// Unknown arguments (the stub's "-id" and "-v", padding) are ignored.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

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

bool Record(const wchar_t* commandLine) {
  wchar_t self[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return false;
  std::wstring path(self);
  path.erase(path.find_last_of(L'\\') + 1);
  path += L"test_installer_record.txt";

  const int size = WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, text.data(), size, nullptr, nullptr);
  text.resize(static_cast<std::size_t>(size) - 1);

  FILE* file = _wfopen(path.c_str(), L"wb");
  if (file == nullptr) return false;
  const bool ok = fwrite(text.data(), 1, text.size(), file) == text.size();
  return fclose(file) == 0 && ok;
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
