// CollectMatches: the first capture group of every successive match, without repeats ignoring ASCII
// case. Each match starts at an offset into the caller's text (the machine folds case as it reads),
// so a text with many matches costs time linear in its length; repeats are found through a hash of
// the values with their case folded.
#include <new>
#include <string_view>
#include <unordered_set>

#include "base/ascii.h"
#include "pattern/hresult_error.h"
#include "pattern/pattern_matcher.h"

namespace cv {

namespace {

struct FoldedHash {
  std::size_t operator()(std::wstring_view value) const {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const wchar_t c : value) hash = (hash ^ CodeOf(LowerAscii(c))) * 1099511628211ull;
    return static_cast<std::size_t>(hash);
  }
};

struct FoldedEqual {
  bool operator()(std::wstring_view a, std::wstring_view b) const {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
  }
};

}  // namespace

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

  const std::size_t textEnd = text.size();
  MatchContext context;
  std::unordered_set<std::wstring_view, FoldedHash, FoldedEqual> seen;
  std::uint64_t stepsLeft = stepLimit;
  std::size_t scan = 0;
  std::size_t nul = 0;  // a match sees the text up to the first NUL at or after its start
  for (bool first = true;; first = false) {
    if (first || nul < scan) {
      nul = text.find(L'\0', scan);
      if (nul == std::wstring::npos) nul = textEnd;
    }
    context.stepLimit = stepsLeft;
    const bool matched = CollectAccess::Run(matcher, text.c_str(), scan, nul, context);
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
      const std::wstring_view value(text.data() + group.first, group.second - group.first);
      if (seen.insert(value).second) results.emplace_back(value);
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
