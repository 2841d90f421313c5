// osslsigncode runs as a child process with its output collected; the pass phrase reaches it
// through a pipe that it reads as a file (-readpass /dev/fd/3), so that it is never in an argument
// list, which every user of the machine can read (ps), nor in a file on disk.
#include "tools/publish/stub_signing.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "src/signature.h"
#include "tools/publish/crypto.h"
#include "tools/publish/publish_error.h"

extern char** environ;

namespace cv::publish {
namespace {

constexpr char kTool[] = "osslsigncode";
// The descriptor on which the child finds the pass phrase.
constexpr int kPassPhraseFd = 3;

struct ToolRun {
  int status = -1;     // exit status; -1 when it did not end normally
  std::string output;  // standard output and standard error
};

// Runs osslsigncode with `args`; `passPhrase`, when given, waits on descriptor 3 of the child.
ToolRun RunTool(const std::vector<std::string>& args, const std::optional<std::string>& passPhrase) {
  int output[2];
  int phrase[2] = {-1, -1};
  if (pipe2(output, O_CLOEXEC) != 0) throw PublishError(std::string("cannot make a pipe: ") + std::strerror(errno));
  UniqueFd outputRead(output[0]);
  UniqueFd outputWrite(output[1]);
  if (passPhrase) {
    if (pipe2(phrase, O_CLOEXEC) != 0) throw PublishError(std::string("cannot make a pipe: ") + std::strerror(errno));
    // A pass phrase fits into the pipe's buffer: written in full before the child starts.
    UniqueFd phraseWrite(phrase[1]);
    if (passPhrase->size() > 4096 ||
        write(phrase[1], passPhrase->data(), passPhrase->size()) != static_cast<ssize_t>(passPhrase->size())) {
      close(phrase[0]);
      throw PublishError("cannot hand the pass phrase to " + std::string(kTool));
    }
  }
  UniqueFd phraseRead(phrase[0]);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDERR_FILENO);
  if (passPhrase) posix_spawn_file_actions_adddup2(&actions, phrase[0], kPassPhraseFd);
  std::vector<std::string> command = {kTool};
  command.insert(command.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : command) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, kTool, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    throw PublishError(std::string("cannot run ") + kTool + ": " + std::strerror(spawned) +
                       " (tools/setup.sh installs it)");
  }
  outputWrite.reset();
  phraseRead.reset();
  ToolRun run;
  char piece[4096];
  for (;;) {
    const ssize_t got = read(output[0], piece, sizeof piece);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    run.output.append(piece, static_cast<std::size_t>(got));
  }
  int raw = 0;
  while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    const std::size_t first = line.find_first_not_of(" \t\r");
    const std::size_t last = line.find_last_not_of(" \t\r");
    if (first != std::string::npos) lines.push_back(line.substr(first, last - first + 1));
    start = end + 1;
  }
  return lines;
}

// Why osslsigncode refused, from its output: the known reasons in order of weight (its standard
// output and standard error interleave in no fixed order), else its last line.
std::string FailureReason(const std::string& output) {
  const std::vector<std::string> lines = Lines(output);
  const std::pair<const char*, const char*> kReasons[] = {
      {"MISMATCH", "the file was changed after it was signed"},
      {"Unable to extract existing signature", "the file is not signed"},
      {"mac verify failure", "the pass phrase does not open the key"},
      {"bad decrypt", "the pass phrase does not open the key"},
      {"Signature verification: failed",
       "the signature or its certificate chain does not verify against the trusted CA certificates"},
  };
  for (const auto& [mark, reason] : kReasons) {
    for (const std::string& line : lines) {
      if (line.find(mark) != std::string::npos) return reason;
    }
  }
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    if (*it != "Failed") return *it;
  }
  return "no output";
}

std::string FileSha256(const std::string& path) {
  const InstallerDigest digest = DigestInstaller(path);
  return LowerHex(digest.sha256.data(), digest.sha256.size());
}

}  // namespace

std::string SignStub(const StubSigningInput& input) {
  std::vector<std::string> args = {"sign", "-h", "sha256"};
  if (!input.pkcs12Path.empty()) {
    if (!input.certificatePath.empty() || !input.keyPath.empty()) {
      throw PublishError("give either --pkcs12 or --cert with --key, not both");
    }
    WarnIfOthersCanReadKey(input.pkcs12Path);
    args.insert(args.end(), {"-pkcs12", input.pkcs12Path});
  } else if (!input.certificatePath.empty() && !input.keyPath.empty()) {
    WarnIfOthersCanReadKey(input.keyPath);
    args.insert(args.end(), {"-certs", input.certificatePath, "-key", input.keyPath});
  } else {
    throw PublishError("give the code-signing certificate: --cert with --key (PEM), or --pkcs12");
  }
  const std::optional<std::string> passPhrase = ReadPassPhrase(input.passPhrase);
  if (passPhrase) args.insert(args.end(), {"-readpass", "/dev/fd/" + std::to_string(kPassPhraseFd)});
  if (!input.description.empty()) args.insert(args.end(), {"-n", input.description});
  if (!input.url.empty()) args.insert(args.end(), {"-i", input.url});
  if (!input.timestampUrl.empty()) args.insert(args.end(), {"-ts", input.timestampUrl});

  struct stat info {};
  if (stat(input.stubPath.c_str(), &info) != 0) {
    throw PublishError("cannot read the stub " + input.stubPath + ": " + std::strerror(errno));
  }
  if (!S_ISREG(info.st_mode)) throw PublishError("cannot read the stub " + input.stubPath + ": not a file");
  const std::string outPath = input.outPath.empty() ? input.stubPath : input.outPath;
  // osslsigncode writes beside the result (its folder made when missing); the result appears
  // complete or not at all.
  const std::size_t slash = outPath.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : outPath.substr(0, slash == 0 ? 1 : slash);
  MakeFolders(folder, 0777);
  std::string temporary = folder + "/.cv_setup.signing.XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) throw PublishError("cannot write to the folder " + folder + ": " + std::strerror(errno));
  close(fd);
  unlink(temporary.c_str());
  args.insert(args.end(), {"-in", input.stubPath, "-out", temporary});
  const ToolRun run = RunTool(args, passPhrase);
  if (run.status != 0) {
    unlink(temporary.c_str());
    throw PublishError(std::string(kTool) + " could not sign " + input.stubPath + ": " + FailureReason(run.output));
  }
  if (chmod(temporary.c_str(), info.st_mode & 0777) != 0 || rename(temporary.c_str(), outPath.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    throw PublishError("cannot move the signed stub into place as " + outPath + ": " + std::strerror(error));
  }
  return FileSha256(outPath);
}

VerifiedStub VerifyStub(const std::string& stubPath, const std::string& caPath) {
  if (access(stubPath.c_str(), R_OK) != 0) {
    throw PublishError("cannot read the stub " + stubPath + ": " + std::strerror(errno));
  }
  std::vector<std::string> args = {"verify", "-in", stubPath};
  if (!caPath.empty()) args.insert(args.end(), {"-CAfile", caPath});
  const ToolRun run = RunTool(args, std::nullopt);
  if (run.status != 0) {
    throw PublishError(stubPath + ": the Authenticode signature does not verify: " + FailureReason(run.output));
  }
  VerifiedStub verified;
  // The signer's certificate comes first in the report; the chain that follows repeats it.
  bool signer = false;
  for (const std::string& line : Lines(run.output)) {
    if (line.rfind("Subject:", 0) == 0 && !signer) verified.details.push_back("signer " + line.substr(9));
    if (line.rfind("Issuer :", 0) == 0 && !signer) {
      verified.details.push_back("issued by " + line.substr(9));
      signer = true;
    }
    if (line.rfind("Signing time:", 0) == 0) verified.details.push_back(line);
    if (line.rfind("Timestamp", 0) == 0 || line.rfind("Signature verification:", 0) == 0) {
      verified.details.push_back(line);
    }
  }
  verified.sha256 = FileSha256(stubPath);
  return verified;
}

}  // namespace cv::publish
