// ASCII-only case folding and character codes, the one set of case helpers of the stub: the pattern
// matcher, the HTTP client and the command line all ignore the case of ASCII letters only, the same
// whatever the width and signedness of wchar_t (32-bit signed natively, 16-bit unsigned on Windows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

namespace cv {

inline wchar_t LowerAscii(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

inline void LowerAsciiInPlace(wchar_t* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) text[i] = LowerAscii(text[i]);
}

// True when the two characters are equal once ASCII letters are folded.
inline bool SameNoCase(wchar_t a, wchar_t b) { return LowerAscii(a) == LowerAscii(b); }

// True when `text` begins with `prefix`, ASCII case ignored.
inline bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (!SameNoCase(text[i], prefix[i])) return false;
  }
  return true;
}

// True when the texts are equal, ASCII case ignored.
inline bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

// The character's code as an unsigned number of wchar_t's own width.
inline std::uint32_t CodeOf(wchar_t c) {
  return static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(c));
}

}  // namespace cv
