// The installer check's texts: the ERROR lines of a file that cannot be read or hashed and of a file
// whose length differs from the document's "size", whose CRC-32 differs from its "checksum" or whose
// SHA-256 differs from its "sha256".
#pragma once

#include <cstdint>
#include <string>

namespace cv {

// The ERROR line when the downloaded file cannot be opened or read for the checksum.
constexpr char kInstallerOpenFailedLine[] = "Failed to open the file: iostream stream error";

// The ERROR line when the file's length is not the document's "size": "Mismatch of the wrapper size:
// <length> bytes instead of <size>".
inline std::string SizeMismatchLine(std::uint64_t length, std::uint64_t size) {
  return "Mismatch of the wrapper size: " + std::to_string(length) + " bytes instead of " + std::to_string(size);
}

// The ERROR line when the file's CRC-32 is not the document's "checksum".
constexpr char kChecksumMismatchLine[] = "Mismatch of the wrapper checksum";

// The ERROR line when the file's SHA-256 is not the document's "sha256".
constexpr char kSha256MismatchLine[] = "Mismatch of the wrapper SHA-256";

// The ERROR line when the SHA-256 cannot be computed, before the failed call.
constexpr char kSha256FailedPrefix[] = "Failed to compute the wrapper SHA-256: ";

}  // namespace cv
