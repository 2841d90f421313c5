// Installer download and check: not built yet, so no installer can be obtained.
#include "log/log.h"
#include "src/stages.h"

namespace cv {

StageResult DownloadInstaller(const WrapperConfig&, std::wstring&) {
  LOG(INFO) << "Downloading wrapper";
  return Failure{FailureCode::InstallerDownloadFailed, "Can't download wrapper to \"\""};
}

StageResult VerifyInstaller(const WrapperConfig&, const std::wstring&, UniqueHandle&) {
  return Failure{FailureCode::InstallerCorrupted, "Mismatch of the wrapper checksum"};
}

}  // namespace cv
