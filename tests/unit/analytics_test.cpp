// The GA4 hit's address and JSON body, read back with jsoncons and held to the protocol's limits on
// names and values, the character-boundary cut, and the WARNING lines of hits without a 2xx answer.
#include <gtest/gtest.h>

#include <jsoncons/json.hpp>

#include <regex>
#include <string>

#include "src/analytics.h"

namespace cv {
namespace {

constexpr wchar_t kId[] = L"0f8fad5b-d9cb-469f-a165-70867728950e";

TEST(Ga4Hit, AddressNamesTheStreamAndTheSecret) {
  EXPECT_EQ(Ga4HitAddress(L"https://ga.example", L"G-ABC123", L"s3cr-t_"),
            L"https://ga.example/mp/collect?measurement_id=G-ABC123&api_secret=s3cr-t_");
}

TEST(Ga4Hit, CancellationBodyCarriesWhatTheVersion1HitCarries) {
  EXPECT_EQ(Ga4HitBody({HitAction::Canceled, kId, L"3.1.4", L"user closed \"x\" & y"}),
            "{\"client_id\":\"0f8fad5b-d9cb-469f-a165-70867728950e\",\"events\":[{\"name\":\"Canceled\","
            "\"params\":{\"event_category\":\"CV Installs\",\"event_label\":\"Halcyra (user closed \\\"x\\\" & y)\","
            "\"app_name\":\"Corvida\",\"app_version\":\"3.1.4\"}}]}");
}

TEST(Ga4Hit, FailureBodyHasTheBareLabel) {
  EXPECT_EQ(Ga4HitBody({HitAction::Failed, kId, L"3.1.4", L"ignored"}),
            "{\"client_id\":\"0f8fad5b-d9cb-469f-a165-70867728950e\",\"events\":[{\"name\":\"Failed\","
            "\"params\":{\"event_category\":\"CV Installs\",\"event_label\":\"Halcyra\","
            "\"app_name\":\"Corvida\",\"app_version\":\"3.1.4\"}}]}");
}

// Characters of a UTF-8 text: the bytes that do not continue a sequence.
std::size_t Characters(const std::string& utf8) {
  std::size_t count = 0;
  for (const char c : utf8) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

// The body as a GA4 endpoint reads it: valid JSON whose event and parameter names follow the naming
// rule and whose values are within the limit, in characters.
void ExpectWithinLimits(const std::string& body) {
  const jsoncons::json hit = jsoncons::json::parse(body);
  const std::regex name("[A-Za-z][A-Za-z0-9_]*");
  const jsoncons::json& event = hit["events"][0];
  const std::string eventName = event["name"].as<std::string>();
  EXPECT_TRUE(std::regex_match(eventName, name)) << eventName;
  EXPECT_LE(eventName.size(), kGa4MaxNameLength);
  for (const auto& parameter : event["params"].object_range()) {
    const std::string key(parameter.key());
    EXPECT_TRUE(std::regex_match(key, name)) << key;
    EXPECT_LE(key.size(), kGa4MaxNameLength) << key;
    EXPECT_LE(Characters(parameter.value().as<std::string>()), kGa4MaxValueLength) << key;
  }
}

// Long or unusual versions and messages: the value that arrives, as UTF-8, and the body in ASCII.
struct ValueCase {
  const char* name;
  std::wstring version;
  std::string arrives;  // "app_version" as the endpoint decodes it, UTF-8
};

class Ga4ValueTest : public testing::TestWithParam<ValueCase> {};

TEST_P(Ga4ValueTest, VersionArrivesCutAtACharacterBoundary) {
  const std::string body = Ga4HitBody({HitAction::Canceled, kId, GetParam().version, L"\u00e9t\u00e9 \u4e2d"});
  for (const char c : body) ASSERT_TRUE(c > 0x1F && c < 0x7F) << "not ASCII: " << body;
  ExpectWithinLimits(body);
  const jsoncons::json params = jsoncons::json::parse(body)["events"][0]["params"];
  EXPECT_EQ(params["app_version"].as<std::string>(), GetParam().arrives);
  EXPECT_EQ(params["event_label"].as<std::string>(), "Halcyra (\u00e9t\u00e9 \u4e2d)");
}

std::wstring Repeat(wchar_t c, std::size_t count) { return std::wstring(count, c); }
std::string Repeat(char c, std::size_t count) { return std::string(count, c); }

INSTANTIATE_TEST_SUITE_P(
    Versions, Ga4ValueTest,
    testing::Values(
        ValueCase{"AtTheLimit", Repeat(L'9', 100), Repeat('9', 100)},
        ValueCase{"BeyondTheLimit", Repeat(L'9', 101) + L"-beta", Repeat('9', 100)},
        // A character beyond U+FFFF is one character, whatever the width of wchar_t.
        ValueCase{"PairAsTheLastCharacter", Repeat(L'1', 99) + L"\U0001F600" + L"x", Repeat('1', 99) + "\U0001F600"},
        ValueCase{"PairBeyondTheLimit", Repeat(L'1', 100) + L"\U0001F600", Repeat('1', 100)},
        ValueCase{"NonAscii", L"2.0 \u00df\u4e2d", "2.0 \u00df\u4e2d"},
        ValueCase{"ControlsAndQuotes", L"1\t\"2\"\\", "1\t\"2\"\\"},
        // An unpaired surrogate, which no JSON text may hold, becomes U+FFFD.
        ValueCase{"LoneSurrogate", std::wstring(L"1.") + static_cast<wchar_t>(0xD800) + L"2", "1.\uFFFD2"}),
    [](const testing::TestParamInfo<ValueCase>& info) { return std::string(info.param.name); });

TEST(Ga4Hit, LongestCancellationMessageFitsTheLabel) {
  const std::wstring message = Repeat(L'\u00ff', 63);
  const std::string body = Ga4HitBody({HitAction::Canceled, kId, L"1", message});
  ExpectWithinLimits(body);
  EXPECT_EQ(jsoncons::json::parse(body)["events"][0]["params"]["event_label"].as<std::string>().size(),
            std::string("Halcyra ()").size() + 63 * 2);
}

TEST(CutToCharacters, CountsPairsAsOneAndNeverSplitsThem) {
  const std::wstring pair = L"\U0001F600";
  EXPECT_EQ(CutToCharacters(L"abc", 2), L"ab");
  EXPECT_EQ(CutToCharacters(L"abc", 3), L"abc");
  EXPECT_EQ(CutToCharacters(L"a" + pair + L"b", 2), L"a" + pair);
  EXPECT_EQ(CutToCharacters(L"a" + pair, 1), L"a");
  EXPECT_EQ(CutToCharacters(L"", 5), L"");
  // A low surrogate first, a high one last.
  const std::wstring lone = std::wstring(1, static_cast<wchar_t>(0xDC00)) + L"a" + static_cast<wchar_t>(0xDBFF);
  EXPECT_EQ(CutToCharacters(lone, 10), L"\uFFFDa\uFFFD");
}

struct WarningCase {
  HitResult result;
  std::string line;
};

class HitWarningTest : public testing::TestWithParam<WarningCase> {};

TEST_P(HitWarningTest, NamesTheFailureAndItsNumber) { EXPECT_EQ(HitWarning(GetParam().result), GetParam().line); }

INSTANTIATE_TEST_SUITE_P(
    Results, HitWarningTest,
    testing::Values(WarningCase{{HitResult::End::Answered, 0, L"200"}, ""},
                    WarningCase{{HitResult::End::Answered, 0, L"204"}, ""},
                    WarningCase{{HitResult::End::Answered, 0, L"404"}, "Analytics hit answered with HTTP status 404"},
                    WarningCase{{HitResult::End::Answered, 0, L"2000"}, "Analytics hit answered with HTTP status 2000"},
                    WarningCase{{HitResult::End::Answered, 0, L"20\n"}, "Analytics hit answered with HTTP status 20\\x0A"},
                    WarningCase{{HitResult::End::Failed, 12029, L""}, "Analytics hit failed. Error code 12029"},
                    WarningCase{{HitResult::End::Abandoned, 258, L""},
                                "Analytics hit not answered within 4500 ms. Error code 258"}));

}  // namespace
}  // namespace cv
