// Texts and decisions of the continuation shortcut: its file name and description, the path it gets
// on a desktop folder, and which errors of an attribute query mean that a path is absent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cv {

constexpr wchar_t kShortcutFileName[] = L"Continue installation.lnk";
constexpr wchar_t kShortcutDescription[] = L"Continue installation of Pellomax";

// The shortcut's path on the desktop folder `desktop`; empty when `desktop` is empty, since a bare
// file name would land in whatever the current folder happens to be.
std::wstring ShortcutPathOn(std::wstring_view desktop);

// True for the error codes after which a failed attribute query means "no such path": file or path
// not found, invalid drive, drive not ready, bad network path, invalid parameter, invalid name, bad
// path name. Any other error (access denied, sharing violation, ...) means the path is there.
bool ErrorMeansAbsent(std::uint32_t errorCode);

}  // namespace cv
