// Texts and decisions of the installer's launch and outcome (see outcome.h).
#include "src/outcome.h"

#include <initializer_list>

namespace cv {
namespace {

// Concatenates the pieces into one text, sized once.
std::wstring Join(std::initializer_list<std::wstring_view> pieces) {
  std::size_t size = 0;
  for (const auto piece : pieces) size += piece.size();
  std::wstring text;
  text.reserve(size);
  for (const auto piece : pieces) text.append(piece);
  return text;
}

}  // namespace

OutcomeClass ClassifyExitCode(std::uint32_t exitCode) {
  if (exitCode == 0) return OutcomeClass::Success;
  if (exitCode == 2 || exitCode == 5) return OutcomeClass::Cancellation;
  return OutcomeClass::Failure;
}

std::wstring InstallerArgs(std::wstring_view installId, std::wstring_view version,
                           std::wstring_view ownArgs) {
  return Join({L"-id ", installId, L" -v \"", version, L"\" ", ownArgs});
}

std::wstring InstallerCommandLine(std::wstring_view installerPath, std::wstring_view installerArgs) {
  return Join({L"\"", installerPath, L"\" ", installerArgs});
}

std::string LaunchFailedLine(std::uint32_t error) {
  return "Failed to launch installer. Error code " + std::to_string(error);
}

std::wstring CancellationHitAddress(std::wstring_view analyticsUrl, std::wstring_view trackingId,
                                    std::wstring_view installId, std::wstring_view version,
                                    std::wstring_view cancelMessage) {
  return Join({analyticsUrl, L"/collect?v=1&tid=", trackingId, L"&cid=", installId,
               L"&an=Corvida&av=", version, L"&ec=CV%20Installs&ea=Canceled&t=event&el=Halcyra%20(",
               cancelMessage, L")"});
}

std::wstring FailureHitAddress(std::wstring_view analyticsUrl, std::wstring_view trackingId,
                               std::wstring_view installId, std::wstring_view version) {
  return Join({analyticsUrl, L"/collect?v=1&tid=", trackingId, L"&cid=", installId,
               L"&an=Corvida&av=", version, L"&ec=CV%20Installs&ea=Failed&t=event&el=Halcyra"});
}

std::wstring CancelPageUrl(std::wstring_view siteUrl, std::wstring_view version) {
  return Join({siteUrl, L"/installation-cancelled/?v=", version});
}

std::wstring CancelMessageFromBytes(const char* bytes, std::size_t count) {
  std::wstring message;
  if (bytes == nullptr) return message;
  const std::size_t limit = count < kMaxCancelMessageBytes ? count : kMaxCancelMessageBytes;
  for (std::size_t i = 0; i < limit && bytes[i] != '\0'; ++i) {
    message.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i])));
  }
  return message;
}

std::wstring SelfCopyPath(std::wstring_view folder) {
  const bool needsSeparator = !folder.empty() && folder.back() != L'\\' && folder.back() != L'/';
  return Join({folder, needsSeparator ? L"\\" : L"", kSelfCopyName});
}

}  // namespace cv
