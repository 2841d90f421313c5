// The continuation shortcut's path and the errors that count as "no such path".
#include <gtest/gtest.h>

#include <cstdint>

#include "src/shortcut.h"

namespace cv {
namespace {

TEST(ShortcutPath, AppendsFileNameToDesktopFolder) {
  EXPECT_EQ(ShortcutPathOn(L"C:\\users\\u\\Desktop"), L"C:\\users\\u\\Desktop\\Continue installation.lnk");
  EXPECT_EQ(ShortcutPathOn(L"D:\\"), L"D:\\Continue installation.lnk");
}

TEST(ShortcutPath, EmptyWithoutDesktopFolder) { EXPECT_EQ(ShortcutPathOn(L""), L""); }

struct ErrorCase {
  std::uint32_t errorCode;
  bool absent;
};

class ErrorMeansAbsentTest : public testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorMeansAbsentTest, SortsErrorsIntoAbsentAndPresent) {
  EXPECT_EQ(ErrorMeansAbsent(GetParam().errorCode), GetParam().absent) << GetParam().errorCode;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, ErrorMeansAbsentTest,
    testing::Values(
        // not found, path not found, invalid drive, not ready, bad net path, invalid parameter,
        // invalid name, bad path name
        ErrorCase{2, true}, ErrorCase{3, true}, ErrorCase{15, true}, ErrorCase{21, true},
        ErrorCase{53, true}, ErrorCase{87, true}, ErrorCase{123, true}, ErrorCase{161, true},
        // access denied, sharing violation, lock violation, network busy, no error, invalid
        // function, unknown: the path may well be there
        ErrorCase{5, false}, ErrorCase{32, false}, ErrorCase{33, false}, ErrorCase{54, false},
        ErrorCase{0, false}, ErrorCase{1, false}, ErrorCase{0xFFFFFFFFu, false}));

}  // namespace
}  // namespace cv
