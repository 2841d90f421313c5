// The progress window's rules and texts: what each status writes to the log, and the rule
// by which the progress bar moves.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace cv {

// Status codes of the platform's download callback that have an action of their own.
enum DownloadStatus : std::uint32_t {
  kStatusFindingResource = 1,
  kStatusConnecting = 2,
  kStatusBeginDownloadData = 4,
  kStatusDownloadingData = 5,
  kStatusEndDownloadData = 6,
  kStatusSendingRequest = 11,
  kStatusMimeTypeAvailable = 13,
  kStatusCacheFileNameAvailable = 14,
};

// What the callback does for one status: write `line`, or make a progress step, after which the
// end of the data also ends the progress window.
struct StatusAction {
  std::string line;  // empty for the progress steps
  bool progressStep = false;
  bool endStep = false;
};

StatusAction ActionForStatus(std::uint32_t statusCode);

// The bar only moves forward, by whole percentages.
class PercentTracker {
 public:
  // The percentage progress/maximum when it is above every percentage reported before (it starts
  // at 0, so 0 % is never reported); empty otherwise and when the maximum is 0 (size unknown). A
  // progress beyond the maximum counts as 100 %.
  std::optional<std::int32_t> Advance(std::uint64_t progress, std::uint64_t maximum);

 private:
  std::int32_t lastPercent_ = 0;
};

}  // namespace cv
