// CNG calls of the release check. The key is imported from its raw point as an ECCPUBLICBLOB, and
// the signature is checked over the document's SHA-256 digest, which is what OpenSSL's ECDSA-SHA256
// signs.
#include "src/signature_win.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace cv {
namespace {

// CNG takes non-const byte pointers for data it only reads.
PUCHAR Bytes(const void* data) { return static_cast<PUCHAR>(const_cast<void*>(data)); }

}  // namespace

std::string DescribeCngFailure(const CngFailure& failure) {
  return std::string(failure.call) + " failed with error code " +
         std::to_string(static_cast<std::uint32_t>(failure.status));
}

Sha256::Sha256() {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  NTSTATUS status = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
  if (!BCRYPT_SUCCESS(status)) {
    failure_ = CngFailure{"BCryptOpenAlgorithmProvider", status};
    return;
  }
  algorithm_.reset(algorithm);
  // No hash object buffer: CNG allocates it itself (Windows 7 and later).
  BCRYPT_HASH_HANDLE hash = nullptr;
  status = BCryptCreateHash(algorithm_.get(), &hash, nullptr, 0, nullptr, 0, 0);
  if (!BCRYPT_SUCCESS(status)) {
    failure_ = CngFailure{"BCryptCreateHash", status};
    return;
  }
  hash_.reset(hash);
}

void Sha256::Update(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (!failure_ && size > 0) {
    // BCryptHashData takes at most a ULONG of bytes at a time.
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, std::numeric_limits<ULONG>::max()));
    const NTSTATUS status = BCryptHashData(hash_.get(), Bytes(bytes), piece, 0);
    if (!BCRYPT_SUCCESS(status)) failure_ = CngFailure{"BCryptHashData", status};
    bytes += piece;
    size -= piece;
  }
}

std::optional<Sha256Digest> Sha256::Finish() {
  if (failure_) return std::nullopt;
  Sha256Digest digest;
  const NTSTATUS status = BCryptFinishHash(hash_.get(), digest.data(), static_cast<ULONG>(digest.size()), 0);
  hash_.reset();
  if (!BCRYPT_SUCCESS(status)) {
    failure_ = CngFailure{"BCryptFinishHash", status};
    return std::nullopt;
  }
  return digest;
}

CngResult VerifyReleaseSignature(const P256PublicKey& key, const void* data, std::size_t size,
                                 const P256Signature& signature) {
  Sha256 hasher;
  hasher.Update(data, size);
  auto digest = hasher.Finish();
  if (!digest) return hasher.failure();

  BCRYPT_ALG_HANDLE rawAlgorithm = nullptr;
  NTSTATUS status = BCryptOpenAlgorithmProvider(&rawAlgorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
  if (!BCRYPT_SUCCESS(status)) return CngFailure{"BCryptOpenAlgorithmProvider", status};
  const BcryptAlgorithm algorithm(rawAlgorithm);

  // BCRYPT_ECCKEY_BLOB, then X and Y.
  std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + key.size());
  const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, static_cast<ULONG>(key.size() / 2)};
  std::memcpy(blob.data(), &header, sizeof header);
  std::copy(key.begin(), key.end(), blob.begin() + sizeof header);
  BCRYPT_KEY_HANDLE rawKey = nullptr;
  status = BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &rawKey, blob.data(),
                               static_cast<ULONG>(blob.size()), 0);
  if (!BCRYPT_SUCCESS(status)) return CngFailure{"BCryptImportKeyPair", status};
  const BcryptKey publicKey(rawKey);

  status = BCryptVerifySignature(publicKey.get(), nullptr, digest->data(), static_cast<ULONG>(digest->size()),
                                 Bytes(signature.data()), static_cast<ULONG>(signature.size()), 0);
  if (!BCRYPT_SUCCESS(status)) return CngFailure{"BCryptVerifySignature", status};
  return std::nullopt;
}

std::optional<std::string> ReleaseSignatureProblem(const std::vector<P256PublicKey>& keys, std::string_view document,
                                                   std::string_view signatureText) {
  const SignatureLines lines = ParseSignatureLines(signatureText);
  if (lines.signatures.empty()) return lines.problem;
  for (const P256Signature& signature : lines.signatures) {
    for (const P256PublicKey& key : keys) {
      const CngResult result = VerifyReleaseSignature(key, document.data(), document.size(), signature);
      if (!result) return std::nullopt;
      if (!IsSignatureMismatch(result)) return DescribeCngFailure(*result);
    }
  }
  return std::string("the signature does not match the document");
}

}  // namespace cv
