// Test helper standing in for the real installer. It writes its raw command line (UTF-8) to
// "test_installer_record.txt" in the temporary folder (not beside itself: the stub removes its own
// folder after the run), then acts as its arguments say:
//   --exit <n>          ends with exit code n (unsigned decimal, default 0)
//   --message <text>    posts text (one byte per character) into the stub's mailslot before ending
//   --long-message      posts a 64-byte message instead
// Unknown arguments (the stub's "-id" and "-v", padding) are ignored.
#include <windows.h>
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

bool Record(const wchar_t* commandLine) {
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH) return false;
  const std::wstring path = std::wstring(temp) + L"test_installer_record.txt";

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
    } else if (arg == L"--long-message") {
      std::string bytes;
      for (int k = 0; k < 64; ++k) bytes.push_back(static_cast<char>('A' + k % 26));
      if (!Post(bytes)) return 92;
    }
  }
  LocalFree(argv);
  ExitProcess(static_cast<UINT>(exitCode));
}
