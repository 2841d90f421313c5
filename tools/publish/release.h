// The three commands of publish: a new release key pair, a signed release (cv.json and
// cv.json.sig) for an installer, and the check of a release as the stub will check it.
// Each throws a PublishError with the reason when it cannot do its work, and then leaves no files.
#pragma once

#include <optional>
#include <string>

namespace cv::publish {

constexpr char kPrivateKeyName[] = "release-key.pem";
constexpr char kPublicKeyName[] = "release-key.pub";
constexpr char kDocumentName[] = "cv.json";
constexpr char kSignatureName[] = "cv.json.sig";

// Writes <folder>/release-key.pem (private, mode 0600) and <folder>/release-key.pub; never
// replaces an existing file.
void MakeKeyPair(const std::string& folder);

struct ReleaseInput {
  std::string installerPath;
  std::string url;      // the installer's address, "wrapper"
  std::string version;  // UTF-8
  bool shortcut = true;
  std::string privateKeyPath;
  std::string outFolder;
};

// Writes <outFolder>/cv.json and its signature <outFolder>/cv.json.sig, the signature first.
void MakeRelease(const ReleaseInput& input);

// Checks the signature of <folder>/cv.json and its members by the stub's rules and, when given,
// that the installer's CRC-32 and SHA-256 match them.
void CheckRelease(const std::string& publicKeyPath, const std::string& folder,
                  const std::optional<std::string>& installerPath);

}  // namespace cv::publish
