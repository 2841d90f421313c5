// Texts and rules of the analytics hits (see analytics.h).
#include "src/analytics.h"

#include "log/log_text.h"
#include "src/json_text.h"

namespace cv {
namespace {

constexpr wchar_t kReplacementCharacter = 0xFFFD;

bool IsHighSurrogate(std::uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(std::uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// 200 to 299, three digits.
bool IsSuccessStatus(std::wstring_view status) {
  const auto digit = [](wchar_t c) { return c >= L'0' && c <= L'9'; };
  return status.size() == 3 && status[0] == L'2' && digit(status[1]) && digit(status[2]);
}

// One parameter of the event; the names are fixed and within the protocol's rules (a letter, then
// letters, digits and underscores, at most kGa4MaxNameLength).
void AppendParameter(const wchar_t* name, std::wstring_view value, std::wstring& json) {
  if (json.back() != L'{') json.push_back(L',');
  AppendJsonString(name, true, json);
  json.push_back(L':');
  AppendJsonString(CutToCharacters(value, kGa4MaxValueLength), true, json);
}

}  // namespace

std::wstring Ga4HitAddress(std::wstring_view analyticsUrl, std::wstring_view measurementId,
                           std::wstring_view apiSecret) {
  std::wstring address(analyticsUrl);
  address += L"/mp/collect?measurement_id=";
  address += measurementId;
  address += L"&api_secret=";
  address += apiSecret;
  return address;
}

std::string Ga4HitBody(const HitEvent& event) {
  const bool canceled = event.action == HitAction::Canceled;
  std::wstring label = L"Halcyra";
  if (canceled) {
    label += L" (";
    label += event.cancelMessage;
    label += L')';
  }
  std::wstring json = L"{\"client_id\":";
  AppendJsonString(event.installId, true, json);
  // The event keeps the version 1 hit's names, so that reports built on them read the same.
  json += L",\"events\":[{\"name\":";
  AppendJsonString(canceled ? L"Canceled" : L"Failed", true, json);
  json += L",\"params\":{";
  AppendParameter(L"event_category", L"CV Installs", json);
  AppendParameter(L"event_label", label, json);
  AppendParameter(L"app_name", L"Corvida", json);
  AppendParameter(L"app_version", event.version, json);
  json += L"}}]}";
  // Every character written is ASCII.
  std::string body;
  body.reserve(json.size());
  for (const wchar_t c : json) body.push_back(static_cast<char>(c));
  return body;
}

std::wstring CutToCharacters(std::wstring_view text, std::size_t maxCharacters) {
  std::wstring cut;
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size() && characters < maxCharacters; ++i, ++characters) {
    const auto c = static_cast<std::uint32_t>(text[i]);
    const bool paired = IsHighSurrogate(c) && i + 1 < text.size() &&
                        IsLowSurrogate(static_cast<std::uint32_t>(text[i + 1]));
    if (paired) {
      cut.append(text.substr(i, 2));
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c) || c > 0x10FFFF) {
      cut.push_back(kReplacementCharacter);
    } else {
      cut.push_back(text[i]);
    }
  }
  return cut;
}

std::string HitWarning(const HitResult& result) {
  switch (result.end) {
    case HitResult::End::Answered:
      if (IsSuccessStatus(result.statusCode)) return std::string();
      return "Analytics hit answered with HTTP status " + Narrow(result.statusCode);
    case HitResult::End::Abandoned:
      return "Analytics hit not answered within " + std::to_string(kHitWaitMs) + " ms. Error code " +
             std::to_string(result.error);
    case HitResult::End::Failed:
      break;
  }
  return "Analytics hit failed. Error code " + std::to_string(result.error);
}

}  // namespace cv
