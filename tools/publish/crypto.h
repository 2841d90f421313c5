// The cryptography of publish, over OpenSSL's libcrypto: the release key pair, the ECDSA P-256 /
// SHA-256 signature of the configuration document, and the installer's CRC-32 and SHA-256.
// Every failure is thrown as a PublishError with a one-line reason.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/signature.h"
#include "tools/publish/publish_error.h"

namespace cv::publish {

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

// A new P-256 key pair, as the private key's PKCS#8 PEM and the public key's SubjectPublicKeyInfo PEM.
struct KeyPairPem {
  std::string privatePem;
  std::string publicPem;
};
// With a pass phrase, the private key is encrypted with it (PKCS#8, AES-256-CBC).
KeyPairPem GenerateReleaseKey(const std::optional<std::string>& passPhrase);

// The private key in `pem` (read from `path`, named in errors), decrypted with the pass phrase when
// it is encrypted; refused unless it is a P-256 key.
Pkey LoadReleasePrivateKey(const std::string& pem, const std::string& path,
                           const std::optional<std::string>& passPhrase);
// The public keys in `pem` (read from `path`): one PEM block, or several during a key rotation;
// refused unless the stub would accept them.
std::vector<Pkey> LoadReleasePublicKeys(const std::string& pem, const std::string& path);

// ECDSA P-256 over SHA-256 of `bytes`, as r||s.
P256Signature SignDocument(EVP_PKEY* privateKey, std::string_view bytes);
bool SignatureMatches(EVP_PKEY* publicKey, std::string_view bytes, const P256Signature& signature);

// The signature file's text: base64 of r||s on one line, with a line end.
std::string SignatureText(const P256Signature& signature);

// The length and checksums of the installer, read piece by piece.
struct InstallerDigest {
  std::uint64_t size = 0;
  std::uint32_t crc32 = 0;
  Sha256Digest sha256{};
};
InstallerDigest DigestInstaller(const std::string& path);

}  // namespace cv::publish
