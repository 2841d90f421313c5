// The release as publish makes it: the document is written with jsoncons, all non-ASCII characters
// escaped so that the stub reads the same text whatever code page it decodes the answer with, and
// checked with the stub's own parser and member rules.
#include "tools/publish/release.h"

#include <unistd.h>

#include <jsoncons/json.hpp>

#include "src/config.h"
#include "src/signature.h"
#include "tools/publish/crypto.h"
#include "tools/publish/files.h"

namespace cv::publish {
namespace {

// UTF-8 text as a wide text, the form the stub's rules take.
std::wstring WideText(const std::string& utf8, const std::string& what) {
  std::wstring wide;
  const auto result = jsoncons::unicode_traits::convert(utf8.data(), utf8.size(), wide);
  if (result.ec != jsoncons::unicode_traits::conv_errc()) throw PublishError(what + " is not valid UTF-8");
  return wide;
}

void RequireUsableAddress(const std::wstring& address, const std::string& what) {
  if (const auto problem = WrapperAddressProblem(address)) throw PublishError(what + ": " + *problem);
}

// The stub takes an empty version too, but a release always names one.
void RequireUsableVersion(const std::wstring& version, const std::string& what) {
  if (version.empty()) throw PublishError(what + ": the version is empty");
  if (const auto problem = VersionTextProblem(version)) throw PublishError(what + ": " + *problem);
}

std::string DocumentText(const ReleaseInput& input, const InstallerDigest& digest) {
  jsoncons::ojson document(jsoncons::json_object_arg);
  document.insert_or_assign("shortcut", input.shortcut);
  document.insert_or_assign("wrapper", input.url);
  document.insert_or_assign("checksum", static_cast<std::uint64_t>(digest.crc32));
  document.insert_or_assign("version", input.version);
  document.insert_or_assign("sha256", LowerHex(digest.sha256.data(), digest.sha256.size()));
  jsoncons::json_options options;
  options.escape_all_non_ascii(true);
  options.spaces_around_comma(jsoncons::spaces_option::no_spaces);
  std::string text;
  document.dump_pretty(text, options);
  return text + "\n";
}

void RequireNoFailure(const StageResult& failure, const std::string& path) {
  if (failure) throw PublishError(path + ": " + failure->logLine);
}

}  // namespace

void MakeKeyPair(const std::string& folder) {
  const KeyPairPem pair = GenerateReleaseKey();
  const std::string privatePath = folder + "/" + kPrivateKeyName;
  const std::string publicPath = folder + "/" + kPublicKeyName;
  // Neither may exist; both names are looked at before anything is written.
  for (const std::string& path : {privatePath, publicPath}) {
    if (access(path.c_str(), F_OK) == 0) throw PublishError("will not overwrite the existing file " + path);
  }
  WriteNewFile(privatePath, pair.privatePem, 0600);
  try {
    WriteNewFile(publicPath, pair.publicPem, 0644);
  } catch (const PublishError&) {
    unlink(privatePath.c_str());
    throw;
  }
}

void MakeRelease(const ReleaseInput& input) {
  RequireUsableAddress(WideText(input.url, "--url"), "--url");
  RequireUsableVersion(WideText(input.version, "--version"), "--version");
  const Pkey key = LoadReleasePrivateKey(ReadWholeFile(input.privateKeyPath, "the key"), input.privateKeyPath);
  const InstallerDigest digest = DigestInstaller(input.installerPath);
  const std::string document = DocumentText(input, digest);
  const std::string signature = SignatureText(SignDocument(key.get(), document));

  PendingFile signatureFile(input.outFolder, kSignatureName, signature);
  PendingFile documentFile(input.outFolder, kDocumentName, document);
  signatureFile.MoveIntoPlace();
  documentFile.MoveIntoPlace();
}

void CheckRelease(const std::string& publicKeyPath, const std::string& folder,
                  const std::optional<std::string>& installerPath) {
  const Pkey key = LoadReleasePublicKey(ReadWholeFile(publicKeyPath, "the public key"), publicKeyPath);
  const std::string documentPath = folder + "/" + kDocumentName;
  const std::string signaturePath = folder + "/" + kSignatureName;
  const std::string document = ReadWholeFile(documentPath, "the document");
  P256Signature signature;
  if (const auto problem = ParseSignatureText(ReadWholeFile(signaturePath, "the signature"), signature)) {
    throw PublishError(signaturePath + ": " + *problem);
  }
  if (!SignatureMatches(key.get(), document, signature)) {
    throw PublishError(signaturePath + " is not a signature of " + documentPath + " by this key");
  }

  // Every member the stub reads, by its rules for a signed document.
  WrapperConfig config;
  RequireNoFailure(ParseSignedConfig(document, config), documentPath);
  bool shortcut = false;
  RequireNoFailure(ReadBoolMember(config, "shortcut", shortcut), documentPath);
  std::wstring wrapper, version;
  RequireNoFailure(ReadTextMember(config, "wrapper", wrapper), documentPath);
  RequireUsableAddress(wrapper, documentPath + ": \"wrapper\"");
  std::uint32_t checksum = 0;
  RequireNoFailure(ReadUint32Member(config, "checksum", checksum), documentPath);
  RequireNoFailure(ReadTextMember(config, "version", version), documentPath);
  RequireUsableVersion(version, documentPath + ": \"version\"");
  std::optional<std::string> sha256;
  RequireNoFailure(ReadSha256Member(config, true, sha256), documentPath);

  if (!installerPath) return;
  const InstallerDigest digest = DigestInstaller(*installerPath);
  if (digest.crc32 != checksum) {
    throw PublishError("the CRC-32 of " + *installerPath + " is " + std::to_string(digest.crc32) + ", not " +
                       std::to_string(checksum));
  }
  const std::string hex = LowerHex(digest.sha256.data(), digest.sha256.size());
  if (hex != *sha256) {
    throw PublishError("the SHA-256 of " + *installerPath + " is " + hex + ", not the document's");
  }
}

}  // namespace cv::publish
