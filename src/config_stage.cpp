// Configuration stage: not built yet, so the run cannot obtain its configuration.
#include "log/log.h"
#include "src/stages.h"

namespace cv {

StageResult ObtainConfig(WrapperConfig&) {
  LOG(INFO) << "Downloading config file";
  return Failure{FailureCode::ConfigDownloadFailed, "Can't download config file"};
}

StageResult ApplyShortcutSetting(const WrapperConfig&) {
  return Failure{FailureCode::ConfigParseFailed, "Error parsing file. Error: not available"};
}

}  // namespace cv
