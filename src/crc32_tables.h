// The CRC-32 lookup tables, shared by the table methods and the tail of the carry-less method.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace cv::crc32_internal {

constexpr std::uint32_t kReflectedPolynomial = 0xEDB88320u;

// Table k maps a byte to its contribution to the register when k further bytes follow it; table 0
// is the classic 256-entry table.
using Crc32Tables = std::array<std::array<std::uint32_t, 256>, 8>;

// The tables, made on first use rather than carried in the executable (8 KB of data that the stub
// keeps in zero-initialised storage). Filling them takes a few microseconds, once per process.
const Crc32Tables& Tables();

inline std::uint32_t AdvanceBytewise(std::uint32_t reg, const unsigned char* p, std::size_t size) {
  const auto& table = Tables()[0];
  for (std::size_t i = 0; i < size; ++i) reg = (reg >> 8) ^ table[(reg ^ p[i]) & 0xFFu];
  return reg;
}

}  // namespace cv::crc32_internal
