// The progress dialog: its thread, its dialog procedure, and the calls by which the main thread's
// download callback moves and closes it.
#include "src/progress_window.h"

#include <commctrl.h>

#include <atomic>

#include "src/run_state.h"
#include "src/stages.h"

namespace cv {
namespace {

constexpr wchar_t kWindowText[] = L"Downloading PMX Installer...";

// The download target for the dialog thread; written by the main thread before the flag is set.
wchar_t downloadTarget[MAX_PATH + 4];
std::atomic<bool> downloadTargetSet{false};

}  // namespace

DWORD WINAPI RunProgressWindow(LPVOID instance) {
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  DialogBoxParamW(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEW(kProgressDialogId), nullptr,
                  ProgressDialogProc, 0);
  return 0;
}

INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_CLOSE:
      // The user gave up: the process ends at once with 0, without the half-written installer.
      if (downloadTargetSet.load()) DeleteFileW(downloadTarget);
      ExitProcess(0);
    case WM_INITDIALOG:
      runState.progressBar.store(GetDlgItem(window, kProgressBarId));
      runState.dialogWindow.store(window);
      SetWindowTextW(window, kWindowText);
      // A download that ended before the dialog existed could not close it; the dialog closes
      // itself then. The flag is read after the window is published, and CloseProgressWindow sets
      // it before reading the window, so one of the two always sees the other.
      if (runState.downloadEnded.load()) EndDialog(window, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

void SetProgressPosition(int percent) {
  const HWND bar = runState.progressBar.load();
  if (bar != nullptr) SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void CloseProgressWindow() {
  runState.downloadEnded.store(true);
  const HWND dialog = runState.dialogWindow.load();
  if (dialog != nullptr) EndDialog(dialog, 0);
}

void SetDownloadTarget(const std::wstring& path) {
  if (path.size() >= std::size(downloadTarget)) return;
  path.copy(downloadTarget, path.size());
  downloadTarget[path.size()] = L'\0';
  downloadTargetSet.store(true);
}

void ClearDownloadTarget() { downloadTargetSet.store(false); }

void StartProgressWindow(HINSTANCE instance) {
  // The thread runs on by itself; its handle is not needed.
  UniqueHandle thread(CreateThread(nullptr, 0, RunProgressWindow, instance, 0, nullptr));
}

}  // namespace cv
