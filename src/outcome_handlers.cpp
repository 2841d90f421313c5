// What the stub does once the installer has ended: on success it removes the continuation shortcut;
// on a cancellation it reports the hit, opens the cancellation page and leaves a copy of itself with a
// desktop shortcut to it; on a failure it reports the hit. No failure here changes the exit value.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "http/winhttp_client.h"
#include "log/log.h"
#include "src/build_settings.h"
#include "src/outcome_text.h"
#include "src/outcome_win.h"
#include "src/run_state.h"
#include "src/shortcut.h"

namespace cv {
namespace {

// One analytics hit; whatever the exchange gives is of no consequence to the run.
void SendHit(const std::wstring& address) {
  WinHttpClient client(address);
  client.Execute(L"GET");
}

// The user's temporary folder, ending in a backslash; empty when the platform cannot say.
std::wstring TempFolder() {
  std::wstring folder(MAX_PATH + 1, L'\0');
  for (;;) {
    const DWORD length = GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
    if (length == 0) return std::wstring();
    if (length < folder.size()) {
      folder.resize(length);
      return folder;
    }
    folder.resize(length);  // too small: `length` is the size needed, terminator included
  }
}

// Full path of the running executable, however long.
std::wstring OwnModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return std::wstring();  // longer than any path the platform makes
    path.resize(path.size() * 2);
  }
}

void OpenCancelPage(const std::wstring& version) {
  LOG(INFO) << "Navigating user to cancellation page";
  const std::wstring url = CancelPageUrl(kSiteUrl, version);
  ShellExecuteW(nullptr, nullptr, url.c_str(), nullptr, nullptr, SW_SHOW);
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
  const bool copied =
      !selfCopyPath.empty() && CopyFileW(modulePath.c_str(), selfCopyPath.c_str(), FALSE);
  if (!copied) {
    const DWORD error = selfCopyPath.empty() ? folderError : GetLastError();
    LOG(ERROR) << "Failed to copy the wrapper into \"" << Narrow(selfCopyPath) << "\". Error code "
               << error;
    return;
  }
  LOG(INFO) << "Wrapper successfully copied to \"" << Narrow(selfCopyPath) << "\"";

  const std::wstring shortcutPath = MakeShortcutPath();
  LOG(INFO) << "Attempting to create shortcut \"" << Narrow(shortcutPath) << "\"";
  const HRESULT result = CreateShortcut(selfCopyPath, shortcutPath);
  const DWORD error = GetLastError();
  if (SUCCEEDED(result)) {
    LOG(INFO) << "Successfully created shortcut \"" << Narrow(shortcutPath) << "\"";
  } else {
    LOG(ERROR) << "Unable to create shortcut \"" << Narrow(shortcutPath) << "\". Error code " << error;
  }
}

}  // namespace

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

void HandleCancellation(const InstallerRun& run) {
  LOG(INFO) << "Installer execution canceled. Exit code " << run.exitCode;
  const std::wstring cancelMessage = ReadCancelMessage();

  LOG(INFO) << "Sending cancellation hit to GA";
  SendHit(CancellationHitAddress(kAnalyticsUrl, kTrackingId, run.installId, run.version, cancelMessage));
  LOG(INFO) << "Sent cancellation hit to GA";

  OpenCancelPage(run.version);
  if (runState.shortcutEnabled) LeaveResumeShortcut();
}

void HandleFailure(const InstallerRun& run) {
  LOG(INFO) << "Installer execution failed. Exit code " << run.exitCode;
  LOG(INFO) << "Sending failed hit to GA";
  SendHit(FailureHitAddress(kAnalyticsUrl, kTrackingId, run.installId, run.version));
  LOG(INFO) << "Sent failed hit to GA";
}

}  // namespace cv
