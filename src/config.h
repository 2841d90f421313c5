// The configuration document: a JSON object whose members "shortcut", "wrapper", "checksum" and
// "version" (and, in a signed release, "sha256", "size" and "expires") are looked up and converted at the step of the run
// that uses each. A document that cannot be parsed, or whose member is missing or cannot be
// converted, fails the run with code 3.
#pragma once

#include "src/json_value.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "src/failure.h"

namespace cv {

using WrapperConfig = jsoncons::wjson;

// The largest configuration document the stub reads, in bytes; a real one is a few hundred.
constexpr std::uint32_t kMaxConfigDocumentBytes = 1024 * 1024;

// Parses the whole text as one JSON value, strictly: nothing but white space may follow it. A byte
// order mark (U+FEFF) before the value is skipped. On failure the ERROR line carries the parser's
// description, which names the line and column.
StageResult ParseConfig(std::wstring_view text, WrapperConfig& config);

// A signed document, from the exact bytes whose signature was checked: they are decoded as UTF-8,
// strictly, rather than by the charset the answer's headers name (the headers are not signed), then
// parsed as ParseConfig does. A signed document must name the installer's SHA-256 ("sha256").
StageResult ParseSignedConfig(std::string_view bytes, WrapperConfig& config);

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
// "wrapper" as text, refused (naming the reason) unless WrapperAddressProblem finds none.
StageResult ReadWrapperMember(const WrapperConfig& config, std::wstring& value);
// "version" as text, refused (naming the reason) unless VersionTextProblem finds none.
StageResult ReadVersionMember(const WrapperConfig& config, std::wstring& value);

// "sha256": the installer's SHA-256 as a string of 64 lower-case hex digits. A document without the
// member leaves `value` empty, which is a failure only when `required`.
StageResult ReadSha256Member(const WrapperConfig& config, bool required, std::optional<std::string>& value);

// "size": the installer's length in bytes, a JSON integer from 0 up. A document without the member
// leaves `value` empty; the installer's length is then not checked.
StageResult ReadSizeMember(const WrapperConfig& config, std::optional<std::uint64_t>& value);

// A signed document proves who made it, not when: "expires" (RFC 3339) ends its use, so that an old
// release served in place of the newest one is refused once it has expired. Nothing when the
// document names a time after `now` (seconds since 1970, UTC), and `validUntil` is then that time
// in UTC; otherwise why not, with the dates.
std::optional<std::string> ExpiryProblem(const WrapperConfig& config, std::int64_t now, std::string& validUntil);

// A stub built with the publisher's key fetches the document and its signature file (the document's
// address with this suffix) together at most this many times: a release published between the two
// fetches of one round makes them disagree once.
constexpr wchar_t kSignatureFileSuffix[] = L".sig";
constexpr int kSignedConfigAttempts = 2;
// The ERROR line of a document whose signature is missing, unreadable or wrong, before the reason.
constexpr char kConfigSignatureFailedPrefix[] = "Configuration signature check failed: ";

// Member values that the run can use. Nothing when the value is usable, otherwise why not.
// The installer's address: "http://" or "https://" (letter case ignored) followed by a host name.
std::optional<std::string> WrapperAddressProblem(std::wstring_view address);
// The version text: it is put between double quotes on the installer's command line, so it may hold
// no double quote, no control character (U+0000 to U+001F, U+007F) and no backslash at its end. An
// empty version is usable.
std::optional<std::string> VersionTextProblem(std::wstring_view version);

}  // namespace cv
