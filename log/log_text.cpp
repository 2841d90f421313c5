// Wide and 8-bit texts in log lines.
#include "log/log_text.h"

#include <cstdint>

namespace cv {
namespace {

void AppendEscaped(std::uint32_t code, std::string& out) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  out += "\\x";
  out += kDigits[(code >> 4) & 0xF];
  out += kDigits[code & 0xF];
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
    if (code > 0xFF) return std::string();
    if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) {
      AppendEscaped(code, out);
    } else {
      out.push_back(static_cast<char>(code));
    }
  }
  return out;
}

}  // namespace cv
