// Names and operand kinds of the opcodes, for the compiler's relocation of code and for Dump.
#include "pattern/instruction.h"

namespace cv {

const char* OpName(Op op) {
  switch (op) {
    case Op::Nop: return "Nop";
    case Op::SetGroupStart: return "SetGroupStart";
    case Op::SetGroupEnd: return "SetGroupEnd";
    case Op::Char: return "Char";
    case Op::AnyChar: return "AnyChar";
    case Op::InClass: return "InClass";
    case Op::NotInClass: return "NotInClass";
    case Op::Jump: return "Jump";
    case Op::PushPos: return "PushPos";
    case Op::PopPos: return "PopPos";
    case Op::Call: return "Call";
    case Op::Backtrack: return "Backtrack";
    case Op::PushSlot: return "PushSlot";
    case Op::PopSlot: return "PopSlot";
    case Op::SavePos: return "SavePos";
    case Op::SaveDepth: return "SaveDepth";
    case Op::LoadPos: return "LoadPos";
    case Op::LoadDepth: return "LoadDepth";
    case Op::RequireProgress: return "RequireProgress";
    case Op::BackRef: return "BackRef";
    case Op::Reject: return "Reject";
    case Op::NextStart: return "NextStart";
    case Op::Accept: return "Accept";
    case Op::SaveGroup: return "SaveGroup";
    case Op::RestoreGroup: return "RestoreGroup";
  }
  return nullptr;
}

OperandKind OperandOf(Op op) {
  switch (op) {
    case Op::Char:
      return OperandKind::Character;
    case Op::SetGroupStart:
    case Op::SetGroupEnd:
    case Op::BackRef:
    case Op::SaveGroup:
    case Op::RestoreGroup:
      return OperandKind::Group;
    case Op::PushSlot:
    case Op::PopSlot:
    case Op::SavePos:
    case Op::SaveDepth:
    case Op::LoadPos:
    case Op::LoadDepth:
    case Op::RequireProgress:
      return OperandKind::Slot;
    case Op::InClass:
    case Op::NotInClass:
    case Op::Jump:
    case Op::Call:
      return OperandKind::Index;
    default:
      return OperandKind::None;
  }
}

}  // namespace cv
