// PatternMatcher::Compile: recursive descent over sequence, alternation unit, closure and atom,
// emitting the instruction layouts as it goes. Each atom is parsed once: where a construct needs
// scaffolding in front of code already emitted it opens a gap and moves that code, and where it needs
// the atom twice (x+) it copies the code, so compiling stays linear in the pattern.
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <vector>

#include "base/ascii.h"
#include "pattern/pattern_matcher.h"

namespace cv {
namespace {

// The abbreviation table: the letter, then the sub-pattern that replaces the escape.
const wchar_t* const kAbbreviations[] = {
    L"a([a-zA-Z0-9])", L"b([ \\t])",         L"c([a-zA-Z])",
    L"d([0-9])",       L"h([0-9a-fA-F])",    L"n(\r|(\r?\n))",
    L"q(\"[^\"]*\")|('[^']*')", L"w([a-zA-Z]+)", L"z([0-9]+)",
};

// What a construct does to the caller's "may be empty" flag: leaves it, sets it or clears it. The
// flag is passed by reference through the parse; since every construct maps it to itself or to a
// constant, one parse can stand for both values the flag may come in with.
enum class EmptyEffect { Keep, Set, Clear };

bool Apply(EmptyEffect effect, bool flag) {
  return effect == EmptyEffect::Keep ? flag : effect == EmptyEffect::Set;
}

bool IsSlotOp(Op op) { return OperandOf(op) == OperandKind::Slot; }
bool IsIndexOp(Op op) { return OperandOf(op) == OperandKind::Index; }

class Compiler {
 public:
  Compiler(GrowableArray<Instruction>& program, std::uint32_t& groupCount, std::uint32_t& slotCount,
           const wchar_t* pattern)
      : program_(program), groupCount_(groupCount), slotCount_(slotCount), pos_(pattern) {}

  PatternError error() const { return error_; }

  // One alternation unit after another. Returns false when absent (or on error).
  bool Sequence(EmptyEffect& effect) {
    EmptyEffect first;
    if (!Unit(first)) {
      effect = first;
      return false;
    }
    // The units after the first are parsed, as a sequence, with a fresh flag that starts set.
    bool rest = true;
    for (;;) {
      EmptyEffect next;
      const bool present = Unit(next);
      if (error_) return false;
      rest = rest && Apply(next, true);
      if (!present) break;
    }
    effect = rest ? first : EmptyEffect::Clear;
    return true;
  }

 private:
  struct Mark {
    std::size_t length;
    std::uint32_t groups;
    std::uint32_t slots;
  };

  Mark Here() const { return {program_.size(), groupCount_, slotCount_}; }

  void Remove(const Mark& mark) {
    program_.Resize(mark.length);  // shrinking never fails
    groupCount_ = mark.groups;
    slotCount_ = mark.slots;
  }

  bool Fail(PatternError error) {
    if (error_ == PatternOk) error_ = error;
    return false;
  }

  bool Emit(Op op, std::uint32_t arg = 0) {
    if (!program_.Append(Instruction{op, arg})) return Fail(PatternNoMemory);
    return true;
  }

  std::uint32_t Length() const { return static_cast<std::uint32_t>(program_.size()); }

  void Set(std::size_t index, Op op, std::uint32_t arg = 0) { program_[index] = Instruction{op, arg}; }

  // Moves the code from `at` to the end up by `count` instructions, keeping its jumps pointing at
  // the same code, and leaves `count` Nops at `at` for the caller to fill.
  bool OpenGap(std::size_t at, std::size_t count) {
    const std::size_t old = program_.size();
    if (!program_.Resize(old + count)) return Fail(PatternNoMemory);
    Instruction* code = program_.data();
    std::memmove(static_cast<void*>(code + at + count), code + at, (old - at) * sizeof(Instruction));
    for (std::size_t i = at + count; i < old + count; ++i) {
      if (IsIndexOp(code[i].op)) code[i].arg += static_cast<std::uint32_t>(count);
    }
    for (std::size_t i = at; i < at + count; ++i) code[i] = Instruction{Op::Nop, 0};
    return true;
  }

  // Appends a copy of the code [from, to), moved to the end.
  bool CopyToEnd(std::size_t from, std::size_t to) {
    const std::size_t at = program_.size();
    if (!program_.Resize(at + (to - from))) return Fail(PatternNoMemory);
    Instruction* code = program_.data();
    const std::uint32_t shift = static_cast<std::uint32_t>(at - from);
    for (std::size_t i = from; i < to; ++i) {
      Instruction copy = code[i];
      if (IsIndexOp(copy.op)) copy.arg += shift;
      code[at + (i - from)] = copy;
    }
    return true;
  }

  void ShiftSlots(std::size_t from, std::size_t to, std::uint32_t shift) {
    for (std::size_t i = from; i < to; ++i) {
      if (IsSlotOp(program_[i].op)) program_[i].arg += shift;
    }
  }

  // Alternation unit: a closure, optionally "|" and another unit. A chain x1|x2|...|xn nests to
  // the right; it is built here in one loop so that long chains do not nest the parse.
  bool Unit(EmptyEffect& effect) {
    const Mark start = Here();
    EmptyEffect first;
    const bool present = Closure(first);
    effect = first;
    if (!present) {
      if (!error_) Remove(start);
      return false;
    }
    if (*pos_ != L'|') return true;

    std::vector<std::size_t> jumpsToEnd;
    bool laterMayBeEmpty = false;  // the right sides are parsed with a fresh, clear flag
    std::size_t alternative = start.length;
    for (;;) {
      ++pos_;  // "|"
      if (!OpenGap(alternative, 4)) return false;
      Set(alternative, Op::PushPos);
      Set(alternative + 1, Op::Call, static_cast<std::uint32_t>(alternative + 4));
      Set(alternative + 2, Op::PopPos);
      jumpsToEnd.push_back(program_.size());
      if (!Emit(Op::Jump)) return false;
      const std::size_t right = program_.size();
      Set(alternative + 3, Op::Jump, static_cast<std::uint32_t>(right));

      EmptyEffect next;
      const bool rightPresent = Closure(next);
      if (error_) return false;
      if (!rightPresent) {
        // "x|" before the end or a closing character: the whole alternation is absent.
        Remove(start);
        return false;
      }
      laterMayBeEmpty = laterMayBeEmpty || Apply(next, false);
      if (*pos_ != L'|') break;
      alternative = right;
    }
    for (const std::size_t jump : jumpsToEnd) program_[jump].arg = Length();
    if (laterMayBeEmpty) effect = EmptyEffect::Set;
    return true;
  }

  // Closure: an atom, optionally followed by "*", "+", "?", "*?", "+?" or "??".
  bool Closure(EmptyEffect& effect) {
    const Mark start = Here();
    EmptyEffect atom;
    const bool present = Atom(atom);
    effect = atom;
    if (!present) return false;
    const wchar_t op = *pos_;
    if (op != L'*' && op != L'+' && op != L'?') return true;
    ++pos_;
    const bool lazy = *pos_ == L'?';
    if (lazy) ++pos_;

    // The atom's code [start.length, atomEnd) used slots [start.slots, atomSlots). The loop
    // construct's own slot comes next, and the loop's copy of the atom gets slots after that, as
    // if the atom had been parsed a second time.
    const std::size_t atomBegin = start.length;
    const std::size_t atomEnd = program_.size();
    const std::uint32_t atomSlots = slotCount_;
    const std::uint32_t copyShift = atomSlots + 1 - start.slots;
    const bool atomMayBeEmpty = Apply(atom, false);  // the loop's copy is parsed with a clear flag
    const bool once = op == L'?';
    const bool keepFirstCopy = op == L'+';

    if (once && lazy) {  // x??: the rest first, then (from the same position) with x
      if (!OpenGap(atomBegin, 3)) return false;
      ShiftSlots(atomBegin + 3, program_.size(), atomSlots - start.slots);
      slotCount_ = atomSlots + (atomSlots - start.slots);
      Set(atomBegin, Op::PushPos);
      Set(atomBegin + 1, Op::Call, Length());
      Set(atomBegin + 2, Op::PopPos);
      effect = EmptyEffect::Set;
      return true;
    }

    const std::uint32_t slot = slotCount_;
    slotCount_ = atomSlots + 1 + (atomSlots - start.slots);
    const std::size_t prefix = lazy ? 8 : 7;
    std::size_t loop;  // first instruction of the loop construct
    std::size_t body;  // first instruction of the loop's copy of the atom
    if (keepFirstCopy) {
      loop = atomEnd;
      if (!program_.Resize(atomEnd + prefix)) return Fail(PatternNoMemory);
      body = program_.size();
      if (!CopyToEnd(atomBegin, atomEnd)) return false;
    } else {
      loop = atomBegin;
      if (!OpenGap(atomBegin, prefix)) return false;
      body = atomBegin + prefix;
    }
    ShiftSlots(body, program_.size(), copyShift);
    if (!once && atomMayBeEmpty) return Fail(PatternEmptyLoop);

    const std::uint32_t loop32 = static_cast<std::uint32_t>(loop);
    if (lazy) {
      // The rest of the pattern first, from where the loop stands; on failure, back to that
      // position for one more iteration, which must consume something.
      Set(loop, Op::PushPos);
      Set(loop + 1, Op::Call, 0);  // the end, filled in below
      Set(loop + 2, Op::PopPos);
      Set(loop + 3, Op::PushSlot, slot);
      Set(loop + 4, Op::SavePos, slot);
      Set(loop + 5, Op::Call, loop32 + 8);
      Set(loop + 6, Op::PopSlot, slot);
      Set(loop + 7, Op::Backtrack);
      if (!Emit(Op::RequireProgress, slot) || !Emit(Op::Jump, loop32)) return false;
      program_[loop + 1].arg = Length();
    } else {
      Set(loop, Op::PushSlot, slot);
      Set(loop + 1, Op::SavePos, slot);
      Set(loop + 2, Op::PushPos);
      Set(loop + 3, Op::Call, loop32 + 7);
      Set(loop + 4, Op::PopPos);
      Set(loop + 5, Op::PopSlot, slot);
      if (!Emit(Op::RequireProgress, slot) || !Emit(Op::SavePos, slot)) return false;
      if (!once && !Emit(Op::Jump, loop32)) return false;
      Set(loop + 6, Op::Jump, Length());
    }
    effect = (op == L'+') ? EmptyEffect::Clear : EmptyEffect::Set;
    return true;
  }

  // Groups, negations and abbreviations nest the parse; their depth is bounded.
  class Nesting {
   public:
    explicit Nesting(int& depth) : depth_(depth) { ++depth_; }
    ~Nesting() { --depth_; }
    bool tooDeep() const { return depth_ > PatternMatcher::kMaxNesting; }

   private:
    int& depth_;
  };

  bool Atom(EmptyEffect& effect) {
    effect = EmptyEffect::Keep;
    const wchar_t c = *pos_;
    switch (c) {
      case L'\0':
      case L'}':
      case L')':
      case L']':
        return false;
      case L'{':
        return Group(effect, true);
      case L'(':
        return Group(effect, false);
      case L'[':
        return Class(effect);
      case L'\\':
        return Escape(effect);
      case L'!':
        return Negation(effect);
      case L'.':
        ++pos_;
        effect = EmptyEffect::Clear;
        return Emit(Op::AnyChar);
      case L'$':
        if (!inAbbreviation_ && pos_[1] == L'\0') {
          ++pos_;
          effect = EmptyEffect::Clear;
          return Emit(Op::Char, 0);
        }
        break;
      default:
        break;
    }
    ++pos_;
    effect = EmptyEffect::Clear;
    return Emit(Op::Char, CodeOf(c));
  }

  // "{" body "}" (capture group) or "(" body ")" (plain group).
  bool Group(EmptyEffect& effect, bool capture) {
    Nesting nesting(depth_);
    if (nesting.tooDeep()) return Fail(PatternNoMemory);
    ++pos_;
    const std::uint32_t i = Length();
    const std::uint32_t group = groupCount_;
    if (capture) {
      ++groupCount_;
      if (!Emit(Op::SaveGroup, group) || !Emit(Op::SetGroupStart, group) || !Emit(Op::Call, i + 5) ||
          !Emit(Op::RestoreGroup, group) || !Emit(Op::Backtrack)) {
        return false;
      }
    } else if (!Emit(Op::Call, i + 2) || !Emit(Op::Backtrack)) {
      return false;
    }
    EmptyEffect body;
    const bool present = Sequence(body);
    if (error_) return false;
    effect = body;
    if (!present && !Emit(Op::Nop)) return false;
    if (*pos_ != (capture ? L'}' : L')')) {
      return Fail(capture ? PatternUnclosedGroup : PatternUnclosedParen);
    }
    ++pos_;
    return !capture || Emit(Op::SetGroupEnd, group);
  }

  bool Class(EmptyEffect& effect) {
    ++pos_;  // "["
    bool negated = false;
    if (*pos_ == L']') return Fail(PatternEmptyClass);
    if (*pos_ == L'^') {
      negated = true;
      ++pos_;
      if (*pos_ == L']') return Fail(PatternEmptyClass);
    }
    const std::size_t head = program_.size();
    if (!Emit(negated ? Op::NotInClass : Op::InClass)) return false;
    while (*pos_ != L']' && *pos_ != L'\0') {
      std::uint32_t low;
      if (*pos_ == L'\\') {
        ++pos_;
        if (*pos_ == L'\0') return Fail(PatternUnclosedClass);
        low = (*pos_ == L't') ? CodeOf(L'\t') : CodeOf(*pos_);
      } else {
        low = CodeOf(*pos_);
      }
      ++pos_;
      std::uint32_t high = low;
      if (*pos_ == L'-') {
        if (pos_[1] == L']' || pos_[1] == L'\0') return Fail(PatternUnclosedClass);
        high = CodeOf(pos_[1]);
        pos_ += 2;
        if (high < low) return Fail(PatternReversedRange);
      }
      if (!Emit(Op::Nop, low) || !Emit(Op::Nop, high)) return false;
    }
    if (*pos_ != L']') return Fail(PatternUnclosedClass);
    ++pos_;
    program_[head].arg = Length();
    effect = EmptyEffect::Clear;
    return true;
  }

  bool Escape(EmptyEffect& effect) {
    ++pos_;  // the backslash
    const wchar_t c = *pos_;
    effect = EmptyEffect::Clear;
    if (c == L'\0') return Emit(Op::Char, CodeOf(L'\\'));  // a trailing backslash stands for itself
    if (c >= L'0' && c <= L'9') {
      std::uint64_t number = 0;
      while (*pos_ >= L'0' && *pos_ <= L'9') {
        if (number <= 0xFFFFFFFFu) number = number * 10 + static_cast<std::uint64_t>(*pos_ - L'0');
        ++pos_;
      }
      if (number >= groupCount_) return Fail(PatternUnknownGroup);
      return Emit(Op::BackRef, static_cast<std::uint32_t>(number));
    }
    for (const wchar_t* entry : kAbbreviations) {
      if (entry[0] == c) return Abbreviation(effect, entry + 1);
    }
    ++pos_;
    return Emit(Op::Char, CodeOf(c));
  }

  // The entry's text is compiled in place of the escape as one alternation unit.
  bool Abbreviation(EmptyEffect& effect, const wchar_t* expansion) {
    Nesting nesting(depth_);
    if (nesting.tooDeep()) return Fail(PatternNoMemory);
    const wchar_t* resume = pos_ + 1;
    const bool wasInAbbreviation = inAbbreviation_;
    pos_ = expansion;
    inAbbreviation_ = true;
    const bool present = Unit(effect);
    pos_ = resume;
    inAbbreviation_ = wasInAbbreviation;
    if (error_) {
      error_ = PatternAbbreviationFailed;
      return false;
    }
    return present;
  }

  // "!x": x must not match here; consumes nothing. Groups that x set are put back whether x
  // matched or not, so a negation never leaves captures behind.
  bool Negation(EmptyEffect& effect) {
    Nesting nesting(depth_);
    if (nesting.tooDeep()) return Fail(PatternNoMemory);
    ++pos_;
    const std::uint32_t posSlot = slotCount_++;
    const std::uint32_t depthSlot = slotCount_++;
    const std::uint32_t firstGroup = groupCount_;
    const std::size_t i = program_.size();
    if (!Atom(effect)) return false;
    const std::uint32_t groups = groupCount_ - firstGroup;
    const std::size_t prefix = 6 + 2 * static_cast<std::size_t>(groups);
    if (!OpenGap(i, prefix)) return false;
    std::size_t k = i;
    Set(k++, Op::SavePos, posSlot);
    for (std::uint32_t g = 0; g < groups; ++g) Set(k++, Op::SaveGroup, firstGroup + g);
    Set(k++, Op::SaveDepth, depthSlot);
    Set(k++, Op::Call, static_cast<std::uint32_t>(i + prefix));
    // x failed: the negation holds; drop the saved groups and go on.
    Set(k++, Op::LoadPos, posSlot);
    Set(k++, Op::LoadDepth, depthSlot);
    for (std::uint32_t g = groups; g-- > 0;) Set(k++, Op::RestoreGroup, firstGroup + g);
    const std::size_t jumpToEnd = k;
    // x matched: put p, the stack and the groups back, and fail.
    if (!Emit(Op::LoadPos, posSlot) || !Emit(Op::LoadDepth, depthSlot)) return false;
    for (std::uint32_t g = groups; g-- > 0;) {
      if (!Emit(Op::RestoreGroup, firstGroup + g)) return false;
    }
    if (!Emit(Op::Backtrack)) return false;
    Set(jumpToEnd, Op::Jump, Length());
    return true;
  }

  GrowableArray<Instruction>& program_;
  std::uint32_t& groupCount_;
  std::uint32_t& slotCount_;
  const wchar_t* pos_;
  PatternError error_ = PatternOk;
  int depth_ = 0;
  bool inAbbreviation_ = false;
};

}  // namespace

PatternMatcher::PatternMatcher() : program_(kMaxProgramLength) {}

PatternError PatternMatcher::Compile(const wchar_t* pattern) {
  if (pattern == nullptr) return PatternMissing;
  program_.Resize(0);
  groupCount_ = 0;
  slotCount_ = 0;
  lastError_ = PatternOk;
  compiled_ = false;
  firstChars_.clear();

  const std::size_t length = std::wcslen(pattern);
  std::unique_ptr<wchar_t[]> copy(new (std::nothrow) wchar_t[length + 1]);
  if (!copy) return lastError_ = PatternNoMemory;
  std::memcpy(copy.get(), pattern, (length + 1) * sizeof(wchar_t));
  LowerAsciiInPlace(copy.get(), length);

  const wchar_t* body = copy.get();
  const bool anchored = *body == L'^';
  if (anchored) ++body;
  if (!program_.Append({Op::Call, 0}) || !program_.Append({anchored ? Op::Reject : Op::NextStart, 0})) {
    return lastError_ = PatternNoMemory;
  }
  Compiler compiler(program_, groupCount_, slotCount_, body);
  EmptyEffect effect;
  try {
    compiler.Sequence(effect);  // an empty pattern is fine
  } catch (const std::bad_alloc&) {
    return lastError_ = PatternNoMemory;  // the parse's own bookkeeping could not grow
  }
  if (compiler.error() != PatternOk) return lastError_ = compiler.error();
  program_[0].arg = 2;
  if (!program_.Append({Op::Accept, 0})) return lastError_ = PatternNoMemory;
  try {
    if (!FindFirstCharacters(program_.data(), program_.size(), firstChars_)) firstChars_.clear();
  } catch (const std::bad_alloc&) {
    firstChars_.clear();  // only a shortcut; matching works without it
  }
  compiled_ = true;
  return PatternOk;
}

}  // namespace cv
