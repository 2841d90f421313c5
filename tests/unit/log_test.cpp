// Log lines: the narrowing of wide texts, the line format, the hand-over of each line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "log/log.h"

namespace cv {
namespace {

struct NarrowCase {
  const wchar_t* wide;
  std::string narrow;
};

class NarrowTest : public testing::TestWithParam<NarrowCase> {};

TEST_P(NarrowTest, RendersLatin1AsBytesAndTheRestEscaped) {
  EXPECT_EQ(Narrow(GetParam().wide), GetParam().narrow);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NarrowTest,
    testing::Values(NarrowCase{L"", ""}, NarrowCase{L"C:\\users\\a\\Temp\\cv1A.tmp.exe", "C:\\users\\a\\Temp\\cv1A.tmp.exe"},
                    // Latin-1 characters keep their byte value.
                    NarrowCase{L"caf\u00e9 \u00ff", std::string("caf\xe9 \xff")},
                    // Characters above U+00FF are shown as \u and four hex digits; the rest stays.
                    NarrowCase{L"C:\\users\\\u0416\u043e\\Temp", "C:\\users\\\\u0416\\u043E\\Temp"},
                    NarrowCase{L"abc\u0100\u00ff", "abc\\u0100\xff"}, NarrowCase{L"\u20ac\uffff", "\\u20AC\\uFFFF"},
                    // Beyond U+FFFF: the two halves of the UTF-16 pair, each escaped, with 16- and 32-bit wchar_t.
                    NarrowCase{L"\U0001F600", "\\uD83D\\uDE00"},
                    // Control characters, C1 included, are shown escaped; so no text can end a line.
                    NarrowCase{L"a\r\nERROR b\tc\x1f\x7f\u0085\u009f\u00a0", "a\\x0D\\x0AERROR b\\x09c\\x1F\\x7F\\x85\\x9F\xa0"}));

TEST(EscapeControls, ShowsControlBytesEscapedAndKeepsTheRest) {
  static const char kText[] = "line 1\r\nINFO forged\0\x7f\xc3\xa9\x85";
  // Bytes from 0x80 up stay: 8-bit text from outside may be UTF-8.
  EXPECT_EQ(EscapeControls(std::string(kText, sizeof(kText) - 1)),
            "line 1\\x0D\\x0AINFO forged\\x00\\x7F\xc3\xa9\x85");
  EXPECT_EQ(Narrow(std::wstring(L"x\0y", 3)), "x\\x00y");
}

// The lines the logger hands over while a test runs.
std::vector<std::string> lines_;
void Keep(const std::string& line) { lines_.push_back(line); }

class LogLinesTest : public testing::Test {
 protected:
  void SetUp() override {
    lines_.clear();
    ConfigureLogLines(Keep);
  }
  void TearDown() override { ConfigureLogLines(nullptr); }
};

TEST_F(LogLinesTest, LineHoldsDateTimeLevelAndMessage) {
  LOG(INFO) << "Halcyra wrapper started";
  LOG(WARNING) << "GetMailslotInfo failed with error code " << 6ul;
  LOG(ERROR) << "Can't download wrapper to \"" << Narrow(L"C:\\\u0416\\cv1.tmp.exe") << "\"";
  // std::regex rather than GoogleTest's own, whose Windows flavour has no brackets or counts.
  const std::string stamp = "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2},[0-9]{3} ";
  ASSERT_EQ(lines_.size(), 3u);
  EXPECT_TRUE(std::regex_match(lines_[0], std::regex(stamp + "INFO Halcyra wrapper started"))) << lines_[0];
  EXPECT_TRUE(std::regex_match(lines_[1], std::regex(stamp + "WARNING GetMailslotInfo failed with error code 6")))
      << lines_[1];
  EXPECT_TRUE(std::regex_match(lines_[2], std::regex(stamp + "ERROR Can't download wrapper to \"C:\\\\\\\\u0416\\\\cv1\\.tmp\\.exe\"")))
      << lines_[2];
}

TEST_F(LogLinesTest, NumbersAreDecimalAndCodesUnsigned) {
  const std::uint32_t exitCode = static_cast<std::uint32_t>(-1);
  const int percent = 42;
  LOG(INFO) << "Installer execution failed. Exit code " << exitCode;
  LOG(INFO) << percent;
  ASSERT_EQ(lines_.size(), 2u);
  EXPECT_THAT(lines_[0], testing::EndsWith(" INFO Installer execution failed. Exit code 4294967295"));
  // A percentage line holds the number alone after the level name.
  EXPECT_THAT(lines_[1], testing::EndsWith(" INFO 42"));
}

TEST_F(LogLinesTest, WithoutWriterLinesAreDroppedAndLoggingGoesOn) {
  ConfigureLogLines(nullptr);
  EXPECT_NO_THROW(LOG(INFO) << "nowhere");
  ConfigureLogLines(Keep);
  LOG(INFO) << "after";
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_THAT(lines_[0], testing::EndsWith(" INFO after"));
}

}  // namespace
}  // namespace cv
