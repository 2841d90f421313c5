// Files of publish: reading a whole file, creating a file that must not exist yet (the key pair) and
// the folders it goes into, writing a release file under a temporary name that is renamed into place
// only when complete, the warning about a private key others can read, and pass phrases.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace cv::publish {

// An open file descriptor, closed when the owner ends.
class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  // Closes the descriptor now.
  void reset();

 private:
  int fd_;
};

// The bytes of `path`; `what` names the file in the error ("the key", "the signature").
std::string ReadWholeFile(const std::string& path, const std::string& what);

// Creates `path` with `mode`, never over an existing file, and writes `bytes` into it; a file that
// could not be written completely is removed again.
void WriteNewFile(const std::string& path, std::string_view bytes, mode_t mode);

// Creates `folder` and any missing folder above it, each with `mode` (for the folder itself) or 0777
// (above it), less the umask. An existing folder is left as it is.
void MakeFolders(const std::string& folder, mode_t mode);

// Writes a warning to standard error when the private key `path` may be read or written by anyone
// but its owner (as ssh does), with the command that mends it.
void WarnIfOthersCanReadKey(const std::string& path);

// Where a pass phrase comes from: a file (its first line) or an environment variable, never the
// command line, which every user of the machine can see.
struct PassPhraseSource {
  std::string file;         // empty: none
  std::string environment;  // the variable's name; empty: none
};
// The pass phrase, or nothing when no source is given; a source that is unreadable, unset or empty
// is an error.
std::optional<std::string> ReadPassPhrase(const PassPhraseSource& source);

// `bytes` written and flushed to a temporary file in `folder`; the file is removed when the owner
// ends unless it was moved into place.
class PendingFile {
 public:
  PendingFile(const std::string& folder, const std::string& name, std::string_view bytes);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Renames the file to its final name in the folder, replacing what was there.
  void MoveIntoPlace();

 private:
  std::string tempPath_;
  std::string finalPath_;
  bool moved_ = false;
};

}  // namespace cv::publish
