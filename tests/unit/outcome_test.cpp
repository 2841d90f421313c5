// The installer's parameter text, the analytics hit addresses, the cancellation page, the outcome
// classes of exit codes and the cancellation message rule.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "src/outcome.h"

namespace cv {
namespace {

constexpr wchar_t kId[] = L"0f8fad5b-d9cb-469f-a165-70867728950e";

struct ExitCodeCase {
  std::uint32_t exitCode;
  OutcomeClass expected;
};

class ClassifyExitCodeTest : public testing::TestWithParam<ExitCodeCase> {};

TEST_P(ClassifyExitCodeTest, MapsExitCodeToClass) {
  EXPECT_EQ(ClassifyExitCode(GetParam().exitCode), GetParam().expected) << GetParam().exitCode;
}

INSTANTIATE_TEST_SUITE_P(
    ExitCodes, ClassifyExitCodeTest,
    testing::Values(ExitCodeCase{0, OutcomeClass::Success}, ExitCodeCase{2, OutcomeClass::Cancellation},
                    ExitCodeCase{5, OutcomeClass::Cancellation}, ExitCodeCase{1, OutcomeClass::Failure},
                    ExitCodeCase{3, OutcomeClass::Failure}, ExitCodeCase{4, OutcomeClass::Failure},
                    ExitCodeCase{6, OutcomeClass::Failure},
                    // Codes whose low bits look like a cancellation or a success are still failures.
                    ExitCodeCase{0x100, OutcomeClass::Failure},
                    ExitCodeCase{0x80000002u, OutcomeClass::Failure},
                    ExitCodeCase{0x102, OutcomeClass::Failure},
                    ExitCodeCase{4294967295u, OutcomeClass::Failure}));

TEST(InstallerArgs, QuotesVersionAndAppendsOwnArgumentsUnchanged) {
  EXPECT_EQ(InstallerArgs(kId, L"3.1.4", L"/S -ns \"C:\\a b\""),
            L"-id 0f8fad5b-d9cb-469f-a165-70867728950e -v \"3.1.4\" /S -ns \"C:\\a b\"");
}

TEST(InstallerArgs, EndsInSpaceWithoutOwnArguments) {
  EXPECT_EQ(InstallerArgs(kId, L"2 beta", L""), L"-id 0f8fad5b-d9cb-469f-a165-70867728950e -v \"2 beta\" ");
}

TEST(InstallerArgs, KeepsLongCommandLineWhole) {
  std::wstring ownArgs = L"/pad ";
  for (int i = 0; ownArgs.size() < 5000; ++i) ownArgs.push_back(static_cast<wchar_t>(L'a' + i % 26));
  ownArgs.append(L" /end");
  const std::wstring args = InstallerArgs(kId, L"1.0", ownArgs);
  const std::wstring prefix = L"-id 0f8fad5b-d9cb-469f-a165-70867728950e -v \"1.0\" ";
  ASSERT_EQ(args.size(), prefix.size() + ownArgs.size());
  EXPECT_EQ(args.substr(0, prefix.size()), prefix);
  EXPECT_EQ(args.substr(prefix.size()), ownArgs);
}

TEST(HitAddress, CancellationCarriesKeysInOrderWithMessage) {
  EXPECT_EQ(CancellationHitAddress(L"https://ga.example", L"UA-12345678-9", kId, L"3.1.4",
                                   L"user closed"),
            L"https://ga.example/collect?v=1&tid=UA-12345678-9"
            L"&cid=0f8fad5b-d9cb-469f-a165-70867728950e&an=Corvida&av=3.1.4&ec=CV%20Installs"
            L"&ea=Canceled&t=event&el=Halcyra%20(user closed)");
}

TEST(HitAddress, FailureCarriesKeysInOrder) {
  EXPECT_EQ(FailureHitAddress(L"https://ga.example", L"UA-12345678-9", kId, L"3.1.4"),
            L"https://ga.example/collect?v=1&tid=UA-12345678-9"
            L"&cid=0f8fad5b-d9cb-469f-a165-70867728950e&an=Corvida&av=3.1.4&ec=CV%20Installs"
            L"&ea=Failed&t=event&el=Halcyra");
}

TEST(HitAddress, InsertsValuesUnencodedEvenWhenTheyLookLikeFormatting) {
  // A value holding "%s", "%%", "&" or "=" must come through verbatim, not be formatted or escaped.
  const std::wstring address =
      CancellationHitAddress(L"https://h", L"UA-1-1", L"%s", L"1&x=%%", L"a&b %d=c");
  EXPECT_EQ(address,
            L"https://h/collect?v=1&tid=UA-1-1&cid=%s&an=Corvida&av=1&x=%%&ec=CV%20Installs"
            L"&ea=Canceled&t=event&el=Halcyra%20(a&b %d=c)");
}

TEST(HitAddress, KeepsLongVersionAndMessageWhole) {
  const std::wstring version(300, L'v');
  const std::wstring message(63, L'm');
  const std::wstring cancel = CancellationHitAddress(L"https://h", L"UA-1-1", kId, version, message);
  EXPECT_NE(cancel.find(L"&av=" + version + L"&ec="), std::wstring::npos);
  EXPECT_EQ(cancel.substr(cancel.size() - message.size() - 12), L"Halcyra%20(" + message + L")");
  const std::wstring failure = FailureHitAddress(L"https://h", L"UA-1-1", kId, version);
  EXPECT_NE(failure.find(L"&av=" + version + L"&ec="), std::wstring::npos);
}

TEST(CancelPage, AppendsVersionUnencoded) {
  EXPECT_EQ(CancelPageUrl(L"http://www.corvida.com", L"3.1 beta&2"),
            L"http://www.corvida.com/installation-cancelled/?v=3.1 beta&2");
}

struct MessageCase {
  const char* name;
  std::string bytes;  // what the read delivered
  std::wstring expected;
};

class CancelMessageTest : public testing::TestWithParam<MessageCase> {};

TEST_P(CancelMessageTest, TakesZeroTerminatedTextOfAtMost63Bytes) {
  const std::string& bytes = GetParam().bytes;
  EXPECT_EQ(CancelMessageFromBytes(bytes.data(), bytes.size()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, CancelMessageTest,
    testing::Values(
        MessageCase{"Plain", "user closed", L"user closed"},
        MessageCase{"ZeroPaddedBuffer", std::string("abc") + std::string(61, '\0'), L"abc"},
        MessageCase{"StopsAtFirstZero", std::string("ab\0cd", 5), L"ab"},
        MessageCase{"Exactly63", std::string(63, 'x'), std::wstring(63, L'x')},
        MessageCase{"SixtyFourKeepsFirst63", std::string(63, 'y') + "Z", std::wstring(63, L'y')},
        MessageCase{"LongerThanSlotKeepsFirst63", std::string(200, 'q'), std::wstring(63, L'q')},
        // Bytes above 0x7F widen to the code point of the same value, never sign-extended.
        MessageCase{"HighBytesWidenByteForByte", "caf\xE9\xFF", L"caf\u00e9\u00ff"},
        MessageCase{"Empty", "", L""}),
    [](const testing::TestParamInfo<MessageCase>& info) { return std::string(info.param.name); });

TEST(CancelMessage, NullBufferGivesEmptyText) { EXPECT_EQ(CancelMessageFromBytes(nullptr, 64), L""); }

TEST(SelfCopy, JoinsTemporaryFolderAndCopyName) {
  EXPECT_EQ(SelfCopyPath(L"C:\\users\\u\\Temp\\"), L"C:\\users\\u\\Temp\\cv_setup.exe");
  EXPECT_EQ(SelfCopyPath(L"C:\\users\\u\\Temp"), L"C:\\users\\u\\Temp\\cv_setup.exe");
}

}  // namespace
}  // namespace cv
