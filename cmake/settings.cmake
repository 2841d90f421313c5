# Build-time settings of the stub: where the configuration document, the product web site and the
# analytics collect endpoint are, the analytics protocol with its ids and the publisher's release keys. The
# release stub uses the cache values; the test stubs (tests/) are built from the same objects with
# loopback addresses.

set(CV_CONFIG_URL "http://dist.halcyra.net/cv.json" CACHE STRING
    "Plain-HTTP address of the configuration document")
set(CV_SITE_URL "http://www.corvida.com" CACHE STRING
    "Base address of the product web site (the cancellation page lies below it)")
set(CV_ANALYTICS_URL "https://www.google-analytics.com" CACHE STRING
    "Base address of the analytics collect endpoint (HTTPS)")
set(CV_TRACKING_ID "UA-48912306-1" CACHE STRING "Analytics property id (version 1 hits)")
set(CV_ANALYTICS_PROTOCOL "ua" CACHE STRING
    "Protocol of the analytics hits: ua (Measurement Protocol version 1) or ga4")
set_property(CACHE CV_ANALYTICS_PROTOCOL PROPERTY STRINGS ua ga4)
set(CV_GA4_MEASUREMENT_ID "" CACHE STRING "GA4 data stream's measurement id (G-...), with CV_ANALYTICS_PROTOCOL ga4")
set(CV_GA4_API_SECRET "" CACHE STRING "GA4 data stream's Measurement Protocol API secret, with CV_ANALYTICS_PROTOCOL ga4")
set(CV_RELEASE_KEY "" CACHE FILEPATH
    "The publisher's release-key.pub (ECDSA P-256 PEM; several blocks during a key rotation); with it the stub takes only signed documents")

# Loopback settings of the test stub; the end-to-end tests start their servers on these ports.
set(CV_TEST_CONFIG_PORT 47180 CACHE STRING "Port of the test stub's configuration server")
set(CV_TEST_ANALYTICS_PORT 47443 CACHE STRING "Port of the test stub's analytics server (HTTPS)")
set(CV_TEST_CONFIG_URL "http://127.0.0.1:${CV_TEST_CONFIG_PORT}/cv.json")
set(CV_TEST_SITE_URL "http://127.0.0.1:47181")
set(CV_TEST_ANALYTICS_URL "https://127.0.0.1:${CV_TEST_ANALYTICS_PORT}")
set(CV_TEST_TRACKING_ID "UA-12345678-9")
# The GA4 test stub's measurement id and API secret.
set(CV_TEST_GA4_MEASUREMENT_ID "G-TEST12345")
set(CV_TEST_GA4_API_SECRET "test_Secret-42")
# The signed test stub's keys, as during a key rotation: release-key.pub and release-key-2.pub; their
# private halves sign the end-to-end tests' releases.
set(CV_TEST_RELEASE_KEY "${CMAKE_SOURCE_DIR}/tests/e2e/keys/release-keys.pub")
# The demo's throw-away key (tools/demo.sh sets it): with it the build also makes demo-stub/, the
# test stub's loopback settings with that key.
set(CV_DEMO_RELEASE_KEY "" CACHE FILEPATH "Release key of the demo's stub (set by tools/demo.sh)")
# The certificate check's test stub fetches its document over HTTPS on the same port; the hostile-
# server test stub divides every HTTP time limit by this number.
set(CV_TEST_TLS_CONFIG_URL "https://127.0.0.1:${CV_TEST_CONFIG_PORT}/cv.json")
set(CV_TEST_EXCHANGE_TIME_DIVISOR 10)
