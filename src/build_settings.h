// Addresses and ids fixed when the stub is built (see the CV_* cache variables).
#pragma once

namespace cv {

extern const wchar_t kConfigUrl[];      // plain-HTTP address of the configuration document
extern const wchar_t kSiteUrl[];        // product web site, base of the cancellation page
extern const wchar_t kAnalyticsUrl[];   // analytics collect endpoint's base address (HTTPS)
extern const wchar_t kTrackingId[];     // analytics property id

}  // namespace cv
