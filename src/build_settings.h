// Addresses, ids and HTTP time limits fixed when the stub is built (see the CV_* cache variables).
#pragma once

#include <cstdint>

namespace cv {

extern const wchar_t kConfigUrl[];      // address of the configuration document (http:// or https://)
extern const wchar_t kSiteUrl[];        // product web site, base of the cancellation page
extern const wchar_t kAnalyticsUrl[];   // analytics collect endpoint's base address (HTTPS)
extern const wchar_t kTrackingId[];     // analytics property id (version 1 hits)

// The analytics protocol of the hits: Measurement Protocol version 1 event hits (GET /collect with
// kTrackingId), or GA4 Measurement Protocol events (POST /mp/collect with the measurement id and
// the API secret, which the build has checked).
enum class AnalyticsProtocol { MeasurementV1, Ga4 };
extern const AnalyticsProtocol kAnalyticsProtocol;
extern const wchar_t kGa4MeasurementId[];  // G-...; empty for version 1 hits
extern const wchar_t kGa4ApiSecret[];

// The publisher's ECDSA P-256 public keys (PEM blocks, one or, during a key rotation, several) that
// sign the configuration document, or an empty text for a stub that takes unsigned documents.
extern const char kReleaseKeyPem[];

// The delay-loaded DLLs to load from the system folder by full path where the restricted DLL search
// is missing, separated by "|".
extern const wchar_t kPreloadedDlls[];
// A switch of one test stub: act as on a system without SetDefaultDllDirectories.
extern const bool kActAsWithoutDefaultDllDirectories;

// Time limits of every HTTP exchange of the run, in milliseconds: the connect, send and receive
// time-outs of each wait and the deadline of each attempt. The shipped stub waits up to 60 s to
// connect, 30 s for each send and receive, and ends an attempt after 60 s; a test build may divide
// them all (CV_EXCHANGE_TIME_DIVISOR) to meet hostile servers in seconds rather than minutes.
struct ExchangeTimes {
  int connectTimeout;
  int sendTimeout;
  int receiveTimeout;
  std::uint32_t attemptDeadline;
};
extern const ExchangeTimes kExchangeTimes;

}  // namespace cv
