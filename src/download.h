// The installer download's rules and texts: the cache-busting parameter with the platform runtime's
// pseudo-random generator, and the download's log lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cv {

// The linear congruential generator of the platform's C runtime (srand/rand), reproduced so that
// the parameter is the same on every platform and can be tested.
class RuntimeRandom {
 public:
  explicit RuntimeRandom(std::uint32_t seed) : state_(seed) {}
  // The next number, 0 to 32767.
  int Next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFFu);
  }

 private:
  std::uint32_t state_;
};

// `url` with the parameter rn appended: "&rn=" when the text holds a question mark anywhere, "?rn="
// otherwise, then the first number of the generator seeded with the low 32 bits of `secondsSince1970`.
// Nothing else in the text is changed, so two runs within one second ask for the same address.
std::wstring AddCacheBuster(std::wstring_view url, std::int64_t secondsSince1970);

// "Can't download wrapper to \"<path>\"" and "Wrapper successfully downloaded to \"<path>\"".
std::string DownloadFailedLine(std::wstring_view installerPath);
std::string DownloadedLine(std::wstring_view installerPath);

}  // namespace cv
