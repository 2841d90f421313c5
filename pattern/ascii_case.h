// ASCII-only case folding and character codes, identical whatever the width and signedness of
// wchar_t (32-bit signed natively, 16-bit unsigned on Windows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace cv {

inline wchar_t LowerAscii(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

inline void LowerAsciiInPlace(wchar_t* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) text[i] = LowerAscii(text[i]);
}

// The character's code as an unsigned number of wchar_t's own width.
inline std::uint32_t CodeOf(wchar_t c) {
  return static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(c));
}

}  // namespace cv
