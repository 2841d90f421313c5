// The instruction set of compiled patterns: one opcode enum, documented once, and the two-word
// instruction. "p" is the current text position; "fail" backtracks to the instruction index on top of
// the stack.
#pragma once

#include <cstdint>

namespace cv {

enum class Op : std::uint32_t {
  Nop = 0,              // nothing; inside a class: a range bound (arg = character code)
  SetGroupStart = 1,    // start of group arg := p
  SetGroupEnd = 2,      // end of group arg := p
  Char = 3,             // character at p is arg: advance p; else fail (arg 0 matches the text's end)
  AnyChar = 4,          // p not at the end: advance p; else fail
  InClass = 7,          // (low, high) pairs follow up to index arg; character at p in one: advance p,
                        // continue at arg; else (or at the end) fail
  NotInClass = 8,       // as InClass, for a character in none of the pairs
  Jump = 13,            // continue at index arg
  PushPos = 14,         // push p
  PopPos = 15,          // p := popped entry
  Call = 16,            // push the next instruction's index; continue at index arg
  Backtrack = 17,       // fail
  PushSlot = 20,        // push slot arg
  PopSlot = 21,         // slot arg := popped entry
  SavePos = 22,         // slot arg := p
  SaveDepth = 23,       // slot arg := stack depth
  LoadPos = 24,         // p := slot arg
  LoadDepth = 25,       // stack depth := slot arg (entries above it are dropped)
  RequireProgress = 26, // p equals slot arg: fail
  BackRef = 27,         // text at p equals group arg's capture (ASCII case ignored): advance past it
  Reject = 28,          // end the match: no match (anchored patterns)
  NextStart = 29,       // start the next attempt one character further on
  Accept = 30,          // end the match: match found
  SaveGroup = 31,       // push group arg's start, then its end
  RestoreGroup = 32,    // group arg's end := popped entry; then its start := popped entry
};

struct Instruction {
  Op op;
  std::uint32_t arg;
};

// The opcode's name, or nullptr for a value that is not an instruction.
const char* OpName(Op op);

enum class OperandKind { None, Character, Group, Slot, Index };

// What an opcode's arg means (Nop: none; its role as a class bound depends on its place).
OperandKind OperandOf(Op op);

}  // namespace cv
