// The backtracking machine: one loop over the flat program with an explicit stack of machine words.
// Positions are offsets into the text, whose characters are lower-cased (ASCII) as they are read, so
// that no copy of the text is needed. Every instruction fetch and every stack, slot and group access
// is bounds-checked (E_INVALIDARG), and the text is never read at or past its end.
#include <cwchar>
#include <new>

#include "base/ascii.h"
#include "pattern/hresult_error.h"
#include "pattern/pattern_matcher.h"

namespace cv {

namespace {
constexpr std::size_t kInitialStackSize = 256;
}

MatchContext::MatchContext() {
  if (!stack_.Resize(kInitialStackSize)) stack_.Resize(0);
}

// One run of the machine over text[0, end), attempts starting at `begin` and after.
class MatchRun {
 public:
  MatchRun(const Instruction* program, std::size_t length, const std::vector<CharRange>& firstChars,
           const wchar_t* text, std::size_t end, MatchContext& context)
      : program_(program), length_(length), firstChars_(firstChars), text_(text), end_(end),
        context_(context) {}

  bool Run(std::size_t begin) {
    MatchContext& c = context_;
    std::size_t ip = 0;
    std::size_t attempt = firstChars_.empty() ? begin : NextCandidate(begin);
    std::size_t p = attempt;
    c.startOffset_ = attempt;
    if (attempt != begin && attempt >= end_) return Stop(MatchStop::Finished, attempt, false);
    c.steps = 0;
    for (;;) {
      if (++c.steps > c.stepLimit && c.stepLimit != 0) return Stop(MatchStop::StepLimit, p, false);
      if (ip >= length_) throw HResultError(kEInvalidArg);
      if (ip == 0) c.startOffset_ = p;
      const Instruction in = program_[ip];
      bool failed = false;
      switch (in.op) {
        case Op::Nop:
          ++ip;
          break;
        case Op::SetGroupStart:
          Span(in.arg).first = p;
          ++ip;
          break;
        case Op::SetGroupEnd:
          Span(in.arg).second = p;
          ++ip;
          break;
        case Op::Char:
          if (p < end_ ? CodeOf(At(p)) == in.arg : (p == end_ && in.arg == 0)) {
            ++p;
            ++ip;
          } else {
            failed = true;
          }
          break;
        case Op::AnyChar:
          if (p < end_) {
            ++p;
            ++ip;
          } else {
            failed = true;
          }
          break;
        case Op::InClass:
        case Op::NotInClass:
          if (p < end_ && InRanges(ip, in.arg, CodeOf(At(p))) == (in.op == Op::InClass)) {
            ++p;
            ip = in.arg;
          } else {
            failed = true;
          }
          break;
        case Op::Jump:
          ip = in.arg;
          break;
        case Op::PushPos:
          if (!Push(p)) return Stop(MatchStop::OutOfMemory, p, false);
          ++ip;
          break;
        case Op::PopPos:
          p = Pop();
          ++ip;
          break;
        case Op::Call:
          if (!Push(ip + 1)) return Stop(MatchStop::OutOfMemory, p, false);
          ip = in.arg;
          break;
        case Op::Backtrack:
          failed = true;
          break;
        case Op::PushSlot:
          if (!Push(Slot(in.arg))) return Stop(MatchStop::OutOfMemory, p, false);
          ++ip;
          break;
        case Op::PopSlot: {
          const std::uintptr_t value = Pop();
          Slot(in.arg) = value;
          ++ip;
          break;
        }
        case Op::SavePos:
          Slot(in.arg) = p;
          ++ip;
          break;
        case Op::SaveDepth:
          Slot(in.arg) = c.top_;
          ++ip;
          break;
        case Op::LoadPos:
          p = Slot(in.arg);
          ++ip;
          break;
        case Op::LoadDepth: {
          const std::uintptr_t depth = Slot(in.arg);
          if (depth > c.top_) throw HResultError(kEInvalidArg);  // a depth can only drop back
          c.top_ = static_cast<std::uint32_t>(depth);
          ++ip;
          break;
        }
        case Op::RequireProgress:
          if (p == Slot(in.arg)) {
            failed = true;
          } else {
            ++ip;
          }
          break;
        case Op::BackRef:
          if (BackReference(in.arg, p)) {
            ++ip;
          } else {
            failed = true;
          }
          break;
        case Op::Reject:
          return Stop(MatchStop::Finished, p, false);
        case Op::NextStart:
          if (attempt < end_) ++attempt;
          if (!firstChars_.empty()) attempt = NextCandidate(attempt);
          p = attempt;
          if (p >= end_) return Stop(MatchStop::Finished, p, false);
          c.top_ = 0;
          ip = 0;
          break;
        case Op::Accept:
          return Stop(MatchStop::Finished, p, true);
        case Op::SaveGroup: {
          const auto span = Span(in.arg);
          if (!Push(span.first) || !Push(span.second)) return Stop(MatchStop::OutOfMemory, p, false);
          ++ip;
          break;
        }
        case Op::RestoreGroup: {
          auto& span = Span(in.arg);
          span.second = Pop();
          span.first = Pop();
          ++ip;
          break;
        }
        default:
          throw HResultError(kEInvalidArg);
      }
      if (failed) ip = Pop();
    }
  }

 private:
  wchar_t At(std::size_t position) const { return LowerAscii(text_[position]); }

  // The first position from `from` on whose character can begin a match (or the end).
  std::size_t NextCandidate(std::size_t from) const {
    for (; from < end_; ++from) {
      const std::uint32_t code = CodeOf(At(from));
      for (const CharRange& range : firstChars_) {
        if (range.first <= code && code <= range.second) return from;
      }
    }
    return end_;
  }

  bool Stop(MatchStop stop, std::size_t p, bool matched) {
    context_.stop = stop;
    context_.endOffset_ = p;
    return matched;
  }

  bool Push(std::uintptr_t value) {
    MatchContext& c = context_;
    ++c.top_;
    if (c.top_ >= c.stack_.size()) {
      if (c.top_ >= 0x7FFFFFFFu || !c.stack_.Resize(2 * static_cast<std::size_t>(c.top_) + 2)) {
        --c.top_;
        return false;
      }
    }
    c.stack_[c.top_] = value;
    return true;
  }

  std::uintptr_t Pop() {
    MatchContext& c = context_;
    if (c.top_ == 0 || c.top_ >= c.stack_.size()) throw HResultError(kEInvalidArg);
    return c.stack_[c.top_--];
  }

  std::uintptr_t& Slot(std::uint32_t slot) {
    if (slot >= context_.slots_.size()) throw HResultError(kEInvalidArg);
    return context_.slots_[slot];
  }

  std::pair<std::size_t, std::size_t>& Span(std::uint32_t group) {
    if (group >= context_.spans_.size()) throw HResultError(kEInvalidArg);
    return context_.spans_[group];
  }

  // The (low, high) pairs between the class instruction at `ip` and its end index.
  bool InRanges(std::size_t ip, std::size_t classEnd, std::uint32_t code) const {
    if (classEnd > length_ || classEnd <= ip || (classEnd - ip - 1) % 2 != 0) {
      throw HResultError(kEInvalidArg);
    }
    for (std::size_t i = ip + 1; i < classEnd; i += 2) {
      if (program_[i].arg <= code && code <= program_[i + 1].arg) return true;
    }
    return false;
  }

  // A group without a complete capture (including one still open around this back-reference)
  // stands for the empty text.
  bool BackReference(std::uint32_t group, std::size_t& p) {
    const auto span = Span(group);
    if (span.first == MatchContext::kNoPos || span.second == MatchContext::kNoPos ||
        span.second <= span.first) {
      return true;
    }
    const std::size_t length = span.second - span.first;
    for (std::size_t k = 0; k < length; ++k) {
      if (p + k >= end_ || span.first + k >= end_ || At(p + k) != At(span.first + k)) return false;
    }
    p += length;
    return true;
  }

  const Instruction* program_;
  std::size_t length_;
  const std::vector<CharRange>& firstChars_;
  const wchar_t* text_;
  std::size_t end_;
  MatchContext& context_;
};

bool PatternMatcher::Run(const wchar_t* text, std::size_t begin, std::size_t end,
                         MatchContext& context) const {
  if (!compiled_) throw HResultError(kEInvalidArg);
  context.top_ = 0;
  context.stop = MatchStop::Finished;
  context.steps = 0;
  try {
    context.spans_.assign(groupCount_, {MatchContext::kNoPos, MatchContext::kNoPos});
    context.slots_.assign(slotCount_, 0);
  } catch (const std::bad_alloc&) {
    context.stop = MatchStop::OutOfMemory;
    return false;
  }
  context.groupCount = groupCount_;
  MatchRun run(program_.data(), program_.size(), firstChars_, text, end, context);
  const bool matched = run.Run(begin);
  // A group with only one bound (or a stale end before its start) took no part in the match.
  for (auto& span : context.spans_) {
    if (span.first == MatchContext::kNoPos || span.second == MatchContext::kNoPos ||
        span.second < span.first) {
      span = {MatchContext::kNoPos, MatchContext::kNoPos};
    }
  }
  return matched;
}

bool PatternMatcher::Match(const wchar_t* text, MatchContext* context, const wchar_t** end) const {
  if (text == nullptr || context == nullptr) return false;
  if (end != nullptr) *end = nullptr;
  if (!compiled_) throw HResultError(kEInvalidArg);
  const bool matched = Run(text, 0, std::wcslen(text), *context);
  if (context->stop == MatchStop::OutOfMemory) return false;
  context->matchStart = text + context->startOffset_;
  context->matchEnd = text + context->endOffset_;
  try {
    context->groups.assign(context->spans_.size(), Capture{});
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (std::size_t g = 0; g < context->spans_.size(); ++g) {
    const auto span = context->spans_[g];
    if (span.first != MatchContext::kNoPos) context->groups[g] = {text + span.first, text + span.second};
  }
  if (end != nullptr) *end = context->matchEnd;
  return matched;
}

void PatternMatcher::UseProgram(const std::vector<Instruction>& program, std::uint32_t groupCount,
                                std::uint32_t slotCount) {
  program_.Resize(0);
  compiled_ = false;
  firstChars_.clear();
  for (const Instruction& instruction : program) {
    if (!program_.Append(instruction)) throw HResultError(kEOutOfMemory);
  }
  groupCount_ = groupCount;
  slotCount_ = slotCount;
  lastError_ = PatternOk;
  compiled_ = true;
}

}  // namespace cv
