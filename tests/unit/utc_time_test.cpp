// RFC 3339 dates and times: what the strict reading takes and refuses, and the UTC text written
// back. Natively the C library's timegm and gmtime are the independent oracle over four centuries.
#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <random>
#include <string>

#include "src/utc_time.h"

namespace cv {
namespace {

struct TimeCase {
  const char* text;
  std::optional<std::int64_t> seconds;  // empty: refused
};

class ParseRfc3339Test : public testing::TestWithParam<TimeCase> {};

TEST_P(ParseRfc3339Test, ReadsNarrowAndWideTextAlike) {
  const std::string text = GetParam().text;
  EXPECT_EQ(ParseRfc3339(text), GetParam().seconds) << text;
  EXPECT_EQ(ParseRfc3339(std::wstring(text.begin(), text.end())), GetParam().seconds) << text;
}

constexpr std::int64_t k20270109 = 1799505000;  // 2027-01-09T14:30:00Z

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseRfc3339Test,
    testing::Values(TimeCase{"1970-01-01T00:00:00Z", 0}, TimeCase{"2027-01-09T14:30:00Z", k20270109},
                    TimeCase{"2027-01-09t14:30:00z", k20270109}, TimeCase{"2027-01-09T14:30:00.999999Z", k20270109},
                    TimeCase{"2027-01-09T15:30:00+01:00", k20270109}, TimeCase{"2027-01-09T09:00:00-05:30", k20270109},
                    TimeCase{"2000-02-29T00:00:00Z", 951782400}, TimeCase{"2016-12-31T23:59:60Z", 1483228800},
                    TimeCase{"9999-12-31T23:59:59Z", 253402300799}, TimeCase{"0001-01-01T00:00:00Z", -62135596800},
                    TimeCase{"2023-02-29T00:00:00Z", std::nullopt}, TimeCase{"2100-02-29T00:00:00Z", std::nullopt},
                    TimeCase{"2027-04-31T00:00:00Z", std::nullopt}, TimeCase{"2027-13-01T00:00:00Z", std::nullopt},
                    TimeCase{"2027-00-10T00:00:00Z", std::nullopt}, TimeCase{"2027-01-09T24:00:00Z", std::nullopt},
                    TimeCase{"2027-01-09T14:60:00Z", std::nullopt}, TimeCase{"2027-01-09T14:30:61Z", std::nullopt},
                    TimeCase{"2027-01-09 14:30:00Z", std::nullopt}, TimeCase{"2027-01-09T14:30:00", std::nullopt},
                    TimeCase{"2027-1-09T14:30:00Z", std::nullopt}, TimeCase{"2027-01-09T14:30:00.Z", std::nullopt},
                    TimeCase{"2027-01-09T14:30:00+0100", std::nullopt},
                    TimeCase{"2027-01-09T14:30:00+24:00", std::nullopt}, TimeCase{" 2027-01-09T14:30:00Z", std::nullopt},
                    TimeCase{"2027-01-09T14:30:00Z ", std::nullopt}, TimeCase{"+2027-01-09T14:30:00Z", std::nullopt},
                    TimeCase{"2027-01-09", std::nullopt}, TimeCase{"", std::nullopt}));

TEST(FormatRfc3339Utc, WritesUtcWithLeadingZerosAndClampsToYears0To9999) {
  EXPECT_EQ(FormatRfc3339Utc(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(FormatRfc3339Utc(-1), "1969-12-31T23:59:59Z");
  EXPECT_EQ(FormatRfc3339Utc(k20270109), "2027-01-09T14:30:00Z");
  EXPECT_EQ(FormatRfc3339Utc(951782400), "2000-02-29T00:00:00Z");
  EXPECT_EQ(FormatRfc3339Utc(-62135596800), "0001-01-01T00:00:00Z");
  EXPECT_EQ(FormatRfc3339Utc(-62167219200 - 5), "0000-01-01T00:00:00Z");
  EXPECT_EQ(FormatRfc3339Utc(253402300799 + 86400), "9999-12-31T23:59:59Z");
}

#ifndef _WIN32
TEST(Rfc3339, AgreesWithTheCLibraryFromYear1600To2400) {
  std::mt19937_64 random(3339);
  std::uniform_int_distribution<std::int64_t> seconds(-11676096000, 13569465599);  // 1600 .. 2399
  for (int i = 0; i < 20000; ++i) {
    const auto time = static_cast<time_t>(seconds(random));
    std::tm fields{};
    ASSERT_NE(gmtime_r(&time, &fields), nullptr);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &fields);
    EXPECT_EQ(FormatRfc3339Utc(time), text);
    EXPECT_EQ(ParseRfc3339(std::string(text)), static_cast<std::int64_t>(timegm(&fields))) << text;
  }
}
#endif

}  // namespace
}  // namespace cv
