// Small decisions of the HTTP client as plain functions over texts: the verb, the cookie header line,
// the joined cookie list, Content-Length digits and the code page that decodes a body. The WinHTTP
// engine feeds them; nothing here calls the platform.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cv {

// Appends `cookies` to `responseCookies` joined by "; ", trims blanks at both ends of the whole text
// and closes it with ";" unless it is empty or already ends in one.
void AppendCookies(const std::vector<std::wstring>& cookies, std::wstring& responseCookies);

// `text` without the characters of `set` at its start and its end.
std::wstring TrimChars(const std::wstring& text, const std::wstring& set);

// Reads the digits of a Content-Length capture. The header value is taken as a signed 32-bit number,
// so values beyond its range are held at 2147483647.
std::uint32_t ParseContentLength(const std::wstring& digits);

// Code page and conversion flags for MultiByteToWideChar.
struct CodePage {
  unsigned int codePage;
  unsigned long flags;
  bool operator==(const CodePage& other) const {
    return codePage == other.codePage && flags == other.flags;
  }
};
constexpr CodePage kUtf8CodePage{65001, 0};  // CP_UTF8, no flags
constexpr CodePage kAnsiCodePage{0, 1};      // CP_ACP, MB_PRECOMPOSED

// UTF-8 when the charset name starts with "utf-8" in any letter case, else the ANSI code page.
CodePage ChooseCodePage(const std::wstring& responseCharset);

// The upper-case verb the request uses ("GET" or "POST"), or nothing for any other verb.
std::optional<std::wstring> NormaliseVerb(const std::wstring& verb);

// The "Cookie:" request header line for `requestCookies`.
std::wstring CookieHeaderLine(const std::wstring& requestCookies);

}  // namespace cv
