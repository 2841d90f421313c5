// The download status callback's decisions: the line each status writes and how the bar moves.
#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

#include "src/progress.h"

namespace cv {
namespace {

struct StatusCase {
  std::uint32_t code;
  const char* line;
  bool progressStep;
  bool endStep;
};

class StatusActionTest : public testing::TestWithParam<StatusCase> {};

TEST_P(StatusActionTest, WritesItsLineOrMakesAProgressStep) {
  const StatusAction action = ActionForStatus(GetParam().code);
  EXPECT_EQ(action.line, GetParam().line);
  EXPECT_EQ(action.progressStep, GetParam().progressStep);
  EXPECT_EQ(action.endStep, GetParam().endStep);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, StatusActionTest,
    testing::Values(StatusCase{1, "Finding resource...", false, false}, StatusCase{2, "Connecting...", false, false},
                    StatusCase{11, "Sending request...", false, false},
                    StatusCase{13, "Mime type available", false, false},
                    StatusCase{14, "Cache filename available", false, false},
                    StatusCase{4, "Begin download", false, false}, StatusCase{5, "", true, false},
                    StatusCase{6, "", true, true}, StatusCase{0, "Status code : 0", false, false},
                    StatusCase{3, "Status code : 3", false, false}, StatusCase{7, "Status code : 7", false, false},
                    StatusCase{10, "Status code : 10", false, false},
                    StatusCase{12, "Status code : 12", false, false},
                    StatusCase{15, "Status code : 15", false, false},
                    StatusCase{4294967295u, "Status code : 4294967295", false, false}));

struct ProgressSequence {
  const char* name;
  // (progress, maximum) reports and the percentage each one reports, if any.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> reports;
  std::vector<std::optional<std::int32_t>> expected;
};

class PercentTrackerTest : public testing::TestWithParam<ProgressSequence> {};

TEST_P(PercentTrackerTest, ReportsEachRisingWholePercentageOnce) {
  PercentTracker tracker;
  std::vector<std::optional<std::int32_t>> reported;
  for (const auto& [progress, maximum] : GetParam().reports) reported.push_back(tracker.Advance(progress, maximum));
  EXPECT_EQ(reported, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, PercentTrackerTest,
    testing::Values(
        ProgressSequence{"RisesByWholePercentages",
                         {{8192, 81920}, {16384, 81920}, {16385, 81920}, {81920, 81920}},
                         {10, 20, std::nullopt, 100}},
        ProgressSequence{"FirstReportOfZeroIsNotReported", {{0, 1000}, {9, 1000}, {10, 1000}},
                         {std::nullopt, std::nullopt, 1}},
        ProgressSequence{"RepeatsAndFallsBackChangeNothing",
                         {{50, 100}, {50, 100}, {40, 100}, {51, 100}},
                         {50, std::nullopt, std::nullopt, 51}},
        ProgressSequence{"TruncatesTowardZero", {{1, 3}, {2, 3}, {3, 3}}, {33, 66, 100}},
        ProgressSequence{"UnknownSizeMovesNothing",
                         {{8192, 0}, {4000000000u, 0}, {0, 0}, {50, 100}},
                         {std::nullopt, std::nullopt, std::nullopt, 50}},
        ProgressSequence{"SizesAbove2GiBAreUnsigned",
                         {{0x80000000u, 0xFFFFFFFFu}, {0xC0000000u, 0xFFFFFFFFu}, {0xFFFFFFFFu, 0xFFFFFFFFu}},
                         {50, 75, 100}},
        ProgressSequence{"ProgressBeyondTheMaximumCountsAsComplete",
                         {{0xFFFFFFFFu, 1}, {300, 100}, {100, 100}},
                         {100, std::nullopt, std::nullopt}}),
    [](const testing::TestParamInfo<ProgressSequence>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace cv
