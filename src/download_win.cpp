// Installer download: fetch "wrapper" into a new file of a folder of the stub's own below the user's
// temporary folder, through the platform's URL download service, with the progress window following
// the transfer and closed on every way out.
#include "src/download_win.h"

#include <winternl.h>
#include <rpc.h>
#include <aclapi.h>
#include <sddl.h>
#include <urlmon.h>

#include <ctime>
#include <cstring>

#include "base/folders_win.h"
#include "log/log.h"
#include "src/download.h"
#include "src/progress_win.h"
#include "src/stages.h"

// From wininet.h, which cannot stand beside winhttp.h (the handle owners include it). Declared
// without dllimport: wininet is delay-loaded, and calls must go to its delay-load thunk (see
// progress_win.cpp).
extern "C" BOOL WINAPI DeleteUrlCacheEntryW(LPCWSTR url);

namespace cv {
namespace {

// ---- The folder -----------------------------------------------------------------------------------


std::uint64_t RandomNumber() {
  UUID uuid{};
  UuidCreate(&uuid);
  std::uint64_t value = 0;
  std::memcpy(&value, &uuid, sizeof(value));
  return value ^ (static_cast<std::uint64_t>(uuid.Data4[7]) << 56);
}

// The native calls that create a folder and open it in one step, taken from ntdll, which every
// process has loaded.
struct NativeCalls {
  using CreateFile = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                  ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
  using DosPathToNtPath = BOOLEAN(NTAPI*)(PCWSTR, PUNICODE_STRING, PWSTR*, PVOID);
  using FreeString = VOID(NTAPI*)(PUNICODE_STRING);
  using StatusToError = ULONG(NTAPI*)(LONG);

  CreateFile createFile = nullptr;
  DosPathToNtPath dosPathToNtPath = nullptr;
  FreeString freeString = nullptr;
  StatusToError statusToError = nullptr;

  NativeCalls() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return;
    createFile = reinterpret_cast<CreateFile>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateFile")));
    dosPathToNtPath = reinterpret_cast<DosPathToNtPath>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlDosPathNameToNtPathName_U")));
    freeString = reinterpret_cast<FreeString>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlFreeUnicodeString")));
    statusToError =
        reinterpret_cast<StatusToError>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
  }
  bool available() const { return createFile && dosPathToNtPath && freeString && statusToError; }
};

// Creates the folder `path` with the access list `descriptor` and opens it, in one step: there is no
// moment at which someone else could put a folder or a link of theirs in its place. The handle may
// list, read its access list and delete it, and shares neither deletion nor renaming. Invalid, with
// the platform's last error, when the name exists or the folder cannot be made.
UniqueHandle CreateHeldFolder(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor) {
  static const NativeCalls native;
  if (!native.available()) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return UniqueHandle();
  }
  UNICODE_STRING ntPath{};
  if (!native.dosPathToNtPath(path.c_str(), &ntPath, nullptr, nullptr)) {
    SetLastError(ERROR_INVALID_NAME);
    return UniqueHandle();
  }
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof(attributes);
  attributes.ObjectName = &ntPath;
  attributes.Attributes = OBJ_CASE_INSENSITIVE;
  attributes.SecurityDescriptor = descriptor;
  IO_STATUS_BLOCK status{};
  HANDLE handle = nullptr;
  constexpr ULONG kCreate = 2;               // FILE_CREATE: fail when the name exists
  constexpr ULONG kDirectory = 0x1;          // FILE_DIRECTORY_FILE
  constexpr ULONG kSynchronous = 0x20;       // FILE_SYNCHRONOUS_IO_NONALERT
  constexpr ULONG kNoReparse = 0x00200000;   // FILE_OPEN_REPARSE_POINT
  const LONG result = native.createFile(
      &handle, FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL | WRITE_DAC | DELETE | SYNCHRONIZE, &attributes,
      &status,
      nullptr, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, kCreate,
      kDirectory | kSynchronous | kNoReparse, nullptr, 0);
  native.freeString(&ntPath);
  if (result < 0) {
    SetLastError(native.statusToError(result));
    return UniqueHandle();
  }
  return UniqueHandle(handle);
}

// Sets the protected access list of `descriptor` on the object of `handle`.
bool ApplyAccessList(HANDLE handle, PSECURITY_DESCRIPTOR descriptor) {
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present) return false;
  const DWORD error = SetSecurityInfo(handle, SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                      nullptr, dacl, nullptr);
  SetLastError(error);
  return error == ERROR_SUCCESS;
}

// ---- The download ---------------------------------------------------------------------------------

// The download service keeps a copy of what it fetched in the user's internet cache; the installer
// is the stub's to keep or remove, so the copy goes at once, whatever the download gave.
void ForgetCachedCopy(const std::wstring& url) {
  if (DeleteUrlCacheEntryW(url.c_str())) return;
  const DWORD error = GetLastError();
  if (error != ERROR_FILE_NOT_FOUND) LOG(WARNING) << "DeleteUrlCacheEntry failed with error code " << error;
}

// Ends the progress window when the download stage ends, on every path: the window never outlives
// the download, also when the platform never reported the end of the data.
class ProgressWindowCloser {
 public:
  explicit ProgressWindowCloser(RunState& state) : state_(state) {}
  ProgressWindowCloser(const ProgressWindowCloser&) = delete;
  ProgressWindowCloser& operator=(const ProgressWindowCloser&) = delete;
  ~ProgressWindowCloser() {
    ClearDownloadTarget(state_);
    CloseProgressWindow(state_);
  }

 private:
  RunState& state_;
};

constexpr ULONGLONG kStallLimitMs = kStallLimitSeconds * 1000ull;
constexpr DWORD kStallCheckMs = 1000;
constexpr UINT kAbortStalledMessage = WM_APP + 1;
constexpr wchar_t kStallWindowClass[] = L"CvStallWatch";

// Aborts the running transfer when it has stalled, for as long as the object lives.
// URLDownloadToFileW blocks the main thread; under Wine its wait loop takes only the messages of
// its own window, so neither a timer nor a posted message of ours would run there. A sent message
// is delivered by every message wait: a watch thread checks the callback's last sign of life and,
// on a stall, sends a message to a message-only window of the main thread, whose procedure aborts
// the transfer on the binding's own thread. The download then returns E_ABORT.
class StallWatch {
 public:
  explicit StallWatch(CallbackHandler& callback) : callback_(callback) {
    callback_.NoteActivity();
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kStallWindowClass;
    RegisterClassW(&windowClass);  // fails harmlessly when a test made it before
    window_ = CreateWindowExW(0, kStallWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              windowClass.hInstance, nullptr);
    if (window_ == nullptr) {
      LOG(WARNING) << "CreateWindowEx failed with error code " << GetLastError();
      return;  // the download then runs unwatched
    }
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (stop_) thread_.reset(CreateThread(nullptr, 0, Watch, this, 0, nullptr));
    if (!thread_) LOG(WARNING) << "CreateThread failed with error code " << GetLastError();
  }
  StallWatch(const StallWatch&) = delete;
  StallWatch& operator=(const StallWatch&) = delete;
  ~StallWatch() {
    if (thread_) {
      SetEvent(stop_.get());
      WaitForSingleObject(thread_.get(), INFINITE);
    }
    // A message the watch sent that was not delivered yet goes with the window.
    if (window_ != nullptr) DestroyWindow(window_);
  }

  // True when the transfer was aborted for a stall.
  bool Aborted() const { return aborted_; }

 private:
  static DWORD WINAPI Watch(LPVOID param) {
    auto* self = static_cast<StallWatch*>(param);
    while (WaitForSingleObject(self->stop_.get(), kStallCheckMs) == WAIT_TIMEOUT) {
      if (GetTickCount64() - self->callback_.LastActivity() >= kStallLimitMs) {
        // Returns at once; the main thread runs the abort at its next message wait.
        SendNotifyMessageW(self->window_, kAbortStalledMessage, 0, 0);
        return 0;
      }
    }
    return 0;
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kAbortStalledMessage) return DefWindowProcW(window, message, wParam, lParam);
    auto* self = reinterpret_cast<StallWatch*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr) self->aborted_ = self->callback_.AbortTransfer();
    return 0;
  }

  CallbackHandler& callback_;
  HWND window_ = nullptr;
  UniqueHandle stop_;
  UniqueHandle thread_;
  bool aborted_ = false;  // main thread only
};

}  // namespace

// ---- InstallerFiles -------------------------------------------------------------------------------

bool InstallerFiles::Create() {
  const std::wstring temp = TempFolder();
  if (temp.empty()) return false;
  LocalMemory descriptor;
  {
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kInstallerFolderAccess, SDDL_REVISION_1, &made,
                                                              nullptr)) {
      return false;
    }
    descriptor.reset(made);
  }
  // A name that exists already (someone else's folder, or a link) is never used: another is tried.
  constexpr int kNameAttempts = 8;
  for (int attempt = 0; attempt < kNameAttempts && !folderHandle_; ++attempt) {
    folder_ = temp + InstallerFolderName(RandomNumber());
    folderHandle_ = CreateHeldFolder(folder_, descriptor.get());
  }
  if (!folderHandle_) {
    folder_.clear();
    return false;
  }
  // The access list once more through the handle: a platform that stores no descriptor given at
  // creation (Wine) keeps this one. Where the file system keeps no access lists, the run goes on.
  if (!ApplyAccessList(folderHandle_.get(), descriptor.get())) {
    LOG(WARNING) << "SetSecurityInfo failed with error code " << GetLastError();
  }
  folder_ += L'\\';
  // The platform's unique name takes a folder of at most MAX_PATH - 14 characters.
  wchar_t reserved[MAX_PATH] = {};
  if (folder_.size() > MAX_PATH - 14 || GetTempFileNameW(folder_.c_str(), L"cv", 0, reserved) == 0) return false;
  reservedPath_ = reserved;
  installerPath_ = reservedPath_ + L".exe";
  return true;
}

InstallerFiles::~InstallerFiles() { Remove(true); }

void InstallerFiles::RemoveFolder() {
  installerPath_.clear();  // deleted by the outcome stage with lines of its own
  Remove(false);
}

void InstallerFiles::RemoveBeforeExit() {
  for (const std::wstring* path : {&installerPath_, &reservedPath_}) {
    if (!path->empty()) DeleteFileW(path->c_str());
  }
  FILE_DISPOSITION_INFO dispose{TRUE};
  if (folderHandle_) SetFileInformationByHandle(folderHandle_.get(), FileDispositionInfo, &dispose, sizeof(dispose));
}

void InstallerFiles::Remove(bool logRemovals) {
  if (folder_.empty()) return;
  auto removeFile = [logRemovals](std::wstring& path) {
    if (path.empty() || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    if (DeleteFileW(path.c_str())) {
      if (logRemovals) LOG(INFO) << DeletedLine(path);
    } else {
      const DWORD error = GetLastError();
      LOG(WARNING) << "Unable to delete \"" << Narrow(path) << "\". Error code " << error;
    }
  };
  removeFile(installerPath_);
  removeFile(reservedPath_);

  // The folder goes through the handle held since its creation, so it is this folder that goes.
  FILE_DISPOSITION_INFO dispose{TRUE};
  const bool marked =
      SetFileInformationByHandle(folderHandle_.get(), FileDispositionInfo, &dispose, sizeof(dispose)) != FALSE;
  const DWORD error = GetLastError();
  folderHandle_.reset();
  if (marked) {
    if (logRemovals) LOG(INFO) << DeletedLine(folder_);
  } else {
    LOG(WARNING) << "Unable to delete \"" << Narrow(folder_) << "\". Error code " << error;
  }
  folder_.clear();
  installerPath_.clear();
  reservedPath_.clear();
}

StageResult DownloadInstaller(const WrapperConfig& config, RunState& state, InstallerFiles& installer) {
  const ProgressWindowCloser closer(state);
  LOG(INFO) << "Downloading wrapper";
  // The address first: a document without one leaves nothing to remove.
  std::wstring wrapper;
  if (auto failure = ReadWrapperMember(config, wrapper)) return failure;
  std::optional<std::uint64_t> size;
  if (auto failure = ReadSizeMember(config, size)) return failure;
  const bool created = installer.Create();
  const std::wstring& installerPath = installer.installerPath();
  if (!created) return Failure{FailureCode::InstallerDownloadFailed, DownloadFailedLine(installerPath)};
  const std::wstring installerUrl = AddCacheBuster(wrapper, std::time(nullptr));

  // The platform may keep the callback past the call; reference counting never frees it, so it
  // lives as long as the process.
  static CallbackHandler callback(state);
  callback.SetSizeLimit(size);
  SetDownloadTarget(state, installer);
  const StallWatch stallWatch(callback);
  const HRESULT result =
      URLDownloadToFileW(nullptr, installerUrl.c_str(), installerPath.c_str(), 0, &callback);
  ForgetCachedCopy(installerUrl);
  // An aborted transfer is a failed one, whatever result the platform gives for it.
  if (stallWatch.Aborted()) LOG(WARNING) << StalledDownloadLine();
  if (callback.ExceededSize()) LOG(WARNING) << OversizedDownloadLine(*size);
  if (result != S_OK || stallWatch.Aborted() || callback.ExceededSize()) {
    return Failure{FailureCode::InstallerDownloadFailed, DownloadFailedLine(installerPath)};
  }
  LOG(INFO) << DownloadedLine(installerPath);
  return std::nullopt;
}

}  // namespace cv
