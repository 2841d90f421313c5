// Installer launch and outcome: not built yet, so the installer cannot be started.
#include "src/stages.h"

namespace cv {

StageResult RunInstaller(const WrapperConfig&, const std::wstring&, UniqueHandle, std::wstring_view,
                         DWORD&) {
  return Failure{FailureCode::InstallerLaunchFailed, "Failed to launch installer. Error code 0"};
}

}  // namespace cv
