// Instruction set of the engine's own register machine. Registers a, b, c
// are frame slots (0 is `this`); arg is a constant index, an immediate or a
// jump offset relative to the next instruction. The packed operands below
// and the operand row of each opcode are the one definition the compiler,
// the dispatch loop and the stream verifier share; compiled streams store
// them as they are, so their values must not change.
#pragma once

namespace squirrel {

enum OpCode : unsigned char {
    OP_LOADNULL,    // a..a+arg-1 = null
    OP_LOADINT,     // a = arg
    OP_LOADFLOAT,   // a = float bits of arg
    OP_LOADK,       // a = K[arg]
    OP_LOADBOOL,    // a = arg != 0
    OP_LOADROOT,    // a = root table
    OP_LOADFREE,    // a = free variable arg
    OP_MOVE,        // a = b
    OP_GET,         // a = b[c]            (root fallback when b is `this`)
    OP_GETK,        // a = b[K[arg]]
    OP_SET,         // a[b] = c            arg kUncheckedSet: a failing set is silently ignored
    OP_SETK,        // a[K[key]] = c       arg: packKeyedSet(key, unchecked)
    OP_NEWSLOT,     // a[b] <- c           arg: packNewSlot(static, class body, attributes register)
    OP_DELETE,      // a = delete b[c]
    OP_PREPCALL,    // a = b[c], a+1 = this for the call
    OP_PREPCALLK,   // a = b[K[arg]], a+1 = this for the call
    OP_CALL,        // a = a(a+1 .. a+b)   b values counting `this`
    OP_TAILCALL,    // return a(a+1 .. a+b)
    OP_RETURN,      // return a (arg 0: null)
    OP_ADD, OP_SUB, OP_MUL, OP_DIV, OP_MOD,   // a = b op c
    OP_ADDI,        // a = b + arg         c kAddiSubtract: a = b - arg
    OP_BAND, OP_BOR, OP_BXOR, OP_SHL, OP_SHR, OP_USHR,
    OP_EQ, OP_NE, OP_LT, OP_LE, OP_GT, OP_GE,
    OP_JLT, OP_JLE, OP_JGT, OP_JGE, OP_JEQ, OP_JNE,  // if !(b op c) jump arg
    OP_NOT, OP_NEG, OP_BNOT,  // a = op b
    OP_JMP,         // jump arg
    OP_JZ,          // if a is false jump arg
    OP_JNZ,         // if a is true jump arg
    OP_NEWTABLE,    // a = {} sized for arg
    OP_NEWARRAY,    // a = [] reserved for arg
    OP_APPEND,      // a.append(b)
    OP_CLOSURE,     // a = closure of function arg
    OP_TYPEOF,      // a = typeof b
    OP_INSTANCEOF,  // a = b instanceof c
    OP_IN,          // a = b in c
    OP_CLONE,       // a = clone b
    OP_RESUME,      // a = resume b
    OP_YIELD,       // yield a (arg 0: null)
    OP_VARGC,       // a = vargc
    OP_VARGV,       // a = vargv[b]
    OP_FOREACH,     // a container (read at every step), b key, b+1 value, b+2 iterator; done: jump arg
    OP_PUSHTRAP,    // error goes to a, jump arg
    OP_POPTRAP,     // pop arg traps
    OP_THROW,       // throw a
    OP_CLASS,       // a = class (b base or kNoReg, c attributes or kNoReg)
    OP_DELEGATE,    // delegate b : c; a = c
    OP_GETPARENT,   // a = b.parent
    OP_LINE,        // debug hook line event for line arg
    // Forms that only code translated from 2.1.1's compiled files uses, so
    // that each of its instructions becomes exactly one of ours and its line
    // and local-variable tables keep their instruction indices.
    OP_DLOAD,       // a = K[arg], b = K[c]
    OP_DMOVE,       // a = b, c = R[arg]
    OP_CALLR,       // a = R[arg](b .. b+c-1)   c values counting `this`
    OP_TAILCALLR,   // return R[arg](b .. b+c-1)
    OP_GETKANY,     // a = b[K[arg]] with a constant of any type
    OP_SETR,        // b[c] = R[arg]; a = R[arg] (arg: value register)
    OP_NEWSLOTR,    // b[c] <- R[arg]; a = R[arg]
    OP_NEWMEMBER,   // a[b] <- c in a class (arg: packNewSlot); a non-class is an error
    OP_EQK,         // a = b == K[arg]
    OP_NEK,         // a = b != K[arg]
    OP_APPENDK,     // a.append(K[arg])
    OP_COMPARITH,   // R[regPackHigh(arg)][b] op= R[regPackLow(arg)]; a = result (c: operator char)
    OP_COMPARITHL,  // b = b op c; a = b (arg: operator char)
    OP_INC,         // a = (b[c] += arg)
    OP_PINC,        // a = b[c]; b[c] += arg
    OP_INCL,        // b += arg; a = b
    OP_PINCL,       // a = b; b += arg
    OP_AND,         // if b is false: a = b, jump arg
    OP_OR,          // if b is true: a = b, jump arg
    // Two neighbouring instructions done in one dispatch, with exactly their
    // effects (every register write included); the second stays in place
    // for jumps that land on it, and the pair skips it.
    OP_CMPJZ,       // a = b rel c, arg: packCmpJump(rel, offset); if false jump offset, else skip one
    OP_LOADADD,     // c = arg; a = b + c; skip one
    OP_LOADSUB,     // c = arg; a = b - c; skip one
    OP_LOADBAND,    // c = arg; a = b & c; skip one
    OP_LOADCMPJZ,   // a = arg, then the OP_CMPJZ that always follows, without a dispatch of its own
    // Our compiler's `obj[key] op= local`: the read, the arithmetic and the
    // unchecked store of the three instructions it stands for, one lookup
    // when the slot is a plain number.
    OP_ARITHSLOT,   // a = (b[c] op= R[reg]), arg: packSlotArith(op, reg); a failing store is ignored
    OP_JCMPI,       // if !(b rel c) jump arg, rel: a (a relation code), c: a signed byte immediate
    OP_BITI,        // a = b bitop arg, bitop: OP_BAND + c (BAND BOR BXOR SHL SHR USHR)
    OP_COUNT
};

// A register operand that names no register (OP_CLASS without a base or
// attributes; packNewSlot without attributes).
constexpr int kNoReg = 255;
// Registers a frame may have: every byte operand addresses one.
constexpr int kMaxFrameSize = 256;
// Table and array size hints of OP_NEWTABLE / OP_NEWARRAY stay below this,
// so a damaged stream cannot ask for a huge allocation.
constexpr int kMaxSizeHint = 1 << 20;

constexpr int kUncheckedSet = 1;   // OP_SET arg
constexpr int kAddiSubtract = 1;   // OP_ADDI c

// OP_SETK arg: the key's constant index, and whether a failing set is
// silently ignored (the member assignments of table and class bodies).
constexpr int packKeyedSet(int constIndex, bool unchecked) {
    return constIndex << 1 | (unchecked ? 1 : 0);
}
constexpr int keyedSetConst(int arg) { return arg >> 1; }
constexpr bool keyedSetUnchecked(int arg) { return (arg & 1) != 0; }

// OP_NEWSLOT arg: bit 0 static member, bit 1 member of a class body,
// bits 8 up the attributes register + 1 (0: none).
constexpr int packNewSlot(bool isStatic, bool classBody, int attrsReg) {
    return (isStatic ? 1 : 0) | (classBody ? 2 : 0) | ((attrsReg == kNoReg ? 0 : attrsReg + 1) << 8);
}
constexpr bool newSlotStatic(int arg) { return (arg & 1) != 0; }
constexpr bool newSlotClassBody(int arg) { return (arg & 2) != 0; }
constexpr int newSlotAttrsReg(int arg) { return (arg >> 8) ? (arg >> 8) - 1 : kNoReg; }

// OP_ARITHSLOT arg: the operator character (+ - * / %) and the operand's
// register.
constexpr int packSlotArith(int opChar, int reg) { return opChar << 8 | reg; }
constexpr int slotArithOp(int arg) { return arg >> 8; }
constexpr int slotArithReg(int arg) { return arg & 0xFF; }

// Relation codes of OP_CMPJZ and OP_JCMPI: 2.1.1's CMP operator codes, and
// two more for a fused == and !=.
constexpr int kRelGreater = 0;
constexpr int kRelGreaterEqual = 2;
constexpr int kRelLess = 3;
constexpr int kRelLessEqual = 4;
constexpr int kRelEqual = 5;
constexpr int kRelNotEqual = 6;
constexpr bool validRelation(int rel) { return rel >= kRelGreater && rel <= kRelNotEqual && rel != 1; }
// Whether an ordering relation holds for a three-way result (<0, 0, >0).
constexpr bool orderHolds(int rel, int r) {
    return rel == kRelGreater ? r > 0 : rel == kRelGreaterEqual ? r >= 0 : rel == kRelLess ? r < 0 : r <= 0;
}

// OP_CMPJZ arg: the relation in bits 0-2, the jump offset above.
constexpr int packCmpJump(int rel, int offset) { return offset * 8 + rel; }
constexpr int cmpJumpRelation(int arg) { return arg & 7; }
constexpr int cmpJumpOffset(int arg) { return arg >> 3; }

// OP_COMPARITH arg: 2.1.1's two registers, the object's in the high half
// and the operand's in the low half (Operand::RegPack).
constexpr int regPackHigh(int arg) { return arg >> 16; }
constexpr int regPackLow(int arg) { return arg & 0xFFFF; }

// What an operand holds, as the verifier of loaded streams checks it.
enum class Operand : unsigned char {
    Unused,
    Reg,          // a frame register
    RegOrNone,    // a frame register or kNoReg
    RegPair,      // r and r + 1 (a call's callee and `this`)
    RegTriple,    // r .. r + 2 (foreach key, value, iterator)
    CallArgs,     // 1 or more values after register a, inside the frame
    Flag,         // 0 or 1
    NullCount,    // 1 or more registers from a, inside the frame
    Const,        // any constant
    StringConst,  // a string constant
    KeyedSet,     // packKeyedSet with a string constant
    SlotFlags,    // packNewSlot with kNoReg or a frame register
    FreeVar,      // a free variable of the function
    Function,     // a nested function of the function
    Jump,         // an offset that lands inside the code
    Count,        // 0 or more
    SizeHint,     // 0 .. kMaxSizeHint
    Immediate,    // any value
    ArgReg,       // a frame register held in arg
    CallCount,    // 1 or more values from register b, inside the frame
    ByteConst,    // a constant index held in a byte operand
    Step,         // +1 or -1
    ArithChar,    // one of + - * / %
    RegPack,      // two frame registers packed as (r1 << 16 | r2)
    CmpJump,      // a relation code (0, 2, 3, 4, 5, 6) in bits 0-2, a jump offset above
    SlotArith,    // packSlotArith with an operator character and a frame register
    Relation,     // a relation code (validRelation)
    BitOp,        // an OP_BITI operator, 0 (BAND) .. 5 (USHR)
};

// Opcodes that also skip the instruction after them.
constexpr bool skipsNext(int op) {
    return op == OP_CMPJZ || op == OP_LOADADD || op == OP_LOADSUB || op == OP_LOADBAND;
}


struct OperandRow {
    Operand a, b, c, arg;
};

namespace operand_rows {
using O = Operand;
constexpr OperandRow kA{O::Reg, O::Unused, O::Unused, O::Unused};
constexpr OperandRow kAB{O::Reg, O::Reg, O::Unused, O::Unused};
constexpr OperandRow kABC{O::Reg, O::Reg, O::Reg, O::Unused};
constexpr OperandRow kAImm{O::Reg, O::Unused, O::Unused, O::Immediate};
constexpr OperandRow kCompareJump{O::Unused, O::Reg, O::Reg, O::Jump};
}  // namespace operand_rows

// One row per opcode, in OpCode order.
constexpr OperandRow kOperandRows[] = {
    {Operand::Reg, Operand::Unused, Operand::Unused, Operand::NullCount},     // LOADNULL
    operand_rows::kAImm,                                                      // LOADINT
    operand_rows::kAImm,                                                      // LOADFLOAT
    {Operand::Reg, Operand::Unused, Operand::Unused, Operand::Const},         // LOADK
    operand_rows::kAImm,                                                      // LOADBOOL
    operand_rows::kA,                                                         // LOADROOT
    {Operand::Reg, Operand::Unused, Operand::Unused, Operand::FreeVar},       // LOADFREE
    operand_rows::kAB,                                                        // MOVE
    operand_rows::kABC,                                                       // GET
    {Operand::Reg, Operand::Reg, Operand::Unused, Operand::StringConst},      // GETK
    {Operand::Reg, Operand::Reg, Operand::Reg, Operand::Flag},                // SET
    {Operand::Reg, Operand::Unused, Operand::Reg, Operand::KeyedSet},         // SETK
    {Operand::Reg, Operand::Reg, Operand::Reg, Operand::SlotFlags},           // NEWSLOT
    operand_rows::kABC,                                                       // DELETE
    {Operand::RegPair, Operand::Reg, Operand::Reg, Operand::Unused},          // PREPCALL
    {Operand::RegPair, Operand::Reg, Operand::Unused, Operand::Const},        // PREPCALLK (any key type)
    {Operand::Reg, Operand::CallArgs, Operand::Unused, Operand::Unused},      // CALL
    {Operand::Reg, Operand::CallArgs, Operand::Unused, Operand::Unused},      // TAILCALL
    {Operand::Reg, Operand::Unused, Operand::Unused, Operand::Flag},          // RETURN
    operand_rows::kABC, operand_rows::kABC, operand_rows::kABC,               // ADD SUB MUL
    operand_rows::kABC, operand_rows::kABC,                                   // DIV MOD
    {Operand::Reg, Operand::Reg, Operand::Flag, Operand::Immediate},          // ADDI
    operand_rows::kABC, operand_rows::kABC, operand_rows::kABC,               // BAND BOR BXOR
    operand_rows::kABC, operand_rows::kABC, operand_rows::kABC,               // SHL SHR USHR
    operand_rows::kABC, operand_rows::kABC, operand_rows::kABC,               // EQ NE LT
    operand_rows::kABC, operand_rows::kABC, operand_rows::kABC,               // LE GT GE
    operand_rows::kCompareJump, operand_rows::kCompareJump,                   // JLT JLE
    operand_rows::kCompareJump, operand_rows::kCompareJump,                   // JGT JGE
    operand_rows::kCompareJump, operand_rows::kCompareJump,                   // JEQ JNE
    operand_rows::kAB, operand_rows::kAB, operand_rows::kAB,                  // NOT NEG BNOT
    {Operand::Unused, Operand::Unused, Operand::Unused, Operand::Jump},       // JMP
    {Operand::Reg, Operand::Unused, Operand::Unused, Operand::Jump},          // JZ
    {Operand::Reg, Operand::Unused, Operand::Unused, Operand::Jump},          // JNZ
    {Operand::Reg, Operand::Unused, Operand::Unused, Operand::SizeHint},      // NEWTABLE
    {Operand::Reg, Operand::Unused, Operand::Unused, Operand::SizeHint},      // NEWARRAY
    operand_rows::kAB,                                                        // APPEND
    {Operand::Reg, Operand::Unused, Operand::Unused, Operand::Function},      // CLOSURE
    operand_rows::kAB,                                                        // TYPEOF
    operand_rows::kABC,                                                       // INSTANCEOF
    operand_rows::kABC,                                                       // IN
    operand_rows::kAB,                                                        // CLONE
    operand_rows::kAB,                                                        // RESUME
    {Operand::Reg, Operand::Unused, Operand::Unused, Operand::Flag},          // YIELD
    operand_rows::kA,                                                         // VARGC
    operand_rows::kAB,                                                        // VARGV
    {Operand::Reg, Operand::RegTriple, Operand::Unused, Operand::Jump},       // FOREACH
    {Operand::Reg, Operand::Unused, Operand::Unused, Operand::Jump},          // PUSHTRAP
    {Operand::Unused, Operand::Unused, Operand::Unused, Operand::Count},       // POPTRAP
    operand_rows::kA,                                                         // THROW
    {Operand::Reg, Operand::RegOrNone, Operand::RegOrNone, Operand::Unused},  // CLASS
    operand_rows::kABC,                                                       // DELEGATE
    operand_rows::kAB,                                                        // GETPARENT
    {Operand::Unused, Operand::Unused, Operand::Unused, Operand::Immediate},  // LINE
    {Operand::Reg, Operand::Reg, Operand::ByteConst, Operand::Const},         // DLOAD
    {Operand::Reg, Operand::Reg, Operand::Reg, Operand::ArgReg},              // DMOVE
    {Operand::Reg, Operand::Reg, Operand::CallCount, Operand::ArgReg},        // CALLR
    {Operand::Reg, Operand::Reg, Operand::CallCount, Operand::ArgReg},        // TAILCALLR
    {Operand::Reg, Operand::Reg, Operand::Unused, Operand::Const},            // GETKANY
    {Operand::Reg, Operand::Reg, Operand::Reg, Operand::ArgReg},              // SETR
    {Operand::Reg, Operand::Reg, Operand::Reg, Operand::ArgReg},              // NEWSLOTR
    {Operand::Reg, Operand::Reg, Operand::Reg, Operand::SlotFlags},           // NEWMEMBER
    {Operand::Reg, Operand::Reg, Operand::Unused, Operand::Const},            // EQK
    {Operand::Reg, Operand::Reg, Operand::Unused, Operand::Const},            // NEK
    {Operand::Reg, Operand::Unused, Operand::Unused, Operand::Const},         // APPENDK
    {Operand::Reg, Operand::Reg, Operand::ArithChar, Operand::RegPack},       // COMPARITH
    {Operand::Reg, Operand::Reg, Operand::Reg, Operand::ArithChar},           // COMPARITHL
    {Operand::Reg, Operand::Reg, Operand::Reg, Operand::Step},                // INC
    {Operand::Reg, Operand::Reg, Operand::Reg, Operand::Step},                // PINC
    {Operand::Reg, Operand::Reg, Operand::Unused, Operand::Step},             // INCL
    {Operand::Reg, Operand::Reg, Operand::Unused, Operand::Step},             // PINCL
    {Operand::Reg, Operand::Reg, Operand::Unused, Operand::Jump},             // AND
    {Operand::Reg, Operand::Reg, Operand::Unused, Operand::Jump},             // OR
    {Operand::Reg, Operand::Reg, Operand::Reg, Operand::CmpJump},             // CMPJZ
    {Operand::Reg, Operand::Reg, Operand::Reg, Operand::Immediate},           // LOADADD
    {Operand::Reg, Operand::Reg, Operand::Reg, Operand::Immediate},           // LOADSUB
    {Operand::Reg, Operand::Reg, Operand::Reg, Operand::Immediate},           // LOADBAND
    {Operand::Reg, Operand::Unused, Operand::Unused, Operand::Immediate},     // LOADCMPJZ
    {Operand::Reg, Operand::Reg, Operand::Reg, Operand::SlotArith},           // ARITHSLOT
    {Operand::Relation, Operand::Reg, Operand::Immediate, Operand::Jump},     // JCMPI
    {Operand::Reg, Operand::Reg, Operand::BitOp, Operand::Immediate},         // BITI
};
static_assert(sizeof kOperandRows / sizeof kOperandRows[0] == OP_COUNT);

}  // namespace squirrel
