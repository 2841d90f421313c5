// The release signature check of the stub under Wine: a release that publish signed natively (with
// OpenSSL) is checked by the stub's CNG code, and one changed byte, or another key, is refused as a
// signature mismatch. The installer's SHA-256 from CNG is compared with OpenSSL's.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "src/signature.h"
#include "tests/e2e/bench/bench.h"

namespace cv::bench {
namespace {

namespace fs = std::filesystem;

class ReleaseSignatureTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/cv_release_e2eXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    for (const char* folder : {"key", "other", "release"}) fs::create_directories(root_ / folder);
    std::mt19937 random(11);
    std::string installer(200000, '\0');
    for (char& c : installer) c = static_cast<char>(random());
    WriteFileBytes(Path("setup.exe"), installer);
    for (const char* folder : {"key", "other"}) ASSERT_EQ(Publish({"keygen", Path(folder)}), 0);
    ASSERT_EQ(Publish({"make", "--installer", Path("setup.exe"), "--url", "http://127.0.0.1:47180/setup.exe",
                       "--version", "3.0.1", "--key", Path("key/release-key.pem"), "--out", Path("release")}),
              0);
  }
  static void TearDownTestSuite() { fs::remove_all(root_); }

  static std::string Path(const std::string& name) { return (root_ / name).string(); }

  // Runs release_check.exe on these files and returns its report.
  static std::string Check(const std::string& publicKey, const std::string& document, const std::string& signature) {
    const std::string report = Path("report.txt");
    fs::remove(report);
    std::wstring tail;
    for (const std::string& file : {publicKey, document, signature, Path("setup.exe"), report}) {
      tail += L"\"" + Widen(Wine::Get().WindowsPath(file)) + L"\" ";
    }
    const RunResult run = Wine::Get().Run(WinTestProgram("release_check"), tail);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    return ReadFileBytes(report);
  }

  static fs::path root_;
};

fs::path ReleaseSignatureTest::root_;

TEST_F(ReleaseSignatureTest, AcceptsTheSignedDocumentAndHashesTheInstallerLikeOpenSsl) {
  const std::string installer = ReadFileBytes(Path("setup.exe"));
  unsigned char sha[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(installer.data()), installer.size(), sha);
  EXPECT_EQ(Check(Path("key/release-key.pub"), Path("release/cv.json"), Path("release/cv.json.sig")),
            "key=ok\nsignature=ok\nverify=ok\nmismatch=0\nsha256=" + LowerHex(sha, sizeof sha) + "\n");
  // The document names the same digest.
  EXPECT_NE(ReadFileBytes(Path("release/cv.json")).find("\"sha256\": \"" + LowerHex(sha, sizeof sha) + "\""),
            std::string::npos);
}

TEST_F(ReleaseSignatureTest, RefusesAChangedByteOrAnotherKeyAsAMismatch) {
  const std::string document = ReadFileBytes(Path("release/cv.json"));
  const std::string signature = ReadFileBytes(Path("release/cv.json.sig"));
  std::string changedDocument = document;
  changedDocument[document.find("3.0.1")] = '4';
  std::string changedSignature = signature;
  changedSignature[20] = changedSignature[20] == 'A' ? 'B' : 'A';  // still base64
  WriteFileBytes(Path("changed.json"), changedDocument);
  WriteFileBytes(Path("changed.sig"), changedSignature);

  struct Case {
    std::string publicKey, document, signature;
  };
  for (const Case& c : {Case{"key/release-key.pub", "changed.json", "release/cv.json.sig"},
                        Case{"key/release-key.pub", "release/cv.json", "changed.sig"},
                        Case{"other/release-key.pub", "release/cv.json", "release/cv.json.sig"}}) {
    const std::string report = Check(Path(c.publicKey), Path(c.document), Path(c.signature));
    EXPECT_NE(report.find("verify=BCryptVerifySignature 0xC000A000\nmismatch=1\n"), std::string::npos)
        << c.publicKey << " " << c.document << " " << c.signature << ":\n" << report;
  }
}

}  // namespace
}  // namespace cv::bench
