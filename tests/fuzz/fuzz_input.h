// Turns a fuzzer's bytes into wide text: one character per byte, except that 0xFF and the two bytes
// after it make one 16-bit character, so that characters beyond Latin-1 (and beyond 0x7FFF) occur.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace cv::fuzz {

inline std::wstring WideText(const std::uint8_t* data, std::size_t size) {
  std::wstring text;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF && i + 2 < size) {
      text += static_cast<wchar_t>((data[i + 1] << 8) | data[i + 2]);
      i += 2;
    } else {
      text += static_cast<wchar_t>(data[i]);
    }
  }
  return text;
}

}  // namespace cv::fuzz
