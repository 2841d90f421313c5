// What of the stub's own is left in the Windows directory's Temp folder, where its working folder lies.
#include <filesystem>

#include "tests/e2e/bench/bench.h"

namespace cv::bench {

std::vector<std::string> StubEntriesInWindowsTemp() {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(Wine::Get().Prefix() + "/drive_c/windows/temp", ignored)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("cv", 0) == 0) names.push_back(name);
  }
  return names;
}

}  // namespace cv::bench
