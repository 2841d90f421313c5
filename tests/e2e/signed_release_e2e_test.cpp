// A signed release under Wine: the stub built with the test release key takes a document only with
// its publisher's signature, fetching both once more before it gives up with code 10, and takes an
// installer only when its SHA-256 matches too. Releases are made with publish and the test key.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "tests/e2e/bench/bench.h"

namespace cv::bench {
namespace {

namespace fs = std::filesystem;
using testing::Contains;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::IsSupersetOf;
using testing::Not;
using testing::StartsWith;

std::uint32_t Crc32(const std::string& bytes) {
  return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// `bytes` with four bytes appended that make its CRC-32 `target`: the CRC is no defence against a
// deliberate change. The CRC register is run backwards from the target to find the four table rows
// the appended bytes must select.
std::string PaddedToCrc32(std::string bytes, std::uint32_t target) {
  std::uint32_t table[256];
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    table[i] = c;
  }
  std::uint8_t rows[4];
  std::uint32_t reg = ~target;
  for (int k = 3; k >= 0; --k) {
    // Each row's top byte is different, so the register's top byte names the row.
    std::uint32_t row = 0;
    while ((table[row] >> 24) != (reg >> 24)) ++row;
    rows[k] = static_cast<std::uint8_t>(row);
    reg = (reg ^ table[row]) << 8;
  }
  reg = ~Crc32(bytes);
  for (const std::uint8_t row : rows) {
    bytes += static_cast<char>((reg ^ row) & 0xFF);
    reg = (reg >> 8) ^ table[row];
  }
  return bytes;
}

// The folder of the suite's releases, and the files in it.
fs::path& Root() {
  static fs::path root;
  return root;
}
std::string Path(const std::string& name) { return (Root() / name).string(); }
std::string Release(const std::string& file) { return ReadFileBytes(Path(file)); }

class SignedReleaseTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    char folder[] = "/tmp/cv_signed_e2eXXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    Root() = folder;
    installer_ = ReadFileBytes(WinTestProgram("test_installer"));
    ASSERT_FALSE(installer_.empty());
    WriteFileBytes(Path("installer.exe"), installer_);
    fs::create_directories(Path("other-key"));
    ASSERT_EQ(Publish({"keygen", Path("other-key")}), 0);
    // Two releases of the publisher's and one of someone else's key, all for the same installer.
    for (const auto& [out, version, key] : {std::tuple{"release", "2.0.0", TestReleasePrivateKey()},
                                            std::tuple{"next", "2.0.1", TestReleasePrivateKey()},
                                            std::tuple{"other", "2.0.0", Path("other-key/release-key.pem")}}) {
      fs::create_directories(Path(out));
      ASSERT_EQ(Publish({"make", "--installer", Path("installer.exe"), "--url", InstallerUrl(), "--version", version,
                         "--no-shortcut", "--key", key, "--out", Path(out)}),
                0);
    }
  }
  static void TearDownTestSuite() { fs::remove_all(Root()); }

  void SetUp() override {
    Wine::Get().ResetState();
    server_ = HttpServer::Plain(kConfigPort);
  }

  // Serves `answers` at `path`, one per request in order; the last one answers every later request.
  // An answer of "404" is a missing file.
  void Serve(const std::string& path, std::vector<std::string> answers) {
    server_->server().Get(path, [answers, count = std::make_shared<std::size_t>(0)](const httplib::Request&,
                                                                                    httplib::Response& response) {
      const std::string& answer = answers[std::min((*count)++, answers.size() - 1)];
      if (answer == "404") {
        response.status = 404;
        response.set_content("<html><body>Not Found</body></html>", "text/html");
      } else {
        response.set_content(answer, "application/octet-stream");
      }
    });
  }

  std::vector<std::string> Targets() const {
    std::vector<std::string> targets;
    for (const auto& request : server_->Requests()) targets.push_back(request.target.substr(0, request.target.find('?')));
    return targets;
  }

  // The installer lies on the configuration server.
  static std::string InstallerUrl() { return "http://127.0.0.1:" + std::to_string(kConfigPort) + "/installer.exe"; }
  static std::string installer_;
  std::unique_ptr<HttpServer> server_;
};

std::string SignedReleaseTest::installer_;

TEST_F(SignedReleaseTest, SignedReleaseRuns) {
  Serve("/cv.json", {Release("release/cv.json")});
  Serve("/cv.json.sig", {Release("release/cv.json.sig")});
  Serve("/installer.exe", {installer_});

  const RunResult run = Wine::Get().Run(SignedTestStubExe());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_THAT(run.boxes, IsEmpty());
  EXPECT_THAT(Targets(), ElementsAre("/cv.json", "/cv.json.sig", "/installer.exe"));
  const auto log = LogMessages();
  EXPECT_THAT(log, IsSupersetOf({"INFO Checking config signature", "INFO Config signature is OK",
                                 "INFO Wrapper SHA-256 is OK", "INFO Installer execution has successfully completed"}));
  EXPECT_THAT(log, Not(Contains(StartsWith("WARNING"))));
}

TEST_F(SignedReleaseTest, ReleasePublishedBetweenTheTwoFetchesRunsAtTheSecondTry) {
  // The document of one release, then the signature of the next, which the server now holds.
  Serve("/cv.json", {Release("release/cv.json"), Release("next/cv.json")});
  Serve("/cv.json.sig", {Release("next/cv.json.sig")});
  Serve("/installer.exe", {installer_});

  const RunResult run = Wine::Get().Run(SignedTestStubExe());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_THAT(Targets(), ElementsAre("/cv.json", "/cv.json.sig", "/cv.json", "/cv.json.sig", "/installer.exe"));
  EXPECT_THAT(LogMessages(), Contains("WARNING Configuration signature check failed: the signature does not match "
                                      "the document"));
  EXPECT_THAT(ReadFileBytes(Wine::Get().TempDir() + "/test_installer_record.txt"), testing::HasSubstr("-v \"2.0.1\""));
}

// What a man in the middle (or a broken server) does to the configuration, and the reason the stub
// logs when it refuses it.
struct RefusalCase {
  const char* name;
  std::string (*document)();
  std::string (*signature)();
  const char* reason;
};

class ConfigRefusalTest : public SignedReleaseTest, public testing::WithParamInterface<RefusalCase> {};

TEST_P(ConfigRefusalTest, EndsWithCode10AfterTwoRoundsAndDownloadsNothing) {
  Serve("/cv.json", {GetParam().document()});
  Serve("/cv.json.sig", {GetParam().signature()});
  Serve("/installer.exe", {installer_});

  const RunResult run = Wine::Get().Run(SignedTestStubExe());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 10u);
  EXPECT_THAT(run.boxes, ElementsAre("Cannot verify configuration. Error code 10"));
  EXPECT_THAT(run.windows, Not(Contains(StartsWith("Downloading PMX Installer"))));
  EXPECT_THAT(Targets(), ElementsAre("/cv.json", "/cv.json.sig", "/cv.json", "/cv.json.sig"));
  // The configuration stage's lines: two rounds, a warning after the first, the failure after the second.
  const std::string line = std::string("Configuration signature check failed: ") + GetParam().reason;
  const auto log = LogMessages();
  const auto stage = std::find(log.begin(), log.end(), "INFO Downloading config file");
  EXPECT_THAT(std::vector<std::string>(stage, log.end()),
              ElementsAre("INFO Downloading config file", "INFO Config file has been downloaded successfully",
                          "INFO Checking config signature", "WARNING " + line, "INFO Downloading config file",
                          "INFO Config file has been downloaded successfully", "INFO Checking config signature",
                          "ERROR " + line));
}

INSTANTIATE_TEST_SUITE_P(
    Attacks, ConfigRefusalTest,
    testing::Values(
        RefusalCase{"OneByteChangedInTransit",
                    [] {
                      std::string document = Release("release/cv.json");
                      document[document.find("2.0.0") + 4] = '9';
                      return document;
                    },
                    [] { return Release("release/cv.json.sig"); },
                    "the signature does not match the document"},
        RefusalCase{"SignedWithAnotherKey", [] { return Release("other/cv.json"); },
                    [] { return Release("other/cv.json.sig"); },
                    "the signature does not match the document"},
        RefusalCase{"NoSignatureFile", [] { return Release("release/cv.json"); },
                    [] { return std::string("404"); },
                    "the server answered the signature request with HTTP status 404"},
        RefusalCase{"UnreadableSignature", [] { return Release("release/cv.json"); },
                    [] { return std::string("not a signature\n"); }, "the signature is not one line of base64"}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

TEST_F(SignedReleaseTest, InstallerPaddedToTheSameCrc32IsRefusedBySha256) {
  // Another program in place of the installer, made to match the document's CRC-32.
  const std::string forged = PaddedToCrc32(ReadFileBytes(WinTestProgram("close_window")), Crc32(installer_));
  ASSERT_EQ(Crc32(forged), Crc32(installer_));
  Serve("/cv.json", {Release("release/cv.json")});
  Serve("/cv.json.sig", {Release("release/cv.json.sig")});
  Serve("/installer.exe", {forged});

  // The unsigned stub checks "sha256" too when the document has one.
  for (const std::string& stub : {SignedTestStubExe(), TestStubExe()}) {
    Wine::Get().ResetState();
    const RunResult run = Wine::Get().Run(stub);
    ASSERT_TRUE(run.finished) << stub;
    EXPECT_EQ(run.exitCode, 6u) << stub;
    EXPECT_THAT(run.boxes, ElementsAre("The installation file is corrupted. Error code 6")) << stub;
    const auto log = WithoutRemovals(LogMessages());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "ERROR Mismatch of the wrapper SHA-256") << stub;
    EXPECT_THAT(log, Not(Contains(StartsWith("INFO Launching installer")))) << stub;
  }
}

}  // namespace
}  // namespace cv::bench
