// The progress window: a modal dialog (resource 103) on a thread of its own while the main thread
// downloads, and CallbackHandler, the download's status callback, which logs each status, hands the
// answers and the bytes to the transfer, moves the bar and closes the dialog at the end of the data. Closing the window by hand ends the process.
// Both reach the dialog through the RunState they are given.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

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
// Like CloseProgressWindow, it posts to the dialog's thread and returns at once.
void SetProgressPosition(RunState& state, int percent);

// The download has ended: the dialog closes as soon as its thread gets to it, or as soon as it opens.
void CloseProgressWindow(RunState& state);

// The files of the running download, removed when the user closes the window before the download
// has ended.
void SetDownloadTarget(RunState& state, InstallerFiles& files);
void ClearDownloadTarget(RunState& state);

// What the installer transfer does with the answers and bytes the callback receives, and what the
// callback needs of it to move the bar. All of it is called on the thread that started the transfer.
class TransferSink {
 public:
  // Extra request lines for the request now being sent; empty for none.
  virtual std::wstring ExtraRequestHeaders() = 0;
  // The answer's status code and raw header block, before its body.
  virtual void Answered(std::uint32_t status, std::wstring_view headers) = 0;
  // Takes everything `stream` holds now: written, counted and hashed.
  virtual void Receive(IStream* stream) = 0;
  // Where in the file the body of the running request starts, the bytes of the file held so far,
  // and the file's whole length (0 when unknown).
  virtual std::uint64_t BodyStart() const = 0;
  virtual std::uint64_t Received() const = 0;
  virtual std::uint64_t Total() const = 0;

 protected:
  ~TransferSink() = default;
};

// The download's status callback. Reference counting is not used and never frees it. Every
// notification succeeds or is not implemented; the transfer is stopped only through AbortTransfer.
// It asks for the body as a stream that it hands to its TransferSink, adds the sink's request lines
// and hands it each answer's header block; it keeps the running transfer's binding, so that a
// stalled transfer can be aborted.
class CallbackHandler : public IBindStatusCallback, public IHttpNegotiate {
 public:
  explicit CallbackHandler(RunState& state) : state_(state) {}

  // The sink of the next transfers; null for none (a bare download of the platform's, whose status
  // lines and bar alone the callback then follows).
  void SetSink(TransferSink* sink) { sink_ = sink; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // Keeps the transfer's binding from its start to its stop, for AbortTransfer.
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding* binding) override;
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                       LPCWSTR statusText) override;
  // Records the result and signals Stopped(). May come on the thread that aborted the transfer.
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR) override;
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO* info) override;
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders) override;
  HRESULT STDMETHODCALLTYPE OnResponse(DWORD status, LPCWSTR headers, LPCWSTR, LPWSTR* additionalHeaders) override;

  // Before each transfer: Stopped() unsignalled, no result yet. False when no event can be made.
  bool PrepareTransfer();
  // Signalled when the running transfer has stopped; its result then.
  HANDLE Stopped() const { return stopped_.get(); }
  HRESULT StopResult() const { return stopResult_.load(); }

  // Asks the platform to stop the running transfer, which then ends with a failure result. False
  // when no transfer runs. Any thread may call it: the stream's read may hold the binding's own
  // thread until data comes.
  bool AbortTransfer();

 private:
  // Moves the bar (and logs the percentage) to `progress` of `maximum`.
  void StepTo(std::uint64_t progress, std::uint64_t maximum);

  RunState& state_;
  TransferSink* sink_ = nullptr;
  PercentTracker lastPercent_;
  SRWLOCK bindingLock_ = SRWLOCK_INIT;
  ComPtr<IBinding> binding_;  // under bindingLock_
  UniqueHandle stopped_;
  std::atomic<HRESULT> stopResult_{S_OK};
};

}  // namespace cv
