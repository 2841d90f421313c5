// The configuration document: a JSON object whose members "shortcut", "wrapper", "checksum" and
// "version" are looked up and converted at the step of the run that uses each. A document that
// cannot be parsed, or whose member is missing or cannot be converted, fails the run with code 3.
#pragma once

#include "src/json_value.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "src/failure.h"

namespace cv {

using WrapperConfig = jsoncons::wjson;

// Parses the whole text as one JSON value, strictly: nothing but white space may follow it. On
// failure the ERROR line carries the parser's description, which names the line and column.
StageResult ParseConfig(std::wstring_view text, WrapperConfig& config);

// Member reads. Names are compared exactly, letter case included.
// To bool: a boolean as it is, a number when it is not zero, a string by the same rule applied to
// the JSON value its text holds.
StageResult ReadBoolMember(const WrapperConfig& config, std::string_view name, bool& value);
// To text: a string's text, any other value's JSON text.
StageResult ReadTextMember(const WrapperConfig& config, std::string_view name, std::wstring& value);
// To unsigned 32-bit: the low 32 bits of the value as an unsigned 64-bit integer (an integer's
// two's-complement bits, a number from 0 up to 2^64 truncated, a boolean as 1 or 0, a string by the
// same rule applied to the JSON value its text holds). So -1 and 4294967295 both give FFFFFFFF.
StageResult ReadUint32Member(const WrapperConfig& config, std::string_view name, std::uint32_t& value);

// Member values that the run can use. Nothing when the value is usable, otherwise why not.
// The installer's address: "http://" or "https://" (letter case ignored) followed by a host name.
std::optional<std::string> WrapperAddressProblem(std::wstring_view address);
// The version text: it is put between double quotes on the installer's command line, so it may hold
// no double quote and no control character (U+0000 to U+001F, U+007F). An empty version is usable.
std::optional<std::string> VersionTextProblem(std::wstring_view version);

}  // namespace cv
