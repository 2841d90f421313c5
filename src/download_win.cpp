// Installer download: fetch "wrapper" into a new file of the temporary folder through the platform's
// URL download service, with the progress window following the transfer and closed on every way out.
#include <urlmon.h>

#include <ctime>

#include "base/folders_win.h"
#include "log/log.h"
#include "src/download.h"
#include "src/progress_win.h"
#include "src/stages.h"

namespace cv {
namespace {

// A new unique name in the user's temporary folder (cv<hex>.tmp, which the platform creates empty
// and which stays behind) with ".exe" appended. Empty when the platform cannot give one.
std::wstring MakeInstallerTempPath() {
  const std::wstring folder = TempFolder();
  // The platform's unique name takes a folder of at most MAX_PATH - 14 characters.
  if (folder.empty() || folder.size() > MAX_PATH - 14) return std::wstring();
  wchar_t path[MAX_PATH] = {};
  if (GetTempFileNameW(folder.c_str(), L"cv", 0, path) == 0) return std::wstring();
  return std::wstring(path) + L".exe";
}

// Ends the progress window when the download stage ends, on every path: the window never outlives
// the download, also when the platform never reported the end of the data.
class ProgressWindowCloser {
 public:
  explicit ProgressWindowCloser(RunState& state) : state_(state) {}
  ProgressWindowCloser(const ProgressWindowCloser&) = delete;
  ProgressWindowCloser& operator=(const ProgressWindowCloser&) = delete;
  ~ProgressWindowCloser() {
    ClearDownloadTarget(state_);
    CloseProgressWindow(state_);
  }

 private:
  RunState& state_;
};

}  // namespace

StageResult DownloadInstaller(const WrapperConfig& config, RunState& state, std::wstring& installerPath) {
  const ProgressWindowCloser closer(state);
  LOG(INFO) << "Downloading wrapper";
  installerPath = MakeInstallerTempPath();

  std::wstring wrapper;
  if (auto failure = ReadWrapperMember(config, wrapper)) return failure;
  if (installerPath.empty()) return Failure{FailureCode::InstallerDownloadFailed, DownloadFailedLine(installerPath)};
  const std::wstring installerUrl = AddCacheBuster(wrapper, std::time(nullptr));

  // The platform may keep the callback past the call; reference counting never frees it, so it
  // lives as long as the process.
  static CallbackHandler callback(state);
  SetDownloadTarget(state, installerPath);
  const HRESULT result =
      URLDownloadToFileW(nullptr, installerUrl.c_str(), installerPath.c_str(), 0, &callback);
  if (result != S_OK) return Failure{FailureCode::InstallerDownloadFailed, DownloadFailedLine(installerPath)};
  LOG(INFO) << DownloadedLine(installerPath);
  return std::nullopt;
}

}  // namespace cv
