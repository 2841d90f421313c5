// Files of publish: reading a whole file, creating a file that must not exist yet (the key pair),
// and writing a release file under a temporary name that is renamed into place only when complete.
#pragma once

#include <sys/types.h>

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

 private:
  int fd_;
};

// The bytes of `path`; `what` names the file in the error ("the key", "the signature").
std::string ReadWholeFile(const std::string& path, const std::string& what);

// Creates `path` with `mode`, never over an existing file, and writes `bytes` into it; a file that
// could not be written completely is removed again.
void WriteNewFile(const std::string& path, std::string_view bytes, mode_t mode);

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
