// Wide and 8-bit texts in log lines.
#include "log/log_text.h"

#include <cstdint>

namespace cv {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

void AppendEscaped(std::uint32_t code, std::string& out) {
  out += "\\x";
  out += kDigits[(code >> 4) & 0xF];
  out += kDigits[code & 0xF];
}

// A character beyond one byte as \u and four hex digits. A code point beyond U+FFFF (only where
// wchar_t is 32 bits wide) becomes the two escapes of its UTF-16 surrogate pair, as on Windows.
void AppendUnicodeEscaped(std::uint32_t code, std::string& out) {
  if (code > 0xFFFF && code <= 0x10FFFF) {
    code -= 0x10000;
    AppendUnicodeEscaped(0xD800 + (code >> 10), out);
    AppendUnicodeEscaped(0xDC00 + (code & 0x3FF), out);
    return;
  }
  if (code > 0xFFFF) code = 0xFFFD;  // no character at all
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[(code >> shift) & 0xF];
}

}  // namespace

std::string EscapeControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x20 || code == 0x7F) {
      AppendEscaped(code, out);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string Narrow(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (const wchar_t c : text) {
    // wchar_t is unsigned 16-bit on Windows and signed 32-bit elsewhere; compare as unsigned.
    const auto code = static_cast<std::uint32_t>(c);
    if (code > 0xFF) {
      AppendUnicodeEscaped(code, out);
    } else if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) {
      AppendEscaped(code, out);
    } else {
      out.push_back(static_cast<char>(code));
    }
  }
  return out;
}

}  // namespace cv
