// CRC-32 of the installer check: reflected polynomial EDB88320, register preset to FFFFFFFF, result
// complemented (the CRC of zlib and IEEE 802.3). Computed incrementally, so that a file of any size
// is checked piece by piece in constant memory; a carry-less-multiplication method is used where the
// processor has one, and eight-way table lookups otherwise.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cv {

// The ways of advancing the CRC register; all give the same results.
enum class Crc32Method {
  Bytewise,           // one table lookup per byte: the plain definition, kept as the reference
  SliceBy8,           // eight bytes per step through eight tables: the portable fallback
  CarrylessMultiply,  // 64 bytes per step with PCLMULQDQ folding (x86 with that instruction only)
};

// True when this processor can run Crc32Method::CarrylessMultiply.
bool CarrylessMultiplyAvailable();

// The fastest method this processor supports.
Crc32Method FastestCrc32Method();

// Advances the raw CRC register (preset FFFFFFFF, not complemented) over `size` bytes with `method`,
// which must be supported here.
std::uint32_t Crc32Advance(std::uint32_t reg, const void* data, std::size_t size, Crc32Method method);

// CRC-32 over a sequence of pieces: Update with each piece in order, then Value.
class Crc32 {
 public:
  Crc32() : method_(FastestCrc32Method()) {}
  explicit Crc32(Crc32Method method) : method_(method) {}

  void Update(const void* data, std::size_t size) { reg_ = Crc32Advance(reg_, data, size, method_); }
  std::uint32_t Value() const { return ~reg_; }

 private:
  Crc32Method method_;
  std::uint32_t reg_ = 0xFFFFFFFFu;
};

// CRC-32 of one buffer.
inline std::uint32_t Crc32Of(const void* data, std::size_t size) {
  Crc32 crc;
  crc.Update(data, size);
  return crc.Value();
}

}  // namespace cv
