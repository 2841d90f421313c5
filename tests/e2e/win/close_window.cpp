// Test helper: gives the top-level window with the given title the close command, as Alt+F4 or the
// taskbar's Close would.
//   close_window.exe <title>
// Exit value 0 when such a window was found, 1 otherwise.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  const HWND window = FindWindowW(nullptr, argv[1]);
  if (window == nullptr) return 1;
  PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  return 0;
}
