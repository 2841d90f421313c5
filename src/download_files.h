// The installer's file in the temporary folder: its reserved name and its CRC-32.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace cv {

// A new unique name in the user's temporary folder (cv<hex>.tmp, which the platform creates empty
// and which stays behind) with ".exe" appended. Empty when the platform cannot give one.
std::wstring MakeInstallerTempPath();

// CRC-32 of everything from the handle's position to the end of the file, read in pieces so that
// memory stays constant for any size. Empty when a read fails.
std::optional<std::uint32_t> FileCrc32(HANDLE file);

}  // namespace cv
