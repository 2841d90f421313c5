// Test helper: drives the stub's progress window code with dialog 103 taken from a stub's resources.
//   progress_window_check.exe <stub> late   the download ends before the dialog opens: the dialog
//                                           must close itself as soon as it has opened
//   progress_window_check.exe <stub> moves  the bar (range 0 to 100) follows SetProgressPosition,
//                                           and the end of the download, told from this (the
//                                           main) thread, closes the dialog
// Exit value 0 when the window behaved, 10 and above for the step that failed.
#include <windows.h>
#include <commctrl.h>

#include <cwchar>

#include "src/progress_win.h"

namespace {

// The state the run would hand to the progress window.
cv::RunState runState;

// Waits up to five seconds for the dialog thread to end.
bool Ends(HANDLE thread) { return WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0; }

int Late() {
  cv::CloseProgressWindow(runState);
  const HANDLE thread = CreateThread(nullptr, 0, cv::RunProgressWindow, &runState, 0, nullptr);
  if (!Ends(thread)) return 10;
  // The dialog did open (and so was closed by itself, not by a failure to open).
  return runState.dialogWindow.load() != nullptr ? 0 : 11;
}

int Moves() {
  const HANDLE thread = CreateThread(nullptr, 0, cv::RunProgressWindow, &runState, 0, nullptr);
  for (int i = 0; i < 100 && runState.progressBar.load() == nullptr; ++i) Sleep(50);
  const HWND bar = runState.progressBar.load();
  if (bar == nullptr) return 10;
  wchar_t title[64] = {};
  GetWindowTextW(runState.dialogWindow.load(), title, 64);
  if (std::wcscmp(title, L"Downloading PMX Installer...") != 0) return 11;
  if (SendMessageW(bar, PBM_GETPOS, 0, 0) != 0) return 12;
  // The position is posted to the dialog's thread: it arrives a moment later.
  cv::SetProgressPosition(runState, 42);
  for (int i = 0; i < 100 && SendMessageW(bar, PBM_GETPOS, 0, 0) != 42; ++i) Sleep(50);
  if (SendMessageW(bar, PBM_GETPOS, 0, 0) != 42) return 13;
  if (SendMessageW(bar, PBM_GETRANGE, FALSE, 0) != 100) return 14;
  cv::CloseProgressWindow(runState);
  return Ends(thread) ? 0 : 15;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const HMODULE stub = LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (stub == nullptr) return 3;
  runState.moduleInstance = stub;
  // As the stub does before it starts the dialog thread.
  cv::InitProgressWindowControls();
  if (std::wcscmp(argv[2], L"late") == 0) return Late();
  if (std::wcscmp(argv[2], L"moves") == 0) return Moves();
  return 2;
}
