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

constexpr Crc32Tables MakeTables() {
  Crc32Tables tables{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1u) != 0 ? (c >> 1) ^ kReflectedPolynomial : c >> 1;
    tables[0][i] = c;
  }
  for (std::size_t k = 1; k < tables.size(); ++k) {
    for (std::size_t i = 0; i < 256; ++i) {
      const std::uint32_t previous = tables[k - 1][i];
      tables[k][i] = (previous >> 8) ^ tables[0][previous & 0xFFu];
    }
  }
  return tables;
}

inline constexpr Crc32Tables kTables = MakeTables();

inline std::uint32_t AdvanceBytewise(std::uint32_t reg, const unsigned char* p, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) reg = (reg >> 8) ^ kTables[0][(reg ^ p[i]) & 0xFFu];
  return reg;
}

}  // namespace cv::crc32_internal
