// Instruction set of the engine's own register machine. Registers a, b, c
// are frame slots (0 is `this`); arg is a constant index, an immediate or a
// jump offset relative to the next instruction.
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
    OP_SET,         // a[b] = c            arg 1: a failing set is silently ignored
    OP_SETK,        // a[K[arg >> 1]] = c  arg & 1: unchecked
    OP_NEWSLOT,     // a[b] <- c           arg: bit 0 static, bit 1 class body, arg >> 8: attrs reg + 1
    OP_DELETE,      // a = delete b[c]
    OP_PREPCALL,    // a = b[c], a+1 = this for the call
    OP_PREPCALLK,   // a = b[K[arg]], a+1 = this for the call
    OP_CALL,        // a = a(a+1 .. a+b)   b values counting `this`
    OP_TAILCALL,    // return a(a+1 .. a+b)
    OP_RETURN,      // return a (arg 0: null)
    OP_ADD, OP_SUB, OP_MUL, OP_DIV, OP_MOD,   // a = b op c
    OP_ADDI,        // a = b + arg
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
    OP_CLASS,       // a = class (b base or 255, c attributes or 255)
    OP_DELEGATE,    // delegate b : c; a = c
    OP_GETPARENT,   // a = b.parent
    OP_LINE,        // debug hook line event for line arg
    OP_COUNT
};

}  // namespace squirrel
