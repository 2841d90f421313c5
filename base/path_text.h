// Paths compared as texts: the DOS form of a final path the platform reports, whether two paths
// name the same place, and whether one lies inside a folder. Used where the stub checks that a file
// it opened by a path is really at that path and not reached through a link or a junction.
#pragma once

#include <string>
#include <string_view>

namespace cv {

// A final path in the form paths are written elsewhere: "\\?\C:\a" becomes "C:\a" and
// "\\?\UNC\host\share\a" becomes "\\host\share\a"; any other text stays as it is.
std::wstring DosFormOfFinalPath(std::wstring_view finalPath);

// True when the two paths are the same text, ASCII letters compared without case and a backslash at
// the end ignored. Other letters must match exactly: a difference there makes the check refuse, which
// is the safe side.
bool SamePathText(std::wstring_view a, std::wstring_view b);

// True when `path` lies below `folder` (not `folder` itself), compared as SamePathText does.
bool PathIsInside(std::wstring_view path, std::wstring_view folder);

}  // namespace cv
