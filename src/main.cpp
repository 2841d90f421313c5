// Entry point of cv_setup.exe: refuses to run beside another copy, starts the log, then walks the
// stages of the run in their fixed order. A failed stage ends the run with one ERROR line, one message
// box and its code as the exit value; otherwise the installer's exit code is the exit value.
#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "log/log.h"
#include "src/build_settings.h"
#include "src/command_line.h"
#include "src/stages.h"

namespace cv {
namespace {

// The run's process-wide values. This file alone names them; the stages get them as parameters.
RunState runState;

constexpr wchar_t kGuardName[] = L"3f9c2a7e-5d41-4b8a-9e06-c2b7d18f4a95";

// Where the restricted DLL search is missing (older systems without its update), taking the current
// folder out of the search still leaves the stub's own folder first: each delay-loaded DLL is loaded
// now by its full path in the system folder, its own imports searched from there, so that the later
// load by name finds it loaded already.
void LoadDelayLoadedDllsFromSystemFolder() {
  wchar_t system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const std::wstring folder = std::wstring(system, length) + L"\\";
  std::wstring_view names = kPreloadedDlls;
  while (!names.empty()) {
    const std::size_t end = std::min(names.find(L'|'), names.size());
    const std::wstring path = folder + std::wstring(names.substr(0, end));
    LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    names.remove_prefix(std::min(end + 1, names.size()));
  }
}

// The stub runs elevated, often from a Downloads folder where anyone can drop a DLL beside it: DLLs
// that load later (winhttp, urlmon, comctl32, bcrypt, wininet are delay-imported) come from the
// system folder only.
void RestrictDllSearchToSystemFolder() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  // Looked up rather than imported: older systems without it must still start the stub.
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (kActAsWithoutDefaultDllDirectories) setDefault = nullptr;
  // Takes the current folder out of the search in any case.
  SetDllDirectoryW(L"");
  if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) LoadDelayLoadedDllsFromSystemFolder();
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

DWORD Fail(RunState& state, const Failure& failure) {
  LOG(ERROR) << failure.logLine;
  // A box after the download's end never shows beside the closing progress window.
  WaitForProgressWindowToClose(state);
  MessageBoxW(nullptr, FailureMessage(failure.code), L"We apologize!", MB_OK | MB_ICONERROR);
  return static_cast<DWORD>(failure.code);
}

// The run, stage by stage: what each stage takes and what it gives to the next.
DWORD Run(RunState& state, std::wstring_view ownArgs) {
  // The event and mailslot through which a cancelled installer reports back.
  if (auto failure = OpenCommunicationObjects(state)) return Fail(state, *failure);

  // The configuration document, and the setting taken from it at once.
  WrapperConfig config;
  if (auto failure = ObtainConfig(config)) return Fail(state, *failure);
  if (auto failure = ReadShortcutSetting(config, state.shortcutEnabled)) return Fail(state, *failure);

  // The installer, downloaded into a folder of the stub's own with the progress window up. Whatever
  // of its files a failure leaves is removed when this function returns.
  StartProgressWindow(state);
  InstallerFiles installer;
  InstallerDigest digest;
  if (auto failure = DownloadInstaller(config, state, installer, digest)) return Fail(state, *failure);

  // The check of what was hashed on the way: the installer file stays held open from here to the
  // launch.
  UniqueHandle installerFile;
  if (auto failure = VerifyInstaller(config, installer, digest, installerFile)) return Fail(state, *failure);

  // The launch and the outcome; the installer's exit code becomes the exit value.
  DWORD exitValue = 0;
  if (auto failure = RunInstaller(config, installer, std::move(installerFile), ownArgs, state, exitValue)) {
    return Fail(state, *failure);
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
