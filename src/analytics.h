// Texts and rules of the analytics hits: how long a hit may hold the run, the GA4 event hit (its
// address and JSON body, within the protocol's length limits) and the WARNING line of a hit that got
// no answer. Plain functions over values; the version 1 hit's addresses are in outcome.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cv {

// A hit is best effort and never keeps the user waiting: all its attempts together get
// kHitExchangeMs, and the run waits for it kHitWaitMs at most, whatever the server or the platform
// does, then goes on without it. The stated budget, kHitBudgetMs, bounds both.
constexpr std::uint32_t kHitBudgetMs = 5000;
constexpr std::uint32_t kHitExchangeMs = 4000;
constexpr std::uint32_t kHitWaitMs = 4500;
static_assert(kHitExchangeMs < kHitWaitMs && kHitWaitMs < kHitBudgetMs, "the wait ends within the budget");

// What a hit reports.
enum class HitAction { Canceled, Failed };
struct HitEvent {
  HitAction action;
  std::wstring_view installId;      // the analytics client id, the installer's "-id"
  std::wstring_view version;        // the document's "version"
  std::wstring_view cancelMessage;  // the installer's message; a cancellation only
};

// The GA4 Measurement Protocol's limits, in characters: event and parameter names, parameter values.
constexpr std::size_t kGa4MaxNameLength = 40;
constexpr std::size_t kGa4MaxValueLength = 100;

// "<analyticsUrl>/mp/collect?measurement_id=<id>&api_secret=<secret>"; the build has checked that
// both need no percent-encoding.
std::wstring Ga4HitAddress(std::wstring_view analyticsUrl, std::wstring_view measurementId,
                           std::wstring_view apiSecret);

// The GA4 hit's JSON body: the installation id as client id and one event that carries what the
// version 1 hit carries, under the same names ("Canceled" or "Failed"; category, label, application
// name and version as parameters). Every value is cut to kGa4MaxValueLength characters. The text is
// ASCII: other characters are written as \u escapes.
std::string Ga4HitBody(const HitEvent& event);

// The first `maxCharacters` characters of `text`: a UTF-16 surrogate pair counts as one character
// and is never split, and a surrogate without its partner (which no JSON text may carry) becomes
// U+FFFD.
std::wstring CutToCharacters(std::wstring_view text, std::size_t maxCharacters);

// How a hit ended, as the run learns it from the thread that sent it.
struct HitResult {
  enum class End { Answered, Failed, Abandoned };
  End end = End::Failed;
  std::uint32_t error = 0;   // Failed: the error number of the failure; Abandoned: the wait's
  std::wstring statusCode;   // Answered: the HTTP status as the server gave it
};

// The WARNING line for a hit that failed, was given up or was answered with a status outside 2xx;
// empty for one answered with 2xx.
std::string HitWarning(const HitResult& result);

}  // namespace cv
