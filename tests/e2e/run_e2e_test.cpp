// The run's frame under Wine: one copy at a time, the communication objects, the failure report and
// the log file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "tests/e2e/bench/bench.h"

namespace cv::bench {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

class RunTest : public testing::Test {
 protected:
  void SetUp() override { Wine::Get().ResetState(); }

  // Starts hold_object.exe with `kind` and `name` and waits until it holds the object.
  std::unique_ptr<Process> HoldObject(const std::string& kind, const std::string& name) {
    Wine& wine = Wine::Get();
    const std::string ready = wine.TempDir() + "/held." + kind;
    auto holder = wine.Start(WinTestProgram("hold_object"),
                             Widen(kind) + L" " + Widen(name) +
                                 L" " + Widen(wine.WindowsPath(ready)) + L" 60");
    for (int i = 0; i < 200 && !std::filesystem::exists(ready); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(std::filesystem::exists(ready)) << kind << " " << name << " was not taken";
    return holder;
  }
};

TEST_F(RunTest, SecondCopyExitsAtOnceWithoutLoggingOrWindows) {
  // With no configuration server the first copy stops at its failure box and holds the guard there.
  auto first = Wine::Get().Start(TestStubExe(), L"", RunOptions{std::chrono::seconds(120), false});
  ASSERT_TRUE(first->WaitForWindow("We apologize!", std::chrono::seconds(60)));
  const auto logBefore = LogMessages();

  const RunResult second = Wine::Get().Run(TestStubExe());
  EXPECT_TRUE(second.finished);
  EXPECT_EQ(second.exitCode, 0u);
  EXPECT_THAT(second.windows, IsEmpty());
  EXPECT_EQ(LogMessages(), logBefore);

  EXPECT_TRUE(first->DismissBox());
  const RunResult firstResult = first->Wait();
  EXPECT_EQ(firstResult.exitCode, 1u);
}

TEST_F(RunTest, TakenMailslotFailsWithCode8BeforeAnyFetch) {
  auto config = HttpServer::Plain(kConfigPort);
  config->server().Get("/cv.json", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("{}", "application/json");
  });
  auto holder = HoldObject("mailslot", "\\\\.\\mailslot\\talmeni_halcyra");

  const RunResult run = Wine::Get().Run(TestStubExe());
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 8u);
  EXPECT_THAT(run.boxes, ElementsAre("Failed to create communication slot. Error code 8"));
  EXPECT_EQ(run.boxesDismissed, 1);
  EXPECT_THAT(LogMessages(), ElementsAre("INFO Halcyra wrapper started",
                                         "ERROR CreateMailslot failed with error code 183"));
  EXPECT_THAT(config->Requests(), IsEmpty());
}

TEST_F(RunTest, NameTakenByAnotherObjectFailsEventWithCode7AndNoMailslot) {
  auto config = HttpServer::Plain(kConfigPort);
  auto holder = HoldObject("mutex", "talmeni_halcyra");

  const RunResult run = Wine::Get().Run(TestStubExe());
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 7u);
  EXPECT_THAT(run.boxes, ElementsAre("Failed to create communication event. Error code 7"));
  EXPECT_THAT(LogMessages(), ElementsAre("INFO Halcyra wrapper started",
                                         "ERROR CreateEvent failed with error code 6"));
  EXPECT_THAT(config->Requests(), IsEmpty());
}

TEST_F(RunTest, LogLinesHaveDateTimeLevelAndCrLfAndRunsAppend) {
  Wine::Get().Run(TestStubExe());
  const std::string firstRun = LogBytes();
  Wine::Get().Run(TestStubExe());
  const std::string bothRuns = LogBytes();

  ASSERT_FALSE(firstRun.empty());
  EXPECT_EQ(bothRuns.compare(0, firstRun.size(), firstRun), 0) << "the second run must append";
  // Every line: date, time with milliseconds, level, message, CR LF.
  const std::regex lines("([0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2},[0-9]{3} (INFO|WARNING|ERROR) [^\r\n]*\r\n)+");
  const std::string secondRun = bothRuns.substr(firstRun.size());
  EXPECT_TRUE(std::regex_match(secondRun, lines)) << secondRun;
  EXPECT_EQ(secondRun.find(" INFO Halcyra wrapper started\r\n"), 23u) << secondRun;
}

TEST_F(RunTest, UnwritableLogDoesNotStopTheRun) {
  // A folder where the log file should be: the file cannot be opened.
  std::filesystem::create_directories(Wine::Get().LogPath());
  const RunResult run = Wine::Get().Run(TestStubExe());
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_THAT(run.boxes, ElementsAre("Cannot obtain configuration. Error code 1"));
}

}  // namespace
}  // namespace cv::bench

namespace cv::bench {
namespace {

TEST_F(RunTest, DllsPlantedBesideTheStubAreNotLoaded) {
  // The stub in a folder that also holds a winhttp.dll and a urlmon.dll of someone else's; and the
  // stub that acts as on a system without the restricted search, which loads them from the system
  // folder by full path instead.
  namespace fs = std::filesystem;
  for (const std::string& stub : {TestStubExe(), LegacyDllSearchStubExe()}) {
    SCOPED_TRACE(stub);
    Wine::Get().ResetState();
    const fs::path folder = fs::path(Wine::Get().TempDir()) / "downloads";
    fs::create_directories(folder);
    fs::copy_file(stub, folder / "cv_setup.exe");
    const fs::path planted = fs::path(WinTestProgram("x")).parent_path() / "planted";
    for (const char* dll : {"winhttp.dll", "urlmon.dll"}) fs::copy_file(planted / dll, folder / dll);

    // Wine itself prefers its own winhttp and urlmon; told to prefer DLLs found by the search, it
    // loads planted ones as Windows does unless the stub keeps the search to the system folder.
    RunOptions options;
    options.dllOverrides = "winhttp,urlmon=n,b";
    const RunResult run = Wine::Get().Run((folder / "cv_setup.exe").string(), L"", options);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1u);  // no configuration server: the fetch went through the real WinHTTP
    EXPECT_FALSE(fs::exists(folder / "winhttp.dll.loaded"));
    EXPECT_FALSE(fs::exists(folder / "urlmon.dll.loaded"));
  }
}

}  // namespace
}  // namespace cv::bench
