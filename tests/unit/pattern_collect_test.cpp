// CollectMatches: order, repeats ignoring ASCII case, anchoring at the scan position, refusals, the
// error for a pattern without a group, and the same results as the plain definition (a fresh copy
// of the rest of the text per match) over many generated texts.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "pattern/hresult_error.h"
#include "pattern/pattern_matcher.h"
#include "tests/unit/pattern_reference.h"

namespace cv {
namespace {

using Strings = std::vector<std::wstring>;

struct CollectCase {
  const wchar_t* pattern;
  std::wstring text;
  Strings expected;
};

void PrintTo(const CollectCase& c, std::ostream* os) {
  *os << testing::PrintToString(std::wstring(c.pattern)) << " on " << testing::PrintToString(c.text);
}

class CollectTest : public testing::TestWithParam<CollectCase> {};

TEST_P(CollectTest, CollectsFirstGroupOfEachMatchOnce) {
  Strings results{L"left over"};
  EXPECT_TRUE(CollectMatches(GetParam().pattern, GetParam().text, results));
  EXPECT_EQ(results, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Results, CollectTest,
    testing::Values(
        CollectCase{L"{[0-9]+}", L"a1b22c1", {L"1", L"22"}},
        CollectCase{L"{[a-z]+}", L"Ab ab", {L"Ab"}},
        CollectCase{L"{[a-z]+}", L"Foo bar FOO Bar baz", {L"Foo", L"bar", L"baz"}},
        CollectCase{L"Content-Length: {[0-9]+}", L"HTTP/1.1 200 OK\r\ncontent-length: 42\r\n\r\n", {L"42"}},
        CollectCase{L"{[0-9]+}", L"no digits", {}},
        // "^" anchors each match at the scan position, which is where the previous match ended.
        CollectCase{L"^{a}", L"aAb", {L"a"}}, CollectCase{L"^{a}", L"ba", {}},
        CollectCase{L"^{ab}", L"abxab", {L"ab"}}, CollectCase{L"^{.}", L"aBab", {L"a", L"B"}},
        // An empty match steps the scan on by one character.
        CollectCase{L"{a*}", L"bab", {L"", L"a"}}, CollectCase{L"x?{}", L"xyx", {L""}},
        // Groups after the first, and a first group that took no part, add nothing.
        CollectCase{L"({a}|b){c}", L"acbcac", {L"a"}},
        // The matching sees the text up to a NUL; a match through the NUL ("$") goes on after it.
        CollectCase{L"{b}", std::wstring(L"a\0b", 3), {}},
        CollectCase{L"{[a-z]}$", std::wstring(L"a\0B", 3), {L"a", L"B"}}));

TEST(CollectMatches, RefusesEmptyInputsAndBrokenPatterns) {
  Strings results{L"left over"};
  EXPECT_FALSE(CollectMatches(L"", L"abc", results));
  EXPECT_TRUE(results.empty());
  results = {L"left over"};
  EXPECT_FALSE(CollectMatches(L"{a}", L"", results));
  EXPECT_TRUE(results.empty());
  results = {L"left over"};
  EXPECT_FALSE(CollectMatches(L"{abc", L"abc", results));
  EXPECT_TRUE(results.empty());
  EXPECT_FALSE(CollectMatches(L"[]", L"abc", results));
}

TEST(CollectMatches, PatternWithoutGroupFailsAtItsFirstMatch) {
  Strings results;
  try {
    CollectMatches(L"abc", L"xabc", results);
    ADD_FAILURE() << "no exception";
  } catch (const HResultError& error) {
    EXPECT_EQ(error.hresult(), kEFail);
  }
  EXPECT_TRUE(CollectMatches(L"abc", L"xyz", results));  // no match, so no first match
  EXPECT_TRUE(results.empty());
}

TEST(CollectMatches, StepLimitCutsShortAndEmptiesResults) {
  Strings results;
  const std::wstring text = L"ab " + std::wstring(30, L'a');
  EXPECT_EQ(CollectMatchesWithin(L"{(a+)+}b", text, results, 200000), CollectOutcome::StepLimit);
  EXPECT_TRUE(results.empty());
  EXPECT_EQ(CollectMatchesWithin(L"{(a+)+}b", L"ab aab", results, 200000), CollectOutcome::Collected);
  EXPECT_EQ(results, (Strings{L"a", L"aa"}));
  EXPECT_EQ(CollectMatchesWithin(L"{", L"x", results, 1), CollectOutcome::Refused);
}

// Texts drawn from a small alphabet, so that the patterns below match often and in many ways.
std::wstring RandomText(std::mt19937& random, std::size_t length) {
  static const wchar_t kAlphabet[] = L"aAbB \t\r\n=;xX0\0";
  std::uniform_int_distribution<std::size_t> pick(0, sizeof(kAlphabet) / sizeof(wchar_t) - 2);
  std::wstring text;
  for (std::size_t i = 0; i < length; ++i) text += kAlphabet[pick(random)];
  return text;
}

TEST(CollectMatches, SameResultsAsCopyingTheRestPerMatch) {
  const wchar_t* const patterns[] = {
      L"{a+}",        L"{[ab]*}",    L"^{a|b}",        L"{.}\\0",         L"{a}$",
      L"{.+?}\\n",    L"x{a*?}b",    L"{b??}a",        L"!a{.}",          L"{(a|b)+}x",
      L"Set-Cookie:\\b*{.+?}\\n",    L"{\\w}=",        L"({a}|{b})\\1",   L"{\\z}?;",
  };
  std::mt19937 random(20261209);
  for (const wchar_t* pattern : patterns) {
    PatternMatcher compiled;
    ASSERT_EQ(compiled.Compile(pattern), PatternOk);
    PatternMatcher matcher;  // every attempt made, none skipped by the first-character shortcut
    testing_support::UsePlainCopy(compiled, matcher);
    for (int round = 0; round < 150; ++round) {
      const std::wstring text = RandomText(random, 1 + round % 40);
      Strings expected;
      ASSERT_EQ(testing_support::ReferenceCollect(matcher, text, expected), testing_support::ReferenceOutcome::Collected);
      Strings results;
      ASSERT_TRUE(CollectMatches(pattern, text, results));
      ASSERT_EQ(results, expected) << testing::PrintToString(std::wstring(pattern)) << " on "
                                   << testing::PrintToString(text);
    }
  }
}

}  // namespace
}  // namespace cv
