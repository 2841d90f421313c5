// The progress dialog: its thread, its dialog procedure, the calls by which the main thread's
// download callback moves and closes it, and the callback itself.

// comctl32 is delay-loaded: its functions are declared as plain functions, so that calls go to the
// delay-load thunks. Through the import pointers the 32-bit linker drops the thunks (it takes them
// for unused import stubs) and the pointers start at address 0, unless link-time optimisation
// happens to name the thunks.
#define WINCOMMCTRLAPI
#include "src/progress_win.h"

#include <commctrl.h>

#include "base/wait_win.h"
#include "log/log.h"

namespace cv {
namespace {

constexpr wchar_t kWindowText[] = L"Downloading PMX Installer...";

// Posted by the download's thread: the dialog ends itself on its own thread. The download's thread
// only posts to the window, never waits for it: ending the dialog from there would hold the transfer
// until the dialog's thread had hidden the window (2 s under Wine without a window manager).
constexpr UINT kEndDialogMessage = WM_APP + 1;

RunState& StateOf(HWND window) { return *reinterpret_cast<RunState*>(GetWindowLongPtrW(window, DWLP_USER)); }

INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE: {
      // The user gave up: the process ends at once with 0, without the half-written installer.
      if (InstallerFiles* files = StateOf(window).downloadFiles.load()) files->RemoveBeforeExit();
      ExitProcess(0);
    }
    case WM_INITDIALOG: {
      SetWindowLongPtrW(window, DWLP_USER, lParam);
      RunState& state = StateOf(window);
      state.progressBar.store(GetDlgItem(window, kProgressBarId));
      state.dialogWindow.store(window);
      SetWindowTextW(window, kWindowText);
      // A download that ended before the dialog existed could not close it; the dialog closes
      // itself then. The flag is read after the window is published, and CloseProgressWindow sets
      // it before reading the window, so one of the two always sees the other.
      if (state.downloadEnded.load()) EndDialog(window, 0);
      return TRUE;
    }
    case kEndDialogMessage:
      EndDialog(window, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void InitProgressWindowControls() {
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
}

DWORD WINAPI RunProgressWindow(LPVOID parameter) {
  RunState* state = static_cast<RunState*>(parameter);
  DialogBoxParamW(state->moduleInstance, MAKEINTRESOURCEW(kProgressDialogId), nullptr, ProgressDialogProc,
                  reinterpret_cast<LPARAM>(state));
  return 0;
}

void StartProgressWindow(RunState& state) {
  // comctl32 loads here, on the main thread, while no other thread of ours runs. Its DllMain runs
  // under the loader lock and registers window classes, which first waits for the process's one-time
  // set-up of the system's window classes; under Wine that set-up loads DLLs (uxtheme) and so needs
  // the loader lock. When the dialog thread loaded comctl32 while the main thread made its first
  // window (the download's notification window, a message box), each thread held what the other
  // waited for and the run stopped for good.
  InitProgressWindowControls();
  state.progressThread.reset(CreateThread(nullptr, 0, RunProgressWindow, &state, 0, nullptr));
}

void WaitForProgressWindowToClose(RunState& state) {
  // Bounded: a dialog that cannot close never holds the run back for long.
  constexpr DWORD kCloseLimitMs = 5000;
  if (state.downloadEnded.load() && state.progressThread) {
    WaitAnsweringMessages(state.progressThread.get(), kCloseLimitMs);
  }
}

void SetProgressPosition(RunState& state, int percent) {
  const HWND bar = state.progressBar.load();
  if (bar != nullptr) PostMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void CloseProgressWindow(RunState& state) {
  state.downloadEnded.store(true);
  const HWND dialog = state.dialogWindow.load();
  if (dialog != nullptr) PostMessageW(dialog, kEndDialogMessage, 0, 0);
}

void SetDownloadTarget(RunState& state, InstallerFiles& files) { state.downloadFiles.store(&files); }

void ClearDownloadTarget(RunState& state) { state.downloadFiles.store(nullptr); }

namespace {

// Holds an exclusive lock for as long as the object lives.
class ExclusiveLock {
 public:
  explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
  ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

 private:
  SRWLOCK& lock_;
};

}  // namespace

HRESULT STDMETHODCALLTYPE CallbackHandler::QueryInterface(REFIID id, void** object) {
  if (IsEqualIID(id, IID_IBindStatusCallback) || IsEqualIID(id, IID_IUnknown)) {
    *object = static_cast<IBindStatusCallback*>(this);
    return S_OK;
  }
  if (IsEqualIID(id, IID_IHttpNegotiate)) {
    *object = static_cast<IHttpNegotiate*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

bool CallbackHandler::PrepareTransfer() {
  if (!stopped_) stopped_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!stopped_) return false;
  ResetEvent(stopped_.get());
  stopResult_.store(S_OK);
  return true;
}

HRESULT STDMETHODCALLTYPE CallbackHandler::OnStartBinding(DWORD, IBinding* binding) {
  const ExclusiveLock lock(bindingLock_);
  binding_.reset();
  if (binding != nullptr) {
    binding->AddRef();
    *binding_.put() = binding;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CallbackHandler::OnStopBinding(HRESULT result, LPCWSTR) {
  {
    const ExclusiveLock lock(bindingLock_);
    binding_.reset();
  }
  stopResult_.store(result);
  if (stopped_) SetEvent(stopped_.get());
  return S_OK;
}

bool CallbackHandler::AbortTransfer() {
  const ExclusiveLock lock(bindingLock_);
  return binding_ && SUCCEEDED(binding_->Abort());
}

HRESULT STDMETHODCALLTYPE CallbackHandler::GetBindInfo(DWORD* flags, BINDINFO* info) {
  // Asynchronous, with the body as a stream the callback reads as it comes. The platform still
  // names its cache file, as for a download to a file, so the statuses stay the same.
  *flags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA | BINDF_NEEDFILE;
  const ULONG size = info->cbSize;
  ZeroMemory(info, size);
  info->cbSize = size;
  info->dwBindVerb = BINDVERB_GET;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CallbackHandler::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders) {
  *additionalHeaders = nullptr;
  const std::wstring lines = sink_ != nullptr ? sink_->ExtraRequestHeaders() : std::wstring();
  if (lines.empty()) return S_OK;
  const std::size_t bytes = (lines.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
  if (copy == nullptr) return E_OUTOFMEMORY;
  CopyMemory(copy, lines.c_str(), bytes);
  *additionalHeaders = copy;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CallbackHandler::OnResponse(DWORD status, LPCWSTR headers, LPCWSTR,
                                                      LPWSTR* additionalHeaders) {
  if (additionalHeaders != nullptr) *additionalHeaders = nullptr;
  if (sink_ != nullptr) sink_->Answered(status, headers != nullptr ? headers : L"");
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CallbackHandler::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) {
  if (sink_ == nullptr || medium == nullptr || medium->tymed != TYMED_ISTREAM || medium->pstm == nullptr) {
    return S_OK;
  }
  sink_->Receive(medium->pstm);
  StepTo(sink_->Received(), sink_->Total());
  return S_OK;
}

void CallbackHandler::StepTo(std::uint64_t progress, std::uint64_t maximum) {
  if (const auto percent = lastPercent_.Advance(progress, maximum)) {
    LOG(INFO) << *percent;
    SetProgressPosition(state_, *percent);
  }
}

HRESULT STDMETHODCALLTYPE CallbackHandler::OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                                      LPCWSTR) {
  const StatusAction action = ActionForStatus(statusCode);
  if (!action.line.empty()) LOG(INFO) << action.line;
  // The platform counts the running request's body; the bar counts the whole file.
  const std::uint64_t start = sink_ != nullptr ? sink_->BodyStart() : 0;
  const std::uint64_t total = sink_ != nullptr && sink_->Total() != 0 ? sink_->Total() : start + progressMax;
  if (action.progressStep) StepTo(start + progress, progressMax == 0 ? 0 : total);
  // A body that ended before its stated length is a broken transfer, not the end of the data: the
  // transfer goes on from there or fails, and says so itself.
  if (action.endStep && (progressMax == 0 || progress >= progressMax)) {
    LOG(INFO) << "End download";
    CloseProgressWindow(state_);
  }
  return S_OK;
}

}  // namespace cv
