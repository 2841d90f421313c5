// Installer download: fetch "wrapper" into a new file of a folder of the stub's own below the Windows
// directory's Temp folder, through the platform's URL download service, taking the body as a stream
// that is written, counted and hashed as it arrives; a transfer that breaks goes on from where it
// stopped. The progress window follows the transfer and is closed on every way out.
#include "src/download_win.h"

#include <winternl.h>
#include <rpc.h>
#include <aclapi.h>
#include <sddl.h>
#include <urlmon.h>

#include <atomic>
#include <ctime>
#include <optional>
#include <cstring>
#include <memory>

#include "base/folders_win.h"
#include "base/wait_win.h"
#include "src/config.h"
#include "log/log.h"
#include "src/download.h"
#include "src/transfer.h"
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

// Creates `name` (a full path, or a name inside the folder `root`) and opens it in one step: there is
// no moment at which someone else could put a file, a folder or a link of theirs in its place.
// Invalid, with the platform's last error, when the name exists or cannot be made.
UniqueHandle CreateInOneStep(HANDLE root, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG options,
                             PSECURITY_DESCRIPTOR descriptor, ULONG disposition = 2 /* FILE_CREATE */) {
  static const NativeCalls native;
  if (!native.available()) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return UniqueHandle();
  }
  UNICODE_STRING ntPath{};
  UNICODE_STRING relative{};
  if (root == nullptr) {
    if (!native.dosPathToNtPath(name.c_str(), &ntPath, nullptr, nullptr)) {
      SetLastError(ERROR_INVALID_NAME);
      return UniqueHandle();
    }
  } else {
    relative.Buffer = const_cast<PWSTR>(name.c_str());
    relative.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    relative.MaximumLength = relative.Length;
  }
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof(attributes);
  attributes.RootDirectory = root;
  attributes.ObjectName = root == nullptr ? &ntPath : &relative;
  attributes.Attributes = OBJ_CASE_INSENSITIVE;
  attributes.SecurityDescriptor = descriptor;
  IO_STATUS_BLOCK status{};
  HANDLE handle = nullptr;
  constexpr ULONG kSynchronous = 0x20;  // FILE_SYNCHRONOUS_IO_NONALERT
  const LONG result = native.createFile(&handle, access | SYNCHRONIZE, &attributes, &status, nullptr,
                                        FILE_ATTRIBUTE_NORMAL, share, disposition, options | kSynchronous, nullptr, 0);
  if (root == nullptr) native.freeString(&ntPath);
  if (result < 0) {
    SetLastError(native.statusToError(result));
    return UniqueHandle();
  }
  return UniqueHandle(handle);
}

// Creates the folder `path` with the access list `descriptor` and opens it, in one step. The handle
// may list, read its access list and delete it, and shares neither deletion nor renaming.
UniqueHandle CreateHeldFolder(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor) {
  constexpr ULONG kDirectory = 0x1;         // FILE_DIRECTORY_FILE
  constexpr ULONG kNoReparse = 0x00200000;  // FILE_OPEN_REPARSE_POINT
  return CreateInOneStep(nullptr, path, FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL | WRITE_DAC | DELETE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, kDirectory | kNoReparse, descriptor);
}

// Creates the file `name` inside the held folder, reached through its handle rather than by a path,
// open for writing, reading and deleting and shared for reading only: nobody else writes into it
// while the stub holds it. It takes the folder's inherited access list.
UniqueHandle CreateHeldFile(HANDLE folder, const std::wstring& name) {
  constexpr ULONG kNotDirectory = 0x40;  // FILE_NON_DIRECTORY_FILE
  return CreateInOneStep(folder, name, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, kNotDirectory,
                         nullptr);
}

// Opens the existing file `name` inside the held folder, through its handle, for reading only.
UniqueHandle OpenHeldFileForReading(HANDLE folder, const std::wstring& name, ULONG share) {
  constexpr ULONG kNotDirectory = 0x40;  // FILE_NON_DIRECTORY_FILE
  constexpr ULONG kOpen = 1;             // FILE_OPEN: only an existing file
  return CreateInOneStep(folder, name, GENERIC_READ, share, kNotDirectory, nullptr, kOpen);
}

// Why the volume of the held folder cannot hold the installer: one without access lists cannot keep
// others from writing into the folder, and on a network volume the access list is enforced by
// another machine.
std::optional<WorkingFolderProblem> VolumeProblem(HANDLE folder, const std::wstring& path, DWORD& error) {
  DWORD flags = 0;
  if (!GetVolumeInformationByHandleW(folder, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
    error = GetLastError();
    return WorkingFolderProblem::NoAccessLists;
  }
  if ((flags & FILE_PERSISTENT_ACLS) == 0) return WorkingFolderProblem::NoAccessLists;
  const std::wstring root = path.substr(0, 3);  // "C:\"
  if (path.size() < 3 || path[1] != L':' || GetDriveTypeW(root.c_str()) == DRIVE_REMOTE) {
    return WorkingFolderProblem::RemoteVolume;
  }
  return std::nullopt;
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

// ---- The transfer --------------------------------------------------------------------------------

// The download service keeps a copy of what it fetched in the user's internet cache; the installer
// is the stub's to keep or remove, so the copy goes at once, whatever the transfer gave. A resumed
// request is then never answered from that copy.
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

// The installer's bytes on their way into the held file: each answer placed (continued or from the
// start), each piece written, counted and hashed as it passes, and the time of the last byte for the
// stall watch. One object for all requests of the download.
class InstallerTransfer final : public TransferSink {
 public:
  // `size`: the document's "size", when it names one: the file's length whatever an answer says,
  // and a bound that stops the transfer as soon as more arrives or is announced.
  InstallerTransfer(HANDLE file, InstallerDigest& digest, CallbackHandler& callback,
                    std::optional<std::uint64_t> size)
      : file_(file), digest_(digest), callback_(callback), piece_(std::make_unique<unsigned char[]>(kPieceSize)),
        size_(size) {}

  // Before each request: the lines it adds (none for the first request and for one that fetches the
  // whole file again), and a fresh start for the stall watch.
  void StartRequest(std::wstring extraHeaders) {
    extraHeaders_ = std::move(extraHeaders);
    answered_ = false;
    newBytes_ = false;
    lastByte_.store(GetTickCount64());
  }

  std::wstring ExtraRequestHeaders() override { return extraHeaders_; }

  void Answered(std::uint32_t status, std::wstring_view headers) override {
    const ResponseFacts facts = ReadResponseFacts(status, headers);
    if (!firstAnswer_) firstAnswer_ = facts;
    if (PlaceOfBody(facts, received_) == BodyPlace::FromStart && received_ > 0) StartOver();
    bodyStart_ = received_;
    total_ = CompleteLength(facts, bodyStart_).value_or(0);
    answered_ = true;
    if (size_) {
      if (ExceedsInstallerSize(received_, total_, *size_)) return StopOversized();
      // A body of unstated length is whole at the document's size; one whose stated length differs
      // is left to the check, which names both lengths.
      if (total_ == 0) total_ = *size_;
    }
    if (total_ != 0 && received_ >= total_) allArrived_.store(true);
  }

  void Receive(IStream* stream) override {
    if (!answered_) Answered(0, L"");  // no header block to go by: the body is the whole file
    for (;;) {
      ULONG read = 0;
      const HRESULT result = stream->Read(piece_.get(), kPieceSize, &read);
      if (read > 0 && !Take(read)) return;
      // The platform's stream ends a piece with S_FALSE or E_PENDING; with S_OK it may wait for more.
      if (result != S_OK || read == 0) return;
    }
  }

  std::uint64_t BodyStart() const override { return bodyStart_; }
  std::uint64_t Received() const override { return received_; }
  std::uint64_t Total() const override { return total_; }

  // True when the request brought bytes beyond any held before it.
  bool BroughtNewBytes() const { return newBytes_; }
  bool Answered() const { return answered_; }
  bool Complete() const { return total_ == 0 || received_ >= total_; }
  // True when the transfer was stopped for bringing more than the document's "size".
  bool Oversized() const { return oversized_; }
  // The platform's error of a failed write, 0 for none.
  DWORD WriteError() const { return writeError_; }
  // The lines of a request for the rest of the file, or none when the server cannot be asked for it.
  std::wstring RestRequestHeaders() const {
    return firstAnswer_ && CanAskForRest(*firstAnswer_) ? ResumeRequestHeaders(received_, firstAnswer_->validator)
                                                        : std::wstring();
  }

  // Read from the stall watch's thread.
  ULONGLONG LastByte() const { return lastByte_.load(); }
  bool AllArrived() const { return allArrived_.load(); }

 private:
  static constexpr ULONG kPieceSize = 1u << 20;

  bool Take(ULONG count) {
    if (size_ && ExceedsInstallerSize(received_ + count, 0, *size_)) {
      StopOversized();
      return false;
    }
    DWORD written = 0;
    if (!WriteFile(file_, piece_.get(), count, &written, nullptr) || written != count) {
      writeError_ = GetLastError();
      if (writeError_ == 0) writeError_ = ERROR_WRITE_FAULT;
      callback_.AbortTransfer();
      return false;
    }
    digest_.crc.Update(piece_.get(), count);
    if (digest_.sha256) digest_.sha256->Update(piece_.get(), count);
    received_ += count;
    lastByte_.store(GetTickCount64());
    if (received_ > highWater_) {
      highWater_ = received_;
      newBytes_ = true;
    }
    if (total_ != 0 && received_ >= total_) allArrived_.store(true);
    return true;
  }

  void StopOversized() {
    oversized_ = true;
    callback_.AbortTransfer();
  }

  // The answer is the whole file, not the rest asked for: what was held goes, hashes and all.
  void StartOver() {
    LOG(INFO) << "The server sent the whole installer: the download starts over";
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file_, start, nullptr, FILE_BEGIN) || !SetEndOfFile(file_)) {
      writeError_ = GetLastError();
      callback_.AbortTransfer();
    }
    digest_.crc = Crc32();
    if (digest_.sha256) digest_.sha256.emplace();
    received_ = 0;
  }

  HANDLE file_;
  InstallerDigest& digest_;
  CallbackHandler& callback_;
  std::unique_ptr<unsigned char[]> piece_;
  std::wstring extraHeaders_;
  std::optional<ResponseFacts> firstAnswer_;
  std::optional<std::uint64_t> size_;
  bool oversized_ = false;
  bool answered_ = false;
  bool newBytes_ = false;
  std::uint64_t bodyStart_ = 0;
  std::uint64_t received_ = 0;
  std::uint64_t highWater_ = 0;
  std::uint64_t total_ = 0;
  DWORD writeError_ = 0;
  std::atomic<ULONGLONG> lastByte_{0};
  std::atomic<bool> allArrived_{false};
};

constexpr ULONGLONG kStallLimitMs = kStallLimitSeconds * 1000ull;
constexpr DWORD kStallCheckMs = 500;

// Aborts the running request once no byte has come for the stall limit, for as long as the object
// lives; once every byte has arrived it watches no more. The abort comes from the watch's own thread:
// the stream's read may hold the binding's thread until data comes (it does under Wine), so nothing
// on that thread would run in time.
class StallWatch {
 public:
  StallWatch(const InstallerTransfer& transfer, CallbackHandler& callback) : transfer_(transfer), callback_(callback) {
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
  }

  // True when the request was aborted for a stall.
  bool Stalled() const { return stalled_.load(); }

 private:
  static DWORD WINAPI Watch(LPVOID param) {
    auto* self = static_cast<StallWatch*>(param);
    while (WaitForSingleObject(self->stop_.get(), kStallCheckMs) == WAIT_TIMEOUT) {
      if (self->transfer_.AllArrived()) return 0;
      if (GetTickCount64() - self->transfer_.LastByte() >= kStallLimitMs) {
        self->stalled_.store(true);
        self->callback_.AbortTransfer();
        return 0;
      }
    }
    return 0;
  }

  const InstallerTransfer& transfer_;
  CallbackHandler& callback_;
  UniqueHandle stop_;
  UniqueHandle thread_;
  std::atomic<bool> stalled_{false};
};

// One request for `url` through the platform's URL service, with `callback` for its statuses, its
// answer and its body; returns when it has stopped, with its result. The thread's messages are
// handled meanwhile: the service reports through them.
HRESULT RunRequest(const std::wstring& url, CallbackHandler& callback) {
  if (!callback.PrepareTransfer()) return HRESULT_FROM_WIN32(GetLastError());
  ComPtr<IMoniker> moniker;
  HRESULT result = CreateURLMonikerEx(nullptr, url.c_str(), moniker.put(), URL_MK_UNIFORM);
  if (FAILED(result)) return result;
  ComPtr<IBindCtx> context;
  result = CreateAsyncBindCtx(0, &callback, nullptr, context.put());
  if (FAILED(result)) return result;
  ComPtr<IStream> stream;
  result = moniker.get()->BindToStorage(context.get(), nullptr, IID_IStream, stream.put_void());
  if (FAILED(result)) return result;
  WaitAnsweringMessages(callback.Stopped());
  return callback.StopResult();
}

}  // namespace

// ---- InstallerFiles -------------------------------------------------------------------------------

std::optional<std::string> InstallerFiles::Create() {
  const std::wstring temp = WindowsTempFolder();
  if (temp.empty()) return WorkingFolderRefusedLine(WorkingFolderProblem::NotMade, temp, GetLastError());
  LocalMemory descriptor;
  {
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kInstallerFolderAccess, SDDL_REVISION_1, &made,
                                                              nullptr)) {
      return WorkingFolderRefusedLine(WorkingFolderProblem::NotMade, temp, GetLastError());
    }
    descriptor.reset(made);
  }
  // A name that exists already (someone else's folder, or a link) is never used: another is tried.
  constexpr int kNameAttempts = 8;
  DWORD error = 0;
  for (int attempt = 0; attempt < kNameAttempts && !folderHandle_; ++attempt) {
    folder_ = temp + InstallerFolderName(RandomNumber());
    folderHandle_ = CreateHeldFolder(folder_, descriptor.get());
    error = GetLastError();
  }
  if (!folderHandle_) {
    const std::wstring tried = folder_;
    folder_.clear();
    return WorkingFolderRefusedLine(WorkingFolderProblem::NotMade, tried, error);
  }
  // A folder on a volume that cannot guard it goes again at once.
  DWORD volumeError = 0;
  if (const auto problem = VolumeProblem(folderHandle_.get(), folder_, volumeError)) {
    const std::string line = WorkingFolderRefusedLine(*problem, folder_, volumeError);
    Remove(false);
    return line;
  }
  // The access list once more through the handle: a platform that stores no descriptor given at
  // creation (Wine) keeps this one.
  if (!ApplyAccessList(folderHandle_.get(), descriptor.get())) {
    LOG(WARNING) << "SetSecurityInfo failed with error code " << GetLastError();
  }
  folder_ += L'\\';
  // The platform's unique name takes a folder of at most MAX_PATH - 14 characters.
  wchar_t reserved[MAX_PATH] = {};
  if (folder_.size() > MAX_PATH - 14 || GetTempFileNameW(folder_.c_str(), L"cv", 0, reserved) == 0) {
    return WorkingFolderRefusedLine(WorkingFolderProblem::NotMade, folder_, GetLastError());
  }
  reservedPath_ = reserved;
  installerPath_ = reservedPath_ + L".exe";
  installerFile_ = CreateHeldFile(folderHandle_.get(), installerPath_.substr(folder_.size()));
  if (!installerFile_) return WorkingFolderRefusedLine(WorkingFolderProblem::NotMade, folder_, GetLastError());
  return std::nullopt;
}

UniqueHandle InstallerFiles::TakeFileForLaunch() {
  // Opened through the held folder, never by a path. The writing handle (which may also delete) lets
  // others read only, so a reader must first let it write and delete; once the writer is closed, a
  // reader that lets nobody write is opened while the first one still holds the file.
  const std::wstring name = installerPath_.substr(folder_.size());
  UniqueHandle reader =
      OpenHeldFileForReading(folderHandle_.get(), name, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (!reader) return UniqueHandle();
  installerFile_.reset();
  return OpenHeldFileForReading(folderHandle_.get(), name, FILE_SHARE_READ);
}

InstallerFiles::~InstallerFiles() { Remove(true); }

void InstallerFiles::RemoveFolder() {
  installerPath_.clear();  // deleted by the outcome stage with lines of its own
  Remove(false);
}

void InstallerFiles::RemoveBeforeExit() {
  FILE_DISPOSITION_INFO dispose{TRUE};
  if (installerFile_) {
    // Closed at once, so that the folder is empty when it goes; the process ends right after.
    SetFileInformationByHandle(installerFile_.get(), FileDispositionInfo, &dispose, sizeof(dispose));
    installerFile_.reset();
  } else if (!installerPath_.empty()) {
    DeleteFileW(installerPath_.c_str());
  }
  if (!reservedPath_.empty()) DeleteFileW(reservedPath_.c_str());
  if (folderHandle_) SetFileInformationByHandle(folderHandle_.get(), FileDispositionInfo, &dispose, sizeof(dispose));
}

void InstallerFiles::Remove(bool logRemovals) {
  if (folder_.empty()) return;
  // The installer file still held goes through its handle: it is this file that goes.
  if (installerFile_) {
    FILE_DISPOSITION_INFO dispose{TRUE};
    if (SetFileInformationByHandle(installerFile_.get(), FileDispositionInfo, &dispose, sizeof(dispose))) {
      installerFile_.reset();
      if (logRemovals) LOG(INFO) << DeletedLine(installerPath_);
      installerPath_.clear();
    } else {
      const DWORD error = GetLastError();
      installerFile_.reset();
      LOG(WARNING) << "Unable to delete \"" << Narrow(installerPath_) << "\". Error code " << error;
    }
  }
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

// ---- The download stage ---------------------------------------------------------------------------

StageResult DownloadInstaller(const WrapperConfig& config, RunState& state, InstallerFiles& installer,
                              InstallerDigest& digest) {
  const ProgressWindowCloser closer(state);
  LOG(INFO) << "Downloading wrapper";
  // The address first: a document without one leaves nothing to remove.
  std::wstring wrapper;
  if (auto failure = ReadWrapperMember(config, wrapper)) return failure;
  if (const auto refused = installer.Create()) {
    LOG(WARNING) << *refused;
    return Failure{FailureCode::InstallerDownloadFailed, DownloadFailedLine(installer.installerPath())};
  }
  const std::wstring& installerPath = installer.installerPath();
  const std::wstring installerUrl = AddCacheBuster(wrapper, std::time(nullptr));
  // The SHA-256 is computed on the way when the document names one (the check reads the member
  // again and reports what is wrong with it).
  std::optional<std::string> sha256;
  if (ReadSha256Member(config, false, sha256) || sha256) digest.sha256.emplace();

  // The platform may keep the callback past the call; reference counting never frees it, so it
  // lives as long as the process.
  static CallbackHandler callback(state);
  std::optional<std::uint64_t> size;
  if (auto failure = ReadSizeMember(config, size)) return failure;
  InstallerTransfer transfer(installer.installerFile(), digest, callback, size);
  callback.SetSink(&transfer);
  SetDownloadTarget(state, installer);
  const ComInit com;
  const auto failed = [&installerPath]() {
    return Failure{FailureCode::InstallerDownloadFailed, DownloadFailedLine(installerPath)};
  };

  std::wstring extraHeaders;  // the first request is the plain one
  for (int resumption = 1;; ++resumption) {
    transfer.StartRequest(extraHeaders);
    HRESULT result = S_OK;
    bool stalled = false;
    {
      const StallWatch stallWatch(transfer, callback);
      result = RunRequest(installerUrl, callback);
      stalled = stallWatch.Stalled();
    }
    ForgetCachedCopy(installerUrl);
    if (transfer.WriteError() != 0) {
      LOG(WARNING) << "WriteFile failed with error code " << transfer.WriteError();
      return failed();
    }
    if (transfer.Oversized()) {
      LOG(WARNING) << OversizedDownloadLine(*size);
      return failed();
    }
    if (!stalled && SUCCEEDED(result) && transfer.Complete()) break;
    // A transfer goes on only from an answer, and only while each request brings bytes not held
    // before: a server that never gets further ends the download.
    if (!transfer.Answered() || !transfer.BroughtNewBytes() || resumption > kMaxResumptions) {
      if (stalled) LOG(WARNING) << StalledDownloadLine();
      return failed();
    }
    const BreakReason reason = stalled ? BreakReason::Stalled
                               : FAILED(result) ? BreakReason::Failed
                                                : BreakReason::ClosedEarly;
    extraHeaders = transfer.RestRequestHeaders();
    const std::optional<std::uint64_t> total =
        transfer.Total() != 0 ? std::optional<std::uint64_t>(transfer.Total()) : std::nullopt;
    LOG(WARNING) << ResumeLine(transfer.Received(), total, reason, static_cast<std::uint32_t>(result),
                               extraHeaders.empty(), resumption);
    Sleep(ResumePauseSeconds(resumption) * 1000);
  }
  LOG(INFO) << DownloadedLine(installerPath);
  return std::nullopt;
}

}  // namespace cv
