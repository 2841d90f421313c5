// CollectMatches: the first capture group of every successive match, without repeats ignoring ASCII
// case. The text is lower-cased once and each match starts at an offset into that copy, so a text with
// many matches costs time linear in its length; repeats are found through a hash of lower-cased values.
#include <new>
#include <string_view>
#include <unordered_set>

#include "pattern/ascii_case.h"
#include "pattern/hresult_error.h"
#include "pattern/pattern_matcher.h"

namespace cv {

struct CollectAccess {
  static bool Run(const PatternMatcher& matcher, const wchar_t* text, std::size_t begin,
                  std::size_t end, MatchContext& context) {
    return matcher.Run(text, begin, end, context);
  }
  static std::pair<std::size_t, std::size_t> Group0(const MatchContext& context) {
    return context.spans_[0];
  }
  static std::size_t End(const MatchContext& context) { return context.endOffset_; }
  static constexpr std::size_t kNoPos = MatchContext::kNoPos;
};

CollectOutcome CollectMatchesWithin(const std::wstring& pattern, const std::wstring& text,
                                    std::vector<std::wstring>& results, std::uint64_t stepLimit) {
  results.clear();
  if (pattern.empty() || text.empty()) return CollectOutcome::Refused;
  PatternMatcher matcher;
  if (matcher.Compile(pattern.c_str()) != PatternOk) return CollectOutcome::Refused;

  std::wstring lowered(text);
  LowerAsciiInPlace(lowered.data(), lowered.size());
  const std::size_t textEnd = lowered.size();
  MatchContext context;
  std::unordered_set<std::wstring_view> seen;
  std::uint64_t stepsLeft = stepLimit;
  std::size_t scan = 0;
  std::size_t nul = 0;  // a match sees the text up to the first NUL at or after its start
  for (bool first = true;; first = false) {
    if (first || nul < scan) {
      nul = lowered.find(L'\0', scan);
      if (nul == std::wstring::npos) nul = textEnd;
    }
    context.stepLimit = stepsLeft;
    const bool matched = CollectAccess::Run(matcher, lowered.c_str(), scan, nul, context);
    if (context.stop == MatchStop::OutOfMemory) throw std::bad_alloc();
    if (context.stop == MatchStop::StepLimit) {
      results.clear();
      return CollectOutcome::StepLimit;
    }
    if (stepLimit != 0) stepsLeft -= context.steps;
    if (!matched) break;
    if (matcher.groupCount() == 0) throw HResultError(kEFail);
    const auto group = CollectAccess::Group0(context);
    if (group.first != CollectAccess::kNoPos) {
      const std::wstring_view value(lowered.data() + group.first, group.second - group.first);
      if (seen.insert(value).second) results.emplace_back(text, group.first, group.second - group.first);
    }
    const std::size_t end = CollectAccess::End(context);
    if (end >= textEnd) break;
    // An empty match at the scan position would be found again for ever: step over one character.
    scan = end == scan ? scan + 1 : end;
    if (scan >= textEnd) break;
  }
  return CollectOutcome::Collected;
}

bool CollectMatches(const std::wstring& pattern, const std::wstring& text,
                    std::vector<std::wstring>& results) {
  return CollectMatchesWithin(pattern, text, results, 0) == CollectOutcome::Collected;
}

}  // namespace cv
