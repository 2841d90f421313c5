// Wide text in log lines.
#include "log/log.h"

namespace cv {

std::string Narrow(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (const wchar_t c : text) {
    // wchar_t is unsigned 16-bit on Windows and signed 32-bit elsewhere; compare as unsigned.
    const auto code = static_cast<std::uint32_t>(c);
    if (code > 0xFF) return std::string();
    out.push_back(static_cast<char>(code));
  }
  return out;
}

}  // namespace cv
