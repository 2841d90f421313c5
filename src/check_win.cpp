// The installer check: the file's length is compared with "size" and the CRC-32 (and SHA-256)
// computed while the bytes were written with "checksum" (and "sha256"), each when the document names
// it, and the file, held since its creation, is handed on reopened for reading only and shared for
// reading only, so that the file that was checked is the file that starts.
#include "log/log.h"
#include "src/check.h"
#include "src/signature.h"
#include "src/signature_win.h"
#include "src/stages.h"

namespace cv {

StageResult VerifyInstaller(const WrapperConfig& config, InstallerFiles& installer, InstallerDigest& digest,
                            UniqueHandle& installerFile) {
  // Others may read the file, nobody may write or delete it while this handle is open.
  installerFile = installer.TakeFileForLaunch();
  if (!installerFile) return Failure{FailureCode::InstallerReadFailed, kInstallerOpenFailedLine};
  // The length first: a file of another length is refused whatever its sums.
  std::optional<std::uint64_t> size;
  if (auto failure = ReadSizeMember(config, size)) return failure;
  if (size) {
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(installerFile.get(), &length)) {
      return Failure{FailureCode::InstallerReadFailed, kInstallerOpenFailedLine};
    }
    if (static_cast<std::uint64_t>(length.QuadPart) != *size) {
      return Failure{FailureCode::InstallerCorrupted, SizeMismatchLine(length.QuadPart, *size)};
    }
  }
  // A document without "sha256" (an unsigned release) is checked by its CRC-32 alone, as ever.
  std::optional<std::string> expectedSha256;
  if (auto failure = ReadSha256Member(config, false, expectedSha256)) return failure;
  if (expectedSha256 && !digest.sha256) return Failure{FailureCode::InstallerReadFailed, kInstallerOpenFailedLine};

  std::uint32_t checksum = 0;
  if (auto failure = ReadUint32Member(config, "checksum", checksum)) return failure;
  if (digest.crc.Value() != checksum) return Failure{FailureCode::InstallerCorrupted, kChecksumMismatchLine};
  if (expectedSha256) {
    const auto computed = digest.sha256->Finish();
    if (!computed) {
      return Failure{FailureCode::InstallerReadFailed,
                     kSha256FailedPrefix + DescribeCngFailure(*digest.sha256->failure())};
    }
    if (LowerHex(computed->data(), computed->size()) != *expectedSha256) {
      return Failure{FailureCode::InstallerCorrupted, kSha256MismatchLine};
    }
    LOG(INFO) << "Wrapper SHA-256 is OK";
  }
  LOG(INFO) << "Checksum is OK. Continue...";
  return std::nullopt;
}

}  // namespace cv
