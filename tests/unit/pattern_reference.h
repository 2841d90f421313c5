// Test helpers for the pattern matcher: CollectMatches as its plain definition (a fresh copy of the
// rest of the text for every match, repeats found by comparing with every earlier result), and the
// straightforward instruction layouts of lazy loops and negations, which save no position and no
// groups, so tests can show what the matcher's layouts change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/ascii.h"
#include "pattern/pattern_matcher.h"

namespace cv::testing_support {

inline bool EqualIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

enum class ReferenceOutcome { Collected, StepLimit };

// Collects with an already compiled matcher; `stepLimit` bounds all matches together (0: none).
inline ReferenceOutcome ReferenceCollect(const PatternMatcher& matcher, const std::wstring& text,
                                         std::vector<std::wstring>& results,
                                         std::uint64_t stepLimit = 0) {
  results.clear();
  const std::wstring buffer = text;  // holds a NUL after its last character
  const wchar_t* const textEnd = buffer.c_str() + buffer.size();
  const wchar_t* scan = buffer.c_str();
  MatchContext context;
  std::uint64_t used = 0;
  for (;;) {
    const std::wstring rest(scan);  // a match sees the text up to the first NUL
    context.stepLimit = stepLimit == 0 ? 0 : stepLimit - used;
    const wchar_t* end = nullptr;
    const bool matched = matcher.Match(rest.c_str(), &context, &end);
    if (context.stop == MatchStop::StepLimit) return ReferenceOutcome::StepLimit;
    used += context.steps;
    if (!matched) break;
    const Capture& group = context.groups.at(0);
    if (group.captured()) {
      const std::wstring value = group.text();
      bool seen = false;
      for (const std::wstring& earlier : results) seen = seen || EqualIgnoringAsciiCase(earlier, value);
      if (!seen) results.push_back(text.substr(scan - buffer.c_str() + (group.start - rest.c_str()), value.size()));
    }
    const wchar_t* const endInBuffer = scan + (end - rest.c_str());
    if (endInBuffer >= textEnd) break;
    scan = endInBuffer == scan ? scan + 1 : endInBuffer;
    if (scan >= textEnd) break;
  }
  return ReferenceOutcome::Collected;
}

inline std::vector<Instruction> ProgramOf(const PatternMatcher& matcher) {
  std::vector<Instruction> program;
  for (std::size_t i = 0; i < matcher.ProgramLength(); ++i) program.push_back(matcher.At(i));
  return program;
}

// The same program without the compiler's shortcuts (every attempt is made).
inline void UsePlainCopy(const PatternMatcher& compiled, PatternMatcher& plain) {
  plain.UseProgram(ProgramOf(compiled), compiled.groupCount(), compiled.slotCount());
}

// The program with every lazy loop and "??" in the straightforward layout (`c Call J+1; x; J Jump c`,
// `c Call END; x`) and every negation without its group saves.
inline std::vector<Instruction> StraightforwardLayouts(const PatternMatcher& matcher) {
  const std::vector<Instruction> in = ProgramOf(matcher);
  const std::size_t n = in.size();
  std::vector<bool> drop(n, false);
  auto is = [&](std::size_t i, Op op) { return i < n && in[i].op == op; };
  for (std::size_t c = 0; c < n; ++c) {
    if (is(c, Op::PushPos) && is(c + 1, Op::Call) && is(c + 2, Op::PopPos) && is(c + 3, Op::PushSlot) &&
        is(c + 5, Op::Call) && is(c + 7, Op::Backtrack)) {
      // Lazy loop: PushPos, Call END, PopPos, PushSlot, SavePos, Call, PopSlot, Backtrack, x,
      // RequireProgress, Jump c  ->  Call END, x, Jump c.
      const std::size_t end = in[c + 1].arg;
      drop[c] = drop[c + 2] = drop[c + 3] = drop[c + 4] = drop[c + 5] = drop[c + 6] = drop[c + 7] = true;
      drop[end - 2] = true;
    } else if (is(c, Op::PushPos) && is(c + 1, Op::Call) && is(c + 2, Op::PopPos) && !is(c + 3, Op::Jump) &&
               !is(c + 3, Op::PopSlot)) {
      drop[c] = drop[c + 2] = true;  // "??": PushPos, Call END, PopPos, x  ->  Call END, x
    } else if (is(c, Op::SavePos) && is(c + 1, Op::SaveGroup)) {
      std::size_t k = c + 1;
      while (is(k, Op::SaveGroup)) ++k;
      if (!is(k, Op::SaveDepth) || in[k].arg != in[c].arg + 1 || !is(k + 1, Op::Call)) continue;
      for (std::size_t g = c + 1; g < k; ++g) drop[g] = true;
      k += 4;  // SaveDepth, Call, LoadPos, LoadDepth
      while (is(k, Op::RestoreGroup)) drop[k++] = true;
      const std::size_t end = in[k].arg;  // Jump END; the tail's RestoreGroups end before END - 1
      for (std::size_t t = end - 2; is(t, Op::RestoreGroup); --t) drop[t] = true;
    }
  }
  std::vector<std::uint32_t> newIndex(n + 1);
  std::uint32_t next = 0;
  for (std::size_t i = 0; i <= n; ++i) {
    newIndex[i] = next;
    if (i < n && !drop[i]) ++next;
  }
  std::vector<Instruction> out;
  for (std::size_t i = 0; i < n; ++i) {
    if (drop[i]) continue;
    Instruction instruction = in[i];
    if (OperandOf(instruction.op) == OperandKind::Index) instruction.arg = newIndex[instruction.arg];
    out.push_back(instruction);
  }
  return out;
}

inline void UseStraightforwardCopy(const PatternMatcher& compiled, PatternMatcher& straightforward) {
  straightforward.UseProgram(StraightforwardLayouts(compiled), compiled.groupCount(), compiled.slotCount());
}

}  // namespace cv::testing_support
