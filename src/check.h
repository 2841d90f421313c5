// The installer check's texts: the ERROR lines of a file that cannot be read and of a file whose
// CRC-32 differs from the document's "checksum".
#pragma once

namespace cv {

// The ERROR line when the downloaded file cannot be opened or read for the checksum.
constexpr char kInstallerOpenFailedLine[] = "Failed to open the file: iostream stream error";

// The ERROR line when the file's CRC-32 is not the document's "checksum".
constexpr char kChecksumMismatchLine[] = "Mismatch of the wrapper checksum";

}  // namespace cv
