// Header values and the completeness check, taken with the stub's patterns through CollectMatches.
#include "http/header_values.h"

#include <vector>

#include "http/response.h"
#include "http/patterns.h"
#include "pattern/pattern_matcher.h"

namespace cv {

namespace {

// The first capture of `pattern` in `text`, or nothing when it does not match.
bool FirstCapture(const std::wstring& pattern, const std::wstring& text, std::wstring& capture) {
  std::vector<std::wstring> captures;
  if (!CollectMatches(pattern, text, captures) || captures.empty()) return false;
  capture = captures.front();
  return true;
}

bool Contains(const std::wstring& pattern, const std::wstring& text) {
  std::wstring ignored;
  return FirstCapture(pattern, text, ignored);
}

}  // namespace

void TakeHeaderValues(const std::wstring& headers, bool charsetFixed, HeaderValues& values) {
  std::wstring capture;
  if (!charsetFixed && FirstCapture(kCharsetPattern, headers, capture)) {
    values.responseCharset = capture;
  }
  if (FirstCapture(kContentLengthPattern, headers, capture)) {
    values.contentLength = ParseContentLength(capture);
  }
  if (FirstCapture(kLocationPattern, headers, capture)) values.location = capture;

  std::vector<std::wstring> cookies;
  if (CollectMatches(kSetCookiePattern, headers, cookies)) AppendCookies(cookies, values.responseCookies);
}

bool IsCompleteResponse(const std::wstring& text) {
  return !Contains(kHtmlOpenPattern, text) || Contains(kHtmlClosePattern, text);
}

}  // namespace cv
