// The portable CRC-32 methods and the choice between them.
#include "src/crc32.h"

#include "src/crc32_tables.h"

namespace cv {

namespace crc32_internal {
// Defined in crc32_clmul.cpp.
bool ProcessorHasCarrylessMultiply();
std::uint32_t AdvanceCarryless(std::uint32_t reg, const unsigned char* p, std::size_t size);
}  // namespace crc32_internal

namespace {

using namespace crc32_internal;

std::uint32_t LoadLittleEndian32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint32_t AdvanceSliceBy8(std::uint32_t reg, const unsigned char* p, std::size_t size) {
  for (; size >= 8; p += 8, size -= 8) {
    const std::uint32_t low = reg ^ LoadLittleEndian32(p);
    const std::uint32_t high = LoadLittleEndian32(p + 4);
    reg = kTables[7][low & 0xFFu] ^ kTables[6][(low >> 8) & 0xFFu] ^ kTables[5][(low >> 16) & 0xFFu] ^
          kTables[4][low >> 24] ^ kTables[3][high & 0xFFu] ^ kTables[2][(high >> 8) & 0xFFu] ^
          kTables[1][(high >> 16) & 0xFFu] ^ kTables[0][high >> 24];
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
