// A stand-in for the real Corvida installer, used by the demo: shows a small window for a moment and
// exits with the code given as "-exit N" on its command line (0 when absent). With "-cancel" it acts
// as an installation the user cancelled: it posts its cancellation message into the stub's mailslot
// and exits with 2.
#include <windows.h>

#include <cwchar>

namespace {

constexpr char kCancelMessage[] = "closed by the user";

void PostCancelMessage() {
  const HANDLE slot = CreateFileW(L"\\\\.\\mailslot\\talmeni_halcyra", GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (slot == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(slot, kCancelMessage, sizeof kCancelMessage - 1, &written, nullptr);
  CloseHandle(slot);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  int exitCode = 0;
  if (const wchar_t* option = wcsstr(commandLine, L"-exit ")) exitCode = _wtoi(option + 6);
  const bool cancel = wcsstr(commandLine, L"-cancel") != nullptr;
  HWND window = CreateWindowExW(0, L"STATIC", L"Installing Corvida...", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                CW_USEDEFAULT, CW_USEDEFAULT, 320, 120, nullptr, nullptr, nullptr, nullptr);
  const DWORD until = GetTickCount() + 1500;
  MSG message;
  while (GetTickCount() < until) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(20);
  }
  DestroyWindow(window);
  if (cancel) {
    PostCancelMessage();
    exitCode = 2;
  }
  return exitCode;
}
