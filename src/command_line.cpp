// Searching the stub's own command line.
#include "src/command_line.h"

#include <algorithm>

namespace cv {
namespace {

wchar_t Upper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

}  // namespace

int FindNoCase(std::wstring_view text, std::wstring_view needle) {
  if (needle.empty()) return -1;
  const auto found = std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                                 [](wchar_t a, wchar_t b) { return Upper(a) == Upper(b); });
  if (found == text.end()) return -1;
  return static_cast<int>(found - text.begin());
}

bool HasNoShortcutSwitch(std::wstring_view commandLine) { return FindNoCase(commandLine, L" -ns") != -1; }

}  // namespace cv
