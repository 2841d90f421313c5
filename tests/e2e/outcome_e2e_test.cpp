// The installer's run under Wine: the stub downloads the test installer, starts it with its id,
// version and own arguments, and acts on its exit code: success removes the continuation shortcut,
// a cancellation sends its hit, opens the cancellation page and leaves the self-copy and shortcut,
// a failure sends its hit. The installer is deleted and its exit code becomes the exit value. A stub
// built for GA4 posts its hit as JSON to a server whose certificate it checks, and an analytics
// server that never answers holds the run no longer than the hit's budget.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <jsoncons/json.hpp>
#include <poll.h>
#include <sys/socket.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "src/analytics.h"
#include "tests/e2e/bench/bench.h"
#include "tests/e2e/bench/raw_server.h"

namespace cv::bench {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::IsEmpty;

constexpr char kVersion[] = "3.1.4";
constexpr char kShortcutName[] = "Continue installation.lnk";
constexpr char kBrowsersKey[] = "HKCU\\Software\\Wine\\WineBrowser";


class OutcomeTest : public testing::Test {
 protected:
  void SetUp() override {
    Wine& wine = Wine::Get();
    wine.ResetState();
    user_ = fs::path(wine.UserDir()).filename().string();

    // Wine's browser launcher starts a host program named in the registry with the address: this
    // one writes the address to a file.
    char folder[] = "/tmp/cv-outcome-browser-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    browserDir_ = folder;
    const std::string script = browserDir_ + "/browser.sh";
    WriteFileBytes(script, "#!/bin/sh\nprintf '%s' \"$1\" > '" + PageFile() + ".part'\nmv '" + PageFile() +
                           ".part' '" + PageFile() + "'\n");
    fs::permissions(script, fs::perms::owner_all);
    ASSERT_EQ(wine.Command({"reg", "add", kBrowsersKey, "/v", "Browsers", "/d", script, "/f"}), 0);

    analytics_ = HttpServer::Tls(kAnalyticsPort);
    analytics_->server().Get("/collect", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("ok", "text/plain");
    });
  }

  void TearDown() override {
    Wine::Get().Command({"reg", "delete", kBrowsersKey, "/v", "Browsers", "/f"});
    std::error_code ignored;
    fs::remove_all(browserDir_, ignored);
  }

  // Starts the configuration server with the document ("shortcut" as given) and the installer
  // (the test installer unless other bytes are given).
  void Serve(bool shortcut, const std::string& installer = std::string(), const std::string& version = kVersion) {
    installerBytes_ = installer.empty() ? ReadFileBytes(WinTestProgram("test_installer")) : installer;
    ASSERT_FALSE(installerBytes_.empty());
    const unsigned long checksum =
        crc32(0L, reinterpret_cast<const Bytef*>(installerBytes_.data()), static_cast<uInt>(installerBytes_.size()));
    const std::string document = std::string("{\"shortcut\": ") + (shortcut ? "true" : "false") +
                                 ", \"wrapper\": \"http://127.0.0.1:" + std::to_string(kConfigPort) +
                                 "/installer.exe\", \"checksum\": " + std::to_string(checksum) +
                                 ", \"version\": \"" + version + "\"}";
    config_ = HttpServer::Plain(kConfigPort);
    config_->server().Get("/cv.json", [document](const httplib::Request&, httplib::Response& response) {
      response.set_content(document, "application/json");
    });
    const std::string bytes = installerBytes_;
    config_->server().Get("/installer.exe", [bytes](const httplib::Request&, httplib::Response& response) {
      response.set_content(bytes, "application/octet-stream");
    });
  }

  RunResult RunStub(const std::wstring& tail, const std::string& exe = TestStubExe()) {
    const RunResult run = Wine::Get().Run(exe, tail, RunOptions{std::chrono::seconds(90)});
    EXPECT_TRUE(run.finished) << "the stub did not end";
    return run;
  }

  // The log from the checksum line on (the lines before it belong to the earlier stages).
  static std::vector<std::string> OutcomeLog() {
    const std::vector<std::string> lines = LogMessages();
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i] == "INFO Checksum is OK. Continue...") return {lines.begin() + i, lines.end()};
    }
    ADD_FAILURE() << "no checksum line in the log";
    return lines;
  }

  // The Windows path the installer was downloaded to, from the download's log line.
  static std::string InstallerPath() {
    const std::regex line("INFO Wrapper successfully downloaded to \"(.*)\"");
    std::smatch match;
    for (const std::string& text : LogMessages()) {
      if (std::regex_match(text, match, line)) return match[1];
    }
    ADD_FAILURE() << "no download line in the log";
    return std::string();
  }

  // The command line the test installer was started with.
  static std::string InstallerCommandLine() {
    return ReadFileBytes(Wine::Get().TempDir() + "/test_installer_record.txt");
  }

  // The installation id the installer got after "-id".
  static std::string InstallId() {
    std::smatch match;
    const std::string commandLine = InstallerCommandLine();
    if (!std::regex_search(commandLine, match, std::regex(" -id ([0-9a-f-]+) "))) return std::string();
    return match[1];
  }

  std::vector<std::string> HitTargets() const {
    std::vector<std::string> targets;
    for (const RecordedRequest& request : analytics_->Requests()) targets.push_back(request.method + " " + request.target);
    return targets;
  }

  static std::string HitTarget(const std::string& action, const std::string& id, const std::string& label) {
    return "GET /collect?v=1&tid=" + std::string(kTrackingId) + "&cid=" + id + "&an=Corvida&av=" + kVersion +
           "&ec=CV%20Installs&ea=" + action + "&t=event&el=" + label;
  }

  std::string PageFile() const { return browserDir_ + "/page.txt"; }

  // The address the browser was asked to open; empty when none within the time given.
  std::string OpenedPage(std::chrono::milliseconds wait = std::chrono::seconds(15)) const {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!fs::exists(PageFile()) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return ReadFileBytes(PageFile());
  }

  std::string TempWindows() const { return "C:\\users\\" + user_ + "\\Temp\\"; }
  std::string ShortcutWindows() const { return "C:\\users\\" + user_ + "\\Desktop\\" + kShortcutName; }
  std::string ShortcutFile() const { return Wine::Get().DesktopDir() + "/" + kShortcutName; }
  std::string SelfCopyFile() const { return Wine::Get().TempDir() + "/cv_setup.exe"; }

  // The lines from the checksum to the wait, the same in every run that started the installer.
  std::vector<std::string> LaunchLines(const std::string& id, const std::string& ownArgs) const {
    return {"INFO Checksum is OK. Continue...",
            "INFO Launching installer \"" + InstallerPath() + " -id " + id + " -v \"" + kVersion + "\" " + ownArgs + "\"",
            "INFO Waiting for installer to complete..."};
  }

  std::vector<std::string> CleanUpLines() const {
    return {"INFO \"" + InstallerPath() + "\" deleted", "INFO Halcyra wrapper exiting"};
  }

  static std::vector<std::string> Concat(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  }

  // The lines of a cancellation up to the page, for an installer exit code.
  static std::vector<std::string> CancelLines(unsigned exitCode) {
    return {"INFO Installer execution canceled. Exit code " + std::to_string(exitCode),
            "INFO Sending cancellation hit to GA", "INFO Sent cancellation hit to GA",
            "INFO Navigating user to cancellation page"};
  }

  std::string CancelPage() const { return std::string(kSiteUrl) + "/installation-cancelled/?v=" + kVersion; }

  void ExpectInstallerDeleted() const {
    const std::string path = Wine::Get().UnixPath(InstallerPath());
    ASSERT_FALSE(path.empty());
    EXPECT_FALSE(fs::exists(path)) << path;
  }

  std::string user_;
  std::string browserDir_;
  std::string installerBytes_;
  std::unique_ptr<HttpServer> config_;
  std::unique_ptr<HttpServer> analytics_;
};

TEST_F(OutcomeTest, SuccessWithoutShortcutDeletesInstallerAndPassesArgumentsEndingInSpace) {
  Serve(true);
  const RunResult run = RunStub(L"");

  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_THAT(run.boxes, IsEmpty());
  const std::string id = InstallId();
  EXPECT_TRUE(std::regex_match(id, std::regex("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}"))) << id;
  // With no arguments of its own the parameter text ends in a space after the quoted version.
  const std::string commandLine = InstallerCommandLine();
  const std::string parameters = "-id " + id + " -v \"" + kVersion + "\" ";
  ASSERT_GE(commandLine.size(), parameters.size());
  EXPECT_EQ(commandLine.substr(commandLine.size() - parameters.size()), parameters) << commandLine;

  EXPECT_THAT(OutcomeLog(), ElementsAreArray(Concat({LaunchLines(id, ""),
                                                     {"INFO Installer execution has successfully completed"},
                                                     CleanUpLines()})));
  EXPECT_THAT(HitTargets(), IsEmpty());
  EXPECT_EQ(OpenedPage(std::chrono::seconds(1)), "");
  ExpectInstallerDeleted();
  EXPECT_FALSE(fs::exists(SelfCopyFile()));
}

// An installer that broadcasts a setting change waits until every top-level window has answered,
// the stub's own among them: the stub keeps answering while it waits.
TEST_F(OutcomeTest, InstallerThatBroadcastsIsAnsweredWhileTheStubWaits) {
  Serve(false);
  const RunResult run = RunStub(L"--broadcast --exit 0");

  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_THAT(OutcomeLog(), ElementsAreArray(Concat({LaunchLines(InstallId(), "--broadcast --exit 0"),
                                                     {"INFO Installer execution has successfully completed"},
                                                     CleanUpLines()})));
}

TEST_F(OutcomeTest, SuccessRemovesExistingShortcutEvenWhenShortcutsAreDisabled) {
  Serve(false);
  WriteFileBytes(ShortcutFile(), "left by an earlier cancelled run");
  const RunResult run = RunStub(L"--exit 0");

  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_THAT(OutcomeLog(), ElementsAreArray(Concat({LaunchLines(InstallId(), "--exit 0"),
                                                     {"INFO Installer execution has successfully completed",
                                                      "INFO Attempting to delete shortcut \"" + ShortcutWindows() + "\"",
                                                      "INFO \"" + ShortcutWindows() + "\" deleted"},
                                                     CleanUpLines()})));
  EXPECT_FALSE(fs::exists(ShortcutFile()));
  EXPECT_THAT(HitTargets(), IsEmpty());
  ExpectInstallerDeleted();
}

class CancellationTest : public OutcomeTest, public testing::WithParamInterface<unsigned> {};

TEST_P(CancellationTest, SendsHitOpensPageCopiesStubAndLeavesShortcut) {
  const unsigned exitCode = GetParam();
  Serve(true);
  const std::wstring tail = L"--exit " + std::to_wstring(exitCode) + L" --message \"user closed (step 3)&x=1\"";
  const RunResult run = RunStub(tail);

  EXPECT_EQ(run.exitCode, exitCode);
  EXPECT_THAT(run.boxes, IsEmpty());
  const std::string id = InstallId();
  const std::string selfCopy = TempWindows() + "cv_setup.exe";
  EXPECT_THAT(OutcomeLog(),
              ElementsAreArray(Concat({LaunchLines(id, "--exit " + std::to_string(exitCode) +
                                                           " --message \"user closed (step 3)&x=1\""),
                                       CancelLines(exitCode),
                                       {"INFO Copy wrapper to temp directory",
                                        "INFO Wrapper successfully copied to \"" + selfCopy + "\"",
                                        "INFO Attempting to create shortcut \"" + ShortcutWindows() + "\"",
                                        "INFO Successfully created shortcut \"" + ShortcutWindows() + "\""},
                                       CleanUpLines()})));
  // The message goes into the label unchanged; only the blanks are encoded on the way.
  EXPECT_THAT(HitTargets(), ElementsAre(HitTarget("Canceled", id, "Halcyra%20(user%20closed%20(step%203)&x=1)")));
  EXPECT_EQ(OpenedPage(), CancelPage());
  ExpectInstallerDeleted();

  // The copy is the stub itself, and the shortcut starts it with nothing else set.
  EXPECT_EQ(ReadFileBytes(SelfCopyFile()), ReadFileBytes(TestStubExe()));
  ASSERT_TRUE(fs::exists(ShortcutFile()));
  const std::string report = Wine::Get().TempDir() + "/shortcut_report.txt";
  const RunResult reader = Wine::Get().Run(
      WinTestProgram("shortcut_reader"),
      L"\"" + Widen(ShortcutWindows()) + L"\" \"" + Widen(Wine::Get().WindowsPath(report)) + L"\"");
  ASSERT_EQ(reader.exitCode, 0u);
  EXPECT_EQ(ReadFileBytes(report), "target=" + selfCopy +
                                   "\narguments=\ndirectory=\ndescription=Continue installation of Pellomax\n");
}

INSTANTIATE_TEST_SUITE_P(ExitCodes, CancellationTest, testing::Values(2u, 5u));

TEST_F(OutcomeTest, CancellationRunningAsTheCopyLeavesCopyAndShortcutAlone) {
  Serve(true);
  fs::copy_file(TestStubExe(), SelfCopyFile());
  WriteFileBytes(ShortcutFile(), "the shortcut of the first cancellation");
  const RunResult run = RunStub(L"--exit 5 --message again", SelfCopyFile());

  EXPECT_EQ(run.exitCode, 5u);
  const std::string id = InstallId();
  EXPECT_THAT(OutcomeLog(), ElementsAreArray(Concat({LaunchLines(id, "--exit 5 --message again"),
                                                     CancelLines(5), CleanUpLines()})));
  EXPECT_THAT(HitTargets(), ElementsAre(HitTarget("Canceled", id, "Halcyra%20(again)")));
  EXPECT_EQ(OpenedPage(), CancelPage());
  EXPECT_EQ(ReadFileBytes(ShortcutFile()), "the shortcut of the first cancellation");
  ExpectInstallerDeleted();
}

// Cancellations with shortcuts disabled: each sends its hit with the message as the installer left
// it and opens the page, but makes neither copy nor shortcut.
struct MessageCase {
  const char* name;
  const char* ownArgs;
  unsigned exitCode;
  bool warns;         // no message came: WARNING line and an empty label
  std::string label;  // the hit's "el" value as it arrives
};

class CancelMessageTest : public OutcomeTest, public testing::WithParamInterface<MessageCase> {};

TEST_P(CancelMessageTest, SendsHitWithMessageAndMakesNoCopyWhenDisabled) {
  const MessageCase& param = GetParam();
  Serve(false);
  const RunResult run = RunStub(Widen(param.ownArgs));

  EXPECT_EQ(run.exitCode, param.exitCode);
  const std::string id = InstallId();
  std::vector<std::string> cancel = CancelLines(param.exitCode);
  if (param.warns) cancel.insert(cancel.begin() + 1, "WARNING No cancellation message from installer");
  EXPECT_THAT(OutcomeLog(), ElementsAreArray(Concat({LaunchLines(id, param.ownArgs), cancel, CleanUpLines()})));
  EXPECT_THAT(HitTargets(), ElementsAre(HitTarget("Canceled", id, param.label)));
  EXPECT_EQ(OpenedPage(), CancelPage());
  EXPECT_FALSE(fs::exists(SelfCopyFile()));
  EXPECT_FALSE(fs::exists(ShortcutFile()));
  ExpectInstallerDeleted();
}

INSTANTIATE_TEST_SUITE_P(
    Messages, CancelMessageTest,
    testing::Values(MessageCase{"Plain", "--exit 2 --message closed", 2, false, "Halcyra%20(closed)"},
                    MessageCase{"None", "--exit 2", 2, true, "Halcyra%20()"},
                    // The installer posts A..Z repeated to 64 bytes; the first 63 are kept.
                    MessageCase{"SixtyFourBytes", "--exit 5 --long-message", 5, false,
                                "Halcyra%20(ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJK)"}),
    [](const testing::TestParamInfo<MessageCase>& info) { return std::string(info.param.name); });

class FailureTest : public OutcomeTest, public testing::WithParamInterface<std::uint32_t> {};

TEST_P(FailureTest, SendsFailedHitAndExitsWithInstallerCode) {
  const std::uint32_t exitCode = GetParam();
  Serve(true);
  const std::string tail = "--exit " + std::to_string(exitCode);
  const RunResult run = RunStub(Widen(tail));

  EXPECT_EQ(run.exitCode, exitCode);
  EXPECT_THAT(run.boxes, IsEmpty());
  const std::string id = InstallId();
  EXPECT_THAT(OutcomeLog(), ElementsAreArray(Concat({LaunchLines(id, tail),
                                                     {"INFO Installer execution failed. Exit code " + std::to_string(exitCode),
                                                      "INFO Sending failed hit to GA", "INFO Sent failed hit to GA"},
                                                     CleanUpLines()})));
  EXPECT_THAT(HitTargets(), ElementsAre(HitTarget("Failed", id, "Halcyra")));
  EXPECT_EQ(OpenedPage(std::chrono::seconds(1)), "");
  EXPECT_FALSE(fs::exists(SelfCopyFile()));
  ExpectInstallerDeleted();
}

INSTANTIATE_TEST_SUITE_P(ExitCodes, FailureTest, testing::Values(1u, 3u, 4294967295u));

TEST_F(OutcomeTest, InstallerThatCannotStartFailsWithCode9AndIsDeleted) {
  Serve(true, "this is no program\r\n");
  const RunResult run = RunStub(L"");

  EXPECT_EQ(run.exitCode, 9u);
  EXPECT_THAT(run.boxes, ElementsAre("Cannot start the installer. Error code 9"));
  const std::vector<std::string> log = OutcomeLog();
  ASSERT_EQ(log.size(), 4u) << testing::PrintToString(log);
  EXPECT_EQ(log[0], "INFO Checksum is OK. Continue...");
  EXPECT_TRUE(std::regex_match(log[1], std::regex("INFO Launching installer \".* -id [0-9a-f-]{36} -v \"3\\.1\\.4\" \"")))
      << log[1];
  EXPECT_EQ(log[2], "INFO \"" + InstallerPath() + "\" deleted");
  EXPECT_TRUE(std::regex_match(log[3], std::regex("ERROR Failed to launch installer\\. Error code [1-9][0-9]*"))) << log[3];
  EXPECT_THAT(HitTargets(), IsEmpty());
  ExpectInstallerDeleted();
}

// What another program of the user finds while the installer runs: the installer was started from
// the file that was downloaded and checked, in a folder of the stub's own whose access list lets only
// the system and administrators write and which cannot be renamed or removed meanwhile; nothing of
// it is left afterwards.
TEST_F(OutcomeTest, InstallerRunsFromAHeldFolderOfItsOwnAndNothingIsLeft) {
  Serve(false);
  const RunResult run = RunStub(L"--inspect");
  EXPECT_EQ(run.exitCode, 0u);

  std::map<std::string, std::string> seen;
  std::istringstream report(ReadFileBytes(Wine::Get().TempDir() + "/test_installer_inspect.txt"));
  for (std::string line; std::getline(report, line);) {
    const auto colon = line.find(": ");
    if (colon != std::string::npos) seen[line.substr(0, colon)] = line.substr(colon + 2);
  }
  EXPECT_EQ(seen["path"], InstallerPath());
  EXPECT_TRUE(std::regex_match(seen["path"], std::regex(kInstallerPathPattern))) << seen["path"];
  // Wine 8 keeps no access lists of files: it shows one made from the Unix mode bits, which the
  // stub's list sets. What it can show: the list was set, and nobody but the system and the owner
  // may write; everyone else may read and run at most.
  const std::string access = seen["access"];
  EXPECT_THAT(LogMessages(), testing::Not(testing::Contains(testing::StartsWith("WARNING SetSecurityInfo"))));
  const std::regex ace(R"(\(A;[A-Z]*;([^;]*);;;([^)]*)\))");
  int others = 0;
  for (auto it = std::sregex_iterator(access.begin(), access.end(), ace); it != std::sregex_iterator(); ++it) {
    const std::string rights = (*it)[1], who = (*it)[2];
    if (who == "SY" || who == "BA" || who.rfind("S-1-5-21-", 0) == 0) continue;  // system, admins, owner
    ++others;
    EXPECT_TRUE(rights == "FRFX" || rights == "0x1200a9") << who << " may " << rights << " in " << access;
  }
  EXPECT_GT(others, 0) << "the list read back does not show the stub's: " << access;
  // Renaming and removing the folder fail while the stub holds it.
  EXPECT_EQ(seen["rename"].substr(0, 2), "0 ") << seen["rename"];
  EXPECT_EQ(seen["remove"].substr(0, 2), "0 ") << seen["remove"];
  EXPECT_THAT(StubEntriesInTemp(), IsEmpty());
}

TEST_F(OutcomeTest, LongCommandLineReachesInstallerWhole) {
  Serve(true);
  std::string tail = "--exit 0 --pad ";
  for (int i = 0; tail.size() < 5000; ++i) tail.push_back(static_cast<char>('a' + i % 26));
  tail += " --end";
  const RunResult run = RunStub(Widen(tail));

  EXPECT_EQ(run.exitCode, 0u);
  const std::string id = InstallId();
  const std::string parameters = "-id " + id + " -v \"" + kVersion + "\" " + tail;
  const std::string commandLine = InstallerCommandLine();
  ASSERT_GE(commandLine.size(), parameters.size());
  EXPECT_EQ(commandLine.substr(commandLine.size() - parameters.size()), parameters);
  EXPECT_THAT(OutcomeLog(), ElementsAreArray(Concat({LaunchLines(id, tail),
                                                     {"INFO Installer execution has successfully completed"},
                                                     CleanUpLines()})));
}

// ---- GA4 hits and an analytics server that never answers ----------------------------------------

std::string Ga4StubExe() { return std::string(CV_WINE_BUILD_DIR) + "/test-stub-ga4/cv_setup.exe"; }

// The measurement id and API secret the GA4 test stub is built with (cmake/settings.cmake).
constexpr char kGa4Target[] = "/mp/collect?measurement_id=G-TEST12345&api_secret=test_Secret-42";

struct Ga4Case {
  const char* name;
  const char* ownArgs;
  std::uint32_t exitCode;
  std::vector<std::string> hitLines;  // from the class's first line to the hit's last
  std::string event;
  std::string label;
};

class Ga4HitTest : public OutcomeTest, public testing::WithParamInterface<Ga4Case> {};

TEST_P(Ga4HitTest, PostsTheEventAsJsonToTheTrustedEndpoint) {
  const Ga4Case& param = GetParam();
  analytics_.reset();
  analytics_ = HttpServer::TrustedTls(kAnalyticsPort);
  analytics_->server().Post("/mp/collect", [](const httplib::Request&, httplib::Response& response) {
    response.status = 204;
  });
  Serve(false);
  const RunResult run = RunStub(Widen(param.ownArgs), Ga4StubExe());

  EXPECT_EQ(run.exitCode, param.exitCode);
  const std::string id = InstallId();
  EXPECT_THAT(OutcomeLog(), ElementsAreArray(Concat({LaunchLines(id, param.ownArgs), param.hitLines, CleanUpLines()})));
  const std::vector<RecordedRequest> hits = analytics_->Requests();
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].method + " " + hits[0].target, std::string("POST ") + kGa4Target);
  const auto agent = hits[0].headers.find("User-Agent");
  ASSERT_NE(agent, hits[0].headers.end());
  EXPECT_EQ(agent->second, "WinHttpClient");
  std::printf("the GA4 hit's body as recorded: %s\n", hits[0].body.c_str());
  jsoncons::json body;
  ASSERT_NO_THROW(body = jsoncons::json::parse(hits[0].body)) << hits[0].body;
  EXPECT_EQ(body["client_id"].as<std::string>(), id);
  ASSERT_EQ(body["events"].size(), 1u) << hits[0].body;
  const jsoncons::json& event = body["events"][0];
  EXPECT_EQ(event["name"].as<std::string>(), param.event);
  const jsoncons::json expected = jsoncons::json::parse(
      "{\"event_category\": \"CV Installs\", \"event_label\": \"" + param.label +
      "\", \"app_name\": \"Corvida\", \"app_version\": \"" + kVersion + "\"}");
  EXPECT_EQ(event["params"], expected) << hits[0].body;
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, Ga4HitTest,
    testing::Values(Ga4Case{"Cancellation", "--exit 2 --message \"user closed (step 3)&x=1\"", 2,
                            {"INFO Installer execution canceled. Exit code 2", "INFO Sending cancellation hit to GA",
                             "INFO Sent cancellation hit to GA", "INFO Navigating user to cancellation page"},
                            "Canceled", "Halcyra (user closed (step 3)&x=1)"},
                    Ga4Case{"Failure", "--exit 3", 3,
                            {"INFO Installer execution failed. Exit code 3", "INFO Sending failed hit to GA",
                             "INFO Sent failed hit to GA"},
                            "Failed", "Halcyra"}),
    [](const testing::TestParamInfo<Ga4Case>& info) { return std::string(info.param.name); });

// The API secret goes only to a server whose certificate is valid: the bench's self-signed one gets
// no request, and the run goes on after a WARNING line.
TEST_F(OutcomeTest, Ga4HitRefusesAnInvalidCertificate) {
  Serve(false);
  const RunResult run = RunStub(L"--exit 3", Ga4StubExe());

  EXPECT_EQ(run.exitCode, 3u);
  const std::vector<std::string> log = OutcomeLog();
  ASSERT_EQ(log.size(), 9u) << testing::PrintToString(log);
  EXPECT_EQ(log[4], "INFO Sending failed hit to GA");
  // Wine reports a certificate it does not trust as ERROR_WINHTTP_SECURE_CHANNEL_ERROR; the client
  // records no error of a failed send, so the number comes from the send itself.
  EXPECT_EQ(log[5], "WARNING Analytics hit failed. Error code 12157");
  EXPECT_EQ(log[6], "INFO Sent failed hit to GA");
  EXPECT_THAT(HitTargets(), IsEmpty());
}

// An analytics address that accepts the connection and then never answers, as a dead middlebox or a
// blocking firewall does: the cancellation page opens within the hit's budget after the hit began.
TEST_F(OutcomeTest, SilentAnalyticsServerDelaysThePageNoLongerThanTheBudget) {
  analytics_.reset();
  std::atomic<int> connections{0};
  RawServer silent(
      [&connections](int socket) {
        ++connections;
        // Holds the connection, reading whatever comes, until the stub lets go of it.
        char buffer[4096];
        pollfd peer{socket, POLLIN, 0};
        while (poll(&peer, 1, 60000) > 0 && recv(socket, buffer, sizeof(buffer), 0) > 0) {
        }
      },
      kAnalyticsPort);
  Serve(false);
  const RunResult run = RunStub(L"--exit 2 --message closed");

  EXPECT_EQ(run.exitCode, 2u);
  EXPECT_EQ(OpenedPage(), CancelPage());
  // One attempt took the whole budget; no other started.
  EXPECT_EQ(connections.load(), 1);
  const std::vector<std::string> log = OutcomeLog();
  const auto sending = std::find(log.begin(), log.end(), "INFO Sending cancellation hit to GA");
  ASSERT_GE(std::distance(sending, log.end()), 4) << testing::PrintToString(log);
  // Wine keeps to the time-outs during the TLS handshake, so the hit's own deadline for all its
  // attempts ends it (ERROR_WINHTTP_TIMEOUT) before the run stops waiting for it.
  EXPECT_EQ(sending[1], "WARNING Analytics hit failed. Error code 12002");
  EXPECT_EQ(sending[2], "INFO Sent cancellation hit to GA");
  EXPECT_EQ(sending[3], "INFO Navigating user to cancellation page");
  const long long delay = LogSpanMs("INFO Sending cancellation hit to GA", "INFO Navigating user to cancellation page");
  ASSERT_GE(delay, 0);
  std::printf("the silent analytics server delayed the cancellation page by %lld ms\n", delay);
  EXPECT_LE(delay, static_cast<long long>(kHitBudgetMs));
}

// ---- What the user's own programs may plant for the elevated stub ---------------------------------

class AttackTest;

// One attack: what a program of the user plants before the run, the run, and what must follow.
struct Attack {
  const char* name;
  std::string version;   // the document's "version" as JSON string content
  std::wstring ownArgs;  // the stub's arguments (the test installer's orders among them)
  std::uint32_t exitCode;
  std::function<void(AttackTest&)> plant;
  std::function<void(AttackTest&)> expect;
};

void PrintTo(const Attack& attack, std::ostream* out) { *out << attack.name; }

class AttackTest : public OutcomeTest, public testing::WithParamInterface<Attack> {
 protected:
  void SetUp() override {
    OutcomeTest::SetUp();
    char folder[] = "/tmp/cv-attack-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    outside_ = folder;
  }
  void TearDown() override {
    for (const auto& command : undo_) Wine::Get().Command(command);
    std::error_code ignored;
    fs::remove(fs::path(Wine::Get().UserDir()) / "AppData/Roaming/Halcyra", ignored);  // a planted link
    fs::remove_all(StartupFolder(), ignored);
    fs::remove_all(outside_, ignored);
    OutcomeTest::TearDown();
  }

 public:
  // A folder outside the profile that the user's desktop setting can be pointed at.
  static std::string StartupFolder() { return Wine::Get().Prefix() + "/drive_c/ProgramData/cv-startup"; }
  using OutcomeTest::InstallerCommandLine;
  using OutcomeTest::InstallerPath;
  using OutcomeTest::InstallId;
  // Sets a registry value of the user's for this test and puts the prefix's own value back after it.
  void SetUserValue(const std::string& key, const std::string& name, const std::string& type,
                    const std::string& value, const std::string& original) {
    ASSERT_EQ(Wine::Get().Command({"reg", "add", key, "/v", name, "/t", type, "/d", value, "/f"}), 0);
    undo_.push_back({"reg", "add", key, "/v", name, "/t", type, "/d", original, "/f"});
  }
  std::string Outside(const std::string& name = "") const { return name.empty() ? outside_ : outside_ + "/" + name; }
  std::vector<std::string> OutsideEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(outside_)) names.push_back(entry.path().filename().string());
    return names;
  }
  std::string TempWindowsPath() const { return TempWindows(); }
  std::string SelfCopy() const { return SelfCopyFile(); }
  std::string User() const { return user_; }

  std::string outside_;
  std::vector<std::vector<std::string>> undo_;
};

constexpr char kVictim[] = "a file of the system's that the user may not write";
const char* const kEnvironmentKey = "HKCU\\Environment";
const char* const kShellFoldersKey = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// The run's log holds this line.
void ExpectLogLine(const std::string& line) {
  EXPECT_THAT(LogMessages(), testing::Contains(line)) << testing::PrintToString(LogMessages());
}

// The stub refused to write its copy through the path and left the file the path led to alone.
void ExpectCopyRefused(const std::string& selfCopyWindows) {
  ExpectLogLine("ERROR Failed to copy the wrapper into \"" + selfCopyWindows + "\". Error code 1920");
  EXPECT_THAT(LogMessages(), testing::Not(testing::Contains(testing::StartsWith("INFO Attempting to create shortcut"))));
}

const Attack kAttacks[] = {
    {"SelfCopyNameIsALinkToAnotherFile", kVersion, L"--exit 2 --message x", 2,
     [](AttackTest& t) {
       WriteFileBytes(t.Outside("victim.exe"), kVictim);
       fs::create_symlink(t.Outside("victim.exe"), t.SelfCopy());
     },
     [](AttackTest& t) {
       ExpectCopyRefused(t.TempWindowsPath() + "cv_setup.exe");
       EXPECT_EQ(ReadFileBytes(t.Outside("victim.exe")), kVictim);
     }},
    {"TemporaryFolderThroughALink", kVersion, L"--exit 2 --message x", 2,
     [](AttackTest& t) {
       fs::create_directory_symlink(t.Outside(), Wine::Get().TempDir() + "/link");
       t.SetUserValue(kEnvironmentKey, "TMP", "REG_SZ", t.TempWindowsPath() + "link", "C:\\users\\" + t.User() + "\\Temp");
     },
     [](AttackTest& t) {
       ExpectCopyRefused(t.TempWindowsPath() + "link\\cv_setup.exe");
       // Nothing of the copy's was left where the link leads.
       EXPECT_FALSE(fs::exists(t.Outside("cv_setup.exe")));
     }},
    {"LogFolderIsALink", kVersion, L"--exit 0", 0,
     [](AttackTest& t) {
       WriteFileBytes(t.Outside("CV.log"), kVictim);
       fs::create_directories(Wine::Get().UserDir() + "/AppData/Roaming");
       fs::create_directory_symlink(t.Outside(), Wine::Get().UserDir() + "/AppData/Roaming/Halcyra");
     },
     [](AttackTest& t) {
       EXPECT_EQ(ReadFileBytes(t.Outside("CV.log")), kVictim);
       EXPECT_THAT(t.OutsideEntries(), ElementsAre("CV.log"));
     }},
    {"LogFileIsALink", kVersion, L"--exit 0", 0,
     [](AttackTest& t) {
       WriteFileBytes(t.Outside("victim.txt"), kVictim);
       fs::create_directories(Wine::Get().UserDir() + "/AppData/Roaming/Halcyra");
       fs::create_symlink(t.Outside("victim.txt"), Wine::Get().LogPath());
     },
     [](AttackTest& t) { EXPECT_EQ(ReadFileBytes(t.Outside("victim.txt")), kVictim); }},
    {"DesktopFolderOutsideTheProfile", kVersion, L"--exit 2 --message x", 2,
     [](AttackTest& t) {
       fs::create_directories(AttackTest::StartupFolder());
       t.SetUserValue(kShellFoldersKey, "Desktop", "REG_EXPAND_SZ", "C:\\ProgramData\\cv-startup",
                      "%USERPROFILE%\\Desktop");
     },
     [](AttackTest&) {
       ExpectLogLine("WARNING The desktop folder \"C:\\ProgramData\\cv-startup\" is not inside the user's profile: "
                     "no shortcut is made");
       EXPECT_TRUE(fs::is_empty(AttackTest::StartupFolder()));
     }},
    {"VersionEndingInABackslash", "1.2\\\\", L"--exit 0", 3, [](AttackTest&) {},
     [](AttackTest&) {
       ExpectLogLine("ERROR Error parsing file. Error: the member \"version\" is unusable: the version ends in a backslash");
       EXPECT_EQ(AttackTest::InstallerCommandLine(), "") << "the installer was started";
     }},
    {"TextsBeyondLatin1", kVersion, L"--exit 0 --name \u0416\u00e9\u4e2d", 0, [](AttackTest&) {},
     [](AttackTest&) {
       // The installer gets the text as it was; the log shows what one byte cannot hold escaped.
       EXPECT_THAT(AttackTest::InstallerCommandLine(), testing::EndsWith(" --name \xd0\x96\xc3\xa9\xe4\xb8\xad"));
       EXPECT_THAT(LogMessages(), testing::Contains(testing::EndsWith(" --name \\u0416\xe9\\u4E2D\"")));
     }},
    {"StartedProgramIsTheCheckedFileByItsPath", kVersion, L"--exit 0", 0, [](AttackTest&) {},
     [](AttackTest&) {
       // Named explicitly and quoted, followed by exactly the parameters the log shows.
       EXPECT_EQ(AttackTest::InstallerCommandLine(), "\"" + AttackTest::InstallerPath() + "\" -id " +
                                                         AttackTest::InstallId() + " -v \"" + kVersion + "\" --exit 0");
     }},
};

TEST_P(AttackTest, StubNeitherWritesNorStartsWhereThePlantLeads) {
  const Attack& attack = GetParam();
  Serve(true, std::string(), attack.version);
  attack.plant(*this);
  const RunResult run = RunStub(attack.ownArgs);
  EXPECT_EQ(run.exitCode, attack.exitCode);
  attack.expect(*this);
}

INSTANTIATE_TEST_SUITE_P(Attacks, AttackTest, testing::ValuesIn(kAttacks),
                         [](const testing::TestParamInfo<Attack>& info) { return std::string(info.param.name); });

// The launch starts a program only when its image is the file held as checked: a copy with the same
// bytes is another file, and the program is ended before it runs.
TEST_F(OutcomeTest, LaunchStartsOnlyTheFileHeldAsChecked) {
  Wine& wine = Wine::Get();
  const std::string program = wine.TempDir() + "/program.exe";
  const std::string twin = wine.TempDir() + "/twin.exe";
  fs::copy_file(WinTestProgram("test_installer"), program);
  fs::copy_file(WinTestProgram("test_installer"), twin);
  const std::string report = wine.TempDir() + "/launch.txt";
  for (const auto& [checked, expected] : {std::pair<std::string, std::string>{program, "started 7"},
                                          {twin, "refused Failed to launch installer: the program started is not "
                                                 "the file that was checked"}}) {
    fs::remove(wine.TempDir() + "/test_installer_record.txt");
    const RunResult run = wine.Run(WinTestProgram("launch_check"),
                                   L"\"" + Widen(wine.WindowsPath(report)) + L"\" \"" + Widen(wine.WindowsPath(program)) +
                                       L"\" \"" + Widen(wine.WindowsPath(checked)) + L"\" \"--exit 7\"");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(ReadFileBytes(report), expected);
    // A refused program never ran: it would have recorded its command line first thing.
    EXPECT_EQ(fs::exists(wine.TempDir() + "/test_installer_record.txt"), checked == program);
  }
}

}  // namespace
}  // namespace cv::bench
