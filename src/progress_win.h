// The progress window: a modal dialog (resource 103) on a thread of its own while the main thread
// downloads, and CallbackHandler, the download's status callback, which logs each status, moves the
// bar and closes the dialog at the end of the data. Closing the window by hand ends the process.
// Both reach the dialog through the RunState they are given.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "src/progress.h"
#include "src/stages.h"

namespace cv {

constexpr int kProgressDialogId = 103;
constexpr int kProgressBarId = 1001;

// Loads the common controls and registers the progress bar's class. Called on the main thread
// before the dialog thread starts (see StartProgressWindow).
void InitProgressWindowControls();

// Thread routine: shows the dialog from the module in the RunState given as the parameter; returns 0.
// InitProgressWindowControls must have run before.
DWORD WINAPI RunProgressWindow(LPVOID state);

// Moves the bar to `percent`. Before the dialog has opened there is no bar and nothing happens.
void SetProgressPosition(RunState& state, int percent);

// The download has ended: closes the dialog now, or as soon as it opens.
void CloseProgressWindow(RunState& state);

// The files of the running download, removed when the user closes the window before the download
// has ended.
void SetDownloadTarget(RunState& state, InstallerFiles& files);
void ClearDownloadTarget(RunState& state);

// The download's status callback. Reference counting is not used and never frees it. Every
// notification succeeds or is not implemented; the transfer is stopped only through AbortTransfer
// (also by the callback itself, when more than the installer's size arrives).
// It also notes the transfer's last sign of life and keeps its binding, so that a stalled transfer
// can be found and aborted.
class CallbackHandler : public IBindStatusCallback {
 public:
  explicit CallbackHandler(RunState& state) : state_(state) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // Keeps the transfer's binding from its start to its stop, for AbortTransfer.
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding* binding) override;
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                       LPCWSTR statusText) override;
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override;
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

  // GetTickCount64() of the transfer's last sign of life: its start (NoteActivity, OnStartBinding)
  // and every status, one per piece of data received. Read from the stall watch's thread.
  void NoteActivity() { lastActivity_.store(GetTickCount64()); }
  ULONGLONG LastActivity() const { return lastActivity_.load(); }

  // Asks the platform to stop the running transfer, which then ends with a failure result. False
  // when no transfer runs. Called on the thread that started the transfer, the binding's own.
  bool AbortTransfer();

  // The installer's length from the document, when it names one: a transfer that shows more is
  // aborted (ExceedsInstallerSize), and ExceededSize() then tells.
  void SetSizeLimit(std::optional<std::uint64_t> size) {
    sizeLimit_ = size;
    exceededSize_ = false;
  }
  bool ExceededSize() const { return exceededSize_; }

 private:
  RunState& state_;
  PercentTracker lastPercent_;
  ComPtr<IBinding> binding_;
  std::atomic<ULONGLONG> lastActivity_{0};
  std::optional<std::uint64_t> sizeLimit_;
  bool exceededSize_ = false;
};

}  // namespace cv
