// Paths compared as texts (see path_text.h).
#include "base/path_text.h"

#include "base/ascii.h"

namespace cv {
namespace {

std::wstring_view WithoutTrailingBackslash(std::wstring_view path) {
  while (path.size() > 1 && path.back() == L'\\') path.remove_suffix(1);
  return path;
}

}  // namespace

std::wstring DosFormOfFinalPath(std::wstring_view finalPath) {
  constexpr std::wstring_view kVerbatim = L"\\\\?\\";
  constexpr std::wstring_view kVerbatimUnc = L"\\\\?\\UNC\\";
  if (StartsWithNoCase(finalPath, kVerbatimUnc)) return L"\\\\" + std::wstring(finalPath.substr(kVerbatimUnc.size()));
  if (finalPath.substr(0, kVerbatim.size()) == kVerbatim) return std::wstring(finalPath.substr(kVerbatim.size()));
  return std::wstring(finalPath);
}

bool SamePathText(std::wstring_view a, std::wstring_view b) {
  return EqualsNoCase(WithoutTrailingBackslash(a), WithoutTrailingBackslash(b));
}

bool PathIsInside(std::wstring_view path, std::wstring_view folder) {
  folder = WithoutTrailingBackslash(folder);
  path = WithoutTrailingBackslash(path);
  return !folder.empty() && path.size() > folder.size() + 1 && StartsWithNoCase(path, folder) &&
         path[folder.size()] == L'\\';
}

}  // namespace cv
