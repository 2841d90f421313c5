// The " -ns" switch and the case-blind search behind it.
#include <gtest/gtest.h>

#include "src/command_line.h"

namespace cv {
namespace {

struct FindCase {
  const wchar_t* text;
  const wchar_t* needle;
  int position;
};

class FindNoCaseTest : public testing::TestWithParam<FindCase> {};

TEST_P(FindNoCaseTest, FindsFirstPositionIgnoringAsciiCase) {
  EXPECT_EQ(FindNoCase(GetParam().text, GetParam().needle), GetParam().position);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FindNoCaseTest,
    testing::Values(FindCase{L"/S -ns", L" -ns", 2}, FindCase{L"/S -NS", L" -ns", 2},
                    FindCase{L"-ns", L" -ns", -1},  // the leading blank belongs to the switch
                    FindCase{L"a -nsx -ns", L" -ns", 1}, FindCase{L"", L" -ns", -1},
                    FindCase{L"abc", L"", -1}, FindCase{L"x\u00e9", L"\u00c9", -1}));

TEST(NoShortcutSwitch, MatchesAnywhereWithLeadingBlank) {
  EXPECT_TRUE(HasNoShortcutSwitch(L"/silent -NS"));
  EXPECT_TRUE(HasNoShortcutSwitch(L" -ns"));
  EXPECT_FALSE(HasNoShortcutSwitch(L"-ns"));
  EXPECT_FALSE(HasNoShortcutSwitch(L"/silent"));
}

}  // namespace
}  // namespace cv
