// The patterns through which the HTTP client takes values out of a response's raw header block and
// decides whether an HTML body is complete. Each has exactly one capture group.
#pragma once

namespace cv {

inline constexpr wchar_t kCharsetPattern[] = L"charset={[A-Za-z0-9\\-_]+}";
inline constexpr wchar_t kContentLengthPattern[] = L"Content-Length: {[0-9]+}";
// A header line whose name is exactly Location: the line end before it keeps "Content-Location:"
// and other names ending in "Location" out. The header block starts with the status line, so a
// Location header always follows a line end.
inline constexpr wchar_t kLocationPattern[] = L"\\nLocation:\\b*{.+?}\\n";
inline constexpr wchar_t kSetCookiePattern[] = L"Set-Cookie:\\b*{.+?}\\n";
inline constexpr wchar_t kHtmlOpenPattern[] = L"{<html>}";
inline constexpr wchar_t kHtmlClosePattern[] = L"{</html>}";

}  // namespace cv
