// The installer's temporary name and the file checksum.
#include "src/download_files.h"

#include <memory>

#include "src/crc32.h"

namespace cv {

std::wstring MakeInstallerTempPath() {
  // 260 for the longest path the platform gives plus 4 for ".exe".
  wchar_t folder[264] = {};
  wchar_t path[264] = {};
  const DWORD folderLength = GetTempPathW(261, folder);
  if (folderLength == 0 || folderLength > 261) return std::wstring();
  if (GetTempFileNameW(folder, L"cv", 0, path) == 0) return std::wstring();
  return std::wstring(path) + L".exe";
}

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

}  // namespace cv
