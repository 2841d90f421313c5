// The installer check: the downloaded file is opened once, shared for reading only, its length is
// compared with "size" and its CRC-32 (and SHA-256) computed through that handle in one pass, each
// when the document names it, and the handle stays open until the launch, so that the file that
// was checked is the file that starts.
#include <memory>

#include "log/log.h"
#include "src/check.h"
#include "src/crc32.h"
#include "src/signature.h"
#include "src/signature_win.h"
#include "src/stages.h"

namespace cv {
namespace {

// Feeds everything from the handle's position to the end of the file to `crc` and, when given, to
// `sha256`, read once in pieces so that memory stays constant for any size. False when a read fails.
bool HashFile(HANDLE file, Crc32& crc, Sha256* sha256) {
  constexpr DWORD kPieceSize = 1u << 20;
  const auto piece = std::make_unique<unsigned char[]>(kPieceSize);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, piece.get(), kPieceSize, &read, nullptr)) return false;
    if (read == 0) return true;
    crc.Update(piece.get(), read);
    if (sha256 != nullptr) sha256->Update(piece.get(), read);
  }
}

}  // namespace

StageResult VerifyInstaller(const WrapperConfig& config, const std::wstring& installerPath,
                            UniqueHandle& installerFile) {
  // Others may read the file, nobody may write or delete it while this handle is open.
  installerFile.reset(CreateFileW(installerPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!installerFile) return Failure{FailureCode::InstallerReadFailed, kInstallerOpenFailedLine};
  // The length first: a file of another length is refused before it is read.
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
  Crc32 crc;
  std::optional<Sha256> sha256;
  if (expectedSha256) sha256.emplace();
  if (!HashFile(installerFile.get(), crc, sha256 ? &*sha256 : nullptr)) {
    return Failure{FailureCode::InstallerReadFailed, kInstallerOpenFailedLine};
  }

  std::uint32_t checksum = 0;
  if (auto failure = ReadUint32Member(config, "checksum", checksum)) return failure;
  if (crc.Value() != checksum) return Failure{FailureCode::InstallerCorrupted, kChecksumMismatchLine};
  if (sha256) {
    const auto digest = sha256->Finish();
    if (!digest) {
      return Failure{FailureCode::InstallerReadFailed, kSha256FailedPrefix + DescribeCngFailure(*sha256->failure())};
    }
    if (LowerHex(digest->data(), digest->size()) != *expectedSha256) {
      return Failure{FailureCode::InstallerCorrupted, kSha256MismatchLine};
    }
    LOG(INFO) << "Wrapper SHA-256 is OK";
  }
  LOG(INFO) << "Checksum is OK. Continue...";
  return std::nullopt;
}

}  // namespace cv
