// publish: makes the release key pair, writes a signed configuration document (cv.json and
// cv.json.sig) for an installer, and checks a release as the stub will. Errors end with one line on
// standard error and exit value 1 (2 for a wrong command line).
#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tools/publish/publish_error.h"
#include "tools/publish/release.h"

namespace {

constexpr char kUsage[] =
    "usage:\n"
    "  publish keygen DIR\n"
    "      new ECDSA P-256 key pair: DIR/release-key.pem (private, mode 0600) and DIR/release-key.pub\n"
    "  publish make --installer FILE --url URL --version TEXT [--no-shortcut] --key PEM --out DIR\n"
    "      writes DIR/cv.json (shortcut, wrapper, checksum, version, sha256) and its signature\n"
    "      DIR/cv.json.sig\n"
    "  publish verify --pub PUB --dir DIR [--installer FILE]\n"
    "      checks DIR/cv.json against its signature and, with --installer, the file's CRC-32 and SHA-256\n"
    "  publish --help\n";

// A wrong command line.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The options of one command: "--name value" pairs and flags, each given at most once.
class Options {
 public:
  Options(const std::vector<std::string>& args, const std::set<std::string>& valued,
          const std::set<std::string>& flags) {
    for (std::size_t i = 0; i < args.size(); ++i) {
      const std::string& name = args[i];
      if (values_.count(name) != 0 || flags_.count(name) != 0) throw UsageError(name + " is given twice");
      if (flags.count(name) != 0) {
        flags_.insert(name);
      } else if (valued.count(name) != 0) {
        if (i + 1 == args.size()) throw UsageError(name + " needs a value");
        values_[name] = args[++i];
      } else {
        throw UsageError("unknown argument " + name);
      }
    }
  }
  const std::string& Required(const std::string& name) const {
    const auto it = values_.find(name);
    if (it == values_.end()) throw UsageError(name + " is missing");
    return it->second;
  }
  std::optional<std::string> Optional(const std::string& name) const {
    const auto it = values_.find(name);
    return it == values_.end() ? std::nullopt : std::optional<std::string>(it->second);
  }
  bool Flag(const std::string& name) const { return flags_.count(name) != 0; }

 private:
  std::map<std::string, std::string> values_;
  std::set<std::string> flags_;
};

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
    if (rest.size() != 1) throw UsageError("keygen takes one folder");
    MakeKeyPair(rest[0]);
    std::printf("wrote %s/%s and %s/%s\n", rest[0].c_str(), kPrivateKeyName, rest[0].c_str(), kPublicKeyName);
    return 0;
  }
  if (command == "make") {
    const Options options(rest, {"--installer", "--url", "--version", "--key", "--out"}, {"--no-shortcut"});
    ReleaseInput input;
    input.installerPath = options.Required("--installer");
    input.url = options.Required("--url");
    input.version = options.Required("--version");
    input.shortcut = !options.Flag("--no-shortcut");
    input.privateKeyPath = options.Required("--key");
    input.outFolder = options.Required("--out");
    MakeRelease(input);
    std::printf("wrote %s/%s and %s/%s\n", input.outFolder.c_str(), kDocumentName, input.outFolder.c_str(),
                kSignatureName);
    return 0;
  }
  if (command == "verify") {
    const Options options(rest, {"--pub", "--dir", "--installer"}, {});
    const auto installer = options.Optional("--installer");
    CheckRelease(options.Required("--pub"), options.Required("--dir"), installer);
    std::printf("%s/%s: the signature and the members are good%s\n", options.Required("--dir").c_str(),
                kDocumentName, installer ? ", and so is the installer" : "");
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
