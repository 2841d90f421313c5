// Searching the stub's own command line.
#include "src/command_line.h"

#include <algorithm>

#include "base/ascii.h"

namespace cv {

int FindNoCase(std::wstring_view text, std::wstring_view needle) {
  if (needle.empty()) return -1;
  const auto found = std::search(text.begin(), text.end(), needle.begin(), needle.end(), SameNoCase);
  if (found == text.end()) return -1;
  return static_cast<int>(found - text.begin());
}

bool HasNoShortcutSwitch(std::wstring_view commandLine) { return FindNoCase(commandLine, L" -ns") != -1; }

}  // namespace cv
