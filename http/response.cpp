// Verb, cookie texts, Content-Length digits and the code page choice of the HTTP client.
#include "http/response.h"

#include <cstddef>

#include "base/ascii.h"

namespace cv {

std::wstring TrimChars(const std::wstring& text, const std::wstring& set) {
  const std::size_t first = text.find_first_not_of(set);
  if (first == std::wstring::npos) return set.empty() ? text : std::wstring();
  const std::size_t last = text.find_last_not_of(set);
  return text.substr(first, last - first + 1);
}

void AppendCookies(const std::vector<std::wstring>& cookies, std::wstring& responseCookies) {
  if (cookies.empty()) return;
  for (std::size_t i = 0; i < cookies.size(); ++i) {
    if (i > 0) responseCookies += L"; ";
    responseCookies += cookies[i];
  }
  responseCookies = TrimChars(responseCookies, L" ");
  if (!responseCookies.empty() && responseCookies.back() != L';') responseCookies += L';';
}

std::uint32_t ParseContentLength(const std::wstring& digits) {
  constexpr std::uint32_t kLimit = 2147483647;
  std::uint64_t value = 0;
  for (wchar_t c : digits) {
    if (c < L'0' || c > L'9') break;
    value = value * 10 + static_cast<std::uint64_t>(c - L'0');
    if (value > kLimit) return kLimit;
  }
  return static_cast<std::uint32_t>(value);
}

CodePage ChooseCodePage(const std::wstring& responseCharset) {
  return StartsWithNoCase(responseCharset, L"utf-8") ? kUtf8CodePage : kAnsiCodePage;
}

std::optional<std::wstring> NormaliseVerb(const std::wstring& verb) {
  for (const wchar_t* known : {L"GET", L"POST"}) {
    if (EqualsNoCase(verb, known)) return std::wstring(known);
  }
  return std::nullopt;
}

std::wstring CookieHeaderLine(const std::wstring& requestCookies) {
  return L"Cookie: " + requestCookies;
}

}  // namespace cv
