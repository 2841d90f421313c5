// The installer's launch and outcome: reads the version, makes the installation id, starts the
// installer with its parameters, waits for it, and acts on its exit code: on success it removes the
// continuation shortcut; on a cancellation it reads the installer's message from the mailslot, reports
// the hit, opens the cancellation page and leaves a copy of itself with a desktop shortcut to it; on a
// failure it reports the hit. Then it deletes the installer. Nothing after the launch changes the
// exit value, which is the installer's exit code.
#include <windows.h>
#include <rpc.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/final_path_win.h"
#include "base/folders_win.h"
#include "base/wait_win.h"
#include "log/log.h"
#include "src/analytics_win.h"
#include "src/build_settings.h"
#include "src/desktop_shell_win.h"
#include "src/download.h"
#include "src/launch_win.h"
#include "src/outcome.h"
#include "src/shortcut_win.h"
#include "src/stages.h"

namespace cv {
namespace {

// What every outcome handler needs to know about the run.
struct InstallerRun {
  std::wstring installId;  // the "-id" value, also the analytics client id
  std::wstring version;    // the document's "version"
  DWORD exitCode = 0;      // the installer's exit code
};

// ---- Launch and wait ----------------------------------------------------------------------------

// A fresh UUID in its lower-case 8-4-4-4-12 form.
std::wstring NewInstallId() {
  UUID uuid{};
  UuidCreate(&uuid);
  RPC_WSTR text = nullptr;
  std::wstring id;
  if (UuidToStringW(&uuid, &text) == RPC_S_OK && text != nullptr) {
    id = reinterpret_cast<const wchar_t*>(text);
    RpcStringFreeW(&text);
  }
  return id;
}

// Waits for the installer's end and returns its exit code. Should the code be unobtainable, the run
// counts as failed rather than as a success it cannot vouch for. The wait has no time limit, but the
// thread's windows keep answering: an installer that broadcasts a message with SendMessage waits
// until every top-level window has answered.
DWORD WaitForInstaller(HANDLE process) {
  WaitAnsweringMessages(process);
  DWORD exitCode = 0;
  if (GetExitCodeProcess(process, &exitCode)) return exitCode;
  LOG(WARNING) << "GetExitCodeProcess failed with error code " << GetLastError();
  return static_cast<DWORD>(-1);
}

// Deletes the installer, then its folder.
void DeleteInstaller(InstallerFiles& installer) {
  const std::wstring& installerPath = installer.installerPath();
  if (DeleteFileW(installerPath.c_str())) {
    LOG(INFO) << DeletedLine(installerPath);
  } else {
    const DWORD error = GetLastError();
    LOG(WARNING) << "Unable to delete installer from temp directory \"" << Narrow(installerPath)
                 << "\". Error code " << error;
  }
  installer.RemoveFolder();
}

// ---- The cancellation message -------------------------------------------------------------------

// The installer posts before it ends, so the message is normally there at once; the grace period
// covers a message posted by a helper process of the installer a little later.
constexpr DWORD kMessageWaitMs = 5000;
constexpr DWORD kPollMs = 50;

// Size of the next message in the slot, once one is there within the grace period. A read is only
// started then: a read of an empty slot would wait for a message without end.
bool WaitForMessage(HANDLE slot, DWORD& size) {
  const ULONGLONG deadline = GetTickCount64() + kMessageWaitMs;
  for (;;) {
    DWORD next = MAILSLOT_NO_MESSAGE;
    if (!GetMailslotInfo(slot, nullptr, &next, nullptr, nullptr)) return false;
    if (next != MAILSLOT_NO_MESSAGE) {
      size = next;
      return true;
    }
    if (GetTickCount64() >= deadline) return false;
    Sleep(kPollMs);
  }
}

// Waits until the read has completed or the time is up. The event can also be set by another
// process that opened it by name, so completion is checked on the record itself.
bool WaitForRead(OVERLAPPED& read) {
  const ULONGLONG deadline = GetTickCount64() + kMessageWaitMs;
  while (!HasOverlappedIoCompleted(&read)) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    WaitForSingleObject(read.hEvent, static_cast<DWORD>(deadline - now));
  }
  return true;
}

// The cancellation message the installer posted into the mailslot. Waits a few seconds at most; an
// empty text (and a WARNING line) when none came.
std::wstring ReadCancelMessage(RunState& state) {
  const HANDLE slot = state.mailslotHandle.get();
  OVERLAPPED& read = state.mailslotRead;

  bool received = false;
  DWORD count = 0;
  DWORD size = 0;
  // The buffer takes the whole message, however long, so that it leaves the slot in one read; only
  // its first bytes are kept.
  std::vector<char> buffer;
  if (WaitForMessage(slot, size)) {
    buffer.assign(std::max<std::size_t>(size, kMaxCancelMessageBytes + 1), '\0');
    if (ReadFile(slot, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, &read) ||
        GetLastError() == ERROR_IO_PENDING) {
      // The read must be over before its buffer goes away.
      if (!WaitForRead(read)) CancelIo(slot);
      received = GetOverlappedResult(slot, &read, &count, TRUE) != FALSE;
    }
  }
  if (!received) {
    LOG(WARNING) << "No cancellation message from installer";
    return std::wstring();
  }
  return CancelMessageFromBytes(buffer.data(), std::min<std::size_t>(count, buffer.size()));
}

// ---- The outcome handlers -----------------------------------------------------------------------

// One analytics hit, best effort: it holds the run a few seconds at most, and whatever it gives is of
// no consequence to the run beyond a WARNING line.
void SendHit(const HitEvent& event) {
  const std::string warning = HitWarning(SendAnalyticsHit(event));
  if (!warning.empty()) LOG(WARNING) << warning;
}

// The page opens in the user's browser as the user: started from the elevated stub, the browser (and
// whatever the user's file classes name for the address) would run with administrator rights.
void OpenCancelPage(const std::wstring& version) {
  LOG(INFO) << "Navigating user to cancellation page";
  const std::wstring url = CancelPageUrl(kSiteUrl, version);
  const HRESULT result = OpenAsDesktopUser(url);
  if (SUCCEEDED(result)) return;
  LOG(WARNING) << "The desktop shell cannot open the cancellation page (error code "
               << static_cast<DWORD>(result) << "): the stub opens it itself";
  ShellExecuteW(nullptr, nullptr, url.c_str(), nullptr, nullptr, SW_SHOW);
}

// Writes the stub's own bytes to `selfCopyPath` through a handle that is checked to lead to that very
// path: the temporary folder is the user's, and a link planted at the copy's name or on the way there
// would otherwise make the stub overwrite whatever file it points at. False with the error code
// (ERROR_CANT_ACCESS_FILE after a WARNING line saying where the path led) when it cannot.
bool WriteSelfCopy(const std::wstring& modulePath, const std::wstring& selfCopyPath, DWORD& error) {
  const UniqueHandle source(CreateFileW(modulePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  std::wstring finalPath;
  const UniqueHandle target =
      source ? OpenOrMakeFileByPath(selfCopyPath, GENERIC_WRITE, 0, finalPath) : UniqueHandle();
  if (!target) {
    error = GetLastError();
    if (source && error == ERROR_CANT_ACCESS_FILE) {
      LOG(WARNING) << "\"" << Narrow(selfCopyPath) << "\" is a link or leads elsewhere (\"" << Narrow(finalPath)
                   << "\"): no copy is written through it";
    }
    return false;
  }
  constexpr DWORD kPieceSize = 64 * 1024;
  std::vector<char> piece(kPieceSize);
  for (;;) {
    DWORD read = 0;
    DWORD written = 0;
    if (!ReadFile(source.get(), piece.data(), kPieceSize, &read, nullptr)) break;
    if (read == 0) {
      // An older, longer copy leaves nothing of its own behind.
      if (SetEndOfFile(target.get())) return true;
      break;
    }
    if (!WriteFile(target.get(), piece.data(), read, &written, nullptr) || written != read) break;
  }
  error = GetLastError();
  return false;
}

// Copies the stub into the temporary folder and puts the desktop shortcut to that copy, unless the
// stub already runs as that copy (a resumed installation), in which case the shortcut stays as it is.
void LeaveResumeShortcut() {
  const std::wstring modulePath = OwnModulePath();
  const std::wstring folder = TempFolder();
  const DWORD folderError = GetLastError();
  const std::wstring selfCopyPath = folder.empty() ? std::wstring() : SelfCopyPath(folder);
  // Exact comparison: letter case counts and nothing is normalised.
  if (!selfCopyPath.empty() && selfCopyPath == modulePath) return;

  LOG(INFO) << "Copy wrapper to temp directory";
  // Without a temporary folder the copy would land in the current folder: report it as failed.
  DWORD error = folderError;
  if (selfCopyPath.empty() || !WriteSelfCopy(modulePath, selfCopyPath, error)) {
    LOG(ERROR) << "Failed to copy the wrapper into \"" << Narrow(selfCopyPath) << "\". Error code "
               << error;
    return;
  }
  LOG(INFO) << "Wrapper successfully copied to \"" << Narrow(selfCopyPath) << "\"";

  const std::wstring shortcutPath = MakeShortcutPath();
  // A desktop folder set to a place outside the user's own profile (the all-users Startup folder,
  // say) would make the stub plant a program for others.
  std::wstring desktopFolder;
  if (!ShortcutFolderIsInsideProfile(shortcutPath, desktopFolder)) {
    LOG(WARNING) << "The desktop folder \"" << Narrow(desktopFolder)
                 << "\" is not inside the user's profile: no shortcut is made";
    return;
  }
  LOG(INFO) << "Attempting to create shortcut \"" << Narrow(shortcutPath) << "\"";
  const HRESULT result = CreateShortcut(selfCopyPath, shortcutPath);
  error = GetLastError();
  if (SUCCEEDED(result)) {
    LOG(INFO) << "Successfully created shortcut \"" << Narrow(shortcutPath) << "\"";
  } else {
    LOG(ERROR) << "Unable to create shortcut \"" << Narrow(shortcutPath) << "\". Error code " << error;
  }
}

// Exit code 0: removes a continuation shortcut that an earlier cancelled run left.
void HandleSuccess() {
  LOG(INFO) << "Installer execution has successfully completed";
  const std::wstring shortcutPath = MakeShortcutPath();
  // The shortcut goes whatever the document says about leaving one: the installation it resumed
  // is complete.
  if (shortcutPath.empty() || !PathExists(shortcutPath)) return;

  LOG(INFO) << "Attempting to delete shortcut \"" << Narrow(shortcutPath) << "\"";
  if (DeleteFileW(shortcutPath.c_str())) {
    LOG(INFO) << "\"" << Narrow(shortcutPath) << "\" deleted";
  } else {
    const DWORD error = GetLastError();
    LOG(WARNING) << "Unable to delete \"" << Narrow(shortcutPath) << "\" shortcut. Error code " << error;
  }
}

// Exit code 2 or 5: the message, the "Canceled" hit, the cancellation page, the self-copy and the
// shortcut (when enabled and not running as the copy already).
void HandleCancellation(const InstallerRun& run, RunState& state) {
  LOG(INFO) << "Installer execution canceled. Exit code " << run.exitCode;
  const std::wstring cancelMessage = ReadCancelMessage(state);

  LOG(INFO) << "Sending cancellation hit to GA";
  SendHit({HitAction::Canceled, run.installId, run.version, cancelMessage});
  LOG(INFO) << "Sent cancellation hit to GA";

  OpenCancelPage(run.version);
  if (state.shortcutEnabled) LeaveResumeShortcut();
}

// Any other exit code: the "Failed" hit.
void HandleFailure(const InstallerRun& run) {
  LOG(INFO) << "Installer execution failed. Exit code " << run.exitCode;
  LOG(INFO) << "Sending failed hit to GA";
  SendHit({HitAction::Failed, run.installId, run.version, {}});
  LOG(INFO) << "Sent failed hit to GA";
}

}  // namespace

StageResult RunInstaller(const WrapperConfig& config, InstallerFiles& installer, UniqueHandle installerFile,
                         std::wstring_view ownArgs, RunState& state, DWORD& exitValue) {
  const std::wstring& installerPath = installer.installerPath();
  InstallerRun run;
  if (auto failure = ReadVersionMember(config, run.version)) return failure;
  run.installId = NewInstallId();
  const std::wstring installerArgs = InstallerArgs(run.installId, run.version, ownArgs);

  LOG(INFO) << "Launching installer \"" << Narrow(installerPath) << " " << Narrow(installerArgs) << "\"";
  std::string launchFailure;
  UniqueHandle process = StartCheckedProgram(installerPath, InstallerCommandLine(installerPath, installerArgs),
                                             installerFile.get(), launchFailure);
  // The file was held since its check so that nobody could swap it; the started process now has it.
  installerFile.reset();
  if (!process) {
    DeleteInstaller(installer);
    return Failure{FailureCode::InstallerLaunchFailed, launchFailure};
  }

  {
    const ComInit com;
    LOG(INFO) << "Waiting for installer to complete...";
    run.exitCode = WaitForInstaller(process.get());
    process.reset();
    exitValue = run.exitCode;

    switch (ClassifyExitCode(run.exitCode)) {
      case OutcomeClass::Success: HandleSuccess(); break;
      case OutcomeClass::Cancellation: HandleCancellation(run, state); break;
      case OutcomeClass::Failure: HandleFailure(run); break;
    }
    DeleteInstaller(installer);
  }  // COM ends here, before the last line
  LOG(INFO) << "Halcyra wrapper exiting";
  return std::nullopt;
}

}  // namespace cv
