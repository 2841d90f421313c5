// Installer download and check: fetch "wrapper" into a new temporary file with the progress window
// up, then accept the file only when its CRC-32 equals "checksum". The checked file stays open, so
// that nothing can change or delete it before it has been started.
#include <urlmon.h>

#include <ctime>

#include "log/log.h"
#include "src/download_files.h"
#include "src/download_text.h"
#include "src/progress_callback.h"
#include "src/progress_window.h"
#include "src/stages.h"

namespace cv {
namespace {

// Ends the progress window when the download stage ends, on every path: the window never outlives
// the download, also when the platform never reported the end of the data.
struct ProgressWindowCloser {
  ProgressWindowCloser() = default;
  ProgressWindowCloser(const ProgressWindowCloser&) = delete;
  ProgressWindowCloser& operator=(const ProgressWindowCloser&) = delete;
  ~ProgressWindowCloser() {
    ClearDownloadTarget();
    CloseProgressWindow();
  }
};

}  // namespace

StageResult DownloadInstaller(const WrapperConfig& config, std::wstring& installerPath) {
  const ProgressWindowCloser closer;
  LOG(INFO) << "Downloading wrapper";
  installerPath = MakeInstallerTempPath();

  std::wstring wrapper;
  if (auto failure = ReadTextMember(config, "wrapper", wrapper)) return failure;
  if (installerPath.empty()) return Failure{FailureCode::InstallerDownloadFailed, DownloadFailedLine(installerPath)};
  const std::wstring installerUrl = AddCacheBuster(wrapper, std::time(nullptr));

  // The platform may keep the callback past the call; reference counting never frees it, so it
  // lives as long as the process.
  static CallbackHandler callback;
  SetDownloadTarget(installerPath);
  const HRESULT result =
      URLDownloadToFileW(nullptr, installerUrl.c_str(), installerPath.c_str(), 0, &callback);
  if (result != S_OK) return Failure{FailureCode::InstallerDownloadFailed, DownloadFailedLine(installerPath)};
  LOG(INFO) << DownloadedLine(installerPath);
  return std::nullopt;
}

StageResult VerifyInstaller(const WrapperConfig& config, const std::wstring& installerPath,
                            UniqueHandle& installerFile) {
  // Others may read the file, nobody may write or delete it while this handle is open.
  installerFile.reset(CreateFileW(installerPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!installerFile) return Failure{FailureCode::InstallerReadFailed, kInstallerOpenFailedLine};
  const auto crc = FileCrc32(installerFile.get());
  if (!crc) return Failure{FailureCode::InstallerReadFailed, kInstallerOpenFailedLine};

  std::uint32_t checksum = 0;
  if (auto failure = ReadUint32Member(config, "checksum", checksum)) return failure;
  if (*crc != checksum) return Failure{FailureCode::InstallerCorrupted, "Mismatch of the wrapper checksum"};
  LOG(INFO) << "Checksum is OK. Continue...";
  return std::nullopt;
}

}  // namespace cv
