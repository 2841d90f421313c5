// The installer's run: reads the version, makes the installation id, starts the installer with its
// parameters, waits for it, hands its exit code to the outcome handler of its class, deletes the
// installer and reports the exit code as the run's exit value.
#include <windows.h>
#include <shellapi.h>
#include <rpc.h>

#include <string>

#include "log/log.h"
#include "src/outcome_text.h"
#include "src/outcome_win.h"
#include "src/stages.h"

namespace cv {
namespace {

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

// Starts the installer. Returns its process handle, or an invalid one with `error` set when it could
// not be started.
UniqueHandle LaunchInstaller(const std::wstring& installerPath, const std::wstring& installerArgs,
                             DWORD& error) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  // No shell error box of its own: the run reports a failed launch with its own message box.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpFile = installerPath.c_str();
  info.lpParameters = installerArgs.c_str();
  info.nShow = SW_SHOWNORMAL;
  const BOOL started = ShellExecuteExW(&info);
  error = GetLastError();
  UniqueHandle process(info.hProcess);
  if (!started) process.reset();
  return process;
}

// Waits for the installer's end and returns its exit code. Should the code be unobtainable, the run
// counts as failed rather than as a success it cannot vouch for.
DWORD WaitForInstaller(HANDLE process) {
  WaitForSingleObject(process, INFINITE);
  DWORD exitCode = 0;
  if (GetExitCodeProcess(process, &exitCode)) return exitCode;
  LOG(WARNING) << "GetExitCodeProcess failed with error code " << GetLastError();
  return static_cast<DWORD>(-1);
}

void DeleteInstaller(const std::wstring& installerPath) {
  if (DeleteFileW(installerPath.c_str())) {
    LOG(INFO) << "\"" << Narrow(installerPath) << "\" deleted";
  } else {
    const DWORD error = GetLastError();
    LOG(WARNING) << "Unable to delete installer from temp directory \"" << Narrow(installerPath)
                 << "\". Error code " << error;
  }
}

}  // namespace

StageResult RunInstaller(const WrapperConfig& config, const std::wstring& installerPath,
                         UniqueHandle installerFile, std::wstring_view ownArgs, DWORD& exitValue) {
  InstallerRun run;
  if (auto failure = ReadTextMember(config, "version", run.version)) return failure;
  run.installId = NewInstallId();
  const std::wstring installerArgs = InstallerArgs(run.installId, run.version, ownArgs);

  LOG(INFO) << "Launching installer \"" << Narrow(installerPath) << " " << Narrow(installerArgs) << "\"";
  DWORD launchError = 0;
  UniqueHandle process = LaunchInstaller(installerPath, installerArgs, launchError);
  // The file was held since its check so that nobody could swap it; the started process now has it.
  installerFile.reset();
  if (!process) {
    DeleteInstaller(installerPath);
    return Failure{FailureCode::InstallerLaunchFailed,
                   "Failed to launch installer. Error code " + std::to_string(launchError)};
  }

  {
    const ComInit com;
    LOG(INFO) << "Waiting for installer to complete...";
    run.exitCode = WaitForInstaller(process.get());
    process.reset();
    exitValue = run.exitCode;

    switch (ClassifyExitCode(run.exitCode)) {
      case OutcomeClass::Success: HandleSuccess(); break;
      case OutcomeClass::Cancellation: HandleCancellation(run); break;
      case OutcomeClass::Failure: HandleFailure(run); break;
    }
    DeleteInstaller(installerPath);
  }  // COM ends here, before the last line
  LOG(INFO) << "Halcyra wrapper exiting";
  return std::nullopt;
}

}  // namespace cv
