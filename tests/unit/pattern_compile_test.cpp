// The pattern compiler: compiled programs held against their expected dumps, compile errors with
// their codes, group and slot numbering, limits, and the growth rule of the program's storage.
#include <gtest/gtest.h>

#include <string>

#include "pattern/first_chars.h"
#include "pattern/growable_array.h"
#include "pattern/pattern_matcher.h"
#include "tests/unit/pattern_reference.h"

namespace cv {
namespace {

std::string Compiled(const wchar_t* pattern) {
  PatternMatcher matcher;
  const PatternError error = matcher.Compile(pattern);
  if (error != PatternOk) return "error " + std::to_string(error);
  return matcher.Dump();
}

struct DumpCase {
  const wchar_t* pattern;
  const char* program;
};

class CompiledProgramTest : public testing::TestWithParam<DumpCase> {};

TEST_P(CompiledProgramTest, DumpsAsExpected) {
  EXPECT_EQ(Compiled(GetParam().pattern), GetParam().program) << "pattern: " << testing::PrintToString(std::wstring(GetParam().pattern));
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, CompiledProgramTest,
    testing::Values(
        DumpCase{L"{[0-9]+}",
                 "0 Call 2\n1 NextStart\n2 SaveGroup 0\n3 SetGroupStart 0\n4 Call 7\n5 RestoreGroup 0\n"
                 "6 Backtrack\n7 InClass 10\n8 Nop '0'\n9 Nop '9'\n10 PushSlot 0\n11 SavePos 0\n"
                 "12 PushPos\n13 Call 17\n14 PopPos\n15 PopSlot 0\n16 Jump 23\n17 InClass 20\n"
                 "18 Nop '0'\n19 Nop '9'\n20 RequireProgress 0\n21 SavePos 0\n22 Jump 10\n"
                 "23 SetGroupEnd 0\n24 Accept\n"},
        DumpCase{L"a|b",
                 "0 Call 2\n1 NextStart\n2 PushPos\n3 Call 6\n4 PopPos\n5 Jump 8\n6 Char 'a'\n7 Jump 9\n"
                 "8 Char 'b'\n9 Accept\n"},
        DumpCase{L"", "0 Call 2\n1 NextStart\n2 Accept\n"}));

INSTANTIATE_TEST_SUITE_P(
    Constructs, CompiledProgramTest,
    testing::Values(
        // Anchored; only the first "^" anchors.
        DumpCase{L"^^A", "0 Call 2\n1 Reject\n2 Char '^'\n3 Char 'a'\n4 Accept\n"},
        // Three-way alternation nests to the right and shares one end.
        DumpCase{L"a|b|c",
                 "0 Call 2\n1 NextStart\n2 PushPos\n3 Call 6\n4 PopPos\n5 Jump 8\n6 Char 'a'\n7 Jump 15\n"
                 "8 PushPos\n9 Call 12\n10 PopPos\n11 Jump 14\n12 Char 'b'\n13 Jump 15\n14 Char 'c'\n"
                 "15 Accept\n"},
        // "|" binds tighter than sequence.
        DumpCase{L"ab|cd",
                 "0 Call 2\n1 NextStart\n2 Char 'a'\n3 PushPos\n4 Call 7\n5 PopPos\n6 Jump 9\n"
                 "7 Char 'b'\n8 Jump 10\n9 Char 'c'\n10 Char 'd'\n11 Accept\n"},
        // An empty body is one Nop; a plain group has no group number.
        DumpCase{L"(){}",
                 "0 Call 2\n1 NextStart\n2 Call 4\n3 Backtrack\n4 Nop\n5 SaveGroup 0\n6 SetGroupStart 0\n"
                 "7 Call 10\n8 RestoreGroup 0\n9 Backtrack\n10 Nop\n11 SetGroupEnd 0\n12 Accept\n"},
        // Negated class with an escaped TAB; a final "$" is the end of the text, elsewhere a "$".
        DumpCase{L"[^a-c\\t]$",
                 "0 Call 2\n1 NextStart\n2 NotInClass 7\n3 Nop 'a'\n4 Nop 'c'\n5 Nop 9\n6 Nop 9\n"
                 "7 Char 0\n8 Accept\n"},
        DumpCase{L"$a", "0 Call 2\n1 NextStart\n2 Char '$'\n3 Char 'a'\n4 Accept\n"},
        // Greedy "?" is "*" without the jump back.
        DumpCase{L"a?",
                 "0 Call 2\n1 NextStart\n2 PushSlot 0\n3 SavePos 0\n4 PushPos\n5 Call 9\n6 PopPos\n"
                 "7 PopSlot 0\n8 Jump 12\n9 Char 'a'\n10 RequireProgress 0\n11 SavePos 0\n12 Accept\n"},
        // Lazy loop: the rest first from a saved position, then one more iteration that must advance.
        DumpCase{L"a*?",
                 "0 Call 2\n1 NextStart\n2 PushPos\n3 Call 13\n4 PopPos\n5 PushSlot 0\n6 SavePos 0\n"
                 "7 Call 10\n8 PopSlot 0\n9 Backtrack\n10 Char 'a'\n11 RequireProgress 0\n12 Jump 2\n"
                 "13 Accept\n"},
        DumpCase{L"a??", "0 Call 2\n1 NextStart\n2 PushPos\n3 Call 6\n4 PopPos\n5 Char 'a'\n6 Accept\n"},
        // Negation without groups, then with a group that it puts back.
        DumpCase{L"!ab",
                 "0 Call 2\n1 NextStart\n2 SavePos 0\n3 SaveDepth 1\n4 Call 8\n5 LoadPos 0\n"
                 "6 LoadDepth 1\n7 Jump 12\n8 Char 'a'\n9 LoadPos 0\n10 LoadDepth 1\n11 Backtrack\n"
                 "12 Char 'b'\n13 Accept\n"},
        DumpCase{L"!{a}",
                 "0 Call 2\n1 NextStart\n2 SavePos 0\n3 SaveGroup 0\n4 SaveDepth 1\n5 Call 10\n"
                 "6 LoadPos 0\n7 LoadDepth 1\n8 RestoreGroup 0\n9 Jump 21\n10 SaveGroup 0\n"
                 "11 SetGroupStart 0\n12 Call 15\n13 RestoreGroup 0\n14 Backtrack\n15 Char 'a'\n"
                 "16 SetGroupEnd 0\n17 LoadPos 0\n18 LoadDepth 1\n19 RestoreGroup 0\n20 Backtrack\n"
                 "21 Accept\n"},
        // Abbreviations expand from the table, whatever the letter's case; back-references.
        DumpCase{L"\\D",
                 "0 Call 2\n1 NextStart\n2 Call 4\n3 Backtrack\n4 InClass 7\n5 Nop '0'\n6 Nop '9'\n"
                 "7 Accept\n"},
        DumpCase{L"\\n",
                 "0 Call 2\n1 NextStart\n2 Call 4\n3 Backtrack\n4 PushPos\n5 Call 8\n6 PopPos\n"
                 "7 Jump 10\n8 Char 13\n9 Jump 23\n10 Call 12\n11 Backtrack\n12 PushSlot 0\n"
                 "13 SavePos 0\n14 PushPos\n15 Call 19\n16 PopPos\n17 PopSlot 0\n18 Jump 22\n"
                 "19 Char 13\n20 RequireProgress 0\n21 SavePos 0\n22 Char 10\n23 Accept\n"},
        DumpCase{L"{a}\\0\\t\\",
                 "0 Call 2\n1 NextStart\n2 SaveGroup 0\n3 SetGroupStart 0\n4 Call 7\n5 RestoreGroup 0\n"
                 "6 Backtrack\n7 Char 'a'\n8 SetGroupEnd 0\n9 BackRef 0\n10 Char 't'\n11 Char '\\'\n"
                 "12 Accept\n"},
        // Closure operators that follow no atom, or a closure, are characters.
        DumpCase{L"*a+*",
                 "0 Call 2\n1 NextStart\n2 Char '*'\n3 Char 'a'\n4 PushSlot 0\n5 SavePos 0\n6 PushPos\n"
                 "7 Call 11\n8 PopPos\n9 PopSlot 0\n10 Jump 15\n11 Char 'a'\n12 RequireProgress 0\n"
                 "13 SavePos 0\n14 Jump 4\n15 Char '*'\n16 Accept\n"},
        // The top-level sequence stops at a closing character that closes nothing; "x|" before the
        // end or a closing character removes the whole alternation.
        DumpCase{L"a}b", "0 Call 2\n1 NextStart\n2 Char 'a'\n3 Accept\n"},
        DumpCase{L"xa|", "0 Call 2\n1 NextStart\n2 Char 'x'\n3 Accept\n"},
        DumpCase{L"(a|)b",
                 "0 Call 2\n1 NextStart\n2 Call 4\n3 Backtrack\n4 Nop\n5 Char 'b'\n6 Accept\n"}));

struct ErrorCase {
  const wchar_t* pattern;
  PatternError error;
};

class CompileErrorTest : public testing::TestWithParam<ErrorCase> {};

TEST_P(CompileErrorTest, ReturnsCodeAndKeepsIt) {
  PatternMatcher matcher;
  EXPECT_EQ(matcher.Compile(GetParam().pattern), GetParam().error);
  EXPECT_EQ(matcher.lastError(), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, CompileErrorTest,
    testing::Values(ErrorCase{L"{abc", PatternUnclosedGroup}, ErrorCase{L"{a)}", PatternUnclosedGroup},
                    ErrorCase{L"{a]", PatternUnclosedGroup}, ErrorCase{L"(abc", PatternUnclosedParen},
                    ErrorCase{L"(a}", PatternUnclosedParen}, ErrorCase{L"[abc", PatternUnclosedClass},
                    ErrorCase{L"[a-]", PatternUnclosedClass}, ErrorCase{L"[a-", PatternUnclosedClass},
                    ErrorCase{L"[a\\", PatternUnclosedClass}, ErrorCase{L"[^", PatternUnclosedClass},
                    ErrorCase{L"[]", PatternEmptyClass}, ErrorCase{L"[^]", PatternEmptyClass},
                    ErrorCase{L"\\0{a}", PatternUnknownGroup}, ErrorCase{L"{a}\\1", PatternUnknownGroup},
                    ErrorCase{L"{a}\\99999999999999999999", PatternUnknownGroup},
                    ErrorCase{L"[Z-a]", PatternReversedRange}, ErrorCase{L"[a--]", PatternReversedRange},
                    ErrorCase{L"{a*}*", PatternEmptyLoop}, ErrorCase{L"(a?)+", PatternEmptyLoop},
                    ErrorCase{L"(a*)*?", PatternEmptyLoop}, ErrorCase{L"(b|a*)+?", PatternEmptyLoop},
                    ErrorCase{L"(\\b*)+", PatternEmptyLoop}, ErrorCase{L"x{a*}*{", PatternEmptyLoop}));

INSTANTIATE_TEST_SUITE_P(
    Accepted, CompileErrorTest,
    testing::Values(ErrorCase{L"{a*}?", PatternOk}, ErrorCase{L"(a?)??", PatternOk},
                    ErrorCase{L"{a+?}*", PatternOk}, ErrorCase{L"()*", PatternOk},
                    ErrorCase{L"!a*", PatternOk}, ErrorCase{L"{a}\\0", PatternOk},
                    ErrorCase{L"{a\\0}", PatternOk}, ErrorCase{L"\\", PatternOk},
                    ErrorCase{L"[-a]", PatternOk}, ErrorCase{L"[a-\\]", PatternReversedRange},
                    ErrorCase{L"a|", PatternOk}, ErrorCase{L"|a", PatternOk}, ErrorCase{L"$", PatternOk}));

TEST(CompileNumbering, GroupsInOrderOfTheirBraceAndOnceForALoop) {
  PatternMatcher matcher;
  ASSERT_EQ(matcher.Compile(L"{a}({b}|{c})"), PatternOk);
  EXPECT_EQ(matcher.groupCount(), 3u);
  ASSERT_EQ(matcher.Compile(L"{a}+"), PatternOk);
  EXPECT_EQ(matcher.groupCount(), 1u);
  EXPECT_EQ(matcher.slotCount(), 1u);
}

TEST(CompileNumbering, SlotsCountEachLoopCopyAsIfParsedAgain) {
  PatternMatcher matcher;
  // The atom (a+) takes slot 0 when first parsed; the outer loop takes 1; its copy of the atom 2.
  ASSERT_EQ(matcher.Compile(L"(a+)*"), PatternOk);
  EXPECT_EQ(matcher.slotCount(), 3u);
  EXPECT_NE(matcher.Dump().find("PushSlot 1\n"), std::string::npos);
  EXPECT_NE(matcher.Dump().find("PushSlot 2\n"), std::string::npos);
  EXPECT_EQ(matcher.Dump().find("PushSlot 0\n"), std::string::npos);
  // x+ keeps its first copy (slot 0 inside it), then the loop (1) and its copy (2).
  ASSERT_EQ(matcher.Compile(L"(a+)+"), PatternOk);
  EXPECT_EQ(matcher.slotCount(), 3u);
  EXPECT_NE(matcher.Dump().find("PushSlot 0\n"), std::string::npos);
  ASSERT_EQ(matcher.Compile(L"!a!b"), PatternOk);
  EXPECT_EQ(matcher.slotCount(), 4u);
}

TEST(CompileLifecycle, NullPatternLeavesEarlierCompilation) {
  PatternMatcher matcher;
  ASSERT_EQ(matcher.Compile(L"{ab}"), PatternOk);
  const std::string program = matcher.Dump();
  EXPECT_EQ(matcher.Compile(nullptr), PatternMissing);
  EXPECT_EQ(matcher.Dump(), program);
  EXPECT_EQ(matcher.lastError(), PatternOk);
  EXPECT_EQ(matcher.groupCount(), 1u);
}

TEST(CompileLifecycle, RecompilingStartsAfresh) {
  PatternMatcher matcher;
  ASSERT_EQ(matcher.Compile(L"{a}{b}"), PatternOk);
  EXPECT_EQ(matcher.groupCount(), 2u);
  EXPECT_EQ(matcher.Compile(L"[]"), PatternEmptyClass);
  ASSERT_EQ(matcher.Compile(L"b"), PatternOk);
  EXPECT_EQ(matcher.lastError(), PatternOk);
  EXPECT_EQ(matcher.groupCount(), 0u);
  EXPECT_EQ(matcher.Dump(), "0 Call 2\n1 NextStart\n2 Char 'b'\n3 Accept\n");
}

TEST(CompileLimits, TooDeepOrTooLongIsNoMemory) {
  PatternMatcher matcher;
  std::wstring deep(PatternMatcher::kMaxNesting + 1, L'(');
  deep += L"a";
  deep += std::wstring(PatternMatcher::kMaxNesting + 1, L')');
  EXPECT_EQ(matcher.Compile(deep.c_str()), PatternNoMemory);
  const std::wstring ok = deep.substr(1, deep.size() - 2);
  EXPECT_EQ(matcher.Compile(ok.c_str()), PatternOk);
  // Each "+" doubles its atom's code.
  std::wstring doubling = L"a";
  for (int i = 0; i < 20; ++i) doubling = L"(" + doubling + L")+";
  EXPECT_EQ(matcher.Compile(doubling.c_str()), PatternNoMemory);
  // An abbreviation's expansion that cannot be compiled reports that instead.
  std::wstring nearFull = L"a";
  for (int i = 0; i < 12; ++i) nearFull = L"(" + nearFull + L")+";
  PatternMatcher probe;
  ASSERT_EQ(probe.Compile(nearFull.c_str()), PatternOk);
  std::wstring filler;
  const std::size_t room = PatternMatcher::kMaxProgramLength - probe.ProgramLength();
  filler.assign(room - 2, L'x');  // leaves room for 3 of the 5 instructions of \d
  EXPECT_EQ(matcher.Compile((nearFull + filler + L"\\d").c_str()), PatternAbbreviationFailed);
}

TEST(CompileLimits, LongAlternationChainsDoNotNest) {
  std::wstring chain = L"a";
  for (int i = 0; i < 2000; ++i) chain += L"|a";
  PatternMatcher matcher;
  EXPECT_EQ(matcher.Compile(chain.c_str()), PatternOk);
}

struct FirstCase {
  const wchar_t* pattern;
  std::vector<CharRange> ranges;  // in order, without repeats; empty: a match may begin anywhere
};

class FirstCharactersTest : public testing::TestWithParam<FirstCase> {};

TEST_P(FirstCharactersTest, FollowsEveryPathToTheFirstConsumingInstruction) {
  PatternMatcher matcher;
  ASSERT_EQ(matcher.Compile(GetParam().pattern), PatternOk);
  const std::vector<Instruction> program = testing_support::ProgramOf(matcher);
  std::vector<CharRange> ranges;
  const bool found = FindFirstCharacters(program.data(), program.size(), ranges);
  EXPECT_EQ(found, !GetParam().ranges.empty());
  if (found) {
    EXPECT_EQ(ranges, GetParam().ranges);
  }
}

constexpr CharRange Just(char c) { return {static_cast<std::uint32_t>(c), static_cast<std::uint32_t>(c)}; }

INSTANTIATE_TEST_SUITE_P(
    Patterns, FirstCharactersTest,
    testing::Values(FirstCase{L"{</html>}", {Just('<')}}, FirstCase{L"Set-Cookie:", {Just('s')}},
                    FirstCase{L"\\nLocation", {Just('\n'), Just('\r')}},
                    FirstCase{L"a|b", {Just('a'), Just('b')}}, FirstCase{L"a?b", {Just('a'), Just('b')}},
                    FirstCase{L"{[0-9]+}", {{'0', '9'}}}, FirstCase{L"a*?c", {Just('a'), Just('c')}},
                    FirstCase{L"!ab", {Just('a'), Just('b')}}, FirstCase{L"a*", {}}, FirstCase{L".a", {}},
                    FirstCase{L"[^a]", {}}, FirstCase{L"$", {}}, FirstCase{L"^a", {}},
                    FirstCase{L"{}\\0x", {}}, FirstCase{L"(a|)b", {Just('b')}}));

TEST(GrowableArray, GrowsByTheRuleAndReleasesAtZero) {
  GrowableArray<int> array;
  std::vector<std::size_t> capacities;
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(array.Append(i));
    if (capacities.empty() || capacities.back() != array.capacity()) capacities.push_back(array.capacity());
  }
  EXPECT_EQ(capacities, (std::vector<std::size_t>{1, 2, 3, 4, 6, 9, 13, 19, 28}));
  EXPECT_EQ(array[19], 19);
  ASSERT_TRUE(array.Resize(5));
  EXPECT_EQ(array.capacity(), 28u);  // truncating keeps the storage
  ASSERT_TRUE(array.Resize(7));
  EXPECT_EQ(array[6], 0);  // new elements are zero
  ASSERT_TRUE(array.Resize(0));
  EXPECT_EQ(array.capacity(), 0u);
  ASSERT_TRUE(array.Resize(100));  // with no storage the capacity is what is needed
  EXPECT_EQ(array.capacity(), 100u);
  GrowableArray<int> bounded(4);
  EXPECT_TRUE(bounded.Resize(4));
  EXPECT_FALSE(bounded.Append(1));
  EXPECT_EQ(bounded.size(), 4u);
}

}  // namespace
}  // namespace cv
