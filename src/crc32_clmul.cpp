// CRC-32 by folding 128-bit blocks with carry-less multiplication (PCLMULQDQ): four running blocks
// are each carried 512 bits forward per step, then combined, and the last 128 bits are reduced
// through the table. The fold constants x^n mod P are computed at compile time from the polynomial.
#include <cstddef>
#include <cstdint>

#include "src/crc32_tables.h"

#if defined(__x86_64__) || defined(__i386__)

#include <cpuid.h>
#include <emmintrin.h>
#include <wmmintrin.h>

// The functions below use SSE2 and PCLMULQDQ whatever the build's baseline; they run only after the
// processor has been asked. A 32-bit caller may hand over a stack aligned to 4 bytes only.
#if defined(__i386__)
#define CV_CLMUL_TARGET __attribute__((target("sse2,pclmul"), force_align_arg_pointer))
#else
#define CV_CLMUL_TARGET __attribute__((target("sse2,pclmul")))
#endif

namespace cv::crc32_internal {
namespace {

// x^n mod P for the CRC polynomial in its normal (unreflected) form, bit i standing for x^i.
constexpr std::uint32_t XPowerModP(int n) {
  std::uint64_t r = 1;
  for (int i = 0; i < n; ++i) {
    r <<= 1;
    if ((r >> 32) != 0) r ^= 0x104C11DB7ull;
  }
  return static_cast<std::uint32_t>(r);
}

constexpr std::uint32_t Reflect32(std::uint32_t v) {
  std::uint32_t r = 0;
  for (int i = 0; i < 32; ++i) r |= ((v >> i) & 1u) << (31 - i);
  return r;
}

// A polynomial of degree below 32 as a 64-bit multiplier in the register's bit order (bit i stands
// for x^(63-i)), split into the halves _mm_set_epi32 takes.
struct Multiplier {
  std::uint32_t high, low;
};
constexpr Multiplier AsMultiplier(std::uint32_t polynomial) { return {Reflect32(polynomial), 0}; }

// Carrying a block B = H*x^64 + L (H the first eight bytes) forward by `distance` bits: a reflected
// 64x64 multiplication yields x*A*B, so H is multiplied by x^(63+distance) and L by x^(distance-1).
struct FoldConstants {
  Multiplier forFirstHalf, forSecondHalf;
};
constexpr FoldConstants ConstantsFor(int distance) {
  return {AsMultiplier(XPowerModP(63 + distance)), AsMultiplier(XPowerModP(distance - 1))};
}

constexpr FoldConstants kFold512 = ConstantsFor(512);
constexpr FoldConstants kFold128 = ConstantsFor(128);

CV_CLMUL_TARGET inline __m128i Load(const FoldConstants& k) {
  return _mm_set_epi32(static_cast<int>(k.forSecondHalf.high), static_cast<int>(k.forSecondHalf.low),
                       static_cast<int>(k.forFirstHalf.high), static_cast<int>(k.forFirstHalf.low));
}

CV_CLMUL_TARGET inline __m128i Load(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// `block` carried forward by the constants' distance and added to `next`, the block found there.
CV_CLMUL_TARGET inline __m128i Fold(__m128i block, __m128i constants, __m128i next) {
  const __m128i first = _mm_clmulepi64_si128(block, constants, 0x00);
  const __m128i second = _mm_clmulepi64_si128(block, constants, 0x11);
  return _mm_xor_si128(_mm_xor_si128(first, second), next);
}

}  // namespace

bool ProcessorHasCarrylessMultiply() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
  return (ecx & bit_PCLMUL) != 0 && (edx & bit_SSE2) != 0;
}

CV_CLMUL_TARGET std::uint32_t AdvanceCarryless(std::uint32_t reg, const unsigned char* p,
                                                std::size_t size) {
  if (size < 64) return AdvanceBytewise(reg, p, size);

  // The register enters as the first four bytes of the message.
  __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i x1 = Load(p + 16);
  __m128i x2 = Load(p + 32);
  __m128i x3 = Load(p + 48);
  p += 64;
  size -= 64;

  const __m128i fold512 = Load(kFold512);
  for (; size >= 64; p += 64, size -= 64) {
    x0 = Fold(x0, fold512, Load(p));
    x1 = Fold(x1, fold512, Load(p + 16));
    x2 = Fold(x2, fold512, Load(p + 32));
    x3 = Fold(x3, fold512, Load(p + 48));
  }

  const __m128i fold128 = Load(kFold128);
  __m128i x = Fold(x0, fold128, x1);
  x = Fold(x, fold128, x2);
  x = Fold(x, fold128, x3);
  for (; size >= 16; p += 16, size -= 16) x = Fold(x, fold128, Load(p));

  // What remains is congruent to the message so far: its CRC from a zero register.
  alignas(16) unsigned char last[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(last), x);
  reg = AdvanceBytewise(0, last, sizeof last);
  return AdvanceBytewise(reg, p, size);
}

}  // namespace cv::crc32_internal

#else  // no carry-less multiplication on this processor family

namespace cv::crc32_internal {

bool ProcessorHasCarrylessMultiply() { return false; }

std::uint32_t AdvanceCarryless(std::uint32_t reg, const unsigned char* p, std::size_t size) {
  return AdvanceBytewise(reg, p, size);
}

}  // namespace cv::crc32_internal

#endif
