// POSIX file calls of publish. Errors name the file and the system's reason.
#include "tools/publish/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/publish/publish_error.h"

namespace cv::publish {
namespace {

std::string Reason(int error) { return std::strerror(error); }

// Writes all of `bytes`; false with errno set when the system refused.
bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

UniqueFd::~UniqueFd() { reset(); }

void UniqueFd::reset() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

std::string ReadWholeFile(const std::string& path, const std::string& what) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) throw PublishError("cannot read " + what + " " + path + ": " + Reason(errno));
  std::string bytes;
  char piece[65536];
  for (;;) {
    const ssize_t got = read(fd.get(), piece, sizeof piece);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw PublishError("cannot read " + what + " " + path + ": " + Reason(errno));
    if (got == 0) return bytes;
    bytes.append(piece, static_cast<std::size_t>(got));
  }
}

void WriteNewFile(const std::string& path, std::string_view bytes, mode_t mode) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) {
    if (errno == EEXIST) throw PublishError("will not overwrite the existing file " + path);
    throw PublishError("cannot create " + path + ": " + Reason(errno));
  }
  UniqueFd owner(fd);
  if (!WriteAll(fd, bytes) || fsync(fd) != 0) {
    const int error = errno;
    unlink(path.c_str());
    throw PublishError("cannot write " + path + ": " + Reason(error));
  }
}

void MakeFolders(const std::string& folder, mode_t mode) {
  struct stat info {};
  if (stat(folder.c_str(), &info) == 0) {
    if (!S_ISDIR(info.st_mode)) throw PublishError("cannot write to the folder " + folder + ": Not a directory");
    return;
  }
  std::string parent = folder;
  while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  const std::size_t slash = parent.rfind('/');
  if (slash != std::string::npos && slash > 0) MakeFolders(parent.substr(0, slash), 0777);
  if (mkdir(folder.c_str(), mode) != 0 && errno != EEXIST) {
    throw PublishError("cannot create the folder " + folder + ": " + Reason(errno));
  }
}

void WarnIfOthersCanReadKey(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || (info.st_mode & 0077) == 0) return;
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
  std::fprintf(stderr, "publish: warning: the private key %s has mode %s, so others can read it; chmod 600 %s\n",
               path.c_str(), mode, path.c_str());
}

std::optional<std::string> ReadPassPhrase(const PassPhraseSource& source) {
  std::string text;
  std::string where;
  if (!source.file.empty()) {
    text = ReadWholeFile(source.file, "the pass phrase file");
    text = text.substr(0, text.find('\n'));
    if (!text.empty() && text.back() == '\r') text.pop_back();
    where = "the pass phrase file " + source.file;
  } else if (!source.environment.empty()) {
    const char* value = std::getenv(source.environment.c_str());
    if (value == nullptr) throw PublishError("the environment variable " + source.environment + " is not set");
    text = value;
    where = "the environment variable " + source.environment;
  } else {
    return std::nullopt;
  }
  if (text.empty()) throw PublishError(where + " holds an empty pass phrase");
  return text;
}

PendingFile::PendingFile(const std::string& folder, const std::string& name, std::string_view bytes)
    : finalPath_(folder + "/" + name) {
  std::string pattern = folder + "/." + name + ".XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) throw PublishError("cannot write to the folder " + folder + ": " + Reason(errno));
  tempPath_ = pattern;
  UniqueFd owner(fd);
  // Published files are read by the web server, so everyone may read them (mkstemp makes them private).
  if (fchmod(fd, 0644) != 0 || !WriteAll(fd, bytes) || fsync(fd) != 0) {
    const int error = errno;
    unlink(tempPath_.c_str());
    tempPath_.clear();
    throw PublishError("cannot write to the folder " + folder + ": " + Reason(error));
  }
}

PendingFile::~PendingFile() {
  if (!moved_ && !tempPath_.empty()) unlink(tempPath_.c_str());
}

void PendingFile::MoveIntoPlace() {
  if (rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
    throw PublishError("cannot move the new file into place as " + finalPath_ + ": " + Reason(errno));
  }
  moved_ = true;
}

}  // namespace cv::publish
