// CRC-32: every method against an independent bit-at-a-time oracle (and zlib where the build has it),
// over many lengths, alignments and ways of cutting the data into pieces.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "src/crc32.h"

#ifdef CV_TEST_ZLIB_ORACLE
#include <zlib.h>
#endif

namespace cv {
namespace {

// The CRC straight from its definition: one bit at a time, no table.
std::uint32_t BitwiseCrc32(const unsigned char* data, std::size_t size) {
  std::uint32_t reg = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    reg ^= data[i];
    for (int bit = 0; bit < 8; ++bit) reg = (reg >> 1) ^ (0xEDB88320u & (0u - (reg & 1u)));
  }
  return ~reg;
}

std::uint32_t OneMethod(Crc32Method method, const unsigned char* data, std::size_t size) {
  Crc32 crc(method);
  crc.Update(data, size);
  return crc.Value();
}

std::vector<unsigned char> RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<unsigned char> bytes(size);
  for (auto& b : bytes) b = static_cast<unsigned char>(random());
  return bytes;
}

class Crc32MethodTest : public testing::TestWithParam<Crc32Method> {};

TEST_P(Crc32MethodTest, KnownValues) {
  const struct {
    std::string text;
    std::uint32_t crc;
  } cases[] = {
      {"", 0x00000000u},
      {"123456789", 0xCBF43926u},
      {"a", 0xE8B7BE43u},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
      {std::string(64, '\0'), 0x758D6336u},
      {std::string(32, '\xFF'), 0xFF6CAB0Bu},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OneMethod(GetParam(), reinterpret_cast<const unsigned char*>(c.text.data()), c.text.size()),
              c.crc)
        << c.text.size() << " bytes";
  }
}

TEST_P(Crc32MethodTest, MatchesTheOracleForEveryLengthAndAlignment) {
  const std::vector<unsigned char> bytes = RandomBytes(70000, 7);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (std::size_t n : {511u, 512u, 513u, 1023u, 4096u + 13u, 65536u + 7u}) lengths.push_back(n);
  for (std::size_t offset = 0; offset < 16; ++offset) {
    for (const std::size_t n : lengths) {
      const unsigned char* p = bytes.data() + offset;
      const std::uint32_t expected = BitwiseCrc32(p, n);
      ASSERT_EQ(OneMethod(GetParam(), p, n), expected) << "offset " << offset << ", " << n << " bytes";
#ifdef CV_TEST_ZLIB_ORACLE
      ASSERT_EQ(expected, ::crc32(0, p, static_cast<uInt>(n)));
#endif
    }
  }
}

TEST_P(Crc32MethodTest, PiecesGiveTheSameValueAsTheWhole) {
  const std::vector<unsigned char> bytes = RandomBytes(1 << 18, 11);
  const std::uint32_t whole = BitwiseCrc32(bytes.data(), bytes.size());
  std::mt19937 random(3);
  for (const std::size_t maxPiece : {1u, 17u, 64u, 100u, 4096u, 70000u}) {
    Crc32 crc(GetParam());
    std::size_t done = 0;
    while (done < bytes.size()) {
      const std::size_t piece = std::min<std::size_t>(bytes.size() - done, 1 + random() % maxPiece);
      crc.Update(bytes.data() + done, piece);
      done += piece;
    }
    crc.Update(bytes.data(), 0);
    EXPECT_EQ(crc.Value(), whole) << "pieces up to " << maxPiece << " bytes";
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, Crc32MethodTest,
                         testing::Values(Crc32Method::Bytewise, Crc32Method::SliceBy8,
                                         Crc32Method::CarrylessMultiply),
                         [](const testing::TestParamInfo<Crc32Method>& info) {
                           switch (info.param) {
                             case Crc32Method::Bytewise: return std::string("Bytewise");
                             case Crc32Method::SliceBy8: return std::string("SliceBy8");
                             case Crc32Method::CarrylessMultiply: return std::string("CarrylessMultiply");
                           }
                           return std::string("Unknown");
                         });

TEST(Crc32, DefaultMethodIsTheFastestOneThisProcessorHas) {
  EXPECT_EQ(FastestCrc32Method(), CarrylessMultiplyAvailable() ? Crc32Method::CarrylessMultiply
                                                               : Crc32Method::SliceBy8);
  const std::vector<unsigned char> bytes = RandomBytes(100000, 9);
  EXPECT_EQ(Crc32Of(bytes.data(), bytes.size()), BitwiseCrc32(bytes.data(), bytes.size()));
  std::printf("carry-less multiplication %s\n", CarrylessMultiplyAvailable() ? "available" : "not available");
}

}  // namespace
}  // namespace cv
