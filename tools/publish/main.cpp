// publish: the release engineer's tool. Makes the release key pair, writes a signed configuration
// document (cv.json and cv.json.sig) for an installer, signs it again with a new expiry, checks a
// release as the stub will, and signs and checks the stub itself (Authenticode). Errors end with
// one line on standard error and exit value 1 (2 for a wrong command line).
#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tools/publish/publish_error.h"
#include "tools/publish/release.h"
#include "tools/publish/stub_signing.h"

namespace {

constexpr char kUsage[] =
    "usage:\n"
    "  publish keygen DIR [PASS]\n"
    "      new ECDSA P-256 key pair: DIR/release-key.pem (private, mode 0600; encrypted with PASS when\n"
    "      given) and DIR/release-key.pub; DIR is made (mode 0700) when missing\n"
    "  publish make --installer FILE --url URL --version TEXT [--no-shortcut] --key PEM [--key PEM]...\n"
    "               [--valid-for 30d] [PASS] --out DIR\n"
    "      writes DIR/cv.json (shortcut, wrapper, checksum, version, sha256, size, expires) and its\n"
    "      signature file DIR/cv.json.sig, one line per key\n"
    "  publish refresh --dir DIR --key PEM [--key PEM]... [--valid-for 30d] [PASS]\n"
    "      signs the release in DIR again with a new \"expires\", everything else unchanged\n"
    "  publish verify --pub PUB --dir DIR [--installer FILE]\n"
    "      checks DIR/cv.json against its signature with the keys of PUB, its members and its expiry\n"
    "      and, with --installer, the file's size, CRC-32 and SHA-256\n"
    "  publish sign-stub --stub EXE [--out EXE] (--cert PEM --key PEM | --pkcs12 FILE) [PASS]\n"
    "                    [--timestamp URL] [--description TEXT] [--url URL]\n"
    "      signs the stub with Authenticode (osslsigncode) and prints its SHA-256\n"
    "  publish verify-stub --stub EXE [--ca PEM]\n"
    "      checks the stub's Authenticode signature (against the CA certificates of PEM, else the\n"
    "      system's) and prints its signer and SHA-256\n"
    "  publish --help\n"
    "PASS, a pass phrase for the keys: --pass-file FILE (its first line) or --pass-env VARIABLE,\n"
    "never the pass phrase itself on the command line.\n"
    "--valid-for: whole days or hours, such as 30d (the default) or 36h.\n";

// A wrong command line.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The options of one command: "--name value" pairs and flags, each given at most once unless it
// may repeat, and the words that are no option.
class Options {
 public:
  Options(const std::vector<std::string>& args, const std::set<std::string>& valued,
          const std::set<std::string>& flags, const std::set<std::string>& repeated = {}) {
    for (std::size_t i = 0; i < args.size(); ++i) {
      const std::string& name = args[i];
      if (name.rfind("--", 0) != 0) {
        words_.push_back(name);
        continue;
      }
      if ((values_.count(name) != 0 && repeated.count(name) == 0) || flags_.count(name) != 0) {
        throw UsageError(name + " is given twice");
      }
      if (flags.count(name) != 0) {
        flags_.insert(name);
      } else if (valued.count(name) != 0 || repeated.count(name) != 0) {
        if (i + 1 == args.size()) throw UsageError(name + " needs a value");
        values_[name].push_back(args[++i]);
      } else {
        throw UsageError("unknown argument " + name);
      }
    }
  }
  std::string Required(const std::string& name) const { return All(name, true).front(); }
  std::string Optional(const std::string& name) const {
    const auto it = values_.find(name);
    return it == values_.end() ? std::string() : it->second.front();
  }
  // Every value of an option that may repeat; at least one when required.
  std::vector<std::string> All(const std::string& name, bool required) const {
    const auto it = values_.find(name);
    if (it == values_.end()) {
      if (required) throw UsageError(name + " is missing");
      return {};
    }
    return it->second;
  }
  bool Flag(const std::string& name) const { return flags_.count(name) != 0; }
  const std::vector<std::string>& Words() const { return words_; }

  cv::publish::PassPhraseSource PassPhrase() const {
    cv::publish::PassPhraseSource source{Optional("--pass-file"), Optional("--pass-env")};
    if (!source.file.empty() && !source.environment.empty()) {
      throw UsageError("give the pass phrase once: --pass-file or --pass-env");
    }
    return source;
  }
  std::int64_t ValidFor() const {
    const std::string text = Optional("--valid-for");
    return text.empty() ? cv::publish::kDefaultValidSeconds : cv::publish::ParseValidFor(text);
  }
  void RequireNoWords() const {
    if (!words_.empty()) throw UsageError("unknown argument " + words_.front());
  }

 private:
  std::map<std::string, std::vector<std::string>> values_;
  std::set<std::string> flags_;
  std::vector<std::string> words_;
};

const std::set<std::string> kPassOptions = {"--pass-file", "--pass-env"};

std::set<std::string> With(std::set<std::string> names, const std::set<std::string>& more) {
  names.insert(more.begin(), more.end());
  return names;
}

int Run(const std::vector<std::string>& args) {
  using namespace cv::publish;
  if (args.empty()) throw UsageError("no command");
  const std::string& command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "keygen") {
    const Options options(rest, kPassOptions, {});
    if (options.Words().size() != 1) throw UsageError("keygen takes one folder");
    const std::string& folder = options.Words()[0];
    const PassPhraseSource passPhrase = options.PassPhrase();
    MakeKeyPair(folder, passPhrase);
    const bool encrypted = !passPhrase.file.empty() || !passPhrase.environment.empty();
    std::printf("wrote %s/%s%s and %s/%s\n", folder.c_str(), kPrivateKeyName, encrypted ? " (encrypted)" : "",
                folder.c_str(), kPublicKeyName);
    return 0;
  }
  if (command == "make") {
    const Options options(rest, With({"--installer", "--url", "--version", "--out", "--valid-for"}, kPassOptions),
                          {"--no-shortcut"}, {"--key"});
    options.RequireNoWords();
    ReleaseInput input;
    input.installerPath = options.Required("--installer");
    input.url = options.Required("--url");
    input.version = options.Required("--version");
    input.shortcut = !options.Flag("--no-shortcut");
    input.keys = SigningKeys{options.All("--key", true), options.PassPhrase()};
    input.outFolder = options.Required("--out");
    input.validSeconds = options.ValidFor();
    const std::string expires = MakeRelease(input);
    std::printf("wrote %s/%s and %s/%s (%zu signature%s); the release expires at %s\n", input.outFolder.c_str(),
                kDocumentName, input.outFolder.c_str(), kSignatureName, input.keys.privateKeyPaths.size(),
                input.keys.privateKeyPaths.size() == 1 ? "" : "s", expires.c_str());
    return 0;
  }
  if (command == "refresh") {
    const Options options(rest, With({"--dir", "--valid-for"}, kPassOptions), {}, {"--key"});
    options.RequireNoWords();
    const std::string folder = options.Required("--dir");
    const std::string expires =
        RefreshRelease(folder, SigningKeys{options.All("--key", true), options.PassPhrase()}, options.ValidFor());
    std::printf("signed %s/%s again; the release now expires at %s\n", folder.c_str(), kDocumentName, expires.c_str());
    return 0;
  }
  if (command == "verify") {
    const Options options(rest, {"--pub", "--dir", "--installer"}, {});
    options.RequireNoWords();
    const std::string installer = options.Optional("--installer");
    const CheckedRelease checked =
        CheckRelease(options.Required("--pub"), options.Required("--dir"),
                     installer.empty() ? std::nullopt : std::optional<std::string>(installer));
    std::printf("%s/%s: the signature (line %zu, key %zu) and the members are good%s; it expires at %s\n",
                options.Required("--dir").c_str(), kDocumentName, checked.signatureLine, checked.key,
                installer.empty() ? "" : ", and so is the installer", checked.expires.c_str());
    return 0;
  }
  if (command == "sign-stub") {
    const Options options(rest,
                          With({"--stub", "--out", "--cert", "--key", "--pkcs12", "--timestamp", "--description",
                                "--url"},
                               kPassOptions),
                          {});
    options.RequireNoWords();
    StubSigningInput input;
    input.stubPath = options.Required("--stub");
    input.outPath = options.Optional("--out");
    input.certificatePath = options.Optional("--cert");
    input.keyPath = options.Optional("--key");
    input.pkcs12Path = options.Optional("--pkcs12");
    input.passPhrase = options.PassPhrase();
    input.timestampUrl = options.Optional("--timestamp");
    input.description = options.Optional("--description");
    input.url = options.Optional("--url");
    const std::string sha256 = SignStub(input);
    const std::string& signedPath = input.outPath.empty() ? input.stubPath : input.outPath;
    std::printf("signed %s\nSHA-256 %s  %s\n", signedPath.c_str(), sha256.c_str(), signedPath.c_str());
    return 0;
  }
  if (command == "verify-stub") {
    const Options options(rest, {"--stub", "--ca"}, {});
    options.RequireNoWords();
    const std::string stub = options.Required("--stub");
    const VerifiedStub verified = VerifyStub(stub, options.Optional("--ca"));
    std::printf("%s: the Authenticode signature is good\n", stub.c_str());
    for (const std::string& detail : verified.details) std::printf("  %s\n", detail.c_str());
    std::printf("SHA-256 %s  %s\n", verified.sha256.c_str(), stub.c_str());
    return 0;
  }
  throw UsageError("unknown command " + command);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& error) {
    std::fprintf(stderr, "publish: %s (see publish --help)\n", error.what());
    return 2;
  } catch (const cv::publish::PublishError& error) {
    std::fprintf(stderr, "publish: %s\n", error.what());
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "publish: unexpected failure: %s\n", error.what());
    return 1;
  }
}
