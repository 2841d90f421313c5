// Paths compared as texts: the DOS form of final paths and the checks built on it.
#include <gtest/gtest.h>

#include <string>

#include "base/path_text.h"

namespace cv {
namespace {

TEST(PathText, FinalPathsLoseTheirVerbatimPrefix) {
  EXPECT_EQ(DosFormOfFinalPath(L"\\\\?\\C:\\users\\a\\Temp\\cv_setup.exe"), L"C:\\users\\a\\Temp\\cv_setup.exe");
  EXPECT_EQ(DosFormOfFinalPath(L"\\\\?\\UNC\\host\\share\\a"), L"\\\\host\\share\\a");
  EXPECT_EQ(DosFormOfFinalPath(L"C:\\a"), L"C:\\a");
}

struct PathCase {
  const wchar_t* path;
  const wchar_t* other;
  bool same;    // SamePathText(path, other)
  bool inside;  // PathIsInside(path, other)
};

TEST(PathText, SameAndInsideIgnoreAsciiCaseOnly) {
  const PathCase cases[] = {
      {L"C:\\Users\\a\\Desktop", L"c:\\users\\A\\desktop\\", true, false},
      {L"C:\\users\\a\\Desktop", L"C:\\users\\a", false, true},
      // A sibling whose name merely begins with the profile's is not inside it.
      {L"C:\\users\\ab\\Desktop", L"C:\\users\\a", false, false},
      {L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", L"C:\\users\\a", false, false},
      {L"Z:\\tmp\\home", L"C:\\users\\a", false, false},
      // Letters beyond ASCII must match exactly: a difference refuses rather than accepts.
      {L"C:\\users\\\u0416", L"C:\\users\\\u0436", false, false},
      {L"C:\\users\\\u0416\\Desktop", L"C:\\users\\\u0416", false, true},
      {L"C:\\a", L"", false, false},
  };
  for (const PathCase& c : cases) {
    EXPECT_EQ(SamePathText(c.path, c.other), c.same) << testing::PrintToString(std::wstring(c.path));
    EXPECT_EQ(PathIsInside(c.path, c.other), c.inside) << testing::PrintToString(std::wstring(c.path));
  }
}

}  // namespace
}  // namespace cv
