#!/bin/sh
# The build's check of the analytics settings (cmake/analytics.cmake): ua needs nothing; ga4 needs a
# measurement id, an API secret that go into the address as they are, and an https:// endpoint;
# anything else stops the configuration with a message that names the setting.
#   analytics_settings_test.sh <source folder>
set -eu
src=$1

# Runs the check with these settings (protocol, URL, id, secret); its status, its messages on one line.
check() {
  status=0
  out=$(cmake -DCV_ANALYTICS_PROTOCOL="$1" -DCV_ANALYTICS_URL="$2" -DCV_GA4_MEASUREMENT_ID="$3" \
              -DCV_GA4_API_SECRET="$4" -P "$src/cmake/analytics.cmake" 2>&1) || status=$?
  out=$(printf '%s' "$out" | tr -s ' \n' '  ')
}
accepted() {
  check "$@"
  [ "$status" -eq 0 ] || { echo "refused $*: $out"; exit 1; }
}
refused() {
  expected=$5
  check "$1" "$2" "$3" "$4"
  [ "$status" -ne 0 ] || { echo "accepted $1 $2 $3 $4"; exit 1; }
  case "$out" in *"$expected"*) ;; *) echo "$*: expected \"$expected\" in: $out"; exit 1 ;; esac
}

ga=https://www.google-analytics.com
accepted ua "$ga" "" ""
accepted ga4 "$ga" G-ABC123XYZ0 "aZ09-_.~secret"
refused ga4 "$ga" "" "secret" "CV_GA4_MEASUREMENT_ID: \"\" is not a GA4 measurement id"
refused ga4 "$ga" UA-12345678-9 "secret" "CV_GA4_MEASUREMENT_ID: \"UA-12345678-9\" is not a GA4 measurement id"
refused ga4 "$ga" G-ABC123 "" "CV_GA4_API_SECRET: give the data stream's Measurement Protocol API secret"
refused ga4 "$ga" G-ABC123 "a&b=c" "CV_GA4_API_SECRET: give the data stream's Measurement Protocol API secret"
refused ga4 http://ga.example G-ABC123 secret "CV_ANALYTICS_URL: \"http://ga.example\" is not https://"
refused GA4 "$ga" G-ABC123 secret "CV_ANALYTICS_PROTOCOL: \"GA4\" is neither ua"
echo "analytics settings check: all cases as expected"
