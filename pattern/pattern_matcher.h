// The stub's own pattern dialect (capture groups in braces, "!" negation, one-letter abbreviations,
// ASCII case ignored), compiled to a flat instruction program and run by a backtracking machine.
#pragma once

#include <string>
#include <vector>

namespace cv {

// Collects the text of the first capture group of every successive match of `pattern` in `text`,
// without repeats (compared ignoring ASCII case), in order of first appearance. Returns false, with
// `results` empty, when the pattern or the text is empty or the pattern does not compile.
bool CollectMatches(const std::wstring& pattern, const std::wstring& text,
                    std::vector<std::wstring>& results);

}  // namespace cv
