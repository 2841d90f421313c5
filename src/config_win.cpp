// Configuration stage: fetch the document with one WinHttpClient request, parse it, and take the
// "shortcut" setting from it. A stub built with the publisher's keys also fetches the document's
// signature file and accepts only a document whose exact bytes one of them signed and that has not
// expired.
#include <ctime>
#include <optional>
#include <vector>

#include "http/winhttp_client.h"
#include "log/log.h"
#include "src/build_settings.h"
#include "src/signature.h"
#include "src/signature_win.h"
#include "src/stages.h"

namespace cv {
namespace {

// One answer, taken whatever its HTTP status.
struct FetchedFile {
  std::string bytes;    // the body exactly as received
  std::wstring text;    // the body as the client decodes it
  std::wstring status;  // the HTTP status code
};

// GETs `url`; nothing when the client does not count the response as complete. An https:// address
// must present a valid certificate: the document decides what the stub downloads and runs.
std::optional<FetchedFile> FetchBytes(const std::wstring& url) {
  WinHttpClient client(url);
  client.SetRequireValidCertificate(true);
  client.SetTimeouts(0, kExchangeTimes.connectTimeout, kExchangeTimes.sendTimeout, kExchangeTimes.receiveTimeout);
  client.SetAttemptDeadline(kExchangeTimes.attemptDeadline);
  client.SetBodyLimit(kMaxConfigDocumentBytes);
  if (!client.Execute(L"GET")) return std::nullopt;
  const char* body = client.RawBody();
  return FetchedFile{body != nullptr ? std::string(body, client.RawBodyLength()) : std::string(),
                     client.ResponseText(), client.StatusCode()};
}

// Fetches the signature file beside the document and checks it over the document's bytes. Nothing
// when the publisher signed these bytes, otherwise why the document cannot be trusted.
std::optional<std::string> SignatureProblem(const std::vector<P256PublicKey>& keys, const FetchedFile& document) {
  const auto signature = FetchBytes(std::wstring(kConfigUrl) + kSignatureFileSuffix);
  if (!signature) return std::string("the signature file could not be downloaded");
  if (signature->status != L"200") {
    return "the server answered the signature request with HTTP status " + Narrow(signature->status);
  }
  return ReleaseSignatureProblem(keys, document.bytes, signature->bytes);
}

}  // namespace

StageResult ObtainConfig(WrapperConfig& config) {
  const bool signedRelease = kReleaseKeyPem[0] != '\0';
  std::vector<P256PublicKey> keys;
  if (signedRelease) {
    if (const auto problem = ParseP256PublicKeysPem(kReleaseKeyPem, keys)) {
      return Failure{FailureCode::ConfigSignatureFailed, kConfigSignatureFailedPrefix + ("the built-in key: " + *problem)};
    }
  }
  for (int attempt = 1;; ++attempt) {
    LOG(INFO) << "Downloading config file";
    const auto document = FetchBytes(kConfigUrl);
    if (!document) return Failure{FailureCode::ConfigDownloadFailed, "Can't download config file"};
    LOG(INFO) << "Config file has been downloaded successfully";
    if (!signedRelease) {
      LOG(INFO) << "Parsing config file";
      return ParseConfig(document->text, config);
    }

    LOG(INFO) << "Checking config signature";
    auto problem = SignatureProblem(keys, *document);
    if (!problem) {
      LOG(INFO) << "Config signature is OK";
      LOG(INFO) << "Parsing config file";
      if (auto failure = ParseSignedConfig(document->bytes, config)) return failure;
      // An expired document may be the last one before a refreshed release: it gets the second
      // round too.
      std::string validUntil;
      problem = ExpiryProblem(config, std::time(nullptr), validUntil);
      if (!problem) {
        LOG(INFO) << "Config is valid until " << validUntil;
        return std::nullopt;
      }
    }
    if (attempt == kSignedConfigAttempts) {
      return Failure{FailureCode::ConfigSignatureFailed, kConfigSignatureFailedPrefix + *problem};
    }
    LOG(WARNING) << kConfigSignatureFailedPrefix << *problem;
  }
}

StageResult ReadShortcutSetting(const WrapperConfig& config, bool& shortcutEnabled) {
  return ReadBoolMember(config, "shortcut", shortcutEnabled);
}

}  // namespace cv
