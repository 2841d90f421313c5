// Configuration stage: fetch the document with one WinHttpClient request, parse it, and take the
// "shortcut" setting from it.
#include "http/winhttp_client.h"
#include "log/log.h"
#include "src/build_settings.h"
#include "src/stages.h"

namespace cv {
namespace {

// GETs the configuration address. True with the decoded body in `text` when the client counts the
// response as complete, whatever its HTTP status; false otherwise. An https:// address must present
// a valid certificate: the document decides what the stub downloads and runs.
bool FetchConfigText(std::wstring& text) {
  WinHttpClient client(kConfigUrl);
  client.SetRequireValidCertificate(true);
  client.SetTimeouts(0, kExchangeTimes.connectTimeout, kExchangeTimes.sendTimeout, kExchangeTimes.receiveTimeout);
  client.SetAttemptDeadline(kExchangeTimes.attemptDeadline);
  client.SetBodyLimit(kMaxConfigDocumentBytes);
  if (!client.Execute(L"GET")) return false;
  text = client.ResponseText();
  return true;
}

}  // namespace

StageResult ObtainConfig(WrapperConfig& config) {
  LOG(INFO) << "Downloading config file";
  std::wstring text;
  if (!FetchConfigText(text)) return Failure{FailureCode::ConfigDownloadFailed, "Can't download config file"};
  LOG(INFO) << "Config file has been downloaded successfully";

  LOG(INFO) << "Parsing config file";
  return ParseConfig(text, config);
}

StageResult ReadShortcutSetting(const WrapperConfig& config, bool& shortcutEnabled) {
  return ReadBoolMember(config, "shortcut", shortcutEnabled);
}

}  // namespace cv
