// The characters a match of a compiled program can begin with, found by following the program from
// its start up to the first instruction that consumes text. The machine skips attempts at positions
// whose character is not among them: such attempts fail anyway, so results stay the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "pattern/instruction.h"

namespace cv {

using CharRange = std::pair<std::uint32_t, std::uint32_t>;  // low, high (inclusive)

// Fills `ranges` and returns true when every match must begin with a character in them; false when
// a match may begin with any character, at the end of the text, or be empty (or the program is
// anchored, or the set would be large).
bool FindFirstCharacters(const Instruction* program, std::size_t length, std::vector<CharRange>& ranges);

}  // namespace cv
