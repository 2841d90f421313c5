// Entry point of cv_setup.exe: refuses to run beside another copy, starts the log, then walks the
// stages of the run in their fixed order. A failed stage ends the run with one ERROR line, one message
// box and its code as the exit value; otherwise the installer's exit code is the exit value.
#include <windows.h>

#include <string>

#include "log/log.h"
#include "src/command_line.h"
#include "src/stages.h"

namespace cv {
namespace {

// The run's process-wide values. This file alone names them; the stages get them as parameters.
RunState runState;

constexpr wchar_t kGuardName[] = L"3f9c2a7e-5d41-4b8a-9e06-c2b7d18f4a95";

// The stub runs elevated, often from a Downloads folder where anyone can drop a DLL beside it: DLLs
// that load later (winhttp, urlmon, comctl32 are delay-imported) come from the system folder only.
void RestrictDllSearchToSystemFolder() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  // Looked up rather than imported: older systems without it must still start the stub.
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefault != nullptr) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Takes the current folder out of the search where the call above is missing.
  SetDllDirectoryW(L"");
}

// True when another copy of the stub holds the guard. The guard this copy creates stays open until
// the process ends.
bool AnotherCopyRuns() {
  if (OpenMutexW(MUTEX_ALL_ACCESS, FALSE, kGuardName) != nullptr) return true;
  // A copy started in the same instant can create the guard between the two calls; the creation
  // then reports that the name already existed.
  const HANDLE guard = CreateMutexW(nullptr, FALSE, kGuardName);
  return guard != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
}

DWORD Fail(const Failure& failure) {
  LOG(ERROR) << failure.logLine;
  MessageBoxW(nullptr, FailureMessage(failure.code), L"We apologize!", MB_OK | MB_ICONERROR);
  return static_cast<DWORD>(failure.code);
}

// The run, stage by stage: what each stage takes and what it gives to the next.
DWORD Run(RunState& state, std::wstring_view ownArgs) {
  // The event and mailslot through which a cancelled installer reports back.
  if (auto failure = OpenCommunicationObjects(state)) return Fail(*failure);

  // The configuration document, and the setting taken from it at once.
  WrapperConfig config;
  if (auto failure = ObtainConfig(config)) return Fail(*failure);
  if (auto failure = ReadShortcutSetting(config, state.shortcutEnabled)) return Fail(*failure);

  // The installer, downloaded to installerPath with the progress window up.
  StartProgressWindow(state);
  std::wstring installerPath;
  if (auto failure = DownloadInstaller(config, state, installerPath)) return Fail(*failure);

  // The check: the file at installerPath stays held open from here to the launch.
  UniqueHandle installerFile;
  if (auto failure = VerifyInstaller(config, installerPath, installerFile)) return Fail(*failure);

  // The launch and the outcome; the installer's exit code becomes the exit value.
  DWORD exitValue = 0;
  if (auto failure = RunInstaller(config, installerPath, std::move(installerFile), ownArgs, state, exitValue)) {
    return Fail(*failure);
  }
  return exitValue;
}

}  // namespace
}  // namespace cv

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  using namespace cv;
  RestrictDllSearchToSystemFolder();
  if (AnotherCopyRuns()) return 0;

  ConfigureLog();
  LOG(INFO) << "Halcyra wrapper started";

  const std::wstring ownArgs = commandLine != nullptr ? commandLine : L"";
  // The document's "shortcut" value is stored over this later in every run; the switch itself goes
  // on to the installer with the rest of the command line.
  if (HasNoShortcutSwitch(ownArgs)) runState.shortcutEnabled = false;

  runState.moduleInstance = instance;
  const DWORD exitValue = Run(runState, ownArgs);

  runState.mailslotHandle.reset();
  runState.mailslotEvent.reset();
  return static_cast<int>(exitValue);
}
