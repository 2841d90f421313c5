// Build-time settings, passed in by the build as CV_* definitions. The release keys come as their
// PEM blocks (CV_RELEASE_KEYS_PEM), and the GA4 values only when the build chose that protocol
// (CV_GA4_MEASUREMENT_ID, CV_GA4_API_SECRET); the build has checked them.
#include "src/build_settings.h"

#define CV_WIDEN2(text) L##text
#define CV_WIDEN(text) CV_WIDEN2(text)

#ifndef CV_EXCHANGE_TIME_DIVISOR
#define CV_EXCHANGE_TIME_DIVISOR 1
#endif

namespace cv {

const wchar_t kConfigUrl[] = CV_WIDEN(CV_CONFIG_URL);
const wchar_t kSiteUrl[] = CV_WIDEN(CV_SITE_URL);
const wchar_t kAnalyticsUrl[] = CV_WIDEN(CV_ANALYTICS_URL);
const wchar_t kTrackingId[] = CV_WIDEN(CV_TRACKING_ID);
const wchar_t kPreloadedDlls[] = CV_WIDEN(CV_PRELOADED_DLLS);

// A stub built for GA4 gets its measurement id and API secret; every other stub sends version 1 hits.
#ifdef CV_GA4_MEASUREMENT_ID
const AnalyticsProtocol kAnalyticsProtocol = AnalyticsProtocol::Ga4;
const wchar_t kGa4MeasurementId[] = CV_WIDEN(CV_GA4_MEASUREMENT_ID);
const wchar_t kGa4ApiSecret[] = CV_WIDEN(CV_GA4_API_SECRET);
#else
const AnalyticsProtocol kAnalyticsProtocol = AnalyticsProtocol::MeasurementV1;
const wchar_t kGa4MeasurementId[] = L"";
const wchar_t kGa4ApiSecret[] = L"";
#endif

#ifdef CV_TEST_WITHOUT_DEFAULT_DLL_DIRECTORIES
const bool kActAsWithoutDefaultDllDirectories = true;
#else
const bool kActAsWithoutDefaultDllDirectories = false;
#endif

#ifdef CV_RELEASE_KEYS_PEM
const char kReleaseKeyPem[] = CV_RELEASE_KEYS_PEM;
#else
const char kReleaseKeyPem[] = "";
#endif

static_assert(CV_EXCHANGE_TIME_DIVISOR >= 1, "the HTTP time limits can only be shortened");
const ExchangeTimes kExchangeTimes = {60000 / CV_EXCHANGE_TIME_DIVISOR, 30000 / CV_EXCHANGE_TIME_DIVISOR,
                                      30000 / CV_EXCHANGE_TIME_DIVISOR, 60000 / CV_EXCHANGE_TIME_DIVISOR};

}  // namespace cv
