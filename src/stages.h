// The stages of the run, in the order wWinMain calls them. Each stage writes its own INFO lines; a
// stage that fails returns the Failure whose ERROR line, message box and exit value the run reports.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "src/config.h"
#include "src/failure.h"
#include "src/win_handles.h"

namespace cv {

// The named event and the mailslot through which the installer reports a cancellation.
StageResult OpenCommunicationObjects();

// Fetches and parses the configuration document.
StageResult ObtainConfig(WrapperConfig& config);

// Reads "shortcut" into runState.shortcutEnabled.
StageResult ApplyShortcutSetting(const WrapperConfig& config);

// Starts the progress window on a thread of its own; the download's end closes it.
void StartProgressWindow(HINSTANCE instance);

// Downloads the installer named by "wrapper" into a new file of the temporary folder.
StageResult DownloadInstaller(const WrapperConfig& config, std::wstring& installerPath);

// Accepts the downloaded file only when its CRC-32 equals "checksum". On success installerFile holds
// the file open so that nobody can change or delete it before it has been started.
StageResult VerifyInstaller(const WrapperConfig& config, const std::wstring& installerPath,
                            UniqueHandle& installerFile);

// Starts the installer, waits for it, acts on its exit code and deletes it. The exit code is stored
// in exitValue.
StageResult RunInstaller(const WrapperConfig& config, const std::wstring& installerPath,
                         UniqueHandle installerFile, std::wstring_view ownArgs, DWORD& exitValue);

}  // namespace cv
