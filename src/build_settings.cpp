// Build-time settings, passed in by the build as CV_* definitions.
#include "src/build_settings.h"

#define CV_WIDEN2(text) L##text
#define CV_WIDEN(text) CV_WIDEN2(text)

namespace cv {

const wchar_t kConfigUrl[] = CV_WIDEN(CV_CONFIG_URL);
const wchar_t kSiteUrl[] = CV_WIDEN(CV_SITE_URL);
const wchar_t kAnalyticsUrl[] = CV_WIDEN(CV_ANALYTICS_URL);
const wchar_t kTrackingId[] = CV_WIDEN(CV_TRACKING_ID);
const wchar_t kPreloadedDlls[] = CV_WIDEN(CV_PRELOADED_DLLS);

#ifdef CV_TEST_WITHOUT_DEFAULT_DLL_DIRECTORIES
const bool kActAsWithoutDefaultDllDirectories = true;
#else
const bool kActAsWithoutDefaultDllDirectories = false;
#endif

}  // namespace cv
