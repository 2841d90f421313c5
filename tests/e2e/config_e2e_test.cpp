// The configuration document under Wine: what the stub does with no server, with error pages and
// broken documents, with documents that lack a member or whose member it refuses, against a loopback
// server, and with an https:// configuration address whose certificate is not valid.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/bench/bench.h"

namespace cv::bench {
namespace {

using testing::ElementsAreArray;
using testing::IsEmpty;

const std::vector<std::string> kFetchLines = {
    "INFO Halcyra wrapper started", "INFO Mailslot created successfully", "INFO Downloading config file",
    "INFO Config file has been downloaded successfully", "INFO Parsing config file"};

std::vector<std::string> FetchLinesThen(const std::vector<std::string>& more) {
  std::vector<std::string> lines = kFetchLines;
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

bool ShowedProgressWindow(const RunResult& run) {
  for (const auto& window : run.windows) {
    if (window.rfind("Downloading PMX Installer...|", 0) == 0) return true;
  }
  return false;
}

class ConfigTest : public testing::Test {
 protected:
  void SetUp() override { Wine::Get().ResetState(); }
};

TEST_F(ConfigTest, NoServerFailsTheFetchWithCode1) {
  const RunResult run = Wine::Get().Run(TestStubExe());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_THAT(run.boxes, ElementsAreArray({"Cannot obtain configuration. Error code 1"}));
  EXPECT_THAT(LogMessages(), ElementsAreArray({"INFO Halcyra wrapper started", "INFO Mailslot created successfully",
                                               "INFO Downloading config file", "ERROR Can't download config file"}));
  EXPECT_FALSE(ShowedProgressWindow(run));
}

struct BadDocumentCase {
  const char* name;
  int status;
  std::string body;
  std::vector<std::string> linesAfterFetch;
};

class BadDocumentTest : public ConfigTest, public testing::WithParamInterface<BadDocumentCase> {};

// Documents that end the run with code 3 before the progress window is shown.
TEST_P(BadDocumentTest, FailsWithCode3BeforeTheProgressWindow) {
  auto config = HttpServer::Plain(kConfigPort);
  const BadDocumentCase& c = GetParam();
  config->server().Get("/cv.json", [&c](const httplib::Request&, httplib::Response& response) {
    response.status = c.status;
    response.set_content(c.body, c.status == 200 ? "application/json" : "text/html");
  });

  const RunResult run = Wine::Get().Run(TestStubExe());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 3u);
  EXPECT_THAT(run.boxes, ElementsAreArray({"Cannot obtain configuration. Error code 3"}));
  EXPECT_THAT(LogMessages(), ElementsAreArray(FetchLinesThen(c.linesAfterFetch)));
  EXPECT_FALSE(ShowedProgressWindow(run));
  ASSERT_EQ(config->Requests().size(), 1u);
  EXPECT_EQ(config->Requests()[0].target, "/cv.json");
}

INSTANTIATE_TEST_SUITE_P(
    Documents, BadDocumentTest,
    testing::Values(
        BadDocumentCase{"NotFoundPage",
                        404,
                        "<html>\r\n<head><title>404 Not Found</title></head>\r\n<body>\r\n<center><h1>404 Not "
                        "Found</h1></center>\r\n</body>\r\n</html>\r\n",
                        {"ERROR Error parsing file. Error: JSON syntax_error at line 1 and column 1"}},
        BadDocumentCase{"EmptyBody", 200, "",
                        {"ERROR Error parsing file. Error: Unexpected end of file at line 1 and column 1"}},
        BadDocumentCase{"TrailingText",
                        200,
                        "{\"shortcut\": true} x",
                        {"ERROR Error parsing file. Error: Unexpected non-whitespace character after JSON text "
                         "at line 1 and column 19"}},
        BadDocumentCase{"NoShortcutMember",
                        200,
                        "{\"Shortcut\": true, \"wrapper\": \"http://127.0.0.1:1/s.exe\", \"checksum\": 1}",
                        {"ERROR Error parsing file. Error: the document has no member \"shortcut\""}},
        BadDocumentCase{"ShortcutNull",
                        200,
                        "{\"shortcut\": null}",
                        {"ERROR Error parsing file. Error: the member \"shortcut\" cannot be converted to a "
                         "boolean"}},
        BadDocumentCase{"NotAnObject",
                        200,
                        "[{\"shortcut\": true}]",
                        {"ERROR Error parsing file. Error: the document is not a JSON object, so it has no "
                         "member \"shortcut\""}}),
    [](const testing::TestParamInfo<BadDocumentCase>& info) { return std::string(info.param.name); });

TEST_F(ConfigTest, MissingWrapperFailsAfterTheWindowOpensAndClosesIt) {
  auto config = HttpServer::Plain(kConfigPort);
  config->server().Get("/cv.json", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("{\"shortcut\": 1, \"checksum\": 0, \"version\": \"1\"}", "application/json");
  });

  auto process = Wine::Get().Start(TestStubExe(), L"", RunOptions{std::chrono::seconds(60), false});
  ASSERT_TRUE(process->WaitForWindow("We apologize!", std::chrono::seconds(30)));
  // The progress window has no download to wait for: it is gone (or never shown) by the time the
  // box is up.
  EXPECT_FALSE(process->WaitForWindow("Downloading PMX Installer...", std::chrono::milliseconds(500)));
  EXPECT_TRUE(process->DismissBox());
  const RunResult run = process->Wait();
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 3u);
  EXPECT_THAT(run.boxes, ElementsAreArray({"Cannot obtain configuration. Error code 3"}));
  EXPECT_THAT(LogMessages(),
              ElementsAreArray(FetchLinesThen({"INFO Downloading wrapper",
                                               "ERROR Error parsing file. Error: the document has no member "
                                               "\"wrapper\""})));
}

// Documents whose "wrapper" or "version" the run refuses: code 3 with a line naming the member and
// the reason, and the installer never started. Each "wrapper" names the test installer, which would
// otherwise be fetched and started; each "version" comes with the installer and its checksum.
struct RefusedMemberCase {
  const char* name;
  std::string members;  // "wrapper" and "version"; INSTALLER stands for the installer's file:// address
  std::string reason;
};

class RefusedMemberTest : public ConfigTest, public testing::WithParamInterface<RefusedMemberCase> {};

TEST_P(RefusedMemberTest, FailsWithCode3NamingMemberAndReason) {
  Wine& wine = Wine::Get();
  const std::string installer = ReadFileBytes(WinTestProgram("test_installer"));
  ASSERT_FALSE(installer.empty());
  const std::string copy = wine.TempDir() + "/served_installer.exe";
  WriteFileBytes(copy, installer);
  std::string fileUrl = "file:///" + wine.WindowsPath(copy);
  std::replace(fileUrl.begin(), fileUrl.end(), '\\', '/');
  std::string members = GetParam().members;
  const std::size_t at = members.find("INSTALLER");
  if (at != std::string::npos) members.replace(at, 9, fileUrl);
  const unsigned long checksum = crc32(0L, reinterpret_cast<const Bytef*>(installer.data()), static_cast<uInt>(installer.size()));
  // A byte order mark first: with charset=utf-8 it decodes to U+FEFF, which the parse skips.
  const std::string document = "\xEF\xBB\xBF{\"shortcut\": false, \"checksum\": " + std::to_string(checksum) + ", " + members + "}";

  auto config = HttpServer::Plain(kConfigPort);
  config->server().Get("/cv.json", [&](const httplib::Request&, httplib::Response& response) {
    response.set_content(document, "application/json; charset=utf-8");
  });
  config->server().Get("/installer.exe", [&](const httplib::Request&, httplib::Response& response) {
    response.set_content(installer, "application/octet-stream");
  });

  const RunResult run = wine.Run(TestStubExe());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 3u);
  EXPECT_THAT(run.boxes, ElementsAreArray({"Cannot obtain configuration. Error code 3"}));
  // "version" is read at the launch, after the download: the installer's files are removed then.
  const bool downloaded = std::string(GetParam().name).rfind("Version", 0) == 0;
  const std::vector<std::string> log = downloaded ? WithoutRemovals(LogMessages()) : LogMessages();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "ERROR Error parsing file. Error: " + GetParam().reason);
  EXPECT_FALSE(std::filesystem::exists(wine.TempDir() + "/test_installer_record.txt")) << "the installer ran";
}

const std::string kServedInstaller = "\"wrapper\": \"http://127.0.0.1:47180/installer.exe\"";

INSTANTIATE_TEST_SUITE_P(
    Documents, RefusedMemberTest,
    testing::Values(
        RefusedMemberCase{"WrapperFileUrl", "\"wrapper\": \"INSTALLER\", \"version\": \"1\"",
                          "the member \"wrapper\" is unusable: not an http:// or https:// address"},
        RefusedMemberCase{"WrapperUncPath", "\"wrapper\": \"\\\\\\\\127.0.0.1\\\\share\\\\installer.exe\", \"version\": \"1\"",
                          "the member \"wrapper\" is unusable: not an http:// or https:// address"},
        RefusedMemberCase{"WrapperOtherScheme", "\"wrapper\": \"ftp://127.0.0.1/installer.exe\", \"version\": \"1\"",
                          "the member \"wrapper\" is unusable: not an http:// or https:// address"},
        RefusedMemberCase{"WrapperWithoutHost", "\"wrapper\": \"http:///installer.exe\", \"version\": \"1\"",
                          "the member \"wrapper\" is unusable: the address has no host name"},
        RefusedMemberCase{"VersionWithQuote", kServedInstaller + ", \"version\": \"1.0\\\" --evil\"",
                          "the member \"version\" is unusable: the version holds a double quote"},
        RefusedMemberCase{"VersionWithNul", kServedInstaller + ", \"version\": \"1.0\\u0000\"",
                          "the member \"version\" is unusable: the version holds the control character U+0000"},
        RefusedMemberCase{"VersionWithLineEnd", kServedInstaller + ", \"version\": \"1.0\\r\\nINFO x\"",
                          "the member \"version\" is unusable: the version holds the control character U+000D"}),
    [](const testing::TestParamInfo<RefusedMemberCase>& info) { return std::string(info.param.name); });

// The configuration address may be https://, and then its certificate must be valid: the bench's
// self-signed one is refused, so the fetch fails (code 1) where the document, taken, would fail the
// parse (code 3).
TEST_F(ConfigTest, HttpsConfigurationAddressRefusesAnInvalidCertificate) {
  auto config = HttpServer::Tls(kConfigPort, "127.0.0.1");
  config->server().Get("/cv.json", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("{}", "application/json");
  });
  const RunResult run = Wine::Get().Run(std::string(CV_WINE_BUILD_DIR) + "/test-stub-tls/cv_setup.exe");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_THAT(LogMessages(), ElementsAreArray({"INFO Halcyra wrapper started", "INFO Mailslot created successfully",
                                               "INFO Downloading config file", "ERROR Can't download config file"}));
  EXPECT_THAT(config->Requests(), IsEmpty());
}

}  // namespace
}  // namespace cv::bench
