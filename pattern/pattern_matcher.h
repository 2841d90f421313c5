// The stub's own pattern dialect (capture groups in braces, "!" negation, one-letter abbreviations,
// ASCII case ignored), compiled to a flat instruction program and run by a backtracking machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "pattern/first_chars.h"
#include "pattern/growable_array.h"
#include "pattern/instruction.h"

namespace cv {

enum PatternError : std::int32_t {
  PatternOk = 0,
  PatternNoMemory = 1,            // the program cannot grow (or nests too deeply), or no copy
  PatternUnclosedGroup = 2,       // "{" without its "}"
  PatternUnclosedParen = 3,       // "(" without its ")"
  PatternUnclosedClass = 4,       // "[" without "]", or a range without its upper bound
  PatternAbbreviationFailed = 5,  // an abbreviation's expansion did not compile
  PatternEmptyClass = 6,          // "[]" or "[^]"
  PatternUnknownGroup = 7,        // a back-reference to a group not opened yet
  PatternReversedRange = 8,       // a class range whose upper bound is below its lower one
  PatternEmptyLoop = 9,           // "*", "+", "*?" or "+?" over an atom that may match nothing
  PatternMissing = 10,            // no pattern
};

// Why the last match ended.
enum class MatchStop {
  Finished,     // the scan ran to its end (match or no match)
  OutOfMemory,  // the context or the stack could not grow
  StepLimit,    // the context's step limit was reached
};

// One capture: both bounds point into the matched text, or both are null.
struct Capture {
  const wchar_t* start = nullptr;
  const wchar_t* end = nullptr;

  bool captured() const { return start != nullptr; }
  std::wstring text() const { return captured() ? std::wstring(start, end) : std::wstring(); }
};

// The result and working state of matches; reusable, and its stack keeps the storage it grew to.
class MatchContext {
 public:
  MatchContext();
  MatchContext(const MatchContext&) = delete;
  MatchContext& operator=(const MatchContext&) = delete;

  std::uint32_t groupCount = 0;        // entries in `groups`
  const wchar_t* matchStart = nullptr;  // where the successful attempt began
  const wchar_t* matchEnd = nullptr;    // one past the match (one past the text after a final "$")
  std::vector<Capture> groups;          // group 0 is the pattern's first "{"

  // A bound on the instructions one match may execute (0: none) and what the last match used; a
  // match that reaches the bound ends with no match and `stop` set to StepLimit.
  std::uint64_t stepLimit = 0;
  std::uint64_t steps = 0;
  MatchStop stop = MatchStop::Finished;

  std::size_t StackSize() const { return stack_.size(); }

 private:
  friend class PatternMatcher;
  friend class MatchRun;
  friend struct CollectAccess;

  static constexpr std::size_t kNoPos = static_cast<std::size_t>(-1);

  std::vector<std::pair<std::size_t, std::size_t>> spans_;  // group bounds as text offsets
  std::vector<std::uintptr_t> slots_;
  GrowableArray<std::uintptr_t> stack_;
  std::uint32_t top_ = 0;  // index of the topmost stack entry; 0: empty (entry 0 is never used)
  std::size_t startOffset_ = 0;
  std::size_t endOffset_ = 0;
};

class PatternMatcher {
 public:
  PatternMatcher();
  PatternMatcher(const PatternMatcher&) = delete;
  PatternMatcher& operator=(const PatternMatcher&) = delete;

  // Compiles a NUL-terminated pattern afresh. Null changes nothing and returns PatternMissing.
  PatternError Compile(const wchar_t* pattern);

  // Finds the first match in a NUL-terminated text. Needs a program from a successful Compile
  // (raises E_INVALIDARG otherwise). A null text or context gives false and writes nothing.
  // Otherwise `end`, if given, receives matchEnd, or where a failed scan stopped; it is left null
  // when memory ran out.
  bool Match(const wchar_t* text, MatchContext* context, const wchar_t** end = nullptr) const;

  // Runs a hand-made program (machine tests): it must start with the frame that Compile emits.
  // Every attempt is made: the first-character shortcut of compiled programs is not used.
  void UseProgram(const std::vector<Instruction>& program, std::uint32_t groupCount,
                  std::uint32_t slotCount);

  // The program, one instruction per line: index, opcode name, argument.
  std::string Dump() const;

  PatternError lastError() const { return lastError_; }
  std::uint32_t groupCount() const { return groupCount_; }
  std::uint32_t slotCount() const { return slotCount_; }
  std::size_t ProgramLength() const { return program_.size(); }
  Instruction At(std::size_t index) const;  // E_INVALIDARG at or beyond the program's length

  // Longest program Compile builds; a longer one is PatternNoMemory.
  static constexpr std::size_t kMaxProgramLength = std::size_t{1} << 16;
  // Deepest nesting of groups, negations and abbreviations; deeper is PatternNoMemory.
  static constexpr int kMaxNesting = 200;

 private:
  friend struct CollectAccess;

  // Matches text[0, end) from offset `begin`; results as offsets into `text`.
  bool Run(const wchar_t* text, std::size_t begin, std::size_t end, MatchContext& context) const;

  PatternError lastError_ = PatternOk;
  GrowableArray<Instruction> program_;
  std::uint32_t groupCount_ = 0;
  std::uint32_t slotCount_ = 0;
  bool compiled_ = false;
  std::vector<CharRange> firstChars_;  // empty: attempts start at every position
};

// Collects the text of the first capture group of every successive match of `pattern` in `text`,
// without repeats (compared ignoring ASCII case), in order of first appearance. Returns false, with
// `results` empty, when the pattern or the text is empty or the pattern does not compile.
bool CollectMatches(const std::wstring& pattern, const std::wstring& text,
                    std::vector<std::wstring>& results);

enum class CollectOutcome { Collected, Refused, StepLimit };

// CollectMatches with a bound on the instructions all its matches together may execute (0: none):
// Refused stands for CollectMatches' false, StepLimit for a run cut short (results then empty).
CollectOutcome CollectMatchesWithin(const std::wstring& pattern, const std::wstring& text,
                                    std::vector<std::wstring>& results, std::uint64_t stepLimit);

}  // namespace cv
