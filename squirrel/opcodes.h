// Instruction set of the engine's own register machine. Registers a, b, c
// are frame slots (0 is `this`); arg is a constant index, an immediate or a
// jump offset relative to the next instruction. The packed operands below
// and the operand row of each opcode are the one definition the compiler,
// the dispatch loop and the stream verifier share; compiled streams store
// them as they are, so their values must not change.
#pragma once

namespace squirrel {

// Every opcode once, in OpCode order: its name, the operand kinds of a, b,
// c and arg (what the verifier checks) and what it does. The enum and the
// operand rows are both made from this list, so they cannot drift apart.
#define SQUIRREL_OPCODES(X) \
    X(LOADNULL, Reg, Unused, Unused, NullCount)   /* a..a+arg-1 = null */ \
    X(LOADINT, Reg, Unused, Unused, Immediate)    /* a = arg */ \
    X(LOADFLOAT, Reg, Unused, Unused, Immediate)  /* a = float bits of arg */ \
    X(LOADK, Reg, Unused, Unused, Const)          /* a = K[arg] */ \
    X(LOADBOOL, Reg, Unused, Unused, Immediate)   /* a = arg != 0 */ \
    X(LOADROOT, Reg, Unused, Unused, Unused)      /* a = root table */ \
    X(LOADFREE, Reg, Unused, Unused, FreeVar)     /* a = free variable arg */ \
    X(MOVE, Reg, Reg, Unused, Unused)             /* a = b */ \
    X(GET, Reg, Reg, Reg, Unused)                 /* a = b[c]            (root fallback when b is `this`) */ \
    X(GETK, Reg, Reg, Unused, StringConst)        /* a = b[K[arg]] */ \
    X(SET, Reg, Reg, Reg, Flag)                   /* a[b] = c            arg kUncheckedSet: a failing set is silently ignored */ \
    X(SETK, Reg, Unused, Reg, KeyedSet)           /* a[K[key]] = c       arg: packKeyedSet(key, unchecked) */ \
    X(NEWSLOT, Reg, Reg, Reg, SlotFlags)          /* a[b] <- c           arg: packNewSlot(static, class body, attributes register) */ \
    X(DELETE, Reg, Reg, Reg, Unused)              /* a = delete b[c] */ \
    X(PREPCALL, RegPair, Reg, Reg, Unused)        /* a = b[c], a+1 = this for the call */ \
    X(PREPCALLK, RegPair, Reg, Unused, Const)     /* a = b[K[arg]], a+1 = this for the call */ \
    X(CALL, Reg, CallArgs, Unused, Unused)        /* a = a(a+1 .. a+b)   b values counting `this` */ \
    X(TAILCALL, Reg, CallArgs, Unused, Unused)    /* return a(a+1 .. a+b) */ \
    X(RETURN, Reg, Unused, Unused, Flag)          /* return a (arg 0: null) */ \
    X(ADD, Reg, Reg, Reg, Unused)                 /* a = b op c */ \
    X(SUB, Reg, Reg, Reg, Unused) \
    X(MUL, Reg, Reg, Reg, Unused) \
    X(DIV, Reg, Reg, Reg, Unused) \
    X(MOD, Reg, Reg, Reg, Unused) \
    X(ADDI, Reg, Reg, Flag, Immediate)            /* a = b + arg         c kAddiSubtract: a = b - arg */ \
    X(BAND, Reg, Reg, Reg, Unused) \
    X(BOR, Reg, Reg, Reg, Unused) \
    X(BXOR, Reg, Reg, Reg, Unused) \
    X(SHL, Reg, Reg, Reg, Unused) \
    X(SHR, Reg, Reg, Reg, Unused) \
    X(USHR, Reg, Reg, Reg, Unused) \
    X(EQ, Reg, Reg, Reg, Unused) \
    X(NE, Reg, Reg, Reg, Unused) \
    X(LT, Reg, Reg, Reg, Unused) \
    X(LE, Reg, Reg, Reg, Unused) \
    X(GT, Reg, Reg, Reg, Unused) \
    X(GE, Reg, Reg, Reg, Unused) \
    X(JLT, Unused, Reg, Reg, Jump)                /* if !(b op c) jump arg */ \
    X(JLE, Unused, Reg, Reg, Jump) \
    X(JGT, Unused, Reg, Reg, Jump) \
    X(JGE, Unused, Reg, Reg, Jump) \
    X(JEQ, Unused, Reg, Reg, Jump) \
    X(JNE, Unused, Reg, Reg, Jump) \
    X(NOT, Reg, Reg, Unused, Unused)              /* a = op b */ \
    X(NEG, Reg, Reg, Unused, Unused) \
    X(BNOT, Reg, Reg, Unused, Unused) \
    X(JMP, Unused, Unused, Unused, Jump)          /* jump arg */ \
    X(JZ, Reg, Unused, Unused, Jump)              /* if a is false jump arg */ \
    X(JNZ, Reg, Unused, Unused, Jump)             /* if a is true jump arg */ \
    X(NEWTABLE, Reg, Unused, Unused, SizeHint)    /* a = {} sized for arg */ \
    X(NEWARRAY, Reg, Unused, Unused, SizeHint)    /* a = [] reserved for arg */ \
    X(APPEND, Reg, Reg, Unused, Unused)           /* a.append(b) */ \
    X(CLOSURE, Reg, Unused, Unused, Function)     /* a = closure of function arg */ \
    X(TYPEOF, Reg, Reg, Unused, Unused)           /* a = typeof b */ \
    X(INSTANCEOF, Reg, Reg, Reg, Unused)          /* a = b instanceof c */ \
    X(IN, Reg, Reg, Reg, Unused)                  /* a = b in c */ \
    X(CLONE, Reg, Reg, Unused, Unused)            /* a = clone b */ \
    X(RESUME, Reg, Reg, Unused, Unused)           /* a = resume b */ \
    X(YIELD, Reg, Unused, Unused, Flag)           /* yield a (arg 0: null) */ \
    X(VARGC, Reg, Unused, Unused, Unused)         /* a = vargc */ \
    X(VARGV, Reg, Reg, Unused, Unused)            /* a = vargv[b] */ \
    X(FOREACH, Reg, RegTriple, Unused, Jump)      /* a container (read at every step), b key, b+1 value, b+2 iterator; done: jump arg */ \
    X(PUSHTRAP, Reg, Unused, Unused, Jump)        /* error goes to a, jump arg */ \
    X(POPTRAP, Unused, Unused, Unused, Count)     /* pop arg traps */ \
    X(THROW, Reg, Unused, Unused, Unused)         /* throw a */ \
    X(CLASS, Reg, RegOrNone, RegOrNone, Unused)   /* a = class (b base or kNoReg, c attributes or kNoReg) */ \
    X(DELEGATE, Reg, Reg, Reg, Unused)            /* delegate b : c; a = c */ \
    X(GETPARENT, Reg, Reg, Unused, Unused)        /* a = b.parent */ \
    X(LINE, Unused, Unused, Unused, Immediate)    /* debug hook line event for line arg */ \
    /* Forms that only code translated from 2.1.1's compiled files uses, so */ \
    /* that each of its instructions becomes exactly one of ours and its line */ \
    /* and local-variable tables keep their instruction indices. */ \
    X(DLOAD, Reg, Reg, ByteConst, Const)          /* a = K[arg], b = K[c] */ \
    X(DMOVE, Reg, Reg, Reg, ArgReg)               /* a = b, c = R[arg] */ \
    X(CALLR, Reg, Reg, CallCount, ArgReg)         /* a = R[arg](b .. b+c-1)   c values counting `this` */ \
    X(TAILCALLR, Reg, Reg, CallCount, ArgReg)     /* return R[arg](b .. b+c-1) */ \
    X(GETKANY, Reg, Reg, Unused, Const)           /* a = b[K[arg]] with a constant of any type */ \
    X(SETR, Reg, Reg, Reg, ArgReg)                /* b[c] = R[arg]; a = R[arg] (arg: value register) */ \
    X(NEWSLOTR, Reg, Reg, Reg, ArgReg)            /* b[c] <- R[arg]; a = R[arg] */ \
    X(NEWMEMBER, Reg, Reg, Reg, SlotFlags)        /* a[b] <- c in a class (arg: packNewSlot); a non-class is an error */ \
    X(EQK, Reg, Reg, Unused, Const)               /* a = b == K[arg] */ \
    X(NEK, Reg, Reg, Unused, Const)               /* a = b != K[arg] */ \
    X(APPENDK, Reg, Unused, Unused, Const)        /* a.append(K[arg]) */ \
    X(COMPARITH, Reg, Reg, ArithChar, RegPack)    /* R[regPackHigh(arg)][b] op= R[regPackLow(arg)]; a = result (c: operator char) */ \
    X(COMPARITHL, Reg, Reg, Reg, ArithChar)       /* b = b op c; a = b (arg: operator char) */ \
    X(INC, Reg, Reg, Reg, Step)                   /* a = (b[c] += arg) */ \
    X(PINC, Reg, Reg, Reg, Step)                  /* a = b[c]; b[c] += arg */ \
    X(INCL, Reg, Reg, Unused, Step)               /* b += arg; a = b */ \
    X(PINCL, Reg, Reg, Unused, Step)              /* a = b; b += arg */ \
    X(AND, Reg, Reg, Unused, Jump)                /* if b is false: a = b, jump arg */ \
    X(OR, Reg, Reg, Unused, Jump)                 /* if b is true: a = b, jump arg */ \
    /* Two neighbouring instructions done in one dispatch, with exactly their */ \
    /* effects (every register write included); the second stays in place */ \
    /* for jumps that land on it, and the pair skips it. */ \
    X(CMPJZ, Reg, Reg, Reg, CmpJump)              /* a = b rel c, arg: packCmpJump(rel, offset); if false jump offset, else skip one */ \
    X(LOADADD, Reg, Reg, Reg, Immediate)          /* c = arg; a = b + c; skip one */ \
    X(LOADSUB, Reg, Reg, Reg, Immediate)          /* c = arg; a = b - c; skip one */ \
    X(LOADBAND, Reg, Reg, Reg, Immediate)         /* c = arg; a = b & c; skip one */ \
    X(LOADCMPJZ, Reg, Unused, Unused, Immediate)  /* a = arg, then the OP_CMPJZ that always follows, without a dispatch of its own */ \
    /* Our compiler's `obj[key] op= local`: the read, the arithmetic and the */ \
    /* unchecked store of the three instructions it stands for, one lookup */ \
    /* when the slot is a plain number. */ \
    X(ARITHSLOT, Reg, Reg, Reg, SlotArith)        /* a = (b[c] op= R[reg]), arg: packSlotArith(op, reg); a failing store is ignored */ \
    X(JCMPI, Relation, Reg, Immediate, Jump)      /* if !(b rel c) jump arg, rel: a (a relation code), c: a signed byte immediate */ \
    X(BITI, Reg, Reg, BitOp, Immediate)           /* a = b bitop arg, bitop: OP_BAND + c (BAND BOR BXOR SHL SHR USHR) */

enum OpCode : unsigned char {
#define SQUIRREL_OPCODE_NAME(name, a, b, c, arg) OP_##name,
    SQUIRREL_OPCODES(SQUIRREL_OPCODE_NAME)
#undef SQUIRREL_OPCODE_NAME
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


// The operand row of each opcode, indexed by OpCode.
constexpr OperandRow kOperandRows[] = {
#define SQUIRREL_OPCODE_ROW(name, a, b, c, arg) {Operand::a, Operand::b, Operand::c, Operand::arg},
    SQUIRREL_OPCODES(SQUIRREL_OPCODE_ROW)
#undef SQUIRREL_OPCODE_ROW
};
static_assert(sizeof kOperandRows / sizeof kOperandRows[0] == OP_COUNT);

}  // namespace squirrel
