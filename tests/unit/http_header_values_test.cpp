// Values taken from a response's raw header block into the client's members, and the completeness
// check of HTML bodies: which values change, which keep what an earlier response left.
#include <gtest/gtest.h>

#include <string>

#include "http/header_values.h"

namespace cv {
namespace {

const std::wstring kFirstResponse =
    L"HTTP/1.1 302 Found\r\n"
    L"Content-Type: text/html; charset=UTF-8\r\n"
    L"Content-Length: 1234\r\n"
    L"Location: http://127.0.0.1:47181/next?a=1&b=2\r\n"
    L"Set-Cookie: a=1; path=/\r\n"
    L"Set-Cookie: b=2\r\n"
    L"Set-Cookie: A=1; PATH=/\r\n"
    L"\r\n";

const std::wstring kSecondResponse =
    L"HTTP/1.1 200 OK\r\n"
    L"Content-Length:99\r\n"
    L"Set-Cookie: c=3\r\n"
    L"\r\n";

TEST(HeaderValues, FirstResponseSetsEveryValue) {
  HeaderValues values;
  TakeHeaderValues(kFirstResponse, false, values);
  EXPECT_EQ(values.responseCharset, L"UTF-8");
  EXPECT_EQ(values.contentLength, 1234u);
  EXPECT_EQ(values.location, L"http://127.0.0.1:47181/next?a=1&b=2");
  // The third cookie repeats the first in other letter case and is left out.
  EXPECT_EQ(values.responseCookies, L"a=1; path=/; b=2;");
}

TEST(HeaderValues, LaterResponseKeepsAbsentValuesAndAppendsCookies) {
  HeaderValues values;
  TakeHeaderValues(kFirstResponse, false, values);
  TakeHeaderValues(kSecondResponse, false, values);
  EXPECT_EQ(values.responseCharset, L"UTF-8");
  EXPECT_EQ(values.contentLength, 1234u);  // "Content-Length:99" lacks the blank and does not count
  EXPECT_EQ(values.location, L"http://127.0.0.1:47181/next?a=1&b=2");
  EXPECT_EQ(values.responseCookies, L"a=1; path=/; b=2;c=3;");
}

TEST(HeaderValues, FixedCharsetIgnoresHeaders) {
  HeaderValues values;
  values.responseCharset = L"windows-1251";
  TakeHeaderValues(kFirstResponse, true, values);
  EXPECT_EQ(values.responseCharset, L"windows-1251");
  EXPECT_EQ(values.contentLength, 1234u);  // the other values are still taken
}

TEST(HeaderValues, EmptyHeaderBlockChangesNothing) {
  HeaderValues values{L"utf-8", 7, L"/x", L"k=v;"};
  TakeHeaderValues(L"", false, values);
  EXPECT_EQ(values.responseCharset, L"utf-8");
  EXPECT_EQ(values.contentLength, 7u);
  EXPECT_EQ(values.location, L"/x");
  EXPECT_EQ(values.responseCookies, L"k=v;");
}

TEST(CompleteResponse, OnlyAnOpenedAndUnclosedPageIsIncomplete) {
  const struct {
    const wchar_t* body;
    bool complete;
  } cases[] = {
      {L"{\"wrapper\":\"http://x/setup.exe\"}", true},
      {L"", true},
      {L"<!DOCTYPE html><html><body>Not found</body></html>", true},
      {L"<HTML><BODY>x</BODY></Html>", true},
      {L"<html><body>cut short", false},
      {L"<Html>", false},
      {L"</html> only the end", true},
      {L"<html lang=\"en\"><body>attributes hide the tag</body>", true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsCompleteResponse(c.body), c.complete) << c.body;
}

}  // namespace
}  // namespace cv
