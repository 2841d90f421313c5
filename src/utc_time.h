// Dates and times of a signed release as text: the RFC 3339 form of "expires" in the configuration
// document, read strictly into seconds since 1970-01-01T00:00:00Z and written in UTC. The stub and
// publish share them; the platform only supplies the current time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cv {

// Seconds since 1970-01-01T00:00:00Z of an RFC 3339 date and time ("2027-01-09T14:30:00Z",
// "2027-01-09T15:30:00.5+01:00"): four-digit year, two-digit fields in their ranges (the day within
// its month, February 29 in leap years only, second 60 for a leap second), "T" and "Z" in either
// letter case, any fraction of a second dropped, and an offset of at most 23:59. Nothing for any
// other text, white space included.
std::optional<std::int64_t> ParseRfc3339(std::string_view text);
std::optional<std::int64_t> ParseRfc3339(std::wstring_view text);

// The UTC form of a time in whole seconds, "2027-01-09T14:30:00Z", for years 0 to 9999.
std::string FormatRfc3339Utc(std::int64_t secondsSince1970);

}  // namespace cv
