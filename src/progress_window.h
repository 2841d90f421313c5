// The progress window: a modal dialog (resource 103) on a thread of its own while the main thread
// downloads. The download callback moves its bar and closes it; closing it by hand ends the process.
#pragma once

#include <windows.h>

#include <string>

namespace cv {

constexpr int kProgressDialogId = 103;
constexpr int kProgressBarId = 1001;

// Thread routine: shows the dialog from the module instance given as the parameter; returns 0.
DWORD WINAPI RunProgressWindow(LPVOID instance);

INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Moves the bar to `percent`. Before the dialog has opened there is no bar and nothing happens.
void SetProgressPosition(int percent);

// The download has ended: closes the dialog now, or as soon as it opens.
void CloseProgressWindow();

// The file the running download writes, removed when the user closes the window before the
// download has ended.
void SetDownloadTarget(const std::wstring& path);
void ClearDownloadTarget();

}  // namespace cv
