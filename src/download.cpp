// The cache-busting parameter and the download's log lines.
#include "src/download.h"

#include "log/log.h"

namespace cv {

std::wstring AddCacheBuster(std::wstring_view url, std::int64_t secondsSince1970) {
  RuntimeRandom random(static_cast<std::uint32_t>(static_cast<std::uint64_t>(secondsSince1970)));
  std::wstring result(url);
  result += url.find(L'?') != std::wstring_view::npos ? L"&rn=" : L"?rn=";
  result += std::to_wstring(random.Next());
  return result;
}

std::string DownloadFailedLine(std::wstring_view installerPath) {
  return "Can't download wrapper to \"" + Narrow(installerPath) + "\"";
}

std::string DownloadedLine(std::wstring_view installerPath) {
  return "Wrapper successfully downloaded to \"" + Narrow(installerPath) + "\"";
}

}  // namespace cv
