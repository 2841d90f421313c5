// The cryptography of publish, over OpenSSL's libcrypto: the release key pair, the ECDSA P-256 /
// SHA-256 signature of the configuration document, and the installer's CRC-32 and SHA-256.
// Every failure is thrown as a PublishError with a one-line reason.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

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
KeyPairPem GenerateReleaseKey();

// The private key in `pem` (read from `path`, named in errors); refused unless it is a P-256 key.
Pkey LoadReleasePrivateKey(const std::string& pem, const std::string& path);
// The public key in `pem` (read from `path`); refused unless the stub would accept it.
Pkey LoadReleasePublicKey(const std::string& pem, const std::string& path);

// ECDSA P-256 over SHA-256 of `bytes`, as r||s.
P256Signature SignDocument(EVP_PKEY* privateKey, std::string_view bytes);
bool SignatureMatches(EVP_PKEY* publicKey, std::string_view bytes, const P256Signature& signature);

// The signature file's text: base64 of r||s on one line, with a line end.
std::string SignatureText(const P256Signature& signature);

// The checksums of the installer, read piece by piece.
struct InstallerDigest {
  std::uint32_t crc32 = 0;
  Sha256Digest sha256{};
};
InstallerDigest DigestInstaller(const std::string& path);

}  // namespace cv::publish
