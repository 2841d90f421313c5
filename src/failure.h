// The failures that end a run: their numbers (also the process exit value) and message box texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace cv {

enum class FailureCode : std::uint32_t {
  ConfigDownloadFailed = 1,
  ConfigParseFailed = 3,
  InstallerDownloadFailed = 4,
  InstallerReadFailed = 5,
  InstallerCorrupted = 6,
  EventCreateFailed = 7,
  MailslotCreateFailed = 8,
  InstallerLaunchFailed = 9,
  ConfigSignatureFailed = 10,
};

// The message box text, ending in "Error code " and the number.
const wchar_t* FailureMessage(FailureCode code);

// A failed stage: the code and the one ERROR line that the run writes for it.
struct Failure {
  FailureCode code;
  std::string logLine;
};

// What a stage of the run gives back: nothing to go on, or the failure that ends the run.
using StageResult = std::optional<Failure>;

}  // namespace cv
