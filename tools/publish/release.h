// The commands of publish on releases: a new release key pair, a signed release (cv.json and
// cv.json.sig) for an installer, a new expiry for the current release, and the check of a release
// as the stub will check it. Each throws a PublishError with the reason when it cannot do its work,
// and then leaves no files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/publish/files.h"

namespace cv::publish {

constexpr char kPrivateKeyName[] = "release-key.pem";
constexpr char kPublicKeyName[] = "release-key.pub";
constexpr char kDocumentName[] = "cv.json";
constexpr char kSignatureName[] = "cv.json.sig";

// How long a release stays valid unless --valid-for says otherwise: long enough that a missed
// refresh or a clock some days fast does not stop installations, short enough that an old release
// replayed in place of a fixed one is soon refused.
constexpr std::int64_t kDefaultValidSeconds = 30 * 86400;

// Seconds of a --valid-for text: a whole number followed by "d" (days) or "h" (hours), from one
// hour up to 3650 days. Throws a PublishError naming the text otherwise.
std::int64_t ParseValidFor(const std::string& text);

// Creates the folder (mode 0700) when missing, and writes <folder>/release-key.pem (private, mode
// 0600, encrypted with the pass phrase when one is given) and <folder>/release-key.pub; never
// replaces an existing file.
void MakeKeyPair(const std::string& folder, const PassPhraseSource& passPhrase);

// The keys that sign a release: one signature line each, in this order.
struct SigningKeys {
  std::vector<std::string> privateKeyPaths;
  PassPhraseSource passPhrase;  // for the keys that are encrypted
};

struct ReleaseInput {
  std::string installerPath;
  std::string url;      // the installer's address, "wrapper"
  std::string version;  // UTF-8
  bool shortcut = true;
  std::int64_t validSeconds = kDefaultValidSeconds;
  SigningKeys keys;
  std::string outFolder;
};

// Writes <outFolder>/cv.json and its signature <outFolder>/cv.json.sig, the signature first,
// creating the folder when missing. Returns the document's "expires" text.
std::string MakeRelease(const ReleaseInput& input);

// Signs the current release in `folder` again with a new "expires", everything else unchanged.
// Only a release that one of the keys signed is refreshed. Returns the new "expires" text.
std::string RefreshRelease(const std::string& folder, const SigningKeys& keys, std::int64_t validSeconds);

// What the check found: the line of the signature file and the key (both counted from 1) that
// verified, and the document's "expires".
struct CheckedRelease {
  std::size_t signatureLine = 0;
  std::size_t key = 0;
  std::string expires;
};

// Checks the signature of <folder>/cv.json with the keys of `publicKeyPath` (one or several PEM
// blocks) and its members by the stub's rules, "expires" against the current time included, and,
// when given, that the installer's length, CRC-32 and SHA-256 match them.
CheckedRelease CheckRelease(const std::string& publicKeyPath, const std::string& folder,
                            const std::optional<std::string>& installerPath);

}  // namespace cv::publish
