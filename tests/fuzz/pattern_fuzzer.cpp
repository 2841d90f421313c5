// Compiles an arbitrary pattern (the bytes before the first zero byte) and matches it against an
// arbitrary text (the rest, zero bytes included). Checks that the compiled program is well formed,
// that a match lies inside the text with its groups inside the match, and that CollectMatches gives
// what copying the rest of the text for every match gives. Matching is bounded by a step limit, since
// a backtracking machine may take exponential time on patterns such as (a+)+b.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pattern/hresult_error.h"
#include "pattern/pattern_matcher.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/unit/pattern_reference.h"

namespace {

constexpr std::uint64_t kStepLimit = 400000;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

void CheckProgram(const cv::PatternMatcher& matcher) {
  const std::size_t length = matcher.ProgramLength();
  Check(length >= 3 && length <= cv::PatternMatcher::kMaxProgramLength, "program length");
  Check(matcher.At(0).op == cv::Op::Call && matcher.At(0).arg == 2, "frame call");
  Check(matcher.At(length - 1).op == cv::Op::Accept, "ends with Accept");
  for (std::size_t i = 0; i < length; ++i) {
    const cv::Instruction in = matcher.At(i);
    Check(cv::OpName(in.op) != nullptr, "opcode");
    switch (cv::OperandOf(in.op)) {
      case cv::OperandKind::Index: Check(in.arg <= length && in.arg != 0, "index operand"); break;
      case cv::OperandKind::Slot: Check(in.arg < matcher.slotCount(), "slot operand"); break;
      case cv::OperandKind::Group: Check(in.arg < matcher.groupCount(), "group operand"); break;
      default: break;
    }
    if (in.op == cv::Op::InClass || in.op == cv::Op::NotInClass) {
      Check(in.arg > i && (in.arg - i - 1) % 2 == 0, "class pairs");
      for (std::size_t k = i + 1; k < in.arg; k += 2) {
        Check(matcher.At(k).op == cv::Op::Nop && matcher.At(k + 1).op == cv::Op::Nop, "class bounds");
        Check(matcher.At(k).arg <= matcher.At(k + 1).arg, "class range order");
      }
    }
  }
}

void CheckMatch(const cv::PatternMatcher& matcher, const std::wstring& text) {
  cv::MatchContext context;
  context.stepLimit = kStepLimit;
  const wchar_t* end = nullptr;
  const wchar_t* begin = text.c_str();
  const bool found = matcher.Match(begin, &context, &end);
  if (context.stop == cv::MatchStop::StepLimit) return;
  const std::size_t length = std::wcslen(begin);
  Check(end != nullptr && end >= begin && end <= begin + length + 1, "end position");
  if (!found) return;
  Check(context.matchStart >= begin && context.matchStart <= context.matchEnd, "match start");
  Check(context.matchEnd == end, "match end");
  for (const cv::Capture& group : context.groups) {
    if (!group.captured()) {
      Check(group.end == nullptr, "uncaptured group");
      continue;
    }
    Check(context.matchStart <= group.start && group.start <= group.end && group.end <= context.matchEnd,
          "group inside the match");
  }
}

enum class Result { Collected, Limit, Failed };

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t* separator = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
  const std::size_t patternSize = separator ? static_cast<std::size_t>(separator - data) : size;
  const std::wstring pattern = cv::fuzz::WideText(data, patternSize);
  const std::wstring text =
      separator ? cv::fuzz::WideText(separator + 1, size - patternSize - 1) : std::wstring();

  cv::PatternMatcher matcher;
  const cv::PatternError error = matcher.Compile(pattern.c_str());
  Check(error == matcher.lastError(), "lastError");
  matcher.Dump();
  if (error != cv::PatternOk) {
    Check(error != cv::PatternMissing, "missing");
    return 0;
  }
  CheckProgram(matcher);
  CheckMatch(matcher, text);
  cv::PatternMatcher plain;  // the same program, every attempt made
  cv::testing_support::UsePlainCopy(matcher, plain);

  if (pattern.empty() || text.empty()) return 0;
  std::vector<std::wstring> results;
  std::vector<std::wstring> expected;
  Result got = Result::Collected;
  Result want = Result::Collected;
  try {
    const cv::CollectOutcome outcome = cv::CollectMatchesWithin(pattern, text, results, kStepLimit);
    Check(outcome != cv::CollectOutcome::Refused, "refused a compiled pattern");
    if (outcome == cv::CollectOutcome::StepLimit) got = Result::Limit;
  } catch (const cv::HResultError& e) {
    Check(e.hresult() == cv::kEFail && matcher.groupCount() == 0, "E_FAIL only without groups");
    got = Result::Failed;
  }
  try {
    if (cv::testing_support::ReferenceCollect(plain, text, expected, 4 * kStepLimit) ==
        cv::testing_support::ReferenceOutcome::StepLimit) {
      want = Result::Limit;
    }
  } catch (const std::out_of_range&) {
    want = Result::Failed;  // no group 0 to read
  }
  if (got == Result::Limit || want == Result::Limit) return 0;
  Check(got == want, "same outcome as the plain definition");
  if (got == Result::Collected) Check(results == expected, "same results as the plain definition");
  return 0;
}
