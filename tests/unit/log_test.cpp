// Log lines: the narrowing of wide texts, the line format, appending across configurations.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "log/log.h"

namespace cv {
namespace {

struct NarrowCase {
  const wchar_t* wide;
  std::string narrow;
};

class NarrowTest : public testing::TestWithParam<NarrowCase> {};

TEST_P(NarrowTest, RendersOneBytePerCharacterOrNothing) {
  EXPECT_EQ(Narrow(GetParam().wide), GetParam().narrow);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NarrowTest,
    testing::Values(NarrowCase{L"", ""}, NarrowCase{L"C:\\users\\a\\Temp\\cv1A.tmp.exe", "C:\\users\\a\\Temp\\cv1A.tmp.exe"},
                    // Latin-1 characters keep their byte value.
                    NarrowCase{L"caf\u00e9 \u00ff", std::string("caf\xe9 \xff")},
                    // One character above U+00FF empties the whole text.
                    NarrowCase{L"C:\\users\\\u0416\\Temp", ""}, NarrowCase{L"abc\u0100", ""},
                    NarrowCase{L"\u20ac", ""},
                    // Control characters, C1 included, are shown escaped; so no text can end a line.
                    NarrowCase{L"a\r\nERROR b\tc\x1f\x7f\u0085\u009f\u00a0", "a\\x0D\\x0AERROR b\\x09c\\x1F\\x7F\\x85\\x9F\xa0"}));

TEST(EscapeControls, ShowsControlBytesEscapedAndKeepsTheRest) {
  static const char kText[] = "line 1\r\nINFO forged\0\x7f\xc3\xa9\x85";
  // Bytes from 0x80 up stay: 8-bit text from outside may be UTF-8.
  EXPECT_EQ(EscapeControls(std::string(kText, sizeof(kText) - 1)),
            "line 1\\x0D\\x0AINFO forged\\x00\\x7F\xc3\xa9\x85");
  EXPECT_EQ(Narrow(std::wstring(L"x\0y", 3)), "x\\x00y");
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

// Line ending as the file gets it: text mode turns the library's "\n" into CR LF on Windows.
#ifdef _WIN32
const char* const kEol = "\r\n";
#else
const char* const kEol = "\n";
#endif

class LogFileTest : public testing::Test {
 protected:
  void SetUp() override {
    path_ = testing::TempDir() + "cv_log_test_" + testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
    std::remove(path_.c_str());
  }
  void TearDown() override {
    ConfigureLogFile(std::string());
    std::remove(path_.c_str());
  }
  std::string path_;
};

TEST_F(LogFileTest, LineHoldsDateTimeLevelAndMessage) {
  ConfigureLogFile(path_);
  LOG(INFO) << "Halcyra wrapper started";
  LOG(WARNING) << "GetMailslotInfo failed with error code " << 6ul;
  LOG(ERROR) << "Can't download wrapper to \"" << Narrow(L"C:\\t\\cv1.tmp.exe") << "\"";
  // std::regex rather than GoogleTest's own, whose Windows flavour has no brackets or counts.
  const std::string stamp = "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2},[0-9]{3} ";
  const std::regex expected(stamp + "INFO Halcyra wrapper started" + kEol + stamp +
                            "WARNING GetMailslotInfo failed with error code 6" + kEol + stamp +
                            "ERROR Can't download wrapper to \"C:\\\\t\\\\cv1\\.tmp\\.exe\"" + kEol);
  const std::string log = ReadFile(path_);
  EXPECT_TRUE(std::regex_match(log, expected)) << log;
}

TEST_F(LogFileTest, NumbersAreDecimalAndCodesUnsigned) {
  ConfigureLogFile(path_);
  const std::uint32_t exitCode = static_cast<std::uint32_t>(-1);
  const int percent = 42;
  LOG(INFO) << "Installer execution failed. Exit code " << exitCode;
  LOG(INFO) << percent;
  const std::string log = ReadFile(path_);
  EXPECT_THAT(log, testing::HasSubstr(std::string(" INFO Installer execution failed. Exit code 4294967295") + kEol));
  // A percentage line holds the number alone after the level name.
  EXPECT_THAT(log, testing::HasSubstr(std::string(" INFO 42") + kEol));
}

TEST_F(LogFileTest, UnrepresentablePathLeavesRestOfLineIntact) {
  ConfigureLogFile(path_);
  LOG(INFO) << "\"" << Narrow(L"C:\\\u0416\\cv.tmp.exe") << "\" deleted";
  EXPECT_THAT(ReadFile(path_), testing::EndsWith(std::string(" INFO \"\" deleted") + kEol));
}

TEST_F(LogFileTest, ReconfiguringAppendsToTheSameFile) {
  ConfigureLogFile(path_);
  LOG(INFO) << "first run";
  ConfigureLogFile(std::string());
  ConfigureLogFile(path_);
  LOG(INFO) << "second run";
  const std::string log = ReadFile(path_);
  const auto first = log.find(std::string("INFO first run") + kEol);
  const auto second = log.find("INFO second run");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(first, second);
}

TEST_F(LogFileTest, UnwritablePathNeitherThrowsNorStopsLogging) {
  // A folder cannot be opened as a file; the library then switches file output off.
  ConfigureLogFile(testing::TempDir());
  EXPECT_NO_THROW(LOG(INFO) << "still running");
  ConfigureLogFile(path_);
  LOG(INFO) << "after";
  EXPECT_THAT(ReadFile(path_), testing::HasSubstr("INFO after"));
}

}  // namespace
}  // namespace cv
