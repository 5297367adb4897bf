// Compiled files written by 2.1.1 (32-bit build, 1-byte characters). The
// whole function tree is read and checked first; then each 2.1.1
// instruction becomes exactly one instruction of ours, so the file's line
// table and local-variable ranges keep their indices, and the result passes
// the same operand verifier as our own compiled form before anything runs.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "squirrel/opcodes.h"
#include "squirrel/vm.h"
#include "squirrel/vm_local.h"

using namespace squirrel;

namespace {

// Four-character codes stored as integers: "TRAP" and "LIAT" in the file.
constexpr uint32_t kTagPart = 0x50415254;  // "PART"
constexpr uint32_t kTagTail = 0x5441494C;  // "TAIL"
// Counts and string lengths above this are damage: no script comes close.
constexpr uint32_t kMaxCount = 1u << 24;
constexpr int kMaxDepth = 200;

constexpr uint32_t kTypeNull = 0x01000001;
constexpr uint32_t kTypeInteger = 0x05000002;
constexpr uint32_t kTypeFloat = 0x05000004;
constexpr uint32_t kTypeString = 0x08000010;

const char* const kCorrupted = "invalid or corrupted closure stream";
const char* const kTruncated = "io error, read function failure, the origin stream could be corrupted/trucated";

// 2.1.1's instruction as stored: a1 first, then op, a0, a2, a3.
struct RawInstr {
    int32_t a1;
    uint8_t op, a0, a2, a3;
};

enum RawOp : uint8_t {
    R_LINE, R_LOAD, R_LOADINT, R_LOADFLOAT, R_DLOAD, R_TAILCALL, R_CALL, R_PREPCALL, R_PREPCALLK,
    R_GETK, R_MOVE, R_NEWSLOT, R_DELETE, R_SET, R_GET, R_EQ, R_NE, R_ARITH, R_BITW, R_RETURN,
    R_LOADNULLS, R_LOADROOTTABLE, R_LOADBOOL, R_DMOVE, R_JMP, R_JNZ, R_JZ, R_LOADFREEVAR, R_VARGC,
    R_GETVARGV, R_NEWTABLE, R_NEWARRAY, R_APPENDARRAY, R_GETPARENT, R_COMPARITH, R_COMPARITHL,
    R_INC, R_INCL, R_PINC, R_PINCL, R_CMP, R_EXISTS, R_INSTANCEOF, R_AND, R_OR, R_NEG, R_NOT,
    R_BWNOT, R_CLOSURE, R_YIELD, R_RESUME, R_FOREACH, R_DELEGATE, R_CLONE, R_TYPEOF, R_PUSHTRAP,
    R_POPTRAP, R_THROW, R_CLASS, R_NEWSLOTA, R_OPCOUNT
};
static_assert(R_OPCOUNT == 60);

struct RawOuter {
    uint32_t kind;
    Value source, name;
};

struct RawLocal {
    Value name;
    uint32_t reg, first, last;
};

struct RawProto {
    Value source, name;
    std::vector<Value> literals, params;
    std::vector<RawOuter> outers;
    std::vector<RawLocal> locals;
    std::vector<LineInfo> lines;
    std::vector<RawInstr> code;
    std::vector<std::unique_ptr<RawProto>> functions;
    int32_t stackSize = 0;
    uint8_t generator = 0, varargs = 0;
};

// The name 2.1.1 prints for a type code it cannot read: that of its raw
// type bits, or (null) when they name none.
const char* rawTypeName(uint32_t code) {
    switch (code & 0xFFFFFF) {
    case _RT_NULL: return "null";
    case _RT_INTEGER: return "integer";
    case _RT_FLOAT: return "float";
    case _RT_BOOL: return "bool";
    case _RT_STRING: return "string";
    case _RT_TABLE: return "table";
    case _RT_ARRAY: return "array";
    case _RT_USERDATA:
    case _RT_USERPOINTER: return "userdata";
    case _RT_CLOSURE:
    case _RT_NATIVECLOSURE:
    case _RT_FUNCPROTO: return "function";
    case _RT_GENERATOR: return "generator";
    case _RT_THREAD: return "thread";
    case _RT_CLASS: return "class";
    case _RT_INSTANCE: return "instance";
    case _RT_WEAKREF: return "weakref";
    default: return "(null)";
    }
}

class ForeignReader {
public:
    ForeignReader(SQVM* v, SQREADFUNC f, SQUserPointer u) : vm(v), fn(f), up(u) {}

    bool fail(const std::string& msg) {
        if (!failed) vm->raise("%s", msg.c_str());
        failed = true;
        return false;
    }
    bool bytes(void* p, size_t n) {
        if (failed) return false;
        if (n && fn(up, p, SQInteger(n)) != SQInteger(n)) return fail(kTruncated);
        return true;
    }
    bool i32(int32_t& x) { return bytes(&x, 4); }
    bool u32(uint32_t& x) { return bytes(&x, 4); }
    bool tag(uint32_t expected) {
        uint32_t t = 0;
        if (!u32(t)) return false;
        return t == expected || fail(kCorrupted);
    }
    bool count(int32_t& n) {
        if (!i32(n)) return false;
        return (n >= 0 && uint32_t(n) <= kMaxCount) || fail(kCorrupted);
    }
    bool value(Value& out) {
        uint32_t type = 0;
        if (!u32(type)) return false;
        switch (type) {
        case kTypeNull: out.setNull(); return true;
        case kTypeInteger: {
            int32_t i;
            if (!i32(i)) return false;
            out.setInt(i);
            return true;
        }
        case kTypeFloat: {
            float f;
            if (!bytes(&f, 4)) return false;
            out.setFloat(f);
            return true;
        }
        case kTypeString: {
            int32_t len;
            if (!count(len)) return false;
            // Read in pieces so a damaged length fails at the end of the
            // data instead of allocating first.
            std::string s;
            char chunk[4096];
            for (int32_t left = len; left > 0;) {
                int32_t n = left < int32_t(sizeof chunk) ? left : int32_t(sizeof chunk);
                if (!bytes(chunk, size_t(n))) return false;
                s.append(chunk, size_t(n));
                left -= n;
            }
            out = vm->newString(s.data(), int(s.size()));
            return true;
        }
        default: return fail(std::string("cannot serialize a ") + rawTypeName(type));
        }
    }
    bool flag(uint8_t& f) { return bytes(&f, 1) && (f <= 1 || fail(kCorrupted)); }

    // The opening PART of the record has been read already.
    std::unique_ptr<RawProto> proto(int depth);

    bool failed = false;

private:
    SQVM* vm;
    SQREADFUNC fn;
    SQUserPointer up;
};

std::unique_ptr<RawProto> ForeignReader::proto(int depth) {
    if (depth > kMaxDepth) {
        fail(kCorrupted);
        return nullptr;
    }
    auto p = std::make_unique<RawProto>();
    int32_t nLiterals, nParams, nOuters, nLocals, nLines, nCode, nFunctions;
    bool ok = value(p->source) && value(p->name) && tag(kTagPart) && count(nLiterals) &&
              count(nParams) && count(nOuters) && count(nLocals) && count(nLines) && count(nCode) &&
              count(nFunctions) && tag(kTagPart);
    // Elements are appended as they are read, so memory follows the data
    // actually present, whatever the counts claim.
    for (int32_t i = 0; ok && i < nLiterals; i++) {
        Value v;
        ok = value(v);
        p->literals.push_back(v);
    }
    ok = ok && tag(kTagPart);
    for (int32_t i = 0; ok && i < nParams; i++) {
        Value v;
        ok = value(v);
        p->params.push_back(v);
    }
    ok = ok && tag(kTagPart);
    for (int32_t i = 0; ok && i < nOuters; i++) {
        RawOuter o{};
        ok = u32(o.kind) && value(o.source) && value(o.name);
        p->outers.push_back(o);
    }
    ok = ok && tag(kTagPart);
    for (int32_t i = 0; ok && i < nLocals; i++) {
        RawLocal l{};
        ok = value(l.name) && u32(l.reg) && u32(l.first) && u32(l.last);
        p->locals.push_back(l);
    }
    ok = ok && tag(kTagPart);
    for (int32_t i = 0; ok && i < nLines; i++) {
        int32_t line = 0, op = 0;
        ok = i32(line) && i32(op);
        p->lines.push_back(LineInfo{line, op});
    }
    ok = ok && tag(kTagPart);
    for (int32_t i = 0; ok && i < nCode; i++) {
        unsigned char b[8];
        ok = bytes(b, 8);
        RawInstr in{};
        memcpy(&in.a1, b, 4);
        in.op = b[4];
        in.a0 = b[5];
        in.a2 = b[6];
        in.a3 = b[7];
        p->code.push_back(in);
    }
    ok = ok && tag(kTagPart);
    for (int32_t i = 0; ok && i < nFunctions; i++) {
        std::unique_ptr<RawProto> child;
        ok = tag(kTagPart) && (child = proto(depth + 1)) != nullptr;
        if (ok) p->functions.push_back(std::move(child));
    }
    ok = ok && i32(p->stackSize) && flag(p->generator) && flag(p->varargs);
    if (!ok) return nullptr;
    return p;
}

bool isString(const Value& v) { return v._type == OT_STRING; }

// Checks what the operand verifier of our form cannot see (the 2.1.1 fields
// and tables themselves) and translates one function; children follow.
class Translator {
public:
    Translator() = default;
    FuncProto* translate(const RawProto& raw, const RawProto* parent, const FuncProto* parentProto);
    std::string error;

private:
    bool instr(const RawProto& raw, const RawInstr& in, Instr& out);
    void fuse(const RawProto& raw, FuncProto& p);
};

bool Translator::instr(const RawProto& raw, const RawInstr& in, Instr& out) {
    const int ss = raw.stackSize;
    const int nk = int(raw.literals.size());
    auto reg32 = [&](int32_t r) { return r >= 0 && r < ss; };
    auto set = [&](int op, int a, int b, int c, int32_t arg) {
        out.op = uint8_t(op);
        out.a = uint8_t(a);
        out.b = uint8_t(b);
        out.c = uint8_t(c);
        out.arg = arg;
        return true;
    };
    // Operands that move from the 32-bit a1 into a byte must fit it.
    auto byteReg = [&](int32_t r) { return reg32(r) && r <= 255; };
    switch (in.op) {
    case R_LINE: return set(OP_LINE, 0, 0, 0, in.a1);
    case R_LOAD: return set(OP_LOADK, in.a0, 0, 0, in.a1);
    case R_LOADINT: return set(OP_LOADINT, in.a0, 0, 0, in.a1);
    case R_LOADFLOAT: return set(OP_LOADFLOAT, in.a0, 0, 0, in.a1);
    case R_DLOAD: return set(OP_DLOAD, in.a0, in.a2, in.a3, in.a1);
    case R_TAILCALL:
    case R_CALL:
        if (!reg32(in.a1)) return false;
        return set(in.op == R_CALL ? OP_CALLR : OP_TAILCALLR, in.a0, in.a2, in.a3, in.a1);
    case R_PREPCALL:
    case R_PREPCALLK: {
        // Our form keeps the function and its `this` in neighbouring
        // registers, as 2.1.1's compiler always places them.
        if (in.a3 != in.a0 + 1) return false;
        if (in.op == R_PREPCALLK) return set(OP_PREPCALLK, in.a0, in.a2, 0, in.a1);
        if (!byteReg(in.a1)) return false;
        return set(OP_PREPCALL, in.a0, in.a2, in.a1, 0);
    }
    case R_GETK:
        if (in.a1 >= 0 && in.a1 < nk && isString(raw.literals[size_t(in.a1)])) {
            return set(OP_GETK, in.a0, in.a2, 0, in.a1);
        }
        return set(OP_GETKANY, in.a0, in.a2, 0, in.a1);
    case R_MOVE:
        if (!byteReg(in.a1)) return false;
        return set(OP_MOVE, in.a0, in.a1, 0, 0);
    case R_NEWSLOT:
    case R_SET:
        if (!byteReg(in.a1)) return false;
        if (in.a0 == in.a3) return set(in.op == R_SET ? OP_SET : OP_NEWSLOT, in.a1, in.a2, in.a3, 0);
        return set(in.op == R_SET ? OP_SETR : OP_NEWSLOTR, in.a0, in.a1, in.a2, in.a3);
    case R_DELETE:
        if (!byteReg(in.a1)) return false;
        return set(OP_DELETE, in.a0, in.a1, in.a2, 0);
    case R_GET:
        if (!byteReg(in.a1)) return false;
        return set(OP_GET, in.a0, in.a1, in.a2, 0);
    case R_EQ:
    case R_NE:
        if (in.a3 != 0) return set(in.op == R_EQ ? OP_EQK : OP_NEK, in.a0, in.a2, 0, in.a1);
        if (!byteReg(in.a1)) return false;
        return set(in.op == R_EQ ? OP_EQ : OP_NE, in.a0, in.a2, in.a1, 0);
    case R_ARITH: {
        if (!byteReg(in.a1)) return false;
        int op;
        switch (in.a3) {
        case '+': op = OP_ADD; break;
        case '-': op = OP_SUB; break;
        case '*': op = OP_MUL; break;
        case '/': op = OP_DIV; break;
        case '%': op = OP_MOD; break;
        default: return false;
        }
        return set(op, in.a0, in.a2, in.a1, 0);
    }
    case R_BITW: {
        if (!byteReg(in.a1)) return false;
        static const int ops[] = {OP_BAND, -1, OP_BOR, OP_BXOR, OP_SHL, OP_SHR, OP_USHR};
        if (in.a3 > 6 || ops[in.a3] < 0) return false;
        return set(ops[in.a3], in.a0, in.a2, in.a1, 0);
    }
    case R_CMP: {
        if (!byteReg(in.a1)) return false;
        static const int ops[] = {OP_GT, -1, OP_GE, OP_LT, OP_LE};
        if (in.a3 > 4 || ops[in.a3] < 0) return false;
        return set(ops[in.a3], in.a0, in.a2, in.a1, 0);
    }
    case R_RETURN:
    case R_YIELD: {
        const int op = in.op == R_RETURN ? OP_RETURN : OP_YIELD;
        if (in.a0 == 0xFF) return set(op, 0, 0, 0, 0);
        if (in.a0 != 1 || !byteReg(in.a1)) return false;
        return set(op, in.a1, 0, 0, 1);
    }
    case R_LOADNULLS:
        if (in.a1 < 1 || in.a1 > ss) return false;
        return set(OP_LOADNULL, in.a0, 0, 0, in.a1);
    case R_LOADROOTTABLE: return set(OP_LOADROOT, in.a0, 0, 0, 0);
    case R_LOADBOOL: return set(OP_LOADBOOL, in.a0, 0, 0, in.a1 != 0 ? 1 : 0);
    case R_DMOVE:
        if (!byteReg(in.a1)) return false;
        return set(OP_DMOVE, in.a0, in.a1, in.a2, in.a3);
    case R_JMP: return set(OP_JMP, 0, 0, 0, in.a1);
    case R_JNZ: return set(OP_JNZ, in.a0, 0, 0, in.a1);
    case R_JZ: return set(OP_JZ, in.a0, 0, 0, in.a1);
    case R_LOADFREEVAR: return set(OP_LOADFREE, in.a0, 0, 0, in.a1);
    case R_VARGC: return set(OP_VARGC, in.a0, 0, 0, 0);
    case R_GETVARGV:
        if (!byteReg(in.a1)) return false;
        return set(OP_VARGV, in.a0, in.a1, 0, 0);
    case R_NEWTABLE: return set(OP_NEWTABLE, in.a0, 0, 0, in.a1);
    case R_NEWARRAY: return set(OP_NEWARRAY, in.a0, 0, 0, in.a1);
    case R_APPENDARRAY:
        if (in.a3 != 0) return set(OP_APPENDK, in.a0, 0, 0, in.a1);
        if (!byteReg(in.a1)) return false;
        return set(OP_APPEND, in.a0, in.a1, 0, 0);
    case R_GETPARENT:
        if (!byteReg(in.a1)) return false;
        return set(OP_GETPARENT, in.a0, in.a1, 0, 0);
    case R_COMPARITH: return set(OP_COMPARITH, in.a0, in.a2, in.a3, in.a1);
    case R_COMPARITHL:
        if (!byteReg(in.a1)) return false;
        return set(OP_COMPARITHL, in.a0, in.a1, in.a2, in.a3);
    case R_INC:
    case R_PINC:
        if (!byteReg(in.a1)) return false;
        return set(in.op == R_INC ? OP_INC : OP_PINC, in.a0, in.a1, in.a2, int8_t(in.a3));
    case R_INCL:
    case R_PINCL:
        if (!byteReg(in.a1)) return false;
        return set(in.op == R_INCL ? OP_INCL : OP_PINCL, in.a0, in.a1, 0, int8_t(in.a3));
    case R_EXISTS:
        if (!byteReg(in.a1)) return false;
        return set(OP_IN, in.a0, in.a2, in.a1, 0);
    case R_INSTANCEOF:
        if (!byteReg(in.a1)) return false;
        return set(OP_INSTANCEOF, in.a0, in.a2, in.a1, 0);
    case R_AND:
    case R_OR: return set(in.op == R_AND ? OP_AND : OP_OR, in.a0, in.a2, 0, in.a1);
    case R_NEG:
    case R_NOT:
    case R_BWNOT: {
        if (!byteReg(in.a1)) return false;
        const int op = in.op == R_NEG ? OP_NEG : in.op == R_NOT ? OP_NOT : OP_BNOT;
        return set(op, in.a0, in.a1, 0, 0);
    }
    case R_CLOSURE: return set(OP_CLOSURE, in.a0, 0, 0, in.a1);
    case R_RESUME:
        if (!byteReg(in.a1)) return false;
        return set(OP_RESUME, in.a0, in.a1, 0, 0);
    case R_FOREACH:
        // Register 0 (`this`) cannot hold the key; our form reads b = 0
        // as "the three registers after the container".
        if (in.a2 == 0) return false;
        return set(OP_FOREACH, in.a0, in.a2, 0, in.a1);
    case R_DELEGATE:
        if (!byteReg(in.a1)) return false;
        return set(OP_DELEGATE, in.a0, in.a2, in.a1, 0);
    case R_CLONE:
    case R_TYPEOF:
        if (!byteReg(in.a1)) return false;
        return set(in.op == R_CLONE ? OP_CLONE : OP_TYPEOF, in.a0, in.a1, 0, 0);
    case R_PUSHTRAP: return set(OP_PUSHTRAP, in.a0, 0, 0, in.a1);
    case R_POPTRAP: return set(OP_POPTRAP, 0, 0, 0, in.a0);
    case R_THROW: return set(OP_THROW, in.a0, 0, 0, 0);
    case R_CLASS:
        // kNoReg means "none" in our form, so a real register 255 cannot
        // be expressed.
        if (in.a1 != -1 && (!byteReg(in.a1) || in.a1 == kNoReg)) return false;
        return set(OP_CLASS, in.a0, in.a1 == -1 ? kNoReg : in.a1, in.a2, 0);
    case R_NEWSLOTA: {
        if (!byteReg(in.a1) || in.a0 > 3) return false;
        int attrs = kNoReg;
        if (in.a0 & 1) {
            if (in.a2 == 0) return false;
            attrs = in.a2 - 1;
        }
        return set(in.a0 ? OP_NEWMEMBER : OP_NEWSLOT, in.a1, in.a2, in.a3,
                   packNewSlot((in.a0 & 2) != 0, true, attrs));
    }
    default: return false;
    }
}

// 2.1.1's compiler spends two instructions where ours spends one (a compare
// and its conditional jump; a constant loaded only to be added). Such pairs
// run as one dispatch with the same register writes, as long as an error in
// the second would be reported alike at the first (same line, same visible
// locals). The second keeps its translation for jumps that land on it.
void Translator::fuse(const RawProto& raw, FuncProto& p) {
    auto sameReport = [&](int pc) {
        if (p.lineAt(pc) != p.lineAt(pc + 1)) return false;
        for (const LocalVarInfo& l : p.locals) {
            if (l.startPc == pc + 1 || l.endPc == pc + 1) return false;
        }
        return true;
    };
    for (int pc = 0; pc + 2 < int(raw.code.size()); pc++) {
        const RawInstr& x = raw.code[size_t(pc)];
        const RawInstr& y = raw.code[size_t(pc) + 1];
        const bool registerEq = (x.op == R_EQ || x.op == R_NE) && x.a3 == 0;
        if ((x.op == R_CMP || registerEq) && y.op == R_JZ && y.a0 == x.a0 && y.a1 > -(1 << 24) &&
            y.a1 < (1 << 24) && sameReport(pc)) {
            Instr& in = p.code[size_t(pc)];
            const int rel = x.op == R_CMP ? int(x.a3) : x.op == R_EQ ? kRelEqual : kRelNotEqual;
            in.op = OP_CMPJZ;
            in.arg = packCmpJump(rel, y.a1 + 1);
        } else if (x.op == R_LOADINT && y.op == R_ARITH && (y.a3 == '+' || y.a3 == '-') && y.a1 == x.a0 &&
                   y.a2 != x.a0 && sameReport(pc)) {
            p.code[size_t(pc)] = Instr{uint8_t(y.a3 == '+' ? OP_LOADADD : OP_LOADSUB), y.a0, y.a2, x.a0, x.a1};
        } else if (x.op == R_LOADINT && y.op == R_BITW && y.a3 == 0 && y.a1 == x.a0 && y.a2 != x.a0 &&
                   sameReport(pc)) {
            p.code[size_t(pc)] = Instr{OP_LOADBAND, y.a0, y.a2, x.a0, x.a1};
        }
    }
    // A constant loaded for the compare of a fused compare-and-jump runs on
    // into it: the load cannot fail, so only the compare needs its place.
    for (int pc = 0; pc + 1 < int(raw.code.size()); pc++) {
        if (raw.code[size_t(pc)].op == R_LOADINT && p.code[size_t(pc)].op == OP_LOADINT &&
            p.code[size_t(pc) + 1].op == OP_CMPJZ) {
            p.code[size_t(pc)].op = OP_LOADCMPJZ;
        }
    }
}

FuncProto* Translator::translate(const RawProto& raw, const RawProto* parent, const FuncProto* parentProto) {
    const int ss = raw.stackSize;
    const int ncode = int(raw.code.size());
    auto bad = [&](const char* why) {
        error = std::string(kCorrupted) + " (" + why + ")";
        return nullptr;
    };
    if (!isString(raw.source) && !raw.source.isNull()) return bad("source name");
    if (!isString(raw.name) && !raw.name.isNull()) return bad("function name");
    if (raw.params.empty() || ss < int(raw.params.size()) || ss > kMaxFrameSize) return bad("stack size");
    for (const Value& v : raw.params) {
        if (!isString(v)) return bad("parameter name");
    }
    if (!parent && !raw.outers.empty()) return bad("free variables");
    for (const RawOuter& o : raw.outers) {
        if (!isString(o.name)) return bad("free variable");
        bool ok = false;
        switch (o.kind) {
        case 0:
            ok = o.source._type == OT_INTEGER && o.source.i() >= 0 && o.source.i() < parent->stackSize;
            break;
        case 1: ok = isString(o.source) && o.source.rawEquals(o.name); break;
        case 2:
            ok = o.source._type == OT_INTEGER && o.source.i() >= 0 &&
                 size_t(o.source.i()) < parent->outers.size();
            break;
        }
        if (!ok) return bad("free variable");
    }
    for (const RawLocal& l : raw.locals) {
        if (!isString(l.name) || l.reg >= uint32_t(ss) || l.last >= uint32_t(ncode) || l.first > l.last + 1) {
            return bad("local variable");
        }
    }
    if (raw.lines.empty() || raw.lines[0].pc != 0) return bad("line table");
    for (size_t i = 0; i < raw.lines.size(); i++) {
        const LineInfo& li = raw.lines[i];
        if (li.pc < 0 || li.pc >= ncode || (i > 0 && li.pc < raw.lines[i - 1].pc)) return bad("line table");
    }
    if (ncode == 0 || raw.code.back().op != R_RETURN) return bad("code end");

    FuncProto* p = new FuncProto();
    addRef(p);
    auto giveUp = [&](const char* why) {
        release(p);
        return bad(why);
    };
    p->source = raw.source;
    p->name = raw.name;
    p->constants = raw.literals;
    p->params = raw.params;
    p->numParams = int(raw.params.size());
    p->stackSize = ss;
    p->generator = raw.generator != 0;
    p->varargs = raw.varargs != 0;
    p->lines = raw.lines;
    for (const RawOuter& o : raw.outers) {
        OuterInfo info;
        info.kind = o.kind == 0 ? OuterInfo::Local : o.kind == 1 ? OuterInfo::Slot : OuterInfo::Outer;
        info.index = o.kind == 1 ? 0 : int(o.source.i());
        info.name = o.name;
        p->outers.push_back(info);
    }
    // Error reports walk our table from its end and treat ranges as
    // half-open; 2.1.1's lists them in stored order with inclusive ranges.
    for (auto it = raw.locals.rbegin(); it != raw.locals.rend(); ++it) {
        p->locals.push_back(LocalVarInfo{it->name, int(it->reg), int(it->first), int(it->last) + 1});
    }
    p->code.resize(size_t(ncode));
    for (int pc = 0; pc < ncode; pc++) {
        if (!instr(raw, raw.code[size_t(pc)], p->code[size_t(pc)])) return giveUp("instruction");
    }
    fuse(raw, *p);
    for (const auto& child : raw.functions) {
        FuncProto* c = translate(*child, &raw, p);
        if (!c) {
            release(p);
            return nullptr;
        }
        p->functions.push_back(c);
    }
    if (!verifyProto(p, parentProto)) return giveUp("instruction operand");
    return p;
}

}  // namespace

FuncProto* squirrel::readForeignClosure(SQVM* vm, SQREADFUNC readf, SQUserPointer up) {
    ForeignReader r(vm, readf, up);
    std::unique_ptr<RawProto> raw = r.proto(0);
    if (!raw || !r.tag(kTagTail)) return nullptr;
    Translator t;
    FuncProto* p = t.translate(*raw, nullptr, nullptr);
    if (!p) vm->raise("%s", t.error.c_str());
    return p;
}
