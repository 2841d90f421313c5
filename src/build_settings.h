// Addresses and ids fixed when the stub is built (see the CV_* cache variables).
#pragma once

namespace cv {

extern const wchar_t kConfigUrl[];      // plain-HTTP address of the configuration document
extern const wchar_t kSiteUrl[];        // product web site, base of the cancellation page
extern const wchar_t kAnalyticsUrl[];   // analytics collect endpoint's base address (HTTPS)
extern const wchar_t kTrackingId[];     // analytics property id
// The publisher's ECDSA P-256 public key (PEM) that signs the configuration document, or an empty
// text for a stub that takes unsigned documents.
extern const char kReleaseKeyPem[];

// The delay-loaded DLLs to load from the system folder by full path where the restricted DLL search
// is missing, separated by "|".
extern const wchar_t kPreloadedDlls[];
// A switch of one test stub: act as on a system without SetDefaultDllDirectories.
extern const bool kActAsWithoutDefaultDllDirectories;

}  // namespace cv
