// Decodes arbitrary responses the way the HTTP client does: the input is a header block, a zero byte
// and a body. The header values, cookies, code page, completeness check and the body buffer may not
// crash, hang or read outside memory, and each keeps its stated rule.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "http/body_buffer.h"
#include "http/header_values.h"
#include "http/response.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

// The body in pieces whose sizes its own bytes choose, into a buffer with a small limit: it holds
// what was appended followed by a zero byte, and refuses a piece past the limit without change.
void CheckBodyBuffer(const std::uint8_t* body, std::size_t size, std::size_t limit) {
  cv::BodyBuffer buffer(limit);
  std::string expected;
  for (std::size_t at = 0; at < size;) {
    const std::size_t piece = std::min<std::size_t>(size - at, 1 + body[at] * 97u);
    try {
      buffer.Append(reinterpret_cast<const char*>(body + at), piece);
      expected.append(reinterpret_cast<const char*>(body + at), piece);
    } catch (const std::bad_alloc&) {
      if (expected.size() + piece <= limit) Fail("a piece within the limit refused");
    }
    at += piece;
  }
  if (buffer.size() != expected.size() || std::memcmp(buffer.data(), expected.data(), expected.size()) != 0) {
    Fail("the buffer does not hold the body");
  }
  if (buffer.capacity() <= buffer.size() || buffer.data()[buffer.size()] != '\0') Fail("no zero byte after the body");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t* split = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
  const std::size_t headerSize = split != nullptr ? static_cast<std::size_t>(split - data) : size;
  const std::uint8_t* body = split != nullptr ? split + 1 : data + size;
  const std::size_t bodySize = static_cast<std::size_t>(data + size - body);
  const std::wstring headers = cv::fuzz::WideText(data, headerSize);

  // Twice, as two responses to one client: the cookies grow, a fixed charset stays.
  cv::HeaderValues values;
  values.responseCharset = L"fixed";
  const bool charsetFixed = size > 0 && (data[0] & 1) != 0;
  for (int response = 0; response < 2; ++response) {
    const std::wstring cookiesBefore = values.responseCookies;
    cv::TakeHeaderValues(headers, charsetFixed, values);
    if (charsetFixed && values.responseCharset != L"fixed") Fail("a fixed charset changed");
    if (values.contentLength > 0x7FFFFFFFu) Fail("a Content-Length beyond 32-bit signed range");
    if (!values.responseCookies.empty() && values.responseCookies.back() != L';') Fail("cookies not closed by ';'");
    if (values.responseCookies.compare(0, cookiesBefore.size(), cookiesBefore) != 0) Fail("cookies lost");
  }
  const cv::CodePage page = cv::ChooseCodePage(values.responseCharset);
  if (!(page == cv::kUtf8CodePage) && !(page == cv::kAnsiCodePage)) Fail("an unknown code page");

  // The check against its plain definition: incomplete when an opening tag has no closing one. The
  // decoded text ends before its first zero character, as the client keeps it.
  std::wstring text = cv::fuzz::WideText(body, bodySize);
  text.resize(std::min(text.size(), text.find(L'\0')));
  const std::wstring lower = Lower(text);
  const bool complete = lower.find(L"<html>") == std::wstring::npos || lower.find(L"</html>") != std::wstring::npos;
  if (cv::IsCompleteResponse(text) != complete) Fail("the completeness check differs from its definition");

  CheckBodyBuffer(body, bodySize, size > 1 ? data[1] * 64u : 0);
  return 0;
}
