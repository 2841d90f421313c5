// The HTTP client's small decisions: trimming, cookie joining across responses, Content-Length
// digits, the code page for a charset name and the verb.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "http/response.h"

namespace cv {
namespace {

struct TrimCase {
  const wchar_t* text;
  const wchar_t* set;
  const wchar_t* expected;
};

class TrimCharsTest : public testing::TestWithParam<TrimCase> {};

TEST_P(TrimCharsTest, RemovesSetCharactersAtBothEndsOnly) {
  EXPECT_EQ(TrimChars(GetParam().text, GetParam().set), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TrimCharsTest,
    testing::Values(TrimCase{L"  a b  ", L" ", L"a b"}, TrimCase{L"xyaxbyx", L"xy", L"axb"},
                    TrimCase{L"   ", L" ", L""}, TrimCase{L"abc", L"", L"abc"},
                    TrimCase{L"", L" ", L""}, TrimCase{L"a", L"a", L""},
                    TrimCase{L"\ta\t", L" ", L"\ta\t"}, TrimCase{L"a;", L" ", L"a;"}));

struct CookieCase {
  const char* name;
  std::wstring before;
  std::vector<std::wstring> captures;
  std::wstring after;
};

class AppendCookiesTest : public testing::TestWithParam<CookieCase> {};

TEST_P(AppendCookiesTest, JoinsTrimsAndCloses) {
  std::wstring cookies = GetParam().before;
  AppendCookies(GetParam().captures, cookies);
  EXPECT_EQ(cookies, GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Responses, AppendCookiesTest,
    testing::Values(
        CookieCase{"TwoLinesJoined", L"", {L"a=1; path=/", L"b=2"}, L"a=1; path=/; b=2;"},
        CookieCase{"LaterResponseAppendsWithoutBlank", L"a=1; path=/; b=2;", {L"c=3"},
                   L"a=1; path=/; b=2;c=3;"},
        CookieCase{"NoCapturesLeavesTextAlone", L" x=1 ", {}, L" x=1 "},
        CookieCase{"ValueEndingInSemicolonGetsNoSecond", L"", {L"a=1;"}, L"a=1;"},
        CookieCase{"BlanksAroundWholeTextTrimmed", L"", {L"  a=1", L"b=2  "}, L"a=1; b=2;"},
        CookieCase{"OnlyBlanksGiveEmptyText", L"", {L"  "}, L""},
        CookieCase{"BlankAfterClosedTextDropped", L"x=1;", {L" "}, L"x=1;"}),
    [](const testing::TestParamInfo<CookieCase>& info) { return std::string(info.param.name); });

TEST(ContentLengthDigits, ReadAsSigned32BitNumberHeldAtItsMaximum) {
  const struct {
    const wchar_t* digits;
    std::uint32_t value;
  } cases[] = {{L"0", 0},
               {L"007", 7},
               {L"10240", 10240},
               {L"2147483647", 2147483647u},
               {L"2147483648", 2147483647u},
               {L"4294967296", 2147483647u},
               {L"99999999999999999999999", 2147483647u}};
  for (const auto& c : cases) EXPECT_EQ(ParseContentLength(c.digits), c.value) << c.digits;
}

TEST(CodePageChoice, OnlyUtf8WithHyphenDecodesAsUtf8) {
  for (const wchar_t* name : {L"UTF-8", L"utf-8", L"Utf-8", L"utf-8x"}) {
    EXPECT_EQ(ChooseCodePage(name), kUtf8CodePage) << name;
  }
  for (const wchar_t* name : {L"utf8", L"utf-", L"windows-1251", L"iso-8859-1", L"", L"xutf-8"}) {
    EXPECT_EQ(ChooseCodePage(name), kAnsiCodePage) << name;
  }
  EXPECT_EQ(kUtf8CodePage.codePage, 65001u);
  EXPECT_EQ(kAnsiCodePage.flags, 1u);  // MB_PRECOMPOSED with the ANSI code page
}

TEST(Verb, GetAndPostInAnyCaseBecomeUpperCase) {
  EXPECT_EQ(NormaliseVerb(L"get"), std::wstring(L"GET"));
  EXPECT_EQ(NormaliseVerb(L"GET"), std::wstring(L"GET"));
  EXPECT_EQ(NormaliseVerb(L"pOsT"), std::wstring(L"POST"));
  for (const wchar_t* other : {L"PUT", L"", L"GE", L"GETS", L"POST ", L" get", L"HEAD"}) {
    EXPECT_FALSE(NormaliseVerb(other).has_value()) << other;
  }
}

}  // namespace
}  // namespace cv
