// The six patterns of the HTTP client over realistic header blocks and bodies, with the same results
// from the compiled programs as from the straightforward layouts of their lazy loops.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/patterns.h"
#include "pattern/pattern_matcher.h"
#include "tests/unit/pattern_reference.h"

namespace cv {
namespace {

using Strings = std::vector<std::wstring>;

const std::wstring kRedirect =
    L"HTTP/1.1 302 Found\r\n"
    L"Date: Wed, 09 Dec 2026 05:39:32 GMT\r\n"
    L"Server: Apache\r\n"
    L"Content-Type: text/html; charset=UTF-8\r\n"
    L"Content-Length: 1234\r\n"
    L"Content-Location: /index.en.html\r\n"
    L"X-Location: /elsewhere\r\n"
    L"Location: https://www.corvida.com/download?v=2&x=1\r\n"
    L"Set-Cookie: a=1; path=/\r\n"
    L"Set-Cookie:\tb=2\r\n"
    L"Set-Cookie: A=1; path=/\r\n"
    L"Set-Cookie: sid=Xy9; HttpOnly; Secure\r\n"
    L"Connection: close\r\n"
    L"\r\n";

const std::wstring kLowerCase =
    L"HTTP/1.1 301 Moved Permanently\r\n"
    L"content-location: /a\r\n"
    L"location: http://127.0.0.1:47181/b\r\n"
    L"LOCATION: http://127.0.0.1:47181/c\r\n"
    L"content-length:5\r\n"
    L"set-cookie: c=3\r\n"
    L"\r\n";

const std::wstring kPage =
    L"<!DOCTYPE html>\n<HTML>\n<head><title>x</title></head>\n<body>charset=none</body>\n</Html>\n";

struct HttpCase {
  const char* name;
  const wchar_t* pattern;
  const std::wstring* text;
  Strings expected;
};

void PrintTo(const HttpCase& c, std::ostream* os) { *os << c.name; }

class HttpPatternTest : public testing::TestWithParam<HttpCase> {};

TEST_P(HttpPatternTest, TakesHeaderValues) {
  Strings results;
  ASSERT_TRUE(CollectMatches(GetParam().pattern, *GetParam().text, results));
  EXPECT_EQ(results, GetParam().expected);
}

TEST_P(HttpPatternTest, StraightforwardLazyLayoutGivesTheSame) {
  PatternMatcher compiled;
  ASSERT_EQ(compiled.Compile(GetParam().pattern), PatternOk);
  PatternMatcher straightforward;
  testing_support::UseStraightforwardCopy(compiled, straightforward);
  Strings results;
  testing_support::ReferenceCollect(straightforward, *GetParam().text, results);
  EXPECT_EQ(results, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, HttpPatternTest,
    testing::Values(
        HttpCase{"charset", kCharsetPattern, &kRedirect, {L"UTF-8"}},
        HttpCase{"content_length", kContentLengthPattern, &kRedirect, {L"1234"}},
        HttpCase{"location_after_content_location", kLocationPattern, &kRedirect,
                 {L"https://www.corvida.com/download?v=2&x=1"}},
        HttpCase{"cookies", kSetCookiePattern, &kRedirect, {L"a=1; path=/", L"b=2", L"sid=Xy9; HttpOnly; Secure"}},
        HttpCase{"html_open_in_headers", kHtmlOpenPattern, &kRedirect, {}},
        HttpCase{"location_any_case", kLocationPattern, &kLowerCase,
                 {L"http://127.0.0.1:47181/b", L"http://127.0.0.1:47181/c"}},
        HttpCase{"content_length_needs_blank", kContentLengthPattern, &kLowerCase, {}},
        HttpCase{"cookie_lower_case", kSetCookiePattern, &kLowerCase, {L"c=3"}},
        HttpCase{"charset_in_body", kCharsetPattern, &kPage, {L"none"}},
        HttpCase{"html_open", kHtmlOpenPattern, &kPage, {L"<HTML>"}},
        HttpCase{"html_close", kHtmlClosePattern, &kPage, {L"</Html>"}}));

TEST(HttpPatterns, PlainLocationPatternWouldTakeContentLocation) {
  // Why the Location pattern asks for a line end before the name.
  Strings results;
  ASSERT_TRUE(CollectMatches(L"Location:\\b*{.+?}\\n", kRedirect, results));
  ASSERT_FALSE(results.empty());
  EXPECT_EQ(results.front(), L"/index.en.html");
}

}  // namespace
}  // namespace cv
