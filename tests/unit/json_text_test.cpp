// The document's values written back as JSON text, against jsoncons's own encoder (the stub's smaller
// writer must give the library's text exactly), and swapped by the stub's byte-wise swap.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "src/json_text.h"

namespace cv {
namespace {

// The library's own text of a value, which JsonText must reproduce.
std::wstring LibraryText(const WrapperConfig& value) { return value.to_string(); }

TEST(JsonText, WritesEveryParsedValueAsTheLibraryDoes) {
  const wchar_t* documents[] = {
      L"null", L"true", L"false", L"0", L"-0", L"7", L"-7", L"9223372036854775807", L"-9223372036854775808",
      L"18446744073709551615", L"18446744073709551616", L"-9223372036854775809",
      L"123456789012345678901234567890", L"0.0", L"-0.0", L"1.5", L"-2.25", L"0.1", L"1e3", L"1E-7",
      L"100.0", L"1e21", L"1e22", L"123456789012345.678", L"5e-324", L"2.2250738585072014e-308",
      L"1.7976931348623157e308", L"1e400", L"-1e400", L"3.141592653589793", L"0.30000000000000004",
      L"\"\"", L"\"plain\"", L"\"a\\\"b\\\\c/d\"", L"\"\\b\\f\\n\\r\\t\"", L"\"\\u0001\\u001f\\u007f\"",
      L"\"\\u00e9\\u4e2d\\ud83d\\ude00\"", L"\"caf\u00e9 \u4e2d\"", L"[]", L"{}", L"[1,[2,[3,[]]],{}]",
      L"{\"b\":1,\"a\":[true,null,\"x\"],\"c\":{\"z\":0.5,\"y\":{}}}", L"{\"k\":1,\"k\":2,\"j\":3}",
      L"[18446744073709551617, -1.0e-5, \"\\u0000\"]", L"{\"\\u0007key\":\"v\"}"};
  for (const wchar_t* document : documents) {
    const WrapperConfig value = WrapperConfig::parse(std::wstring_view(document));
    EXPECT_EQ(JsonText(value), LibraryText(value)) << "document " << testing::PrintToString(std::wstring(document));
  }
}

// Doubles from random bit patterns, many of them outside what the shortest-digits method settles
// alone, so that both of the library's ways of writing a double are compared.
TEST(JsonText, WritesDoublesAsTheLibraryDoes) {
  std::mt19937_64 random(20261209);
  int compared = 0;
  while (compared < 50000) {
    const std::uint64_t bits = random();
    double number;
    std::memcpy(&number, &bits, sizeof number);
    if (compared % 2 == 0) number = static_cast<double>(bits >> 11) / 1e6;  // everyday magnitudes too
    const WrapperConfig value(number);
    ASSERT_EQ(JsonText(value), LibraryText(value)) << "double with bits " << bits;
    ++compared;
  }
}

TEST(JsonValueSwap, SwapsEveryKindOfValue) {
  const std::vector<WrapperConfig> values = {
      WrapperConfig(), WrapperConfig(true), WrapperConfig(std::int64_t{-5}), WrapperConfig(std::uint64_t{1} << 63),
      WrapperConfig(2.5), WrapperConfig(L"short"), WrapperConfig(std::wstring(100, L'x')),
      WrapperConfig::parse(std::wstring_view(L"123456789012345678901234567890")),
      WrapperConfig::parse(std::wstring_view(L"{}")), WrapperConfig::parse(std::wstring_view(L"{\"a\":[1,\"b\"]}")),
      WrapperConfig::parse(std::wstring_view(L"[{\"c\":null}]")),
      WrapperConfig(jsoncons::byte_string_arg, std::vector<std::uint8_t>{1, 2, 3})};
  for (const WrapperConfig& left : values) {
    for (const WrapperConfig& right : values) {
      WrapperConfig a = left, b = right;
      a.swap(b);
      EXPECT_EQ(a, right);
      EXPECT_EQ(b, left);
      EXPECT_EQ(a.tag(), right.tag());
      WrapperConfig c = left;
      c = WrapperConfig(right);  // move assignment swaps when either side holds heap parts
      EXPECT_EQ(c, right);
    }
  }
  // Sorting an object's members moves them by swapping.
  const WrapperConfig sorted = WrapperConfig::parse(std::wstring_view(L"{\"d\":[4],\"c\":\"3\",\"b\":{\"x\":2},\"a\":1}"));
  EXPECT_EQ(sorted.to_string(), L"{\"a\":1,\"b\":{\"x\":2},\"c\":\"3\",\"d\":[4]}");
}

}  // namespace
}  // namespace cv
