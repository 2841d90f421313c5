// Test helper: checks a signed release with the stub's Windows code and writes what it found.
//   release_check.exe <public key PEM> <document> <signature file> <installer> <report>
// Report lines: "key=" and "signature=" (ok, or why the text was refused), "verify=" (ok, or the
// failed call and its NTSTATUS in hex), "sha256=" (the installer's digest, hashed in 64 KB pieces).
#include <windows.h>

#include <cstdio>
#include <string>

#include "src/signature.h"
#include "src/signature_win.h"

namespace {

bool ReadAll(const wchar_t* path, std::string& bytes) {
  FILE* file = _wfopen(path, L"rb");
  if (file == nullptr) return false;
  char piece[65536];
  std::size_t got;
  while ((got = std::fread(piece, 1, sizeof piece, file)) > 0) bytes.append(piece, got);
  std::fclose(file);
  return true;
}

std::string Describe(const cv::CngResult& result) {
  if (!result) return "ok";
  char text[96];
  std::snprintf(text, sizeof text, "%s 0x%08lX", result->call, static_cast<unsigned long>(result->status));
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::string pem, document, signatureText, installer;
  if (argc != 6 || !ReadAll(argv[1], pem) || !ReadAll(argv[2], document) || !ReadAll(argv[3], signatureText) ||
      !ReadAll(argv[4], installer)) {
    return 2;
  }
  FILE* report = _wfopen(argv[5], L"wb");
  if (report == nullptr) return 2;

  cv::P256PublicKey key;
  cv::P256Signature signature;
  const auto keyProblem = cv::ParseP256PublicKeyPem(pem, key);
  const auto signatureProblem = cv::ParseSignatureText(signatureText, signature);
  std::fprintf(report, "key=%s\nsignature=%s\n", keyProblem ? keyProblem->c_str() : "ok",
               signatureProblem ? signatureProblem->c_str() : "ok");
  if (!keyProblem && !signatureProblem) {
    const cv::CngResult verified = cv::VerifyReleaseSignature(key, document.data(), document.size(), signature);
    std::fprintf(report, "verify=%s\nmismatch=%d\n", Describe(verified).c_str(), cv::IsSignatureMismatch(verified));
  }

  cv::Sha256 hasher;
  for (std::size_t at = 0; at < installer.size(); at += 65536) {
    hasher.Update(installer.data() + at, std::min<std::size_t>(65536, installer.size() - at));
  }
  const auto digest = hasher.Finish();
  std::fprintf(report, "sha256=%s\n",
               digest ? cv::LowerHex(digest->data(), digest->size()).c_str() : Describe(hasher.failure()).c_str());
  std::fclose(report);
  return 0;
}
