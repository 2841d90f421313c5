// Addresses and ids fixed when the stub is built (see the CV_* cache variables).
#pragma once

namespace cv {

extern const wchar_t kConfigUrl[];      // plain-HTTP address of the configuration document
extern const wchar_t kSiteUrl[];        // product web site, base of the cancellation page
extern const wchar_t kAnalyticsUrl[];   // analytics collect endpoint's base address (HTTPS)
extern const wchar_t kTrackingId[];     // analytics property id

// The delay-loaded DLLs to load from the system folder by full path where the restricted DLL search
// is missing, separated by "|".
extern const wchar_t kPreloadedDlls[];
// A switch of one test stub: act as on a system without SetDefaultDllDirectories.
extern const bool kActAsWithoutDefaultDllDirectories;

}  // namespace cv
