// A stand-in for the real Corvida installer, used by the demo: shows a small window for a moment and
// exits with the code given as "-exit N" on its command line (0 when absent).
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  int exitCode = 0;
  if (const wchar_t* option = wcsstr(commandLine, L"-exit ")) exitCode = _wtoi(option + 6);
  HWND window = CreateWindowExW(0, L"STATIC", L"Installing Corvida...", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                CW_USEDEFAULT, CW_USEDEFAULT, 320, 120, nullptr, nullptr, nullptr, nullptr);
  const DWORD until = GetTickCount() + 1500;
  MSG message;
  while (GetTickCount() < until) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(20);
  }
  DestroyWindow(window);
  return exitCode;
}
