// The configuration document: strict parsing and the conversion rules of its members.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "log/log_text.h"
#include "src/config.h"

namespace cv {
namespace {

WrapperConfig Parsed(const std::wstring& text) {
  WrapperConfig config;
  const StageResult failure = ParseConfig(text, config);
  EXPECT_FALSE(failure.has_value()) << failure->logLine;
  return config;
}

// ---- Parsing ---------------------------------------------------------------------------------

struct ParseFailureCase {
  const wchar_t* text;
  const char* logLine;
};

class ParseFailureTest : public testing::TestWithParam<ParseFailureCase> {};

TEST_P(ParseFailureTest, FailsWithCode3AndTheParsersDescription) {
  WrapperConfig config;
  const StageResult failure = ParseConfig(GetParam().text, config);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->code, FailureCode::ConfigParseFailed);
  EXPECT_EQ(failure->logLine, GetParam().logLine);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseFailureTest,
    testing::Values(
        ParseFailureCase{L"", "Error parsing file. Error: Unexpected end of file at line 1 and column 1"},
        ParseFailureCase{L"   \r\n", "Error parsing file. Error: Unexpected end of file at line 2 and column 1"},
        ParseFailureCase{L"{\"a\":1} x",
                         "Error parsing file. Error: Unexpected non-whitespace character after JSON text at "
                         "line 1 and column 8"},
        ParseFailureCase{L"<html>\r\n<head><title>404 Not Found</title></head>\r\n</html>",
                         "Error parsing file. Error: JSON syntax_error at line 1 and column 1"},
        ParseFailureCase{L"{\"wrapper\": \"http://x/setup.exe\",\n \"checksum\": ",
                         "Error parsing file. Error: Unexpected end of file at line 2 and column 14"}));

TEST(ParseConfig, SkipsAByteOrderMarkBeforeTheDocumentOnly) {
  std::wstring version;
  EXPECT_FALSE(ReadTextMember(Parsed(L"\uFEFF{\"version\": \"1.0\"}"), "version", version));
  EXPECT_EQ(version, L"1.0");
  WrapperConfig config;
  const StageResult failure = ParseConfig(L"{\"version\": \"1.0\"}\uFEFF", config);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->code, FailureCode::ConfigParseFailed);
}

TEST(ParseConfig, AcceptsOneValueWithWhiteSpaceAroundIt) {
  const WrapperConfig config = Parsed(L" \r\n\t{\"version\": \"1.0\"}\r\n \t");
  std::wstring version;
  EXPECT_FALSE(ReadTextMember(config, "version", version));
  EXPECT_EQ(version, L"1.0");
}

// ---- Conversions -----------------------------------------------------------------------------

// A member value (JSON text) and what it converts to; empty when it cannot be converted.
template <typename T>
struct ConversionCase {
  const wchar_t* json;
  std::optional<T> expected;
};

using ChecksumCase = ConversionCase<std::uint32_t>;
class ChecksumConversionTest : public testing::TestWithParam<ChecksumCase> {};

TEST_P(ChecksumConversionTest, ConvertsByTheUnsignedRule) {
  const WrapperConfig config = Parsed(std::wstring(L"{\"checksum\": ") + GetParam().json + L"}");
  std::uint32_t value = 12345;
  const StageResult failure = ReadUint32Member(config, "checksum", value);
  if (GetParam().expected) {
    EXPECT_FALSE(failure.has_value()) << failure->logLine;
    EXPECT_EQ(value, *GetParam().expected);
  } else {
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->code, FailureCode::ConfigParseFailed);
    EXPECT_EQ(failure->logLine,
              "Error parsing file. Error: the member \"checksum\" cannot be converted to an unsigned integer");
    EXPECT_EQ(value, 12345u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, ChecksumConversionTest,
    testing::Values(ChecksumCase{L"3421780262", 3421780262u}, ChecksumCase{L"4294967295", 0xFFFFFFFFu},
                    ChecksumCase{L"-1", 0xFFFFFFFFu}, ChecksumCase{L"-2147483648", 0x80000000u},
                    ChecksumCase{L"4294967301", 5u},  // 2^32 + 5
                    ChecksumCase{L"18446744073709551615", 0xFFFFFFFFu},
                    ChecksumCase{L"-9223372036854775808", 0u}, ChecksumCase{L"\"123\"", 123u},
                    ChecksumCase{L"\"-1\"", 0xFFFFFFFFu}, ChecksumCase{L"\"\\\"7\\\"\"", 7u},  // a string holding a string holding 7
                    ChecksumCase{L"3421780262.9", 3421780262u}, ChecksumCase{L"0.99", 0u},
                    ChecksumCase{L"1e3", 1000u}, ChecksumCase{L"4294967301.5", 5u},
                    ChecksumCase{L"-0.0", 0u}, ChecksumCase{L"true", 1u}, ChecksumCase{L"false", 0u},
                    ChecksumCase{L"\"true\"", 1u}, ChecksumCase{L"null", std::nullopt},
                    ChecksumCase{L"[1]", std::nullopt}, ChecksumCase{L"{\"v\":1}", std::nullopt},
                    ChecksumCase{L"\"abc\"", std::nullopt}, ChecksumCase{L"\"null\"", std::nullopt}, ChecksumCase{L"-0.5", std::nullopt},
                    ChecksumCase{L"18446744073709551616.0", std::nullopt},  // 2^64
                    ChecksumCase{L"1e400", std::nullopt},
                    ChecksumCase{L"18446744073709551621", std::nullopt},  // beyond 64 bits
                    ChecksumCase{L"\"18446744073709551621\"", std::nullopt}));

using ShortcutCase = ConversionCase<bool>;
class ShortcutConversionTest : public testing::TestWithParam<ShortcutCase> {};

TEST_P(ShortcutConversionTest, ConvertsByTheBooleanRule) {
  const WrapperConfig config = Parsed(std::wstring(L"{\"shortcut\": ") + GetParam().json + L"}");
  for (const bool before : {false, true}) {
    bool value = before;
    const StageResult failure = ReadBoolMember(config, "shortcut", value);
    if (GetParam().expected) {
      EXPECT_FALSE(failure.has_value()) << failure->logLine;
      EXPECT_EQ(value, *GetParam().expected);
    } else {
      ASSERT_TRUE(failure.has_value());
      EXPECT_EQ(failure->logLine,
                "Error parsing file. Error: the member \"shortcut\" cannot be converted to a boolean");
      EXPECT_EQ(value, before);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, ShortcutConversionTest,
    testing::Values(ShortcutCase{L"true", true}, ShortcutCase{L"false", false}, ShortcutCase{L"0", false},
                    ShortcutCase{L"1", true}, ShortcutCase{L"-1", true},
                    ShortcutCase{L"18446744073709551615", true}, ShortcutCase{L"0.0", false},
                    ShortcutCase{L"0.25", true}, ShortcutCase{L"\"true\"", true},
                    ShortcutCase{L"\"false\"", false}, ShortcutCase{L"\"0\"", false},
                    ShortcutCase{L"\"2\"", true}, ShortcutCase{L"\"\\\"true\\\"\"", true},
                    ShortcutCase{L"123456789012345678901234567890", true}, ShortcutCase{L"null", std::nullopt},
                    ShortcutCase{L"\"yes\"", std::nullopt}, ShortcutCase{L"\"True\"", std::nullopt},
                    ShortcutCase{L"\"\"", std::nullopt}, ShortcutCase{L"[]", std::nullopt},
                    ShortcutCase{L"{}", std::nullopt}, ShortcutCase{L"\"null\"", std::nullopt}));

struct TextCase {
  const wchar_t* json;
  const wchar_t* expected;
};

class TextConversionTest : public testing::TestWithParam<TextCase> {};

TEST_P(TextConversionTest, GivesAStringsTextAndAnyOtherValuesJson) {
  const WrapperConfig config = Parsed(std::wstring(L"{\"version\": ") + GetParam().json + L"}");
  std::wstring value;
  EXPECT_FALSE(ReadTextMember(config, "version", value));
  EXPECT_EQ(value, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, TextConversionTest,
    testing::Values(TextCase{L"\"3.1.4\"", L"3.1.4"}, TextCase{L"2", L"2"}, TextCase{L"-7", L"-7"},
                    TextCase{L"true", L"true"}, TextCase{L"null", L"null"}, TextCase{L"\"\"", L""},
                    TextCase{L"\"a\\\"b\\\\c\"", L"a\"b\\c"}, TextCase{L"\"\\u00e9\\u4e2d\"", L"\u00e9\u4e2d"},
                    TextCase{L"\"http://h/setup.exe?a=1&b=2\"", L"http://h/setup.exe?a=1&b=2"},
                    TextCase{L"[1,\"x\"]", L"[1,\"x\"]"}, TextCase{L"{\"a\":1}", L"{\"a\":1}"}));

// ---- Members that are not there ---------------------------------------------------------------

TEST(MemberRead, NamesAreComparedWithLetterCase) {
  const WrapperConfig config = Parsed(L"{\"Checksum\": 5, \"SHORTCUT\": true, \"Version\": \"1\"}");
  std::uint32_t checksum = 0;
  bool shortcut = false;
  std::wstring version;
  const StageResult checksumFailure = ReadUint32Member(config, "checksum", checksum);
  ASSERT_TRUE(checksumFailure.has_value());
  EXPECT_EQ(checksumFailure->code, FailureCode::ConfigParseFailed);
  EXPECT_EQ(checksumFailure->logLine, "Error parsing file. Error: the document has no member \"checksum\"");
  const StageResult shortcutFailure = ReadBoolMember(config, "shortcut", shortcut);
  ASSERT_TRUE(shortcutFailure.has_value());
  EXPECT_EQ(shortcutFailure->logLine, "Error parsing file. Error: the document has no member \"shortcut\"");
  EXPECT_TRUE(ReadTextMember(config, "version", version).has_value());
}

TEST(MemberRead, ADocumentThatIsNotAnObjectHasNoMembers) {
  for (const wchar_t* text : {L"[{\"wrapper\": \"x\"}]", L"\"wrapper\"", L"42", L"null"}) {
    const WrapperConfig config = Parsed(text);
    std::wstring wrapper;
    const StageResult failure = ReadTextMember(config, "wrapper", wrapper);
    ASSERT_TRUE(failure.has_value()) << text;
    EXPECT_EQ(failure->code, FailureCode::ConfigParseFailed);
    EXPECT_EQ(failure->logLine,
              "Error parsing file. Error: the document is not a JSON object, so it has no member \"wrapper\"");
  }
}

TEST(MemberRead, OtherMembersAreIgnoredAndEachIsReadWhereItIs) {
  const WrapperConfig config = Parsed(
      L"{\"extra\": [1, 2], \"shortcut\": \"true\", \"wrapper\": \"https://d.example/cv.exe\","
      L" \"checksum\": -1, \"version\": 2}");
  bool shortcut = false;
  std::wstring wrapper, version;
  std::uint32_t checksum = 0;
  EXPECT_FALSE(ReadBoolMember(config, "shortcut", shortcut));
  EXPECT_FALSE(ReadTextMember(config, "wrapper", wrapper));
  EXPECT_FALSE(ReadUint32Member(config, "checksum", checksum));
  EXPECT_FALSE(ReadTextMember(config, "version", version));
  EXPECT_TRUE(shortcut);
  EXPECT_EQ(wrapper, L"https://d.example/cv.exe");
  EXPECT_EQ(checksum, 0xFFFFFFFFu);
  EXPECT_EQ(version, L"2");
}

}  // namespace
}  // namespace cv

// ---- Usable member values --------------------------------------------------------------------

namespace cv {
namespace {

TEST(WrapperAddressProblem, AcceptsHttpAndHttpsAddressesWithAHost) {
  const std::vector<std::pair<std::wstring, std::optional<std::string>>> cases = {
      {L"http://example.com/setup.exe", std::nullopt},
      {L"HTTPS://example.com", std::nullopt},
      {L"hTTp://127.0.0.1:47180/x?y#z", std::nullopt},
      {L"https://user:pw@host/", std::nullopt},
      {L"https://[::1]:8443/a", std::nullopt},
      {L"ftp://example.com/setup.exe", "not an http:// or https:// address"},
      {L"http:/example.com", "not an http:// or https:// address"},
      {L" http://example.com", "not an http:// or https:// address"},
      {L"example.com/setup.exe", "not an http:// or https:// address"},
      {L"", "not an http:// or https:// address"},
      {L"http://", "the address has no host name"},
      {L"https:///setup.exe", "the address has no host name"},
      {L"http://:80/setup.exe", "the address has no host name"},
      {L"http://user@/setup.exe", "the address has no host name"},
      {L"http://?q=1", "the address has no host name"},
  };
  for (const auto& [address, expected] : cases) {
    EXPECT_EQ(WrapperAddressProblem(address), expected) << std::string(address.begin(), address.end());
  }
}

// The checked reads give the text when it is usable, and otherwise a code 3 line that names the
// member and the reason.
TEST(CheckedMemberRead, GivesUsableTextsAndNamesMemberAndReasonOtherwise) {
  std::wstring wrapper, version;
  EXPECT_FALSE(ReadWrapperMember(Parsed(L"{\"wrapper\": \"HTTPS://d.example/cv.exe\"}"), wrapper));
  EXPECT_EQ(wrapper, L"HTTPS://d.example/cv.exe");
  EXPECT_FALSE(ReadVersionMember(Parsed(L"{\"version\": 2}"), version));
  EXPECT_EQ(version, L"2");

  const std::vector<std::pair<StageResult, std::string>> refused = {
      {ReadWrapperMember(Parsed(L"{\"wrapper\": \"file:///C:/x.exe\"}"), wrapper),
       "the member \"wrapper\" is unusable: not an http:// or https:// address"},
      {ReadWrapperMember(Parsed(L"{}"), wrapper), "the document has no member \"wrapper\""},
      {ReadVersionMember(Parsed(L"{\"version\": \"1\\n2\"}"), version),
       "the member \"version\" is unusable: the version holds the control character U+000A"},
      // Any value other than a string reads as its JSON text, quotes and all.
      {ReadVersionMember(Parsed(L"{\"version\": [\"1\"]}"), version),
       "the member \"version\" is unusable: the version holds a double quote"},
  };
  for (const auto& [failure, reason] : refused) {
    ASSERT_TRUE(failure.has_value()) << reason;
    EXPECT_EQ(failure->code, FailureCode::ConfigParseFailed);
    EXPECT_EQ(failure->logLine, "Error parsing file. Error: " + reason);
  }
  EXPECT_EQ(wrapper, L"HTTPS://d.example/cv.exe");
  EXPECT_EQ(version, L"2");
}

TEST(VersionTextProblem, RefusesQuotesControlCharactersAndABackslashAtTheEnd) {
  const std::vector<std::pair<std::wstring, std::optional<std::string>>> cases = {
      {L"", std::nullopt},
      {L"1.2.3", std::nullopt},
      {L"2.0 beta (x64) & more", std::nullopt},
      {L"1.0-\u00e9\u0080\u4e2d", std::nullopt},
      {L"1.\"2", "the version holds a double quote"},
      {std::wstring(L"1\0", 2), "the version holds the control character U+0000"},
      {L"1.0\t", "the version holds the control character U+0009"},
      {L"1.0\n", "the version holds the control character U+000A"},
      {L"\x1f", "the version holds the control character U+001F"},
      {L"1\x7f", "the version holds the control character U+007F"},
      // A backslash inside is plain text to the installer; only at the end does it escape the quote.
      {L"1\\2", std::nullopt},
      {L"1.2\\", "the version ends in a backslash"},
      {L"1.2\\\\", "the version ends in a backslash"},
  };
  for (const auto& [version, expected] : cases) EXPECT_EQ(VersionTextProblem(version), expected);
}

}  // namespace
}  // namespace cv

// ---- Signed documents ------------------------------------------------------------------------

namespace cv {
namespace {

// SHA-256 of "test".
constexpr char kSha256[] = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";

// A document given as bytes, and the ERROR line of its failure (empty when it is accepted).
struct SignedCase {
  std::string bytes;
  std::string logLine;
};

class SignedConfigTest : public testing::TestWithParam<SignedCase> {};

TEST_P(SignedConfigTest, DecodesUtf8StrictlyAndRequiresSha256) {
  WrapperConfig config;
  const StageResult failure = ParseSignedConfig(GetParam().bytes, config);
  if (GetParam().logLine.empty()) {
    EXPECT_FALSE(failure.has_value()) << failure->logLine;
    return;
  }
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->code, FailureCode::ConfigParseFailed);
  EXPECT_EQ(failure->logLine, GetParam().logLine);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, SignedConfigTest,
    testing::Values(
        SignedCase{std::string("{\"version\": \"caf\xC3\xA9\", \"sha256\": \"") + kSha256 + "\"}", ""},
        SignedCase{std::string("{\"version\": \"caf\xE9\", \"sha256\": \"") + kSha256 + "\"}",
                   "Error parsing file. Error: the document is not valid UTF-8"},
        SignedCase{std::string("{\"sha256\": \"") + kSha256 + std::string("\"}\0{}", 5), "Error parsing file. Error: "
                   "Unexpected non-whitespace character after JSON text at line 1 and column 79"},
        SignedCase{"{\"version\": \"1\"}", "Error parsing file. Error: the document has no member \"sha256\""},
        SignedCase{"[1]", "Error parsing file. Error: the document is not a JSON object, so it has no member "
                          "\"sha256\""}));

TEST(ReadSha256Member, TakesOnlyAStringOf64LowerCaseHexDigits) {
  const std::string upper = "9F86D081884C7D659A2FEAA0C55AD015A3BF4F1B2B0B822CD15D6C15B0F00A08";
  const std::string bad = "Error parsing file. Error: the member \"sha256\" is not a string of 64 lower-case hex digits";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {std::string("\"") + kSha256 + "\"", ""},
      {"\"" + upper + "\"", bad},
      {std::string("\"") + (kSha256 + 1) + "\"", bad},
      {"1111111111111111111111111111111111111111111111111111111111111111", bad},
      {"null", bad}};
  for (const auto& [member, logLine] : cases) {
    const std::string text = "{\"sha256\": " + member + "}";
    const WrapperConfig config = Parsed(std::wstring(text.begin(), text.end()));
    for (const bool required : {false, true}) {
      std::optional<std::string> value;
      const StageResult failure = ReadSha256Member(config, required, value);
      EXPECT_EQ(failure ? failure->logLine : "", logLine) << member;
      EXPECT_EQ(value, logLine.empty() ? std::optional<std::string>(kSha256) : std::nullopt) << member;
    }
  }
  // Without the member: nothing to check, unless the document must name one.
  const WrapperConfig none = Parsed(L"{\"checksum\": 1}");
  std::optional<std::string> value;
  EXPECT_FALSE(ReadSha256Member(none, false, value).has_value());
  EXPECT_FALSE(value.has_value());
  const StageResult failure = ReadSha256Member(none, true, value);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->logLine, "Error parsing file. Error: the document has no member \"sha256\"");
}

}  // namespace
}  // namespace cv

// ---- The installer's size and the document's expiry -----------------------------------------

namespace cv {
namespace {

WrapperConfig Document(const std::wstring& text) {
  WrapperConfig config;
  EXPECT_FALSE(ParseConfig(text, config).has_value()) << Narrow(text);
  return config;
}

TEST(ReadSizeMember, TakesOnlyAWholeNumberOfBytesAndNothingWhenAbsent) {
  const std::string bad = "Error parsing file. Error: the member \"size\" is not a whole number of bytes";
  const std::vector<std::pair<std::wstring, std::string>> cases = {
      {L"300000", ""}, {L"0", ""}, {L"18446744073709551615", ""}, {L"-1", bad},
      {L"1.5", bad},   {L"1e3", bad}, {L"\"300000\"", bad},        {L"true", bad},
      {L"null", bad},  {L"18446744073709551616", bad},
  };
  for (const auto& [value, expected] : cases) {
    std::optional<std::uint64_t> size;
    const StageResult failure = ReadSizeMember(Document(L"{\"size\": " + value + L"}"), size);
    EXPECT_EQ(failure ? failure->logLine : "", expected) << Narrow(value);
    if (expected.empty()) {
      EXPECT_EQ(size, std::stoull(Narrow(value))) << Narrow(value);
    }
  }
  std::optional<std::uint64_t> size;
  EXPECT_FALSE(ReadSizeMember(Document(L"{\"Size\": 5}"), size).has_value());
  EXPECT_FALSE(size.has_value());
}

TEST(ExpiryProblem, TakesADocumentOnlyBeforeItsExpiryAndNamesTheDates) {
  const std::int64_t now = 1799505000;  // 2027-01-09T14:30:00Z
  const std::vector<std::pair<std::wstring, std::optional<std::string>>> cases = {
      {L"\"2027-01-09T14:30:01Z\"", std::nullopt},
      {L"\"2027-01-09T15:30:00.5+01:00\"",
       "the document expired at 2027-01-09T14:30:00Z; the clock of this computer reads 2027-01-09T14:30:00Z"},
      {L"\"2026-12-01T00:00:00Z\"",
       "the document expired at 2026-12-01T00:00:00Z; the clock of this computer reads 2027-01-09T14:30:00Z"},
      {L"\"2027-02-30T00:00:00Z\"", "the member \"expires\" is not an RFC 3339 date and time"},
      {L"1799505001", "the member \"expires\" is not an RFC 3339 date and time"},
  };
  for (const auto& [value, expected] : cases) {
    std::string validUntil;
    EXPECT_EQ(ExpiryProblem(Document(L"{\"expires\": " + value + L"}"), now, validUntil), expected) << Narrow(value);
    EXPECT_EQ(validUntil, expected ? "" : "2027-01-09T14:30:01Z") << Narrow(value);
  }
  std::string validUntil;
  EXPECT_EQ(ExpiryProblem(Document(L"{\"Expires\": \"2030-01-01T00:00:00Z\"}"), now, validUntil),
            "the document has no member \"expires\"");
}

}  // namespace
}  // namespace cv
