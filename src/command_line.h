// Searching the stub's own command line.
#pragma once

#include <string_view>

namespace cv {

// First position of `needle` in `text`, comparing letters without regard to ASCII case; -1 when it
// does not occur (or `needle` is empty).
int FindNoCase(std::wstring_view text, std::wstring_view needle);

// True when the command line holds the switch " -ns" (leading blank included), in any letter case.
bool HasNoShortcutSwitch(std::wstring_view commandLine);

}  // namespace cv
