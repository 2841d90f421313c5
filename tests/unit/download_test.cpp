// The cache-busting parameter (with the runtime's generator) and the download's log lines.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "src/check.h"
#include "src/download.h"

namespace cv {
namespace {

TEST(RuntimeRandom, GivesTheRuntimesSequences) {
  // srand(1) followed by rand() calls in the platform's C runtime.
  RuntimeRandom seededWithOne(1);
  std::vector<int> numbers;
  for (int i = 0; i < 10; ++i) numbers.push_back(seededWithOne.Next());
  EXPECT_EQ(numbers, (std::vector<int>{41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464}));

  RuntimeRandom seededWithZero(0);
  EXPECT_EQ(seededWithZero.Next(), 38);
}

TEST(RuntimeRandom, StaysWithin15BitsAndIgnoresTheStatesTopBit) {
  for (const std::uint32_t seed : {0u, 0x7FFFFFFFu, 1765259000u, 123456789u}) {
    // The number is bits 16 to 30 of the state, so seeds that differ only in bit 31 agree.
    RuntimeRandom random(seed);
    RuntimeRandom twin(seed ^ 0x80000000u);
    for (int i = 0; i < 1000; ++i) {
      const int n = random.Next();
      ASSERT_GE(n, 0);
      ASSERT_LE(n, 32767);
      ASSERT_EQ(twin.Next(), n) << "seed " << seed << ", number " << i;
    }
  }
}

struct CacheBusterCase {
  const wchar_t* url;
  const wchar_t* expected;  // with the first number of seed 1, 41
};

class CacheBusterTest : public testing::TestWithParam<CacheBusterCase> {};

TEST_P(CacheBusterTest, AppendsTheParameterAtTheVeryEnd) {
  EXPECT_EQ(AddCacheBuster(GetParam().url, 1), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, CacheBusterTest,
    testing::Values(
        CacheBusterCase{L"http://d.example/setup.exe", L"http://d.example/setup.exe?rn=41"},
        CacheBusterCase{L"https://d.example/get?file=setup.exe", L"https://d.example/get?file=setup.exe&rn=41"},
        CacheBusterCase{L"http://d.example/setup.exe?", L"http://d.example/setup.exe?&rn=41"},
        CacheBusterCase{L"http://d.example/setup.exe#part?x", L"http://d.example/setup.exe#part?x&rn=41"},
        CacheBusterCase{L"http://d.example/setup.exe#part", L"http://d.example/setup.exe#part?rn=41"},
        CacheBusterCase{L"http://d.example/a b/\u00e9.exe", L"http://d.example/a b/\u00e9.exe?rn=41"},
        CacheBusterCase{L"", L"?rn=41"}));

TEST(CacheBuster, TheSameSecondGivesTheSameNumber) {
  const std::int64_t now = 1765259000;
  EXPECT_EQ(AddCacheBuster(L"http://h/s.exe", now), AddCacheBuster(L"http://h/s.exe", now));
  std::set<std::wstring> urls;
  for (std::int64_t second = now; second < now + 20; ++second) urls.insert(AddCacheBuster(L"http://h/s.exe", second));
  EXPECT_GT(urls.size(), 15u);
}

TEST(CacheBuster, SeedsWithTheLow32BitsOfTheTime) {
  EXPECT_EQ(AddCacheBuster(L"u", 0x100000001LL), L"u?rn=41");
  EXPECT_EQ(AddCacheBuster(L"u", 0), L"u?rn=38");
  EXPECT_EQ(AddCacheBuster(L"u", -1), AddCacheBuster(L"u", 0xFFFFFFFFLL));
}

TEST(DownloadLines, QuoteThePath) {
  const wchar_t path[] = L"C:\\users\\ann\\Temp\\cv1A2B.tmp.exe";
  EXPECT_EQ(DownloadFailedLine(path), "Can't download wrapper to \"C:\\users\\ann\\Temp\\cv1A2B.tmp.exe\"");
  EXPECT_EQ(DownloadedLine(path), "Wrapper successfully downloaded to \"C:\\users\\ann\\Temp\\cv1A2B.tmp.exe\"");
  EXPECT_EQ(DownloadFailedLine(L""), "Can't download wrapper to \"\"");
  EXPECT_STREQ(kInstallerOpenFailedLine, "Failed to open the file: iostream stream error");
}

TEST(ExceedsInstallerSize, StopsAFileThatWouldHoldMoreThanTheSize) {
  struct Case {
    std::uint64_t received, announced;
    bool exceeds;
  };
  // An announced length of 0 is an unknown one.
  const std::vector<Case> cases = {{100, 100, false}, {101, 0, true}, {0, 101, true},
                                   {100, 0, false},   {99, 101, true}, {0, 0, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(ExceedsInstallerSize(c.received, c.announced, 100), c.exceeds) << c.received << "/" << c.announced;
  }
  EXPECT_EQ(OversizedDownloadLine(4294967296), "More than the installer's size of 4294967296 bytes: download stopped");
}

}  // namespace
}  // namespace cv
