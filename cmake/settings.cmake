# Build-time settings of the stub: where the configuration document, the product web site and the
# analytics collect endpoint are, and the analytics property id. The release stub uses the cache
# values; the test stub (tests/) is built from the same objects with loopback addresses.

set(CV_CONFIG_URL "http://dist.halcyra.net/cv.json" CACHE STRING
    "Plain-HTTP address of the configuration document")
set(CV_SITE_URL "http://www.corvida.com" CACHE STRING
    "Base address of the product web site (the cancellation page lies below it)")
set(CV_ANALYTICS_URL "https://www.google-analytics.com" CACHE STRING
    "Base address of the analytics collect endpoint (HTTPS)")
set(CV_TRACKING_ID "UA-48912306-1" CACHE STRING "Analytics property id")

# Loopback settings of the test stub; the end-to-end tests start their servers on these ports.
set(CV_TEST_CONFIG_PORT 47180 CACHE STRING "Port of the test stub's configuration server")
set(CV_TEST_ANALYTICS_PORT 47443 CACHE STRING "Port of the test stub's analytics server (HTTPS)")
set(CV_TEST_CONFIG_URL "http://127.0.0.1:${CV_TEST_CONFIG_PORT}/cv.json")
set(CV_TEST_SITE_URL "http://127.0.0.1:47181")
set(CV_TEST_ANALYTICS_URL "https://127.0.0.1:${CV_TEST_ANALYTICS_PORT}")
set(CV_TEST_TRACKING_ID "UA-12345678-9")
# The certificate check's test stub fetches its document over HTTPS on the same port; the hostile-
# server test stub divides every HTTP time limit by this number.
set(CV_TEST_TLS_CONFIG_URL "https://127.0.0.1:${CV_TEST_CONFIG_PORT}/cv.json")
set(CV_TEST_EXCHANGE_TIME_DIVISOR 10)
