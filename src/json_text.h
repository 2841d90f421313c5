// The compact JSON text of a value of the configuration document, as jsoncons's to_string() writes
// it, made without the library's general-purpose encoder (which the stub would otherwise carry in
// full, byte strings, big-number encodings and all, for the one member read that needs it).
#pragma once

#include <string>

#include "src/config.h"

namespace cv {

// The value's JSON text, character for character what value.to_string() gives for every value a
// parse of JSON text produces: null, booleans, 64-bit integers, doubles (shortest form, "null" when
// not finite), strings (big integers written bare), arrays and objects, compact, members in stored
// order. Like to_string(), it ends the process (std::terminate) should memory run out.
std::wstring JsonText(const WrapperConfig& value) noexcept;

}  // namespace cv
