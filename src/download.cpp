// The private folder's name, the cache-busting parameter and the download's log lines.
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

std::string DeletedLine(std::wstring_view path) { return "\"" + Narrow(path) + "\" deleted"; }

std::string StalledDownloadLine() {
  return "No installer data for " + std::to_string(kStallLimitSeconds) + " s: download stopped";
}

bool ExceedsInstallerSize(std::uint32_t statusCode, std::uint64_t received, std::uint64_t announced,
                          std::uint64_t size) {
  const bool dataStatus = statusCode == kStatusBeginDownloadData || statusCode == kStatusDownloadingData ||
                          statusCode == kStatusEndDownloadData;
  return dataStatus && (received > size || announced > size);
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
