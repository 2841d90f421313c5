// The portable CRC-32 methods and the choice between them.
#include "src/crc32.h"

#include "src/crc32_tables.h"

namespace cv {

namespace crc32_internal {
// Defined in crc32_clmul.cpp.
bool ProcessorHasCarrylessMultiply();
std::uint32_t AdvanceCarryless(std::uint32_t reg, const unsigned char* p, std::size_t size);

namespace {

Crc32Tables filledTables;  // zero until FillTables has run

bool FillTables() {
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1u) != 0 ? (c >> 1) ^ kReflectedPolynomial : c >> 1;
    filledTables[0][i] = c;
  }
  for (std::size_t k = 1; k < filledTables.size(); ++k) {
    for (std::size_t i = 0; i < 256; ++i) {
      const std::uint32_t previous = filledTables[k - 1][i];
      filledTables[k][i] = (previous >> 8) ^ filledTables[0][previous & 0xFFu];
    }
  }
  return true;
}

}  // namespace

const Crc32Tables& Tables() {
  static const bool filled = FillTables();
  static_cast<void>(filled);
  return filledTables;
}

}  // namespace crc32_internal

namespace {

using namespace crc32_internal;

std::uint32_t LoadLittleEndian32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint32_t AdvanceSliceBy8(std::uint32_t reg, const unsigned char* p, std::size_t size) {
  const Crc32Tables& table = Tables();
  for (; size >= 8; p += 8, size -= 8) {
    const std::uint32_t low = reg ^ LoadLittleEndian32(p);
    const std::uint32_t high = LoadLittleEndian32(p + 4);
    reg = table[7][low & 0xFFu] ^ table[6][(low >> 8) & 0xFFu] ^ table[5][(low >> 16) & 0xFFu] ^
          table[4][low >> 24] ^ table[3][high & 0xFFu] ^ table[2][(high >> 8) & 0xFFu] ^
          table[1][(high >> 16) & 0xFFu] ^ table[0][high >> 24];
  }
  return AdvanceBytewise(reg, p, size);
}

}  // namespace

bool CarrylessMultiplyAvailable() {
  static const bool available = ProcessorHasCarrylessMultiply();
  return available;
}

Crc32Method FastestCrc32Method() {
  return CarrylessMultiplyAvailable() ? Crc32Method::CarrylessMultiply : Crc32Method::SliceBy8;
}

std::uint32_t Crc32Advance(std::uint32_t reg, const void* data, std::size_t size, Crc32Method method) {
  const auto* p = static_cast<const unsigned char*>(data);
  switch (method) {
    case Crc32Method::Bytewise: return AdvanceBytewise(reg, p, size);
    case Crc32Method::SliceBy8: return AdvanceSliceBy8(reg, p, size);
    case Crc32Method::CarrylessMultiply:
      // Asked for on a processor without the instruction: the tables give the same result.
      return CarrylessMultiplyAvailable() ? AdvanceCarryless(reg, p, size) : AdvanceSliceBy8(reg, p, size);
  }
  return AdvanceSliceBy8(reg, p, size);
}

}  // namespace cv
