// publish as its users run it: a release made and checked, tampering found by the check, and every
// bad input refused with one line and no files left. zlib and OpenSSL's one-shot SHA-256 are the
// independent oracles for the document's checksums.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/sha.h>
#include <sys/stat.h>
#include <zlib.h>

#include <jsoncons/json.hpp>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "src/signature.h"
#include "tests/e2e/bench/bench.h"
#include "tests/e2e/bench/spawn.h"

extern char** environ;

namespace cv::publish {
namespace {

namespace fs = std::filesystem;
using bench::ReadFileBytes;
using bench::WriteFileBytes;

struct Ran {
  int exitCode;
  std::string output;  // standard output and standard error
};

Ran Publish(const std::vector<std::string>& args) {
  std::vector<std::string> command = {"sh", "-c", "exec \"$0\" \"$@\" 2>&1", CV_PUBLISH_EXE};
  command.insert(command.end(), args.begin(), args.end());
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) env.emplace_back(*entry);
  Ran ran;
  ran.exitCode = bench::RunToEnd(command, env, &ran.output);
  return ran;
}

std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class PublishTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cv_publish_testXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    fs::create_directories(root_ / "keys");
    fs::create_directories(root_ / "release");
    std::mt19937 random(7);
    std::string installer(300000, '\0');
    for (char& c : installer) c = static_cast<char>(random());
    WriteFileBytes(Installer(), installer);
    const Ran keygen = Publish({"keygen", (root_ / "keys").string()});
    ASSERT_EQ(keygen.exitCode, 0) << keygen.output;
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string Installer() const { return (root_ / "installer.exe").string(); }
  std::string Key() const { return (root_ / "keys/release-key.pem").string(); }
  std::string Pub() const { return (root_ / "keys/release-key.pub").string(); }
  std::string Out() const { return (root_ / "release").string(); }

  std::vector<std::string> MakeArgs(const std::string& version = "2.1.0") const {
    return {"make", "--installer", Installer(), "--url", "https://dl.example.com/corvida_setup.exe",
            "--version", version, "--key", Key(), "--out", Out()};
  }
  Ran Verify() const { return Publish({"verify", "--pub", Pub(), "--dir", Out(), "--installer", Installer()}); }

  fs::path root_;
};

TEST_F(PublishTest, MakesAReleaseThatVerifies) {
  const Ran make = Publish(MakeArgs("2.1 \xc3\x9f"));  // "2.1 ß"
  ASSERT_EQ(make.exitCode, 0) << make.output;
  EXPECT_EQ(Entries(Out()), (std::vector<std::string>{"cv.json", "cv.json.sig"}));
  EXPECT_EQ(fs::status(Key()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

  const std::string document = ReadFileBytes(Out() + "/cv.json");
  for (const char c : document) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << "the document is not ASCII";
  const auto json = jsoncons::json::parse(document);
  const std::string installer = ReadFileBytes(Installer());
  unsigned char sha[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(installer.data()), installer.size(), sha);
  EXPECT_EQ(json.at("shortcut").as<bool>(), true);
  EXPECT_EQ(json.at("wrapper").as<std::string>(), "https://dl.example.com/corvida_setup.exe");
  EXPECT_EQ(json.at("checksum").as<std::uint64_t>(),
            crc32(0, reinterpret_cast<const Bytef*>(installer.data()), static_cast<uInt>(installer.size())));
  EXPECT_EQ(json.at("version").as<std::string>(), "2.1 \xc3\x9f");
  EXPECT_EQ(json.at("sha256").as<std::string>(), LowerHex(sha, sizeof sha));
  EXPECT_EQ(json.size(), 5u);

  const Ran verify = Verify();
  EXPECT_EQ(verify.exitCode, 0) << verify.output;

  std::vector<std::string> noShortcut = MakeArgs();
  noShortcut.push_back("--no-shortcut");
  ASSERT_EQ(Publish(noShortcut).exitCode, 0);
  EXPECT_EQ(jsoncons::json::parse(ReadFileBytes(Out() + "/cv.json")).at("shortcut").as<bool>(), false);
  EXPECT_EQ(Verify().exitCode, 0);
}

TEST_F(PublishTest, VerifyRefusesAChangedByteAndAnotherKey) {
  ASSERT_EQ(Publish(MakeArgs()).exitCode, 0);
  const std::string document = Out() + "/cv.json";
  const std::string signature = Out() + "/cv.json.sig";
  const std::string notSigned = "publish: " + signature + " is not a signature of " + document + " by this key\n";
  struct Case {
    std::string file;
    std::size_t offset;
    std::string message;
  };
  const std::vector<Case> cases = {
      {document, 20, notSigned},
      {signature, 10, notSigned},
      {Installer(), 150000, "publish: the CRC-32 of " + Installer() + " is "},
  };
  for (const auto& c : cases) {
    const std::string original = ReadFileBytes(c.file);
    std::string changed = original;
    // In the signature, one base64 letter for another, so that the text stays base64.
    changed[c.offset] = c.file == signature ? (changed[c.offset] == 'A' ? 'B' : 'A') : changed[c.offset] ^ 0x01;
    WriteFileBytes(c.file, changed);
    const Ran verify = Verify();
    EXPECT_EQ(verify.exitCode, 1) << c.file;
    EXPECT_EQ(verify.output.substr(0, c.message.size()), c.message) << c.file;
    EXPECT_EQ(std::count(verify.output.begin(), verify.output.end(), '\n'), 1) << verify.output;
    WriteFileBytes(c.file, original);
  }
  ASSERT_EQ(Verify().exitCode, 0);

  fs::create_directories(root_ / "other");
  ASSERT_EQ(Publish({"keygen", (root_ / "other").string()}).exitCode, 0);
  const Ran otherKey = Publish({"verify", "--pub", (root_ / "other/release-key.pub").string(), "--dir", Out()});
  EXPECT_EQ(otherKey.exitCode, 1);
  EXPECT_EQ(otherKey.output, notSigned);
}

TEST_F(PublishTest, RefusesBadInputWithOneLineAndLeavesNoFiles) {
  // A key of another curve, and a file that is no private key.
  const std::string p384 = (root_ / "p384.pem").string();
  {
    EVP_PKEY* key = EVP_EC_gen("P-384");
    FILE* file = fopen(p384.c_str(), "w");
    ASSERT_TRUE(key != nullptr && file != nullptr && PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr));
    fclose(file);
    EVP_PKEY_free(key);
  }
  struct Case {
    std::string option;
    std::string value;
    int exitCode;
    std::string message;
  };
  const std::string missing = (root_ / "missing").string();
  const std::vector<Case> cases = {
      {"--installer", missing, 1, "cannot read the installer " + missing + ": No such file or directory"},
      {"--installer", Out(), 1, "cannot read the installer " + Out() + ": Is a directory"},
      {"--url", "ftp://dl.example.com/x.exe", 1, "--url: not an http:// or https:// address"},
      {"--url", "https:///x.exe", 1, "--url: the address has no host name"},
      {"--version", "", 1, "--version: the version is empty"},
      {"--version", "1.\"2\"", 1, "--version: the version holds a double quote"},
      {"--version", "1.2\n", 1, "--version: the version holds the control character U+000A"},
      {"--version", "1\x7f", 1, "--version: the version holds the control character U+007F"},
      {"--version", "1.\xff", 1, "--version is not valid UTF-8"},
      {"--key", missing, 1, "cannot read the key " + missing + ": No such file or directory"},
      {"--key", Installer(), 1, "the key " + Installer() + " is not a PEM private key without a pass phrase"},
      {"--key", Pub(), 1, "the key " + Pub() + " is not a PEM private key without a pass phrase"},
      {"--key", p384, 1, "the key " + p384 + " is not usable: an elliptic-curve key of a curve other than P-256"},
      {"--out", missing, 1, "cannot write to the folder " + missing + ": No such file or directory"},
      {"--out", Installer(), 1, "cannot write to the folder " + Installer() + ": Not a directory"},
      {"--key", "", 2, "--key is missing (see publish --help)"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = MakeArgs();
    const auto it = std::find(args.begin(), args.end(), c.option);
    if (c.exitCode == 2) {
      args.erase(it, it + 2);
    } else {
      *(it + 1) = c.value;
    }
    const Ran make = Publish(args);
    EXPECT_EQ(make.exitCode, c.exitCode) << c.message;
    EXPECT_EQ(make.output, "publish: " + c.message + "\n");
    EXPECT_TRUE(Entries(Out()).empty()) << c.message;
  }
}

TEST_F(PublishTest, KeygenNeverReplacesAKey) {
  const std::string privateKey = ReadFileBytes(Key());
  const Ran again = Publish({"keygen", (root_ / "keys").string()});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_EQ(again.output, "publish: will not overwrite the existing file " + Key() + "\n");
  EXPECT_EQ(ReadFileBytes(Key()), privateKey);

  // Only the public key there: nothing is written either.
  fs::remove(Key());
  const Ran half = Publish({"keygen", (root_ / "keys").string()});
  EXPECT_EQ(half.exitCode, 1);
  EXPECT_EQ(half.output, "publish: will not overwrite the existing file " + Pub() + "\n");
  EXPECT_FALSE(fs::exists(Key()));
}

TEST(Publish, HelpNamesTheThreeCommands) {
  const Ran help = Publish({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* command : {"publish keygen DIR", "publish make --installer", "publish verify --pub"}) {
    EXPECT_NE(help.output.find(command), std::string::npos) << command;
  }
}

}  // namespace
}  // namespace cv::publish
