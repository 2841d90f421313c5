// A signed release under Wine: the stub built with the test release keys (two, as during a key
// rotation) takes a document only with a signature by one of them and only before it expires,
// fetching both once more before it gives up with code 10, and takes an installer only when its
// length and SHA-256 match too. Releases are made with publish and the test keys; documents that
// publish would not write (expired, without "expires") are signed here with OpenSSL.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <zlib.h>

#include <cstdio>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "tests/e2e/bench/bench.h"
#include "tests/e2e/bench/spawn.h"

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

// The signature line that publish writes, made by the private key in `keyPath` over `document`:
// base64 of r||s.
std::string SignatureLine(const std::string& keyPath, const std::string& document) {
  FILE* file = std::fopen(keyPath.c_str(), "r");
  EVP_PKEY* key = file != nullptr ? PEM_read_PrivateKey(file, nullptr, nullptr, nullptr) : nullptr;
  if (file != nullptr) std::fclose(file);
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  unsigned char der[80];
  std::size_t size = sizeof der;
  const bool made = key != nullptr && EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, key) == 1 &&
                    EVP_DigestSign(context, der, &size, reinterpret_cast<const unsigned char*>(document.data()),
                                   document.size()) == 1;
  EVP_MD_CTX_free(context);
  EVP_PKEY_free(key);
  EXPECT_TRUE(made) << keyPath;
  const unsigned char* next = der;
  ECDSA_SIG* signature = d2i_ECDSA_SIG(nullptr, &next, static_cast<long>(size));
  unsigned char rs[64];
  BN_bn2binpad(ECDSA_SIG_get0_r(signature), rs, 32);
  BN_bn2binpad(ECDSA_SIG_get0_s(signature), rs + 32, 32);
  ECDSA_SIG_free(signature);
  unsigned char text[89];
  EVP_EncodeBlock(text, rs, sizeof rs);
  return std::string(reinterpret_cast<const char*>(text)) + "\n";
}

std::string SecondTestReleaseKey() { return std::string(CV_SOURCE_DIR) + "/tests/e2e/keys/release-key-2.pem"; }

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
    // Two releases of the publisher's first key, one of its second and one of someone else's key, all
    // for the same installer.
    for (const auto& [out, version, key] : {std::tuple{"release", "2.0.0", TestReleasePrivateKey()},
                                            std::tuple{"next", "2.0.1", TestReleasePrivateKey()},
                                            std::tuple{"second-key", "2.0.2", SecondTestReleaseKey()},
                                            std::tuple{"other", "2.0.0", Path("other-key/release-key.pem")}}) {
      fs::create_directories(Path(out));
      ASSERT_EQ(Publish({"make", "--installer", Path("installer.exe"), "--url", InstallerUrl(), "--version", version,
                         "--no-shortcut", "--key", key, "--out", Path(out)}),
                0);
    }
    // The stub as a vendor ships it: code-signed, here with a throw-away CA's certificate.
    ASSERT_EQ(RunToEnd({"sh", std::string(CV_SOURCE_DIR) + "/tests/make-code-signing-ca.sh", Path("ca")},
                       {"PATH=/usr/bin:/bin"}),
              0);
    fs::create_directories(Path("code-signed"));
    ASSERT_EQ(Publish({"sign-stub", "--stub", SignedTestStubExe(), "--out", Path("code-signed/cv_setup.exe"), "--cert",
                       Path("ca/signing.pem"), "--key", Path("ca/signing.key"), "--pass-file", Path("ca/pass.txt")}),
              0);
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

  // Serves a release (the document, its signature file and the installer) and runs `stub` (by
  // default the signed test stub) on it.
  RunResult RunRelease(const std::string& document, const std::string& signature, const std::string& installer,
                       const std::string& stub = SignedTestStubExe()) {
    Serve("/cv.json", {document});
    Serve("/cv.json.sig", {signature});
    Serve("/installer.exe", {installer});
    return Wine::Get().Run(stub);
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

// The release's document with its "expires" member set to `expires`, or taken out when empty.
std::string WithExpires(const std::string& expires) {
  std::string document = Release("release/cv.json");
  const std::size_t member = document.find(",\n    \"expires\": \"");
  const std::size_t end = document.find('"', document.find(": \"", member) + 3) + 1;
  if (member == std::string::npos || end == 0) return "publish wrote no \"expires\"";
  return document.replace(member, end - member, expires.empty() ? "" : ",\n    \"expires\": \"" + expires + "\"");
}

// What a man in the middle (or a broken server) does to the configuration, and the reason the stub
// logs when it refuses it (the start of it, for the reasons that end with the clock's time).
struct RefusalCase {
  const char* name;
  std::string (*document)();
  std::string (*signature)();
  const char* reason;
  bool signatureGood;  // refused after the signature check, for what the signed document says
};

class ConfigRefusalTest : public SignedReleaseTest, public testing::WithParamInterface<RefusalCase> {};

TEST_P(ConfigRefusalTest, EndsWithCode10AfterTwoRoundsAndDownloadsNothing) {
  const RunResult run = RunRelease(GetParam().document(), GetParam().signature(), installer_);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 10u);
  EXPECT_THAT(run.boxes, ElementsAre("Cannot verify configuration. Error code 10"));
  EXPECT_THAT(run.windows, Not(Contains(StartsWith("Downloading PMX Installer"))));
  EXPECT_THAT(Targets(), ElementsAre("/cv.json", "/cv.json.sig", "/cv.json", "/cv.json.sig"));
  // The configuration stage's lines: two rounds, a warning after the first, the failure after the second.
  const std::string line = std::string("Configuration signature check failed: ") + GetParam().reason;
  std::vector<testing::Matcher<std::string>> round = {"INFO Downloading config file",
                                                       "INFO Config file has been downloaded successfully",
                                                       "INFO Checking config signature"};
  if (GetParam().signatureGood) round.insert(round.end(), {"INFO Config signature is OK", "INFO Parsing config file"});
  std::vector<testing::Matcher<std::string>> expected = round;
  expected.push_back(StartsWith("WARNING " + line));
  expected.insert(expected.end(), round.begin(), round.end());
  expected.push_back(StartsWith("ERROR " + line));
  const auto log = LogMessages();
  const auto stage = std::find(log.begin(), log.end(), "INFO Downloading config file");
  EXPECT_THAT(std::vector<std::string>(stage, log.end()), testing::ElementsAreArray(expected));
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
                    "the signature does not match the document", false},
        RefusalCase{"SignedWithAnotherKey", [] { return Release("other/cv.json"); },
                    [] { return Release("other/cv.json.sig"); },
                    "the signature does not match the document", false},
        RefusalCase{"NoSignatureFile", [] { return Release("release/cv.json"); },
                    [] { return std::string("404"); },
                    "the server answered the signature request with HTTP status 404", false},
        RefusalCase{"UnreadableSignature", [] { return Release("release/cv.json"); },
                    [] { return std::string("not a signature\n"); }, "the signature is not one line of base64", false},
        // An old release replayed to hold users on it: signed, but past its expiry.
        RefusalCase{"Expired", [] { return WithExpires("2020-01-01T00:00:00Z"); },
                    [] { return SignatureLine(TestReleasePrivateKey(), WithExpires("2020-01-01T00:00:00Z")); },
                    "the document expired at 2020-01-01T00:00:00Z; the clock of this computer reads ", true},
        RefusalCase{"WithoutExpires", [] { return WithExpires(""); },
                    [] { return SignatureLine(TestReleasePrivateKey(), WithExpires("")); },
                    "the document has no member \"expires\"", true}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

// Releases that the stub with both keys takes: the publisher's own, also run by the stub as a vendor
// ships it (code-signed, here with a throw-away CA's certificate), and those of a key rotation.
struct TakenCase {
  const char* name;
  std::string (*document)();
  std::string (*signature)();
  const char* version;
  std::string (*stub)();
};

class TakenReleaseTest : public SignedReleaseTest, public testing::WithParamInterface<TakenCase> {};

TEST_P(TakenReleaseTest, TakesADocumentThatOneLineSignsWithOneOfItsKeys) {
  const RunResult run = RunRelease(GetParam().document(), GetParam().signature(), installer_, GetParam().stub());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_THAT(run.boxes, IsEmpty());
  EXPECT_THAT(Targets(), ElementsAre("/cv.json", "/cv.json.sig", "/installer.exe"));
  const auto log = LogMessages();
  EXPECT_THAT(log, IsSupersetOf({"INFO Checking config signature", "INFO Config signature is OK",
                                 "INFO Wrapper SHA-256 is OK", "INFO Installer execution has successfully completed"}));
  EXPECT_THAT(log, Contains(StartsWith("INFO Config is valid until 20")));
  EXPECT_THAT(log, Not(Contains(StartsWith("WARNING"))));
  EXPECT_THAT(ReadFileBytes(Wine::Get().TempDir() + "/test_installer_record.txt"),
              testing::HasSubstr(std::string("-v \"") + GetParam().version + "\""));
}

std::string FirstKeyDocument() { return Release("release/cv.json"); }
std::string FirstKeySignature() { return Release("release/cv.json.sig"); }

INSTANTIATE_TEST_SUITE_P(
    Releases, TakenReleaseTest,
    testing::Values(
        TakenCase{"SignedWithTheFirstKey", FirstKeyDocument, FirstKeySignature, "2.0.0", SignedTestStubExe},
        TakenCase{"CodeSignedStub", FirstKeyDocument, FirstKeySignature, "2.0.0",
                  [] { return Path("code-signed/cv_setup.exe"); }},
        // Signed by the second key only: the stub's second key takes it.
        TakenCase{"SignedWithTheSecondKey", [] { return Release("second-key/cv.json"); },
                  [] { return Release("second-key/cv.json.sig"); }, "2.0.2", SignedTestStubExe},
        // A line of a key the stub does not know, then the line of its own key.
        TakenCase{"OnlyTheSecondLineVerifies", FirstKeyDocument,
                  [] { return SignatureLine(Path("other-key/release-key.pem"), FirstKeyDocument()) + FirstKeySignature(); },
                  "2.0.0", SignedTestStubExe}),
    [](const testing::TestParamInfo<TakenCase>& info) { return std::string(info.param.name); });

// An installer of another length than the document's "size": one that goes on is stopped while it
// arrives (code 4), one that is short is refused by the check (code 6). Both lines name the size.
struct SizeCase {
  const char* name;
  std::ptrdiff_t extraBytes;
  std::uint32_t exitCode;
  const char* box;
};

class InstallerSizeTest : public SignedReleaseTest, public testing::WithParamInterface<SizeCase> {};

TEST_P(InstallerSizeTest, RefusesAnInstallerOfAnotherLength) {
  const std::size_t length = installer_.size() + GetParam().extraBytes;
  const RunResult run = RunRelease(Release("release/cv.json"), Release("release/cv.json.sig"),
                                   GetParam().extraBytes > 0 ? installer_ + std::string(GetParam().extraBytes, 'x')
                                                             : installer_.substr(0, length));
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, GetParam().exitCode);
  EXPECT_THAT(run.boxes, ElementsAre(GetParam().box));
  const auto log = WithoutRemovals(LogMessages());
  ASSERT_FALSE(log.empty());
  const std::string size = std::to_string(installer_.size());
  if (GetParam().extraBytes > 0) {
    EXPECT_THAT(log, Contains("WARNING More than the installer's size of " + size + " bytes: download stopped"));
    EXPECT_THAT(log.back(), testing::MatchesRegex("ERROR Can't download wrapper to \"" +
                                                  std::string(kInstallerPathPattern) + "\""));
  } else {
    EXPECT_EQ(log.back(), "ERROR Mismatch of the wrapper size: " + std::to_string(length) + " bytes instead of " + size);
  }
  EXPECT_THAT(log, Not(Contains(StartsWith("INFO Launching installer"))));
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, InstallerSizeTest,
    testing::Values(SizeCase{"Longer", 256 * 1024, 4, "Cannot obtain installer. Error code 4"},
                    SizeCase{"Shorter", -1000, 6, "The installation file is corrupted. Error code 6"}),
    [](const testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.name); });

TEST_F(SignedReleaseTest, InstallerPaddedToTheSameCrc32IsRefusedBySha256) {
  // Another program in place of the installer, made to match the document's size and CRC-32.
  std::string program = ReadFileBytes(WinTestProgram("close_window"));
  ASSERT_LT(program.size() + 4, installer_.size());
  program.resize(installer_.size() - 4, '\0');
  const std::string forged = PaddedToCrc32(program, Crc32(installer_));
  ASSERT_EQ(Crc32(forged), Crc32(installer_));
  ASSERT_EQ(forged.size(), installer_.size());
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
