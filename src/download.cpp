// The private folder's name and refusal line, the cache-busting parameter and the download's log
// lines.
#include "src/download.h"

#include "log/log.h"
#include "src/progress.h"

namespace cv {

std::wstring AddCacheBuster(std::wstring_view url, std::int64_t secondsSince1970) {
  RuntimeRandom random(static_cast<std::uint32_t>(static_cast<std::uint64_t>(secondsSince1970)));
  std::wstring result(url);
  result += url.find(L'?') != std::wstring_view::npos ? L"&rn=" : L"?rn=";
  // Through the narrow digits: the wide conversion would bring the runtime's wide printf into the stub.
  const std::string digits = std::to_string(random.Next());
  result.append(digits.begin(), digits.end());
  return result;
}

std::wstring InstallerFolderName(std::uint64_t random) {
  static constexpr wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring name = L"cv";
  for (int shift = 60; shift >= 0; shift -= 4) name.push_back(kDigits[(random >> shift) & 0xF]);
  return name;
}

std::string WorkingFolderRefusedLine(WorkingFolderProblem problem, std::wstring_view folder,
                                     unsigned long error) {
  std::string line = "Working folder \"" + Narrow(folder) + "\" refused: ";
  switch (problem) {
    case WorkingFolderProblem::NotMade: return line + "it cannot be made. Error code " + std::to_string(error);
    case WorkingFolderProblem::NoAccessLists: return line + "its volume keeps no access lists";
    case WorkingFolderProblem::RemoteVolume: return line + "it lies on a network volume";
  }
  return line;
}

std::string DeletedLine(std::wstring_view path) { return "\"" + Narrow(path) + "\" deleted"; }

std::string StalledDownloadLine() {
  return "No installer data for " + std::to_string(kStallLimitSeconds) + " s: download stopped";
}

bool ExceedsInstallerSize(std::uint64_t received, std::uint64_t announced, std::uint64_t size) {
  return received > size || announced > size;
}

std::string OversizedDownloadLine(std::uint64_t size) {
  return "More than the installer's size of " + std::to_string(size) + " bytes: download stopped";
}

std::string DownloadFailedLine(std::wstring_view installerPath) {
  return "Can't download wrapper to \"" + Narrow(installerPath) + "\"";
}

std::string DownloadedLine(std::wstring_view installerPath) {
  return "Wrapper successfully downloaded to \"" + Narrow(installerPath) + "\"";
}

}  // namespace cv
