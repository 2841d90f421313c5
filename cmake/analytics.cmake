# The analytics protocol of a stub's hits: "ua" (Measurement Protocol version 1 event hits with
# CV_TRACKING_ID) or "ga4" (GA4 Measurement Protocol events, which need the data stream's
# measurement id and a Measurement Protocol API secret). The settings are checked here, when the build
# is configured, so that a mistyped id or secret stops the build with a clear message instead of
# making a stub whose hits Google drops without a word.
#
# Also runs as a script, for the check's own test:
#   cmake -DCV_ANALYTICS_PROTOCOL=ga4 -DCV_GA4_MEASUREMENT_ID=G-... -DCV_GA4_API_SECRET=...
#         -DCV_ANALYTICS_URL=https://... -P cmake/analytics.cmake

# cv_analytics_definitions(<protocol> <analytics URL> <measurement id> <API secret> <result variable>)
# sets the result to the compile definitions of a stub with these settings (none for "ua"), or stops
# with a message that names the setting at fault.
function(cv_analytics_definitions protocol analytics_url measurement_id api_secret out)
  if(protocol STREQUAL "ua")
    if(NOT measurement_id STREQUAL "" OR NOT api_secret STREQUAL "")
      message(WARNING "CV_GA4_MEASUREMENT_ID and CV_GA4_API_SECRET are ignored: CV_ANALYTICS_PROTOCOL is "
                      "ua; set it to ga4 to send GA4 hits")
    endif()
    set(${out} "" PARENT_SCOPE)
    return()
  endif()
  if(NOT protocol STREQUAL "ga4")
    message(FATAL_ERROR "CV_ANALYTICS_PROTOCOL: \"${protocol}\" is neither ua (version 1 hits) nor ga4")
  endif()
  # The id and the secret go into the hit's address as they are, so they must need no encoding.
  if(NOT measurement_id MATCHES "^G-[A-Z0-9]+$")
    message(FATAL_ERROR "CV_GA4_MEASUREMENT_ID: \"${measurement_id}\" is not a GA4 measurement id; give "
                        "the data stream's id, \"G-\" and capital letters and digits (Admin > Data streams)")
  endif()
  if(NOT api_secret MATCHES "^[A-Za-z0-9_.~-]+$")
    message(FATAL_ERROR "CV_GA4_API_SECRET: give the data stream's Measurement Protocol API secret, "
                        "letters, digits and - _ . ~ only; it is \"${api_secret}\"")
  endif()
  # The secret travels in the address: only over HTTPS, to a server whose certificate is checked.
  if(NOT analytics_url MATCHES "^https://")
    message(FATAL_ERROR "CV_ANALYTICS_URL: \"${analytics_url}\" is not https://; a GA4 hit carries the API "
                        "secret")
  endif()
  set(${out} "CV_GA4_MEASUREMENT_ID=\"${measurement_id}\"" "CV_GA4_API_SECRET=\"${api_secret}\"" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  cv_analytics_definitions("${CV_ANALYTICS_PROTOCOL}" "${CV_ANALYTICS_URL}" "${CV_GA4_MEASUREMENT_ID}"
                           "${CV_GA4_API_SECRET}" definitions)
  message(STATUS "analytics: ${CV_ANALYTICS_PROTOCOL} ${definitions}")
endif()
