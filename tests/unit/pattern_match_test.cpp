// The matching machine: positions, captures, order of trial, negation, back-references and the end
// of the text; the layouts of lazy loops and negations against the straightforward ones; the
// machine's consistency checks and its stack.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "pattern/hresult_error.h"
#include "pattern/pattern_matcher.h"
#include "tests/unit/pattern_reference.h"

namespace cv {
namespace {

constexpr int kNone = -1;

struct Expected {
  bool found;
  int start = kNone;
  int end = kNone;
  // Per group: its text, or nullopt when it took no part.
  std::vector<std::optional<std::wstring>> groups = {};
};

struct MatchCase {
  const wchar_t* pattern;
  const wchar_t* text;
  Expected expected;
};

void PrintTo(const MatchCase& c, std::ostream* os) {
  *os << testing::PrintToString(std::wstring(c.pattern)) << " on " << testing::PrintToString(std::wstring(c.text));
}

void ExpectMatch(const PatternMatcher& matcher, const wchar_t* text, const Expected& expected) {
  MatchContext context;
  const wchar_t* end = nullptr;
  const bool found = matcher.Match(text, &context, &end);
  ASSERT_EQ(found, expected.found);
  if (!found) return;
  EXPECT_EQ(context.matchStart - text, expected.start);
  EXPECT_EQ(context.matchEnd - text, expected.end);
  EXPECT_EQ(end, context.matchEnd);
  ASSERT_EQ(context.groups.size(), expected.groups.size());
  for (std::size_t g = 0; g < expected.groups.size(); ++g) {
    const Capture& capture = context.groups[g];
    if (!expected.groups[g]) {
      EXPECT_FALSE(capture.captured()) << "group " << g;
      EXPECT_EQ(capture.end, nullptr) << "group " << g;
    } else {
      EXPECT_TRUE(capture.captured()) << "group " << g;
      EXPECT_EQ(capture.text(), *expected.groups[g]) << "group " << g;
    }
  }
}

class MatchTest : public testing::TestWithParam<MatchCase> {};

TEST_P(MatchTest, FindsFirstMatchAndItsGroups) {
  PatternMatcher matcher;
  ASSERT_EQ(matcher.Compile(GetParam().pattern), PatternOk);
  ExpectMatch(matcher, GetParam().text, GetParam().expected);
}

const std::nullopt_t none = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    PositionsAndEnd, MatchTest,
    testing::Values(MatchCase{L"b$", L"ab", {true, 1, 3}}, MatchCase{L"$", L"abc", {false}},
                    MatchCase{L"$", L"", {true, 0, 1}}, MatchCase{L"b", L"ab", {true, 1, 2}},
                    MatchCase{L"^b", L"ab", {false}}, MatchCase{L"^^a", L"^a", {true, 0, 2}},
                    MatchCase{L"^^a", L"a", {false}}, MatchCase{L"a$b", L"xa$b", {true, 1, 4}},
                    MatchCase{L"", L"", {true, 0, 0}}, MatchCase{L"", L"xy", {true, 0, 0}},
                    MatchCase{L"x", L"", {false}}, MatchCase{L"{abc}", L"xABCx", {true, 1, 4, {L"ABC"}}},
                    MatchCase{L"ab|cd", L"abd", {true, 0, 3}}, MatchCase{L"ab|cd", L"acd", {true, 0, 3}},
                    MatchCase{L"ab|cd", L"ab", {false}}, MatchCase{L"(ab)|(cd)", L"xcd", {true, 1, 3}},
                    MatchCase{L"[A-Z]", L"q", {true, 0, 1}}, MatchCase{L"[A-Z]", L"Q", {true, 0, 1}},
                    MatchCase{L"[^A]", L"a", {false}}, MatchCase{L"\\D", L"x5", {true, 1, 2}},
                    MatchCase{L"\\t", L"\tt", {true, 1, 2}}, MatchCase{L"[\\t]", L"t\t", {true, 1, 2}},
                    MatchCase{L".", L"", {false}}, MatchCase{L"a.$", L"ab", {true, 0, 3}}));

INSTANTIATE_TEST_SUITE_P(
    OrderOfTrial, MatchTest,
    testing::Values(
        MatchCase{L"{a+}", L"aaa", {true, 0, 3, {L"aaa"}}},
        MatchCase{L"{a+?}", L"aaa", {true, 0, 1, {L"a"}}},
        MatchCase{L"{a*}ab", L"aaab", {true, 0, 4, {L"aa"}}},
        MatchCase{L"{a*?}b", L"aab", {true, 0, 3, {L"aa"}}},
        MatchCase{L"{a?}", L"a", {true, 0, 1, {L"a"}}}, MatchCase{L"{a??}", L"a", {true, 0, 0, {L""}}},
        MatchCase{L"({a}|{ab})", L"ab", {true, 0, 1, {L"a", none}}},
        MatchCase{L"{(ab)|a}", L"ab", {true, 0, 2, {L"ab"}}},
        MatchCase{L"{.+?}\\n", L"x=y\r\nz", {true, 0, 4, {L"x=y"}}},
        MatchCase{L"{[^a-c]+}", L"abcxYzc", {true, 3, 6, {L"xYz"}}},
        MatchCase{L"{a}*{b}", L"aab", {true, 0, 3, {L"a", L"b"}}},  // a group in a loop: its last turn
        // Lazy loops restore the position before each further iteration.
        MatchCase{L"x{a+?}ab", L"xaaab", {true, 0, 5, {L"aa"}}},
        MatchCase{L"{a??}ab", L"aab", {true, 0, 3, {L"a"}}},
        MatchCase{L"{.*?}c", L"abcabc", {true, 0, 3, {L"ab"}}},
        // Loops over atoms that consume nothing yet pass the compile check cannot spin.
        MatchCase{L"(!a)*?b", L"cb", {true, 1, 2}}, MatchCase{L"()+?b", L"cb", {true, 1, 2}},
        MatchCase{L"{}(\\0)+?x", L"yx", {true, 1, 2, {L""}}}, MatchCase{L"(!a)*b", L"cb", {true, 1, 2}}));

INSTANTIATE_TEST_SUITE_P(
    NegationAndBackReferences, MatchTest,
    testing::Values(
        MatchCase{L"!ab", L"ab", {true, 1, 2}}, MatchCase{L"a!b", L"abac", {true, 2, 3}},
        MatchCase{L"!{a}b", L"ab", {true, 1, 2, {none}}},
        MatchCase{L"{x}!({y}z)", L"xyz xyq", {true, 4, 5, {L"x", none}}},
        MatchCase{L"!({a}c)a", L"ab", {true, 0, 1, {none}}},
        MatchCase{L"({a}|b)!{c}.", L"acbd", {true, 2, 4, {none, none}}},
        MatchCase{L"{x}?\\0b", L"b", {true, 0, 1, {none}}},
        MatchCase{L"{ab}\\0", L"xabABy", {true, 1, 5, {L"ab"}}},
        MatchCase{L"{a}\\0", L"ab", {false}},
        MatchCase{L"{a\\0}", L"a", {true, 0, 1, {L"a"}}},
        MatchCase{L"{a}\\0$", L"aa", {true, 0, 3, {L"a"}}},
        MatchCase{L"{[a-z]+}=\\0", L"k=K", {true, 0, 3, {L"k"}}},
        MatchCase{L"{ab}\\0", L"aba", {false}}));

INSTANTIATE_TEST_SUITE_P(
    Abbreviations, MatchTest,
    testing::Values(MatchCase{L"{\\w}", L"12 abC3", {true, 3, 6, {L"abC"}}},
                    MatchCase{L"{\\z}", L"ab123c", {true, 2, 5, {L"123"}}},
                    MatchCase{L"{\\q}", L"x'a\"b'y", {true, 1, 6, {L"'a\"b'"}}},
                    MatchCase{L"{\\Q}", L"x\"it's\"", {true, 1, 7, {L"\"it's\""}}},
                    MatchCase{L"{\\h+}", L"zz0aF9g", {true, 2, 6, {L"0aF9"}}},
                    MatchCase{L"a\\b*b", L"a \t b", {true, 0, 5}},
                    MatchCase{L"{\\c\\a}", L"1_x9", {true, 2, 4, {L"x9"}}},
                    MatchCase{L"{a}\\n", L"a\n", {true, 0, 2, {L"a"}}},
                    MatchCase{L"{a}\\n", L"a\r", {true, 0, 2, {L"a"}}},
                    MatchCase{L"\\n\\n{a}", L"\r\n\na", {true, 0, 4, {L"a"}}}));

// The straightforward layouts of lazy loops and negations give the wrong results; the compiled ones
// give those the order of trial calls for.
struct LayoutCase {
  const wchar_t* pattern;
  const wchar_t* text;
  Expected straightforward;
  Expected compiled;
};

class LayoutTest : public testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutTest, CompiledLayoutMendsStraightforwardOne) {
  PatternMatcher compiled;
  ASSERT_EQ(compiled.Compile(GetParam().pattern), PatternOk);
  PatternMatcher straightforward;
  testing_support::UseStraightforwardCopy(compiled, straightforward);
  ASSERT_LT(straightforward.ProgramLength(), compiled.ProgramLength());
  {
    SCOPED_TRACE("straightforward layout");
    ExpectMatch(straightforward, GetParam().text, GetParam().straightforward);
  }
  {
    SCOPED_TRACE("compiled layout");
    ExpectMatch(compiled, GetParam().text, GetParam().compiled);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Mends, LayoutTest,
    testing::Values(LayoutCase{L"x{a+?}ab", L"xaaab", {false}, {true, 0, 5, {L"aa"}}},
                    LayoutCase{L"{a??}ab", L"aab", {true, 1, 3, {L""}}, {true, 0, 3, {L"a"}}},
                    LayoutCase{L"{a*?}aab", L"aaaab", {true, 2, 5, {L""}}, {true, 0, 5, {L"aa"}}},
                    LayoutCase{L"!{a}b", L"ab", {true, 1, 2, {L"a"}}, {true, 1, 2, {none}}},
                    LayoutCase{L"{x}!({a}b)", L"xabxc", {true, 3, 4, {L"x", L"a"}}, {true, 3, 4, {L"x", none}}}));

TEST(MatchMachine, ContextIsReusableAndStackKeepsItsGrowth) {
  PatternMatcher matcher;
  ASSERT_EQ(matcher.Compile(L"{a*}b"), PatternOk);
  MatchContext context;
  EXPECT_EQ(context.StackSize(), 256u);
  const std::wstring many(5000, L'a');
  const std::wstring text = many + L"b";
  ASSERT_TRUE(matcher.Match(text.c_str(), &context));
  EXPECT_EQ(context.groups[0].text(), many);
  const std::size_t grown = context.StackSize();
  EXPECT_GT(grown, 3u * 5000u);
  EXPECT_EQ(grown % 2, 0u);  // sizes go 256, then 2 * top + 2
  const wchar_t* second = L"xab";
  ASSERT_TRUE(matcher.Match(second, &context));
  EXPECT_EQ(context.matchStart, second + 1);
  EXPECT_EQ(context.groups[0].text(), L"a");
  EXPECT_EQ(context.StackSize(), grown);
  ASSERT_FALSE(matcher.Match(L"aaa", &context));
  EXPECT_FALSE(context.groups[0].captured());
}

TEST(MatchMachine, MissingTextOrContextGivesFalseAndWritesNothing) {
  PatternMatcher matcher;
  ASSERT_EQ(matcher.Compile(L"a"), PatternOk);
  MatchContext context;
  const wchar_t* sentinel = L"unchanged";
  const wchar_t* end = sentinel;
  EXPECT_FALSE(matcher.Match(nullptr, &context, &end));
  EXPECT_FALSE(matcher.Match(L"a", nullptr, &end));
  EXPECT_EQ(end, sentinel);
  const wchar_t* text = L"bcd";
  EXPECT_FALSE(matcher.Match(text, &context, &end));
  EXPECT_EQ(end, text + 3);  // an unanchored scan stops at the end
  ASSERT_EQ(matcher.Compile(L"^ab"), PatternOk);
  EXPECT_FALSE(matcher.Match(L"ac", &context, &end));
  EXPECT_EQ(end - context.matchStart, 1);  // where the single attempt gave up
}

TEST(MatchMachine, StepLimitEndsCatastrophicBacktracking) {
  PatternMatcher matcher;
  ASSERT_EQ(matcher.Compile(L"(a+)+b"), PatternOk);
  MatchContext context;
  context.stepLimit = 100000;
  const std::wstring text(40, L'a');
  EXPECT_FALSE(matcher.Match(text.c_str(), &context));
  EXPECT_EQ(context.stop, MatchStop::StepLimit);
  context.stepLimit = 0;
  EXPECT_TRUE(matcher.Match(L"aab", &context));
  EXPECT_EQ(context.stop, MatchStop::Finished);
}

struct BrokenProgram {
  const char* what;
  std::vector<Instruction> program;
  std::uint32_t groups;
  std::uint32_t slots;
};

class MachineCheckTest : public testing::TestWithParam<BrokenProgram> {};

TEST_P(MachineCheckTest, RaisesInvalidArg) {
  PatternMatcher matcher;
  matcher.UseProgram(GetParam().program, GetParam().groups, GetParam().slots);
  MatchContext context;
  try {
    matcher.Match(L"ab", &context);
    ADD_FAILURE() << "no exception";
  } catch (const HResultError& error) {
    EXPECT_EQ(error.hresult(), kEInvalidArg);
  }
}

void PrintTo(const BrokenProgram& p, std::ostream* os) { *os << p.what; }

INSTANTIATE_TEST_SUITE_P(
    ConsistencyChecks, MachineCheckTest,
    testing::Values(
        BrokenProgram{"jump past the end", {{Op::Call, 2}, {Op::NextStart, 0}, {Op::Jump, 9}}, 0, 0},
        BrokenProgram{"run off the end", {{Op::Call, 2}, {Op::NextStart, 0}, {Op::Char, 'a'}}, 0, 0},
        BrokenProgram{"pop from empty stack",
                      {{Op::Call, 2}, {Op::NextStart, 0}, {Op::PopPos, 0}, {Op::PopPos, 0}, {Op::Accept, 0}},
                      0, 0},
        BrokenProgram{"not an opcode", {{Op::Call, 2}, {Op::NextStart, 0}, {static_cast<Op>(5), 0}}, 0, 0},
        BrokenProgram{"slot beyond count", {{Op::Call, 2}, {Op::NextStart, 0}, {Op::SavePos, 1}}, 0, 1},
        BrokenProgram{"group beyond count", {{Op::Call, 2}, {Op::NextStart, 0}, {Op::SetGroupEnd, 0}}, 0, 0},
        BrokenProgram{"class end past program",
                      {{Op::Call, 2}, {Op::NextStart, 0}, {Op::InClass, 7}, {Op::Nop, 'a'}, {Op::Nop, 'b'}},
                      0, 0},
        BrokenProgram{"depth raised",
                      {{Op::Call, 2}, {Op::NextStart, 0}, {Op::Char, 'a'}, {Op::Char, 'b'}, {Op::SavePos, 0},
                       {Op::LoadDepth, 0}},
                      0, 1}));

TEST(MatchMachine, UncompiledOrFailedMatcherIsRefused) {
  PatternMatcher matcher;
  MatchContext context;
  EXPECT_THROW(matcher.Match(L"a", &context), HResultError);
  ASSERT_EQ(matcher.Compile(L"(a"), PatternUnclosedParen);
  EXPECT_THROW(matcher.Match(L"a", &context), HResultError);
}

}  // namespace
}  // namespace cv
