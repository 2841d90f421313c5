// PatternMatcher::Dump: the compiled program as text, one instruction per line ("7 InClass 10"),
// characters as 'c' when printable ASCII and as decimal codes otherwise.
#include <string>

#include "pattern/hresult_error.h"
#include "pattern/pattern_matcher.h"

namespace cv {
namespace {

std::string CharacterText(std::uint32_t code) {
  if (code > 0x20 && code < 0x7F && code != '\'') return std::string("'") + static_cast<char>(code) + "'";
  return std::to_string(code);
}

}  // namespace

Instruction PatternMatcher::At(std::size_t index) const {
  if (index >= program_.size()) throw HResultError(kEInvalidArg);
  return program_[index];
}

std::string PatternMatcher::Dump() const {
  std::string text;
  std::size_t classEnd = 0;  // the Nops before this index are bounds of a class
  for (std::size_t i = 0; i < program_.size(); ++i) {
    const Instruction instruction = program_[i];
    text += std::to_string(i);
    text += ' ';
    const char* name = OpName(instruction.op);
    text += name ? name : "op" + std::to_string(static_cast<std::uint32_t>(instruction.op));
    const OperandKind kind = OperandOf(instruction.op);
    if (instruction.op == Op::Nop && i < classEnd) {
      text += ' ' + CharacterText(instruction.arg);
    } else if (kind == OperandKind::Character) {
      text += ' ' + CharacterText(instruction.arg);
    } else if (kind != OperandKind::None) {
      text += ' ' + std::to_string(instruction.arg);
    }
    if (instruction.op == Op::InClass || instruction.op == Op::NotInClass) classEnd = instruction.arg;
    text += '\n';
  }
  return text;
}

}  // namespace cv
