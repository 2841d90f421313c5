// Runs the HTTP client's six patterns over arbitrary header blocks and bodies, without any step
// limit: none of them may crash, read outside the text or hang, and each must give what copying the
// rest of the text for every match gives.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "http/patterns.h"
#include "pattern/pattern_matcher.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/unit/pattern_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring text = cv::fuzz::WideText(data, size);
  static const wchar_t* const kPatterns[] = {cv::kCharsetPattern,  cv::kContentLengthPattern,
                                             cv::kLocationPattern, cv::kSetCookiePattern,
                                             cv::kHtmlOpenPattern, cv::kHtmlClosePattern};
  for (const wchar_t* pattern : kPatterns) {
    std::vector<std::wstring> results;
    const bool collected = cv::CollectMatches(pattern, text, results);
    if (collected != !text.empty()) {
      std::fprintf(stderr, "CollectMatches refused a non-empty text\n");
      std::abort();
    }
    if (!collected) continue;
    cv::PatternMatcher matcher;
    matcher.Compile(pattern);
    cv::PatternMatcher plain;  // the same program, every attempt made
    cv::testing_support::UsePlainCopy(matcher, plain);
    std::vector<std::wstring> expected;
    cv::testing_support::ReferenceCollect(plain, text, expected);
    if (results != expected) {
      std::fprintf(stderr, "results differ from the plain definition\n");
      std::abort();
    }
  }
  return 0;
}
