// The installer check: the downloaded file is opened once, shared for reading only, its CRC-32 is
// computed through that handle, and the handle stays open until the launch, so that the file that
// was checked is the file that starts.
#include <memory>

#include "log/log.h"
#include "src/check.h"
#include "src/crc32.h"
#include "src/stages.h"

namespace cv {
namespace {

// CRC-32 of everything from the handle's position to the end of the file, read in pieces so that
// memory stays constant for any size. Empty when a read fails.
std::optional<std::uint32_t> FileCrc32(HANDLE file) {
  constexpr DWORD kPieceSize = 1u << 20;
  const auto piece = std::make_unique<unsigned char[]>(kPieceSize);
  Crc32 crc;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, piece.get(), kPieceSize, &read, nullptr)) return std::nullopt;
    if (read == 0) return crc.Value();
    crc.Update(piece.get(), read);
  }
}

}  // namespace

StageResult VerifyInstaller(const WrapperConfig& config, const std::wstring& installerPath,
                            UniqueHandle& installerFile) {
  // Others may read the file, nobody may write or delete it while this handle is open.
  installerFile.reset(CreateFileW(installerPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!installerFile) return Failure{FailureCode::InstallerReadFailed, kInstallerOpenFailedLine};
  const auto crc = FileCrc32(installerFile.get());
  if (!crc) return Failure{FailureCode::InstallerReadFailed, kInstallerOpenFailedLine};

  std::uint32_t checksum = 0;
  if (auto failure = ReadUint32Member(config, "checksum", checksum)) return failure;
  if (*crc != checksum) return Failure{FailureCode::InstallerCorrupted, kChecksumMismatchLine};
  LOG(INFO) << "Checksum is OK. Continue...";
  return std::nullopt;
}

}  // namespace cv
