// The compact JSON text of a value of the configuration document, as jsoncons's to_string() writes
// it, and JSON strings of texts the stub writes itself (the GA4 hit), made without the library's
// general-purpose encoder (which the stub would otherwise carry in full, byte strings, big-number
// encodings and all).
#pragma once

#include <string>
#include <string_view>

#include "src/config.h"

namespace cv {

// The value's JSON text, character for character what value.to_string() gives for every value a
// parse of JSON text produces: null, booleans, 64-bit integers, doubles (shortest form, "null" when
// not finite), strings (big integers written bare), arrays and objects, compact, members in stored
// order. Like to_string(), it ends the process (std::terminate) should memory run out.
std::wstring JsonText(const WrapperConfig& value) noexcept;

// Appends `text` as a JSON string, quoted and escaped as to_string() does; with `asciiOnly` every
// character outside ASCII is written as a \u escape (a pair of them beyond U+FFFF). `text` must be
// valid UTF-16 (UTF-32 where wchar_t is 32-bit): the escape of an unpaired surrogate throws.
void AppendJsonString(std::wstring_view text, bool asciiOnly, std::wstring& out);

}  // namespace cv
