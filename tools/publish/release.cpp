// The release as publish makes it: the document is written with jsoncons, all non-ASCII characters
// escaped so that the stub reads the same text whatever code page it decodes the answer with, and
// checked with the stub's own parser and member rules; the signature file holds one line per key.
#include "tools/publish/release.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>

#include <jsoncons/json.hpp>

#include "src/config.h"
#include "src/signature.h"
#include "src/utc_time.h"
#include "tools/publish/crypto.h"

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

std::string DocumentText(const jsoncons::ojson& document) {
  jsoncons::json_options options;
  options.escape_all_non_ascii(true);
  options.spaces_around_comma(jsoncons::spaces_option::no_spaces);
  std::string text;
  document.dump_pretty(text, options);
  return text + "\n";
}

std::string ExpiresText(std::int64_t validSeconds) { return FormatRfc3339Utc(std::time(nullptr) + validSeconds); }

void RequireNoFailure(const StageResult& failure, const std::string& path) {
  if (failure) throw PublishError(path + ": " + failure->logLine);
}

// The members the installer is checked against.
struct InstallerMembers {
  std::uint32_t checksum = 0;
  std::string sha256;
  std::optional<std::uint64_t> size;
  std::string expires;
};

// Reads every member the stub reads, by its rules for a signed document, "expires" at the current
// time included.
InstallerMembers CheckMembers(const std::string& document, const std::string& documentPath) {
  WrapperConfig config;
  RequireNoFailure(ParseSignedConfig(document, config), documentPath);
  bool shortcut = false;
  RequireNoFailure(ReadBoolMember(config, "shortcut", shortcut), documentPath);
  std::wstring wrapper, version;
  RequireNoFailure(ReadTextMember(config, "wrapper", wrapper), documentPath);
  RequireUsableAddress(wrapper, documentPath + ": \"wrapper\"");
  InstallerMembers members;
  RequireNoFailure(ReadUint32Member(config, "checksum", members.checksum), documentPath);
  RequireNoFailure(ReadTextMember(config, "version", version), documentPath);
  RequireUsableVersion(version, documentPath + ": \"version\"");
  std::optional<std::string> sha256;
  RequireNoFailure(ReadSha256Member(config, true, sha256), documentPath);
  members.sha256 = *sha256;
  RequireNoFailure(ReadSizeMember(config, members.size), documentPath);
  if (const auto problem = ExpiryProblem(config, std::time(nullptr), members.expires)) {
    throw PublishError(documentPath + ": " + *problem);
  }
  return members;
}

std::vector<Pkey> LoadSigningKeys(const SigningKeys& keys) {
  if (keys.privateKeyPaths.empty()) throw PublishError("no --key given");
  const std::optional<std::string> passPhrase = ReadPassPhrase(keys.passPhrase);
  std::vector<Pkey> loaded;
  for (const std::string& path : keys.privateKeyPaths) {
    loaded.push_back(LoadReleasePrivateKey(ReadWholeFile(path, "the key"), path, passPhrase));
    WarnIfOthersCanReadKey(path);
  }
  return loaded;
}

// The signature file: one line per key, in the order of the keys.
std::string SignatureFileText(const std::vector<Pkey>& keys, const std::string& document) {
  std::string text;
  for (const Pkey& key : keys) text += SignatureText(SignDocument(key.get(), document));
  return text;
}

// The line and the key (counted from 1) of the first signature in `signatureText` that one of
// `keys` made over `document`; nothing when there is none.
std::optional<std::pair<std::size_t, std::size_t>> FindSignature(const std::vector<EVP_PKEY*>& keys,
                                                                 const std::string& document,
                                                                 const std::string& signatureText,
                                                                 const std::string& signaturePath) {
  const SignatureLines lines = ParseSignatureLines(signatureText);
  if (lines.signatures.empty()) throw PublishError(signaturePath + ": " + lines.problem);
  for (std::size_t line = 0; line < lines.signatures.size(); ++line) {
    for (std::size_t key = 0; key < keys.size(); ++key) {
      if (SignatureMatches(keys[key], document, lines.signatures[line])) return std::pair{line + 1, key + 1};
    }
  }
  return std::nullopt;
}

// Writes the signature, then the document, each through a temporary file renamed into place.
void WriteRelease(const std::string& folder, const std::string& document, const std::string& signature) {
  PendingFile signatureFile(folder, kSignatureName, signature);
  PendingFile documentFile(folder, kDocumentName, document);
  signatureFile.MoveIntoPlace();
  documentFile.MoveIntoPlace();
}

}  // namespace

std::int64_t ParseValidFor(const std::string& text) {
  const auto refused = [&text] {
    return PublishError("--valid-for " + text + ": give whole days or hours, such as 30d or 36h (1h to 3650d)");
  };
  if (text.size() < 2 || text.size() > 6 || text.find_first_not_of("0123456789") != text.size() - 1) throw refused();
  const std::int64_t count = std::stoll(text.substr(0, text.size() - 1));
  std::int64_t seconds = 0;
  if (text.back() == 'd') {
    seconds = count * 86400;
  } else if (text.back() == 'h') {
    seconds = count * 3600;
  } else {
    throw refused();
  }
  if (seconds < 3600 || seconds > 3650 * 86400) throw refused();
  return seconds;
}

void MakeKeyPair(const std::string& folder, const PassPhraseSource& passPhrase) {
  const KeyPairPem pair = GenerateReleaseKey(ReadPassPhrase(passPhrase));
  const std::string privatePath = folder + "/" + kPrivateKeyName;
  const std::string publicPath = folder + "/" + kPublicKeyName;
  MakeFolders(folder, 0700);
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

std::string MakeRelease(const ReleaseInput& input) {
  RequireUsableAddress(WideText(input.url, "--url"), "--url");
  RequireUsableVersion(WideText(input.version, "--version"), "--version");
  const std::vector<Pkey> keys = LoadSigningKeys(input.keys);
  const InstallerDigest digest = DigestInstaller(input.installerPath);

  jsoncons::ojson document(jsoncons::json_object_arg);
  document.insert_or_assign("shortcut", input.shortcut);
  document.insert_or_assign("wrapper", input.url);
  document.insert_or_assign("checksum", static_cast<std::uint64_t>(digest.crc32));
  document.insert_or_assign("version", input.version);
  document.insert_or_assign("sha256", LowerHex(digest.sha256.data(), digest.sha256.size()));
  document.insert_or_assign("size", digest.size);
  const std::string expires = ExpiresText(input.validSeconds);
  document.insert_or_assign("expires", expires);
  const std::string text = DocumentText(document);
  CheckMembers(text, "the new document");

  const std::string signature = SignatureFileText(keys, text);
  MakeFolders(input.outFolder, 0777);
  WriteRelease(input.outFolder, text, signature);
  return expires;
}

std::string RefreshRelease(const std::string& folder, const SigningKeys& signingKeys, std::int64_t validSeconds) {
  const std::vector<Pkey> keys = LoadSigningKeys(signingKeys);
  const std::string documentPath = folder + "/" + kDocumentName;
  const std::string signaturePath = folder + "/" + kSignatureName;
  const std::string current = ReadWholeFile(documentPath, "the document");
  const std::string currentSignatures = ReadWholeFile(signaturePath, "the signature");
  std::vector<EVP_PKEY*> pointers;
  for (const Pkey& key : keys) pointers.push_back(key.get());
  if (!FindSignature(pointers, current, currentSignatures, signaturePath)) {
    throw PublishError(signaturePath + " holds no signature of " + documentPath +
                       " by these keys; refresh signs again only a release they signed");
  }
  // During a rotation a release carries the signatures of the old and the new key: a key left out
  // here drops its line, and the stubs that know only that key refuse the refreshed release.
  const std::size_t before = ParseSignatureLines(currentSignatures).signatures.size();
  if (before > keys.size()) {
    std::fprintf(stderr, "publish: warning: %s held %zu signatures, it now holds %zu (one per --key)\n",
                 signaturePath.c_str(), before, keys.size());
  }

  jsoncons::ojson document;
  try {
    document = jsoncons::ojson::parse(current);
  } catch (const std::exception& error) {
    throw PublishError(documentPath + ": " + error.what());
  }
  if (!document.is_object()) throw PublishError(documentPath + " is not a JSON object");
  const std::string expires = ExpiresText(validSeconds);
  document.insert_or_assign("expires", expires);
  const std::string text = DocumentText(document);
  CheckMembers(text, documentPath);
  WriteRelease(folder, text, SignatureFileText(keys, text));
  return expires;
}

CheckedRelease CheckRelease(const std::string& publicKeyPath, const std::string& folder,
                            const std::optional<std::string>& installerPath) {
  const std::vector<Pkey> keys =
      LoadReleasePublicKeys(ReadWholeFile(publicKeyPath, "the public key"), publicKeyPath);
  const std::string documentPath = folder + "/" + kDocumentName;
  const std::string signaturePath = folder + "/" + kSignatureName;
  const std::string document = ReadWholeFile(documentPath, "the document");
  std::vector<EVP_PKEY*> pointers;
  for (const Pkey& key : keys) pointers.push_back(key.get());
  const auto found = FindSignature(pointers, document, ReadWholeFile(signaturePath, "the signature"), signaturePath);
  if (!found) {
    throw PublishError(signaturePath + " is not a signature of " + documentPath +
                       (keys.size() == 1 ? " by this key" : " by any of these keys"));
  }
  const InstallerMembers members = CheckMembers(document, documentPath);
  CheckedRelease checked;
  checked.signatureLine = found->first;
  checked.key = found->second;
  checked.expires = members.expires;

  if (!installerPath) return checked;
  const InstallerDigest digest = DigestInstaller(*installerPath);
  if (members.size && digest.size != *members.size) {
    throw PublishError("the size of " + *installerPath + " is " + std::to_string(digest.size) + " bytes, not " +
                       std::to_string(*members.size));
  }
  if (digest.crc32 != members.checksum) {
    throw PublishError("the CRC-32 of " + *installerPath + " is " + std::to_string(digest.crc32) + ", not " +
                       std::to_string(members.checksum));
  }
  const std::string hex = LowerHex(digest.sha256.data(), digest.sha256.size());
  if (hex != members.sha256) {
    throw PublishError("the SHA-256 of " + *installerPath + " is " + hex + ", not the document's");
  }
  return checked;
}

}  // namespace cv::publish
