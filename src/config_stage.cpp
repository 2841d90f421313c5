// Configuration stage: fetch and parse the document, then take the "shortcut" setting from it.
#include "log/log.h"
#include "src/config_fetch.h"
#include "src/run_state.h"
#include "src/stages.h"

namespace cv {

StageResult ObtainConfig(WrapperConfig& config) {
  LOG(INFO) << "Downloading config file";
  std::wstring text;
  if (!FetchConfigText(text)) return Failure{FailureCode::ConfigDownloadFailed, "Can't download config file"};
  LOG(INFO) << "Config file has been downloaded successfully";

  LOG(INFO) << "Parsing config file";
  return ParseConfig(text, config);
}

StageResult ApplyShortcutSetting(const WrapperConfig& config) {
  return ReadBoolMember(config, "shortcut", runState.shortcutEnabled);
}

}  // namespace cv
