// The release signature check on Windows, over CNG (bcrypt): SHA-256 of a document or a file read in
// pieces, and the ECDSA P-256 / SHA-256 check of the configuration document against the publisher's
// key. The texts of the key and the signature are read by src/signature.h.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/handles_win.h"
#include "src/signature.h"

namespace cv {

// A CNG call that failed: its name, for the log, and the NTSTATUS it returned.
struct CngFailure {
  const char* call;
  NTSTATUS status;
};
// Nothing when every call succeeded.
using CngResult = std::optional<CngFailure>;

// What BCryptVerifySignature returns for a well-formed signature that does not match.
constexpr NTSTATUS kStatusInvalidSignature = static_cast<NTSTATUS>(0xC000A000);

// "<call> failed with error code <NTSTATUS in decimal>", as log lines name a failed platform call.
std::string DescribeCngFailure(const CngFailure& failure);

// True when the check ran and the signature does not match, as opposed to the check failing.
inline bool IsSignatureMismatch(const CngResult& result) {
  return result.has_value() && result->status == kStatusInvalidSignature;
}

// SHA-256 over a sequence of pieces: Update with each piece in order, then Finish once. The first
// failing call is kept; later calls then do nothing.
class Sha256 {
 public:
  Sha256();
  void Update(const void* data, std::size_t size);
  // The digest of all pieces, or nothing when a call failed (failure() names it).
  std::optional<Sha256Digest> Finish();
  const CngResult& failure() const { return failure_; }

 private:
  BcryptAlgorithm algorithm_;
  BcryptHash hash_;
  CngResult failure_;
};

// Checks that `signature` (r||s) is the publisher's ECDSA P-256 signature, over SHA-256, of the
// `size` bytes at `data`. Nothing when it is; IsSignatureMismatch() tells a wrong signature (or
// key) from a failed call.
CngResult VerifyReleaseSignature(const P256PublicKey& key, const void* data, std::size_t size,
                                 const P256Signature& signature);

// Checks the text of a signature file against the exact bytes of a document. Nothing when one of
// its lines is a signature of them by one of `keys`, otherwise why not: the file holds no
// signature, none matches, or a CNG call failed.
std::optional<std::string> ReleaseSignatureProblem(const std::vector<P256PublicKey>& keys, std::string_view document,
                                                   std::string_view signatureText);

}  // namespace cv
