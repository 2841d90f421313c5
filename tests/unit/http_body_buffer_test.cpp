// The response body buffer: pieces of any size arrive whole and in order, always followed by a zero
// byte, with the capacity doubling from 10240 bytes; past its limit it refuses like an allocation.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "http/body_buffer.h"

namespace cv {
namespace {

// Bytes 0..250 repeated, so a piece copied to the wrong place shows.
std::string Pattern(std::size_t length, std::size_t offset) {
  std::string text(length, '\0');
  for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>((offset + i) % 251 + 1);
  return text;
}

struct GrowthCase {
  const char* name;
  std::vector<std::size_t> pieces;
  std::size_t capacity;
};

class BodyBufferGrowthTest : public testing::TestWithParam<GrowthCase> {};

TEST_P(BodyBufferGrowthTest, HoldsPiecesInOrderWithZeroAfter) {
  BodyBuffer body;
  std::string expected;
  for (std::size_t piece : GetParam().pieces) {
    const std::string bytes = Pattern(piece, expected.size());
    body.Append(bytes.data(), bytes.size());
    expected += bytes;
  }
  ASSERT_EQ(body.size(), expected.size());
  EXPECT_EQ(std::string(body.data(), body.size()), expected);
  EXPECT_EQ(body.data()[body.size()], '\0');
  EXPECT_EQ(body.capacity(), GetParam().capacity);
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, BodyBufferGrowthTest,
    testing::Values(GrowthCase{"Empty", {}, 10240}, GrowthCase{"NothingRead", {0, 0}, 10240},
                    GrowthCase{"OneShortOfFirstBlock", {10239}, 10240},
                    GrowthCase{"FillsFirstBlockExactly", {10240}, 20480},
                    GrowthCase{"UnevenPieces", {1, 8191, 2047, 3, 4000, 17}, 20480},
                    GrowthCase{"OnePieceNeedsSeveralDoublings", {100, 50000}, 81920},
                    GrowthCase{"ManySmallPieces", std::vector<std::size_t>(300, 137), 81920}),
    [](const testing::TestParamInfo<GrowthCase>& info) { return std::string(info.param.name); });

TEST(BodyBufferLimit, RefusesPastLimitAndKeepsWhatItHeld) {
  BodyBuffer body(100);
  const std::string first = Pattern(60, 0);
  body.Append(first.data(), first.size());
  const std::string second = Pattern(41, 60);
  EXPECT_THROW(body.Append(second.data(), second.size()), std::bad_alloc);
  EXPECT_EQ(std::string(body.data(), body.size()), first);
  body.Append(second.data(), 40);  // exactly up to the limit still fits
  EXPECT_EQ(body.size(), 100u);
  EXPECT_EQ(body.data()[100], '\0');
}

}  // namespace
}  // namespace cv
