// sq_writeclosure / sq_readclosure: this engine's own compiled form. A
// stream starts with the 2-byte tag 0xFAFA. Everything read back is checked
// (tags, counts, every operand of every instruction) before it can run, so a
// damaged or hostile file gives an error, never a crash.
#include <cstring>
#include <string>

#include "squirrel/opcodes.h"
#include "squirrel/vm.h"
#include "squirrel/vm_local.h"

using namespace squirrel;

namespace {

constexpr uint32_t kTagHead = 0x52495153;  // "SQIR"
// 2.1.1 stores its codes the other way round ("RIQS", "TRAP" in the file).
constexpr uint32_t kTagForeignHead = 0x53514952;
constexpr uint32_t kTagForeignPart = 0x50415254;
constexpr uint32_t kTagEngine = 0x31515354;  // "TSQ1": this engine's instruction set
constexpr uint32_t kTagPart = 0x54524150;  // "PART"
constexpr uint32_t kTagTail = 0x4C494154;  // "TAIL"
constexpr uint32_t kMaxCount = 1u << 24;
constexpr int kMaxDepth = 200;

class Writer {
public:
    Writer(SQVM* v, SQWRITEFUNC f, SQUserPointer u) : vm(v), fn(f), up(u) {}
    bool bytes(const void* p, size_t n) {
        if (failed) return false;
        if (fn(up, const_cast<void*>(p), SQInteger(n)) != SQInteger(n)) {
            vm->raise("io error (write function failure)");
            failed = true;
        }
        return !failed;
    }
    bool u32(uint32_t x) { return bytes(&x, 4); }
    bool value(const Value& v) {
        switch (v._type) {
        case OT_NULL: return u32(v._type);
        case OT_INTEGER:
        case OT_FLOAT: return u32(v._type) && bytes(&v._unVal.nInteger, 4);
        case OT_STRING: return u32(v._type) && u32(v.str()->len) && bytes(v.str()->data, v.str()->len);
        default:
            vm->raise("cannot serialize a %s", typeName(v._type));
            failed = true;
            return false;
        }
    }
    bool proto(const FuncProto* p) {
        u32(kTagPart);
        value(p->name);
        value(p->source);
        u32(uint32_t(p->numParams));
        u32(uint32_t(p->stackSize));
        u32(p->varargs ? 1 : 0);
        u32(p->generator ? 1 : 0);
        u32(uint32_t(p->constants.size()));
        for (const Value& c : p->constants) value(c);
        u32(uint32_t(p->params.size()));
        for (const Value& c : p->params) value(c);
        u32(uint32_t(p->outers.size()));
        for (const OuterInfo& o : p->outers) {
            u32(o.kind);
            u32(uint32_t(o.index));
            value(o.name);
        }
        u32(uint32_t(p->locals.size()));
        for (const LocalVarInfo& l : p->locals) {
            value(l.name);
            u32(uint32_t(l.reg));
            u32(uint32_t(l.startPc));
            u32(uint32_t(l.endPc));
        }
        u32(uint32_t(p->lines.size()));
        for (const LineInfo& l : p->lines) {
            u32(uint32_t(l.line));
            u32(uint32_t(l.pc));
        }
        u32(uint32_t(p->code.size()));
        if (!p->code.empty()) bytes(p->code.data(), p->code.size() * sizeof(Instr));
        u32(uint32_t(p->functions.size()));
        for (const FuncProto* f : p->functions) proto(f);
        return !failed;
    }

    bool failed = false;

private:
    SQVM* vm;
    SQWRITEFUNC fn;
    SQUserPointer up;
};

class Reader {
public:
    Reader(SQVM* v, SQREADFUNC f, SQUserPointer u) : vm(v), fn(f), up(u) {}
    bool bytes(void* p, size_t n) {
        if (failed) return false;
        if (n && fn(up, p, SQInteger(n)) != SQInteger(n)) {
            return fail("io error, read function failure, the origin stream could be corrupted/trucated");
        }
        return true;
    }
    bool u32(uint32_t& x) { return bytes(&x, 4); }
    bool tag(uint32_t expected) {
        uint32_t t = 0;
        if (!u32(t)) return false;
        if (t != expected) return fail("invalid or corrupted closure stream");
        return true;
    }
    bool count(uint32_t& n) {
        if (!u32(n)) return false;
        if (n > kMaxCount) return fail("invalid or corrupted closure stream");
        return true;
    }
    bool value(Value& out) {
        uint32_t type;
        if (!u32(type)) return false;
        switch (type) {
        case OT_NULL: out.setNull(); return true;
        case OT_INTEGER:
        case OT_FLOAT: {
            SQInteger i;
            if (!bytes(&i, 4)) return false;
            out = Value::integer(i);
            out._type = SQObjectType(type);
            return true;
        }
        case OT_STRING: {
            uint32_t len;
            if (!count(len)) return false;
            std::string s(len, '\0');
            if (!bytes(s.data(), len)) return false;
            out = vm->newString(s.data(), int(len));
            return true;
        }
        default: return fail("invalid or corrupted closure stream");
        }
    }
    FuncProto* proto(const FuncProto* parent, int depth);
    bool fail(const char* msg) {
        if (!failed) vm->raise("%s", msg);
        failed = true;
        return false;
    }

    bool failed = false;

private:
    SQVM* vm;
    SQREADFUNC fn;
    SQUserPointer up;
};

FuncProto* Reader::proto(const FuncProto* parent, int depth) {
    if (depth > kMaxDepth) {
        fail("invalid or corrupted closure stream");
        return nullptr;
    }
    FuncProto* p = new FuncProto();
    addRef(p);
    uint32_t n, a, b, c;
    bool ok = tag(kTagPart) && value(p->name) && value(p->source);
    if (ok && u32(a) && u32(b) && u32(c) && u32(n)) {
        p->numParams = int(a);
        p->stackSize = int(b);
        p->varargs = c != 0;
        p->generator = n != 0;
    }
    if (ok && count(n)) {
        p->constants.resize(n);
        for (auto& v : p->constants) ok = ok && value(v);
    }
    if (ok && count(n)) {
        p->params.resize(n);
        for (auto& v : p->params) ok = ok && value(v);
    }
    if (ok && count(n)) {
        p->outers.resize(n);
        for (auto& o : p->outers) {
            uint32_t kind = 0, index = 0;
            ok = ok && u32(kind) && u32(index) && value(o.name);
            if (kind > OuterInfo::Slot) ok = fail("invalid or corrupted closure stream");
            o.kind = OuterInfo::Kind(kind);
            o.index = int(index);
        }
    }
    if (ok && count(n)) {
        p->locals.resize(n);
        for (auto& l : p->locals) {
            ok = ok && value(l.name) && u32(a) && u32(b) && u32(c);
            l.reg = int(a);
            l.startPc = int(b);
            l.endPc = int(c);
        }
    }
    if (ok && count(n)) {
        p->lines.resize(n);
        for (auto& l : p->lines) {
            ok = ok && u32(a) && u32(b);
            l.line = int(a);
            l.pc = int(b);
        }
    }
    if (ok && count(n)) {
        p->code.resize(n);
        ok = bytes(p->code.data(), n * sizeof(Instr));
    }
    if (ok && count(n)) {
        for (uint32_t i = 0; ok && i < n; i++) {
            FuncProto* child = proto(p, depth + 1);
            if (!child) {
                ok = false;
                break;
            }
            p->functions.push_back(child);
        }
    }
    if (ok) {
        // A foreach with b = 0 (never a key register: register 0 is `this`)
        // is the compact form whose key, value and iterator follow the
        // container register.
        for (Instr& in : p->code) {
            if (in.op == OP_FOREACH && in.b == 0) in.b = uint8_t(in.a + 1);
        }
    }
    ok = ok && !failed && (verifyProto(p, parent) || fail("invalid or corrupted closure stream"));
    if (!ok) {
        release(p);
        return nullptr;
    }
    return p;
}

}  // namespace

// Every operand must address the frame, a constant, a free variable or a
// nested function that exists, and every jump must land inside the code.
bool squirrel::verifyProto(const FuncProto* p, const FuncProto* parent) {
    const int ss = p->stackSize;
    const int nk = int(p->constants.size());
    const int ncode = int(p->code.size());
    auto bad = []() { return false; };
    if (ss < 1 || ss > kMaxFrameSize || p->numParams < 1 || p->numParams > ss ||
        int(p->params.size()) != p->numParams || ncode == 0 || p->code.back().op != OP_RETURN) {
        return bad();
    }
    if (p->name._type != OT_STRING && p->name._type != OT_NULL) return bad();
    if (p->source._type != OT_STRING && p->source._type != OT_NULL) return bad();
    for (const Value& v : p->params) {
        if (v._type != OT_STRING) return bad();
    }
    for (const LocalVarInfo& l : p->locals) {
        if (l.name._type != OT_STRING || l.reg < 0 || l.reg >= ss) return bad();
    }
    for (const OuterInfo& o : p->outers) {
        if (o.name._type != OT_STRING || o.index < 0 || !parent) return bad();
        if (o.kind == OuterInfo::Local && o.index >= parent->stackSize) return bad();
        if (o.kind == OuterInfo::Outer && o.index >= int(parent->outers.size())) return bad();
    }
    auto reg = [&](int r) { return r >= 0 && r < ss; };
    auto strConst = [&](int k) { return k >= 0 && k < nk && p->constants[size_t(k)]._type == OT_STRING; };
    for (int pc = 0; pc < ncode; pc++) {
        const Instr& in = p->code[size_t(pc)];
        if (in.op >= OP_COUNT) return bad();
        auto check = [&](Operand kind, int v) {
            switch (kind) {
            case Operand::Unused:
            case Operand::Immediate: return true;
            case Operand::Reg: return reg(v);
            case Operand::RegOrNone: return v == kNoReg || reg(v);
            case Operand::RegPair: return reg(v) && reg(v + 1);
            case Operand::RegTriple: return reg(v) && reg(v + 2);
            case Operand::CallArgs: return v >= 1 && in.a + v < ss;
            case Operand::Flag: return v == 0 || v == 1;
            case Operand::NullCount: return v >= 1 && in.a + v <= ss;
            case Operand::Const: return v >= 0 && v < nk;
            case Operand::StringConst: return strConst(v);
            case Operand::KeyedSet: return v >= 0 && strConst(keyedSetConst(v));
            case Operand::SlotFlags: {
                int attrs = newSlotAttrsReg(v);
                return v >= 0 && (attrs == kNoReg || reg(attrs));
            }
            case Operand::FreeVar: return v >= 0 && v < int(p->outers.size());
            case Operand::Function: return v >= 0 && v < int(p->functions.size());
            case Operand::Jump: {
                long t = long(pc) + 1 + v;
                return t >= 0 && t < ncode;
            }
            case Operand::Count: return v >= 0;
            case Operand::SizeHint: return v >= 0 && v <= kMaxSizeHint;
            case Operand::ArgReg: return reg(v);
            case Operand::CallCount: return v >= 1 && in.b + v <= ss;
            case Operand::ByteConst: return v < nk;
            case Operand::Step: return v == 1 || v == -1;
            case Operand::ArithChar: return v == '+' || v == '-' || v == '*' || v == '/' || v == '%';
            case Operand::RegPack: return v >= 0 && reg(regPackHigh(v)) && reg(regPackLow(v));
            case Operand::Relation: return validRelation(v);
            case Operand::BitOp: return v >= 0 && v <= OP_USHR - OP_BAND;
            case Operand::SlotArith: {
                int op = slotArithOp(v);
                return v >= 0 && reg(slotArithReg(v)) &&
                       (op == '+' || op == '-' || op == '*' || op == '/' || op == '%');
            }
            case Operand::CmpJump: {
                long t = long(pc) + 1 + cmpJumpOffset(v);
                return validRelation(cmpJumpRelation(v)) && t >= 0 && t < ncode;
            }
            }
            return false;
        };
        if (skipsNext(in.op) && pc + 2 >= ncode) return bad();
        if (in.op == OP_LOADCMPJZ && (pc + 1 >= ncode || p->code[size_t(pc) + 1].op != OP_CMPJZ)) return bad();
        const OperandRow& row = kOperandRows[in.op];
        bool ok = check(row.a, in.a) && check(row.b, in.b) && check(row.c, in.c) &&
                  check(row.arg, in.arg);
        if (!ok) return bad();
    }
    return true;
}

extern "C" {

SQRESULT sq_writeclosure(HSQUIRRELVM v, SQWRITEFUNC writef, SQUserPointer up) {
    Value& top = v->at(-1);
    if (top._type != OT_CLOSURE) {
        v->raise("wrong argument type, expected 'closure' got '%s'", keyText(top).substr(0, 50).c_str());
        return SQ_ERROR;
    }
    Writer w(v, writef, up);
    uint16_t head = SQ_BYTECODE_STREAM_TAG;
    w.bytes(&head, 2);
    w.u32(kTagHead);
    w.u32(1);
    w.u32(kTagEngine);
    w.proto(top.closure()->proto);
    w.u32(kTagTail);
    return w.failed ? SQ_ERROR : SQ_OK;
}

SQRESULT sq_readclosure(HSQUIRRELVM v, SQREADFUNC readf, SQUserPointer up) {
    Reader r(v, readf, up);
    uint16_t head = 0;
    if (!r.bytes(&head, 2)) return SQ_ERROR;
    if (head != SQ_BYTECODE_STREAM_TAG) return sq_throwerror(v, "invalid stream");
    uint32_t charSize = 0, headTag = 0;
    if (!r.u32(headTag)) return SQ_ERROR;
    if (headTag != kTagHead && headTag != kTagForeignHead) {
        return sq_throwerror(v, "invalid or corrupted closure stream");
    }
    if (!r.u32(charSize)) return SQ_ERROR;
    if (charSize != 1) return sq_throwerror(v, "invalid or corrupted closure stream");
    if (headTag == kTagForeignHead) {
        // A file 2.1.1 wrote: its first function record follows.
        if (!r.tag(kTagForeignPart)) return SQ_ERROR;
        FuncProto* p = readForeignClosure(v, readf, up);
        if (!p) return SQ_ERROR;
        Closure* cl = new Closure(v->shared, p);
        release(p);
        v->push(Value(static_cast<Object*>(cl)));
        return SQ_OK;
    }
    uint32_t engine = 0;
    if (!r.u32(engine)) return SQ_ERROR;
    if (engine != kTagEngine) return sq_throwerror(v, "invalid or corrupted closure stream");
    FuncProto* p = r.proto(nullptr, 0);
    if (!p) return SQ_ERROR;
    if (!p->outers.empty() || !r.tag(kTagTail)) {
        release(p);
        if (!r.failed) sq_throwerror(v, "invalid or corrupted closure stream");
        return SQ_ERROR;
    }
    Closure* cl = new Closure(v->shared, p);
    release(p);
    v->push(Value(static_cast<Object*>(cl)));
    return SQ_OK;
}

}  // extern "C"
