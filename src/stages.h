// The run's process-wide state and its stages, in the order wWinMain calls them. Each stage writes
// its own INFO lines; a stage that fails returns the Failure whose ERROR line, message box and exit
// value the run reports. A stage gets what it reads and writes as parameters: nothing here is global.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <string_view>

#include "base/handles_win.h"
#include "src/config.h"
#include "src/download_win.h"
#include "src/failure.h"

namespace cv {

// Values that live from process start to process end. The entry file owns the one instance and hands
// it to the stages that use it; the progress window thread gets a pointer to it when it starts.
struct RunState {
  // The document's "shortcut" value: may a cancelled installation leave the resume shortcut?
  bool shortcutEnabled = false;
  // The named event "talmeni_halcyra", signalled when the mailslot read completes.
  UniqueHandle mailslotEvent;
  // The mailslot "\\.\mailslot\talmeni_halcyra" into which the installer posts its cancellation
  // message.
  UniqueHandle mailslotHandle;
  // The overlapped record of the one mailslot read; its event is mailslotEvent.
  OVERLAPPED mailslotRead{};
  // Maximum message size asked for at creation, then as the platform reports it.
  DWORD mailslotMaxMessageSize = 64;

  // The module whose resources hold the progress dialog.
  HINSTANCE moduleInstance = nullptr;
  // The progress dialog and its bar, written once by the dialog thread when the dialog opens and
  // read by the main thread from the download callback.
  std::atomic<HWND> dialogWindow{nullptr};
  std::atomic<HWND> progressBar{nullptr};
  // Set by the main thread when the download has ended; a dialog that opens after that closes
  // itself at once.
  std::atomic<bool> downloadEnded{false};
  // The progress window's thread, which ends once the dialog has closed.
  UniqueHandle progressThread;
  // The installer's files while the download runs, which the dialog thread removes when the user
  // closes the window; null before and after the download.
  std::atomic<InstallerFiles*> downloadFiles{nullptr};
};

// The named event and the mailslot through which the installer reports a cancellation.
StageResult OpenCommunicationObjects(RunState& state);

// Fetches and parses the configuration document; a stub built with the publisher's keys takes only
// one that they signed and that has not expired.
StageResult ObtainConfig(WrapperConfig& config);

// Reads "shortcut": may a cancelled installation leave the resume shortcut?
StageResult ReadShortcutSetting(const WrapperConfig& config, bool& shortcutEnabled);

// Starts the progress window on a thread of its own, from the dialog in state.moduleInstance; the
// download's end closes it.
void StartProgressWindow(RunState& state);

// Once the download's end has closed the progress window, waits (a few seconds at most) until the
// window is gone, so that nothing shown after it appears beside it.
void WaitForProgressWindowToClose(RunState& state);

// Downloads the installer named by "wrapper" into a new folder of the stub's own below the Windows
// directory's Temp folder, with the progress window following the transfer; `digest` receives the
// CRC-32 (and the SHA-256 when the document names one) of the bytes as they were written. A transfer
// that breaks goes on from where it stopped, a bounded number of times; one that brings more than
// "size" is stopped. `installer` removes what is
// left of its files when the run ends.
StageResult DownloadInstaller(const WrapperConfig& config, RunState& state, InstallerFiles& installer,
                              InstallerDigest& digest);

// Accepts the downloaded file only when its length is "size", its CRC-32 "checksum" and its SHA-256
// "sha256" (each when the document names it; "checksum" always). On
// success installerFile holds the file open, reopened for reading through the folder held since its
// creation, so that nobody can change or delete it before it has been started.
StageResult VerifyInstaller(const WrapperConfig& config, InstallerFiles& installer, InstallerDigest& digest,
                            UniqueHandle& installerFile);

// Starts the installer, waits for it, acts on its exit code (with the mailslot and the shortcut
// setting of `state`) and deletes it with its folder. The exit code is stored in exitValue.
StageResult RunInstaller(const WrapperConfig& config, InstallerFiles& installer, UniqueHandle installerFile,
                         std::wstring_view ownArgs, RunState& state, DWORD& exitValue);

}  // namespace cv
