// FindFirstCharacters: a walk over the instructions reachable from the attempt's start without
// consuming text. A Call leads both into its target and, after the target fails, to its return
// path; in compiled programs every return path either fails or puts the position back where the
// construct was entered, so before the first consuming instruction the position is the attempt's
// start. Following more paths than can run only adds characters, which keeps the set safe.
#include "pattern/first_chars.h"

#include <algorithm>

namespace cv {
namespace {
constexpr std::size_t kMaxRanges = 16;
}

bool FindFirstCharacters(const Instruction* program, std::size_t length, std::vector<CharRange>& ranges) {
  ranges.clear();
  if (length < 3 || program[0].op != Op::Call || program[1].op != Op::NextStart) return false;
  std::vector<bool> seen(length, false);
  std::vector<std::size_t> work{program[0].arg};
  while (!work.empty()) {
    const std::size_t ip = work.back();
    work.pop_back();
    if (ip >= length) return false;
    if (seen[ip]) continue;
    seen[ip] = true;
    const Instruction in = program[ip];
    switch (in.op) {
      case Op::Nop:
      case Op::SetGroupStart:
      case Op::SetGroupEnd:
      case Op::SaveGroup:
      case Op::RestoreGroup:
      case Op::PushPos:
      case Op::PopPos:
      case Op::PushSlot:
      case Op::PopSlot:
      case Op::SavePos:
      case Op::SaveDepth:
      case Op::LoadPos:
      case Op::LoadDepth:
      case Op::RequireProgress:
        work.push_back(ip + 1);
        break;
      case Op::Jump:
        work.push_back(in.arg);
        break;
      case Op::Call:
        work.push_back(in.arg);
        work.push_back(ip + 1);
        break;
      case Op::Backtrack:
      case Op::Reject:
      case Op::NextStart:
        break;
      case Op::Char:
        if (in.arg == 0) return false;  // the end of the text
        ranges.emplace_back(in.arg, in.arg);
        break;
      case Op::InClass:
        if (in.arg > length || in.arg <= ip) return false;
        for (std::size_t k = ip + 1; k + 1 < in.arg; k += 2) ranges.emplace_back(program[k].arg, program[k + 1].arg);
        break;
      default:  // AnyChar, NotInClass, BackRef (may be empty), Accept (an empty match)
        return false;
    }
    if (ranges.size() > kMaxRanges) return false;
  }
  std::sort(ranges.begin(), ranges.end());
  ranges.erase(std::unique(ranges.begin(), ranges.end()), ranges.end());
  return !ranges.empty();
}

}  // namespace cv
