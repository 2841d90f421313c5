// Authenticode signing of the stub for publish: sign-stub and verify-stub run osslsigncode (Debian's
// package of the same name), the tool that signs and checks Windows programs on Linux, so that no
// signing code of our own stands between the certificate and the file users run.
#pragma once

#include <string>
#include <vector>

#include "tools/publish/files.h"

namespace cv::publish {

struct StubSigningInput {
  std::string stubPath;
  std::string outPath;  // empty: the signed file replaces the stub
  // The code-signing certificate (with the chain up to its CA, when the file holds it) and its
  // private key in PEM, or both in one PKCS#12 file.
  std::string certificatePath;
  std::string keyPath;
  std::string pkcs12Path;
  PassPhraseSource passPhrase;  // for an encrypted key or PKCS#12 file
  std::string timestampUrl;     // an RFC 3161 time-stamp server; empty: no time stamp
  std::string description;      // shown as the program's name by the elevation prompt
  std::string url;              // the publisher's web address in the signature
};

// Signs the stub; the signed file appears only when osslsigncode succeeded. Returns its SHA-256 in
// lower-case hex.
std::string SignStub(const StubSigningInput& input);

struct VerifiedStub {
  std::vector<std::string> details;  // signer, issuer, signing time, time stamp, as osslsigncode reports them
  std::string sha256;                // of the file, lower-case hex
};

// Checks the stub's Authenticode signature: its digest over the file and its certificate chain,
// up to the CA certificates of `caPath` (empty: the system's). Throws a PublishError naming why not.
VerifiedStub VerifyStub(const std::string& stubPath, const std::string& caPath);

}  // namespace cv::publish
