// Status lines and the percentage rule of the download status callback.
#include "src/progress.h"

namespace cv {

StatusAction ActionForStatus(std::uint32_t statusCode) {
  switch (statusCode) {
    case kStatusFindingResource: return {"Finding resource..."};
    case kStatusConnecting: return {"Connecting..."};
    case kStatusSendingRequest: return {"Sending request..."};
    case kStatusMimeTypeAvailable: return {"Mime type available"};
    case kStatusCacheFileNameAvailable: return {"Cache filename available"};
    case kStatusBeginDownloadData: return {"Begin download"};
    case kStatusDownloadingData: return {"", true, false};
    case kStatusEndDownloadData: return {"", true, true};
    default: return {"Status code : " + std::to_string(statusCode)};
  }
}

std::optional<std::int32_t> PercentTracker::Advance(std::uint64_t progress, std::uint64_t maximum) {
  if (maximum == 0) return std::nullopt;
  // Above the maximum the quotient could leave the range of a 32-bit percentage.
  const double ratio = progress >= maximum ? 100.0 : static_cast<double>(progress) * 100.0 / static_cast<double>(maximum);
  const auto percent = static_cast<std::int32_t>(ratio);
  if (lastPercent_ >= percent) return std::nullopt;
  lastPercent_ = percent;
  return percent;
}

}  // namespace cv
