// Writes a parsed JSON value back as compact text. The leaves that need care, escaped strings and
// doubles, go through the same jsoncons functions its encoder calls, with the encoder's default
// options; the structure around them is written here.
#include "src/json_text.h"

#include <cmath>
#include <cstdint>

namespace cv {
namespace {

using Sink = jsoncons::string_sink<std::wstring>;

void AppendDecimal(std::uint64_t magnitude, bool negative, std::wstring& out) {
  wchar_t digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) out.push_back(L'-');
  while (count > 0) out.push_back(digits[--count]);
}

void Append(const WrapperConfig& value, std::wstring& out) {
  switch (value.type()) {
    case jsoncons::json_type::bool_value:
      out += value.as_bool() ? L"true" : L"false";
      return;
    case jsoncons::json_type::int64_value: {
      const auto number = value.as_integer<std::int64_t>();
      // The magnitude in unsigned arithmetic, so that the most negative value has one too.
      const auto bits = static_cast<std::uint64_t>(number);
      AppendDecimal(number < 0 ? 0 - bits : bits, number < 0, out);
      return;
    }
    case jsoncons::json_type::uint64_value:
      AppendDecimal(value.as_integer<std::uint64_t>(), false, out);
      return;
    case jsoncons::json_type::half_value:
    case jsoncons::json_type::double_value: {
      const double number = value.as_double();
      if (!std::isfinite(number)) {
        out += L"null";
        return;
      }
      Sink sink(out);
      jsoncons::detail::write_double(jsoncons::float_chars_format::general, 0)(number, sink);
      return;
    }
    case jsoncons::json_type::string_value:
      // A number too long for 64 bits is kept as its text and written bare.
      if (value.tag() == jsoncons::semantic_tag::bigint || value.tag() == jsoncons::semantic_tag::bigdec) {
        out += value.as_string_view();
      } else {
        AppendJsonString(value.as_string_view(), false, out);
      }
      return;
    case jsoncons::json_type::array_value: {
      out.push_back(L'[');
      bool first = true;
      for (const WrapperConfig& element : value.array_range()) {
        if (!first) out.push_back(L',');
        first = false;
        Append(element, out);
      }
      out.push_back(L']');
      return;
    }
    case jsoncons::json_type::object_value: {
      out.push_back(L'{');
      bool first = true;
      for (const auto& member : value.object_range()) {
        if (!first) out.push_back(L',');
        first = false;
        AppendJsonString(member.key(), false, out);
        out.push_back(L':');
        Append(member.value(), out);
      }
      out.push_back(L'}');
      return;
    }
    // null; a byte string, which no parse of JSON text gives, is written as null too.
    default:
      out += L"null";
      return;
  }
}

}  // namespace

void AppendJsonString(std::wstring_view text, bool asciiOnly, std::wstring& out) {
  Sink sink(out);
  out.push_back(L'"');
  // The encoder's default options write non-ASCII characters and '/' as they are.
  jsoncons::detail::escape_string(text.data(), text.size(), asciiOnly, false, sink);
  out.push_back(L'"');
}

std::wstring JsonText(const WrapperConfig& value) noexcept {
  std::wstring text;
  Append(value, text);
  return text;
}

}  // namespace cv
