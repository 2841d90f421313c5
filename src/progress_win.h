// The progress window: a modal dialog (resource 103) on a thread of its own while the main thread
// downloads, and CallbackHandler, the download's status callback, which logs each status, moves the
// bar and closes the dialog at the end of the data. Closing the window by hand ends the process.
// Both reach the dialog through the RunState they are given.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <string>

#include "src/progress.h"
#include "src/stages.h"

namespace cv {

constexpr int kProgressDialogId = 103;
constexpr int kProgressBarId = 1001;

// Thread routine: shows the dialog from the module in the RunState given as the parameter; returns 0.
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
// notification succeeds or is not implemented, so the transfer is never asked to stop.
class CallbackHandler : public IBindStatusCallback {
 public:
  explicit CallbackHandler(RunState& state) : state_(state) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                       LPCWSTR statusText) override;
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

 private:
  RunState& state_;
  PercentTracker lastPercent_;
};

}  // namespace cv
