// Parsing the configuration document and converting its members. jsoncons does the parsing; the
// conversions are the stub's own, because a member given as a string holding JSON text ("true",
// "123") has to convert like the value that text holds, which the library's as<T>() refuses.
#include "src/config.h"

#include <optional>

#include "log/log_text.h"
#include "src/json_text.h"
#include "src/signature.h"
#include "src/utc_time.h"

namespace cv {
namespace {

constexpr char kParseErrorPrefix[] = "Error parsing file. Error: ";

// The description may quote the document (the parser's messages can), so control characters are
// shown escaped rather than breaking the log line.
Failure ConfigFailure(const std::string& description) {
  return Failure{FailureCode::ConfigParseFailed, kParseErrorPrefix + EscapeControls(description)};
}

std::wstring Widen(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string Quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

// The member's value, or the failure that names why there is none.
const WrapperConfig* FindMember(const WrapperConfig& config, std::string_view name, StageResult& failure) {
  if (!config.is_object()) {
    failure = ConfigFailure("the document is not a JSON object, so it has no member " + Quoted(name));
    return nullptr;
  }
  const auto it = config.find(Widen(name));
  if (it == config.object_range().end()) {
    failure = ConfigFailure("the document has no member " + Quoted(name));
    return nullptr;
  }
  return &it->value();
}

// A string that is not a big integer stands for the JSON value its text holds; every other value
// stands for itself. Texts nest ("\"1\"" holds "1", which holds 1), so this repeats until a value
// stands for itself; each round strips at least a pair of quotes, so it ends. Empty when a text is
// not JSON.
std::optional<WrapperConfig> Unwrapped(const WrapperConfig& value) {
  WrapperConfig current = value;
  while (current.is_string() && current.tag() != jsoncons::semantic_tag::bigint) {
    try {
      current = WrapperConfig::parse(current.as_string_view());
    } catch (const std::exception&) {
      return std::nullopt;
    }
  }
  return current;
}

std::optional<bool> ToBool(const WrapperConfig& member) {
  const auto value = Unwrapped(member);
  if (!value) return std::nullopt;
  switch (value->type()) {
    case jsoncons::json_type::bool_value: return value->as<bool>();
    case jsoncons::json_type::int64_value: return value->as<std::int64_t>() != 0;
    case jsoncons::json_type::uint64_value: return value->as<std::uint64_t>() != 0;
    case jsoncons::json_type::half_value:
    case jsoncons::json_type::double_value: return value->as<double>() != 0.0;
    // A big integer is one too long for 64 bits, so never zero.
    case jsoncons::json_type::string_value: return true;
    default: return std::nullopt;
  }
}

std::optional<std::uint64_t> ToUint64(const WrapperConfig& member) {
  const auto value = Unwrapped(member);
  if (!value) return std::nullopt;
  switch (value->type()) {
    case jsoncons::json_type::bool_value: return value->as<bool>() ? 1u : 0u;
    case jsoncons::json_type::int64_value: return static_cast<std::uint64_t>(value->as<std::int64_t>());
    case jsoncons::json_type::uint64_value: return value->as<std::uint64_t>();
    case jsoncons::json_type::half_value:
    case jsoncons::json_type::double_value: {
      const double number = value->as<double>();
      // 2^64 exactly; the negated test also turns away NaN.
      if (!(number >= 0.0 && number < 18446744073709551616.0)) return std::nullopt;
      return static_cast<std::uint64_t>(number);
    }
    // A big integer (beyond 64 bits) has no 64-bit pattern.
    default: return std::nullopt;
  }
}

}  // namespace

StageResult ParseConfig(std::wstring_view text, WrapperConfig& config) {
  // Editors on Windows like to start UTF-8 files with a byte order mark.
  if (!text.empty() && text.front() == L'\uFEFF') text.remove_prefix(1);
  try {
    config = WrapperConfig::parse(text);
  } catch (const std::exception& error) {
    return ConfigFailure(error.what());
  }
  return std::nullopt;
}

StageResult ParseSignedConfig(std::string_view bytes, WrapperConfig& config) {
  std::wstring text;
  const auto decoded = jsoncons::unicode_traits::convert(bytes.data(), bytes.size(), text);
  if (decoded.ec != jsoncons::unicode_traits::conv_errc()) {
    return ConfigFailure("the document is not valid UTF-8");
  }
  if (auto failure = ParseConfig(text, config)) return failure;
  std::optional<std::string> sha256;
  return ReadSha256Member(config, true, sha256);
}

StageResult ReadBoolMember(const WrapperConfig& config, std::string_view name, bool& value) {
  StageResult failure;
  const WrapperConfig* member = FindMember(config, name, failure);
  if (member == nullptr) return failure;
  const auto converted = ToBool(*member);
  if (!converted) return ConfigFailure("the member " + Quoted(name) + " cannot be converted to a boolean");
  value = *converted;
  return std::nullopt;
}

StageResult ReadTextMember(const WrapperConfig& config, std::string_view name, std::wstring& value) {
  StageResult failure;
  const WrapperConfig* member = FindMember(config, name, failure);
  if (member == nullptr) return failure;
  value = member->is_string() ? std::wstring(member->as_string_view()) : JsonText(*member);
  return std::nullopt;
}

StageResult ReadUint32Member(const WrapperConfig& config, std::string_view name, std::uint32_t& value) {
  StageResult failure;
  const WrapperConfig* member = FindMember(config, name, failure);
  if (member == nullptr) return failure;
  const auto converted = ToUint64(*member);
  if (!converted) {
    return ConfigFailure("the member " + Quoted(name) + " cannot be converted to an unsigned integer");
  }
  value = static_cast<std::uint32_t>(*converted);
  return std::nullopt;
}

StageResult ReadSha256Member(const WrapperConfig& config, bool required, std::optional<std::string>& value) {
  constexpr std::string_view kName = "sha256";
  if (!required && config.is_object() && !config.contains(Widen(kName))) return std::nullopt;
  StageResult failure;
  const WrapperConfig* member = FindMember(config, kName, failure);
  if (member == nullptr) return failure;
  // Only a string: a number's JSON text could be 64 digits too, and the parser keeps a number too
  // long for 64 bits as a string with a tag.
  if (!member->is_string() || member->tag() != jsoncons::semantic_tag::none ||
      !IsSha256Hex(member->as_string_view())) {
    return ConfigFailure("the member " + Quoted(kName) + " is not a string of 64 lower-case hex digits");
  }
  const std::wstring_view hex = member->as_string_view();
  value = std::string(hex.begin(), hex.end());
  return std::nullopt;
}

StageResult ReadSizeMember(const WrapperConfig& config, std::optional<std::uint64_t>& value) {
  constexpr std::string_view kName = "size";
  if (config.is_object() && !config.contains(Widen(kName))) return std::nullopt;
  StageResult failure;
  const WrapperConfig* member = FindMember(config, kName, failure);
  if (member == nullptr) return failure;
  // Only an integer: a length has no fraction, no sign and no other spelling.
  if (!member->is_uint64()) return ConfigFailure("the member " + Quoted(kName) + " is not a whole number of bytes");
  value = member->as<std::uint64_t>();
  return std::nullopt;
}

std::optional<std::string> ExpiryProblem(const WrapperConfig& config, std::int64_t now, std::string& validUntil) {
  constexpr std::string_view kName = "expires";
  StageResult failure;
  const WrapperConfig* member = FindMember(config, kName, failure);
  if (member == nullptr) return "the document has no member " + Quoted(kName);
  const auto expires = member->is_string() ? ParseRfc3339(member->as_string_view()) : std::nullopt;
  if (!expires) return "the member " + Quoted(kName) + " is not an RFC 3339 date and time";
  if (now >= *expires) {
    return "the document expired at " + FormatRfc3339Utc(*expires) + "; the clock of this computer reads " +
           FormatRfc3339Utc(now);
  }
  validUntil = FormatRfc3339Utc(*expires);
  return std::nullopt;
}

namespace {

// A text member that the run can only use when `problem` finds nothing wrong with it.
StageResult ReadUsableTextMember(const WrapperConfig& config, std::string_view name,
                                 std::optional<std::string> (*problem)(std::wstring_view), std::wstring& value) {
  std::wstring text;
  if (auto failure = ReadTextMember(config, name, text)) return failure;
  if (const auto why = problem(text)) return ConfigFailure("the member " + Quoted(name) + " is unusable: " + *why);
  value = std::move(text);
  return std::nullopt;
}

}  // namespace

StageResult ReadWrapperMember(const WrapperConfig& config, std::wstring& value) {
  return ReadUsableTextMember(config, "wrapper", WrapperAddressProblem, value);
}

StageResult ReadVersionMember(const WrapperConfig& config, std::wstring& value) {
  return ReadUsableTextMember(config, "version", VersionTextProblem, value);
}

namespace {

// True when `text` starts with the ASCII text `prefix`, letter case ignored.
bool StartsWithNoCase(std::wstring_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    wchar_t c = text[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != static_cast<wchar_t>(prefix[i])) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> WrapperAddressProblem(std::wstring_view address) {
  std::size_t schemeLength = 0;
  if (StartsWithNoCase(address, "http://")) {
    schemeLength = 7;
  } else if (StartsWithNoCase(address, "https://")) {
    schemeLength = 8;
  } else {
    return "not an http:// or https:// address";
  }
  // The host lies between the user name (up to "@") and the port (from ":") of the authority.
  std::wstring_view authority = address.substr(schemeLength);
  authority = authority.substr(0, authority.find_first_of(L"/?#"));
  const std::size_t at = authority.rfind(L'@');
  if (at != std::wstring_view::npos) authority.remove_prefix(at + 1);
  const std::wstring_view host = authority.substr(0, authority.rfind(L':'));
  if (host.empty()) return "the address has no host name";
  return std::nullopt;
}

std::optional<std::string> VersionTextProblem(std::wstring_view version) {
  for (const wchar_t c : version) {
    if (c == L'"') return "the version holds a double quote";
    if (c < 0x20 || c == 0x7F) {
      constexpr char kDigits[] = "0123456789ABCDEF";
      const auto code = static_cast<unsigned>(c);
      return std::string("the version holds the control character U+00") + kDigits[code >> 4] + kDigits[code & 0xF];
    }
  }
  // Before the closing quote a backslash would escape it, and the installer would read the stub's own
  // arguments as part of the version.
  if (!version.empty() && version.back() == L'\\') return "the version ends in a backslash";
  return std::nullopt;
}

}  // namespace cv
