// Compiled files in 2.1.1's format, built byte by byte: what a genuine file
// does once loaded, and every structural damage the loader must refuse
// before any instruction runs.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "squirrel.h"
#include "squirrel/opcodes.h"

namespace {

// 2.1.1 opcodes used below.
enum : uint8_t {
    LINE = 0x00, LOAD = 0x01, LOADINT = 0x02, CALL = 0x06, PREPCALLK = 0x08, GETK = 0x09,
    RETURN = 0x13, LOADNULLS = 0x14, JMP = 0x18, LOADFREEVAR = 0x1B, NEWTABLE = 0x1E,
    APPENDARRAY = 0x20, COMPARITH = 0x22, ARITH = 0x11, CLOSURE = 0x30, NEWSLOTA = 0x3B,
    JZ = 0x1A, CMP = 0x28, AND = 0x2B, SET = 0x0D, CLASS = 0x3A, NEWSLOT = 0x0B,
    EQ = 0x0F, NE = 0x10, BITW = 0x12, LOADFLOAT = 0x03, MOVE = 0x0A, NEWARRAY = 0x1F,
    INC = 0x24, PINC = 0x26, GET = 0x0E,
};

struct Lit {
    uint32_t type;
    int32_t i = 0;
    std::string s;
};
Lit str(const std::string& s) { return Lit{0x08000010, 0, s}; }
Lit num(int32_t i) { return Lit{0x05000002, i, {}}; }
Lit nul() { return Lit{0x01000001, 0, {}}; }

struct Ins {
    uint8_t op, a0;
    int32_t a1;
    uint8_t a2, a3;
};
struct Outer {
    uint32_t kind;
    Lit source;
    std::string name;
};
struct Local {
    std::string name;
    uint32_t reg, first, last;
};

struct Fn {
    Lit source = str("made.nut");
    Lit name = str("main");
    std::vector<Lit> literals;
    std::vector<Lit> params{str("this")};
    std::vector<Outer> outers;
    std::vector<Local> locals;
    std::vector<std::pair<int32_t, int32_t>> lines{{1, 0}};
    std::vector<Ins> code;
    std::vector<Fn> children;
    int32_t stackSize = 4;
    uint8_t generator = 0, varargs = 0;
};

struct Out {
    std::string b;
    void u32(uint32_t x) { b.append(reinterpret_cast<const char*>(&x), 4); }
    void lit(const Lit& l) {
        u32(l.type);
        if (l.type == 0x08000010) {
            u32(uint32_t(l.s.size()));
            b += l.s;
        } else if (l.type != 0x01000001) {
            u32(uint32_t(l.i));
        }
    }
    void part() { b += "TRAP"; }
    void fn(const Fn& f) {
        part();
        lit(f.source);
        lit(f.name);
        part();
        for (size_t n : {f.literals.size(), f.params.size(), f.outers.size(), f.locals.size(),
                         f.lines.size(), f.code.size(), f.children.size()}) {
            u32(uint32_t(n));
        }
        part();
        for (const Lit& l : f.literals) lit(l);
        part();
        for (const Lit& l : f.params) lit(l);
        part();
        for (const Outer& o : f.outers) {
            u32(o.kind);
            lit(o.source);
            lit(str(o.name));
        }
        part();
        for (const Local& l : f.locals) {
            lit(str(l.name));
            u32(l.reg);
            u32(l.first);
            u32(l.last);
        }
        part();
        for (auto [line, op] : f.lines) {
            u32(uint32_t(line));
            u32(uint32_t(op));
        }
        part();
        for (const Ins& in : f.code) {
            u32(uint32_t(in.a1));
            b += char(in.op);
            b += char(in.a0);
            b += char(in.a2);
            b += char(in.a3);
        }
        part();
        for (const Fn& c : f.children) fn(c);
        u32(uint32_t(f.stackSize));
        b += char(f.generator);
        b += char(f.varargs);
    }
};

std::string file(const Fn& f) {
    Out o;
    o.b = "\xFA\xFA" "RIQS";
    o.u32(1);
    o.fn(f);
    o.b += "LIAT";
    return o.b;
}

// print(K0) then `return 7`: the smallest complete program.
Fn hello() {
    Fn f;
    f.literals = {str("hello\n"), str("print")};
    f.code = {
        {PREPCALLK, 1, 1, 0, 2},  // R1 = this.print, R2 = this
        {LOAD, 3, 0, 0, 0},       // R3 = "hello\n"
        {CALL, 1, 1, 2, 2},       // R1 = R1(R2, R3)
        {LOADINT, 1, 7, 0, 0},
        {RETURN, 1, 1, 0, 0},
        {RETURN, 0xFF, 0, 0, 0},
    };
    f.lines = {{1, 0}, {2, 3}};
    f.locals = {{"this", 0, 0, 5}};
    return f;
}

std::string printed;

void capturePrint(HSQUIRRELVM, const SQChar* format, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, format);
    vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    printed += buf;
}

struct Source {
    std::string data;
    size_t pos = 0;
};

SQInteger readSource(SQUserPointer up, SQUserPointer data, SQInteger size) {
    Source* s = static_cast<Source*>(up);
    size_t n = std::min(size_t(size), s->data.size() - s->pos);
    memcpy(data, s->data.data() + s->pos, n);
    s->pos += n;
    return SQInteger(n);
}

SQInteger appendBytes(SQUserPointer up, SQUserPointer data, SQInteger size) {
    static_cast<std::string*>(up)->append(static_cast<const char*>(data), size_t(size));
    return size;
}

// What the error handler saw of the failing frame.
std::string reported;

SQInteger recordError(HSQUIRRELVM v) {
    SQStackInfos si;
    if (SQ_SUCCEEDED(sq_stackinfos(v, 1, &si))) {
        reported = std::string(si.source ? si.source : "?") + ":" + std::to_string(si.line) + ":" +
                   (si.funcname ? si.funcname : "?");
    }
    for (SQUnsignedInteger i = 0;; i++) {
        const SQChar* name = sq_getlocal(v, 1, i);
        if (!name) break;
        reported += std::string(" ") + name;
        sq_pop(v, 1);
    }
    return 0;
}

class Foreign : public ::testing::Test {
protected:
    void SetUp() override {
        printed.clear();
        reported.clear();
        v = sq_open(1024);
        sq_setprintfunc(v, capturePrint);
    }
    void TearDown() override { sq_close(v); }

    bool load(const std::string& bytes) {
        Source s{bytes};
        return SQ_SUCCEEDED(sq_readclosure(v, readSource, &s));
    }
    // Loads the closure on top and runs it with the root table as `this`.
    bool run(const std::string& bytes, SQInteger* result = nullptr) {
        if (!load(bytes)) return false;
        sq_pushroottable(v);
        bool ok = SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue));
        if (ok && result) sq_getinteger(v, -1, result);
        sq_settop(v, 0);
        return ok;
    }
    std::string lastError() {
        sq_getlasterror(v);
        const SQChar* s = "";
        if (SQ_FAILED(sq_getstring(v, -1, &s))) s = "(not a string)";
        std::string r = s;
        sq_pop(v, 1);
        return r;
    }
    // Refused with a message starting with `expected`, leaving nothing pushed.
    void expectRefused(const std::string& bytes, const std::string& expected, const char* what) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(load(bytes));
        EXPECT_EQ(0, lastError().rfind(expected, 0)) << lastError();
        EXPECT_EQ(0, sq_gettop(v));
        EXPECT_EQ("", printed);
    }

    HSQUIRRELVM v = nullptr;
};

TEST_F(Foreign, AGenuineFileRunsAndTrailingBytesAreIgnored) {
    SQInteger r = 0;
    ASSERT_TRUE(run(file(hello()) + "anything after the end", &r)) << lastError();
    EXPECT_EQ("hello\n", printed);
    EXPECT_EQ(7, r);
}

TEST_F(Foreign, ErrorsReportTheRecordedNameLinesAndLocalsInStoredOrder) {
    Fn f;
    f.source = str("game.nut");
    f.literals = {str("y")};
    f.code = {
        {LOADINT, 1, 5, 0, 0},   // local a = 5
        {LOADINT, 2, 6, 0, 0},   // local b = 6
        {GETK, 3, 0, 1, 0},      // a.y: an integer has no y
        {RETURN, 0xFF, 0, 0, 0},
    };
    f.lines = {{3, 0}, {4, 1}, {9, 2}, {10, 3}};
    // Stored innermost first; `c` is no longer visible at op 2.
    f.locals = {{"c", 3, 1, 1}, {"b", 2, 2, 3}, {"a", 1, 1, 3}, {"this", 0, 0, 3}};
    f.stackSize = 4;
    sq_newclosure(v, recordError, 0);
    sq_seterrorhandler(v);
    EXPECT_FALSE(run(file(f)));
    EXPECT_EQ("the index 'y' does not exist", lastError());
    EXPECT_EQ("game.nut:9:main b a this", reported);
}

TEST_F(Foreign, FreeVariablesAndOurOwnFormRoundTrip) {
    // function (n) : (greeting) { return greeting + n } called with 2.
    Fn inner;
    inner.name = nul();
    inner.params = {str("this"), str("n")};
    inner.outers = {{0, num(1), "greeting"}};
    inner.code = {
        {LOADFREEVAR, 2, 0, 0, 0},
        {ARITH, 2, 1, 2, '+'},
        {RETURN, 1, 2, 0, 0},
        {RETURN, 0xFF, 0, 0, 0},
    };
    inner.locals = {{"n", 1, 0, 3}, {"this", 0, 0, 3}};
    inner.stackSize = 3;
    Fn f;
    f.literals = {num(40)};
    f.code = {
        {LOAD, 1, 0, 0, 0},        // greeting = 40
        {CLOSURE, 2, 0, 0, 0},
        {LOADNULLS, 3, 1, 0, 0},   // this for the call
        {LOADINT, 4, 2, 0, 0},
        {CALL, 2, 2, 3, 2},
        {RETURN, 1, 2, 0, 0},
        {RETURN, 0xFF, 0, 0, 0},
    };
    f.children = {inner};
    f.stackSize = 5;
    SQInteger r = 0;
    ASSERT_TRUE(run(file(f), &r)) << lastError();
    EXPECT_EQ(42, r);

    ASSERT_TRUE(load(file(f)));
    std::string own;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_writeclosure(v, appendBytes, &own)));
    sq_settop(v, 0);
    r = 0;
    ASSERT_TRUE(run(own, &r)) << lastError();
    EXPECT_EQ(42, r);
}

// A compare and its jump, and a constant and its addition, run as one step;
// a jump landing between them (as `&&` does) must still see both effects.
TEST_F(Foreign, PairedInstructionsKeepTheirSeparateEffects) {
    auto program = [](int32_t left, int32_t guard) {
        Fn f;
        f.code = {
            {LOADINT, 1, left, 0, 0},
            {LOADINT, 2, guard, 0, 0},
            {LOADINT, 4, 9, 0, 0},
            {AND, 3, 1, 2, 0},         // guard && ...: a false guard jumps to the JZ
            {CMP, 3, 4, 1, 3},         // R3 = R1 < R4
            {JZ, 3, 3, 0, 0},          // to 9
            {LOADINT, 4, 1, 0, 0},     // R4 = 1 then R5 = R1 - R4
            {ARITH, 5, 4, 1, '-'},
            {JMP, 0, 1, 0, 0},
            {LOADINT, 5, -7, 0, 0},
            {ARITH, 5, 4, 5, '*'},     // R5 * R4: shows R4 was written
            {RETURN, 1, 5, 0, 0},
            {RETURN, 0xFF, 0, 0, 0},
        };
        f.stackSize = 6;
        return file(f);
    };
    SQInteger r = 0;
    ASSERT_TRUE(run(program(5, 1), &r)) << lastError();
    EXPECT_EQ(4, r);  // 5 < 9: (5 - 1) * 1
    ASSERT_TRUE(run(program(10, 1), &r)) << lastError();
    EXPECT_EQ(-63, r);  // 10 < 9 fails: -7 * 9
    ASSERT_TRUE(run(program(5, 0), &r)) << lastError();
    EXPECT_EQ(-63, r);  // the guard jumps straight to the JZ
}

// A constant loaded for a compare runs on into the compare-and-jump, `==`
// and `!=` join their jump, and a constant and-ed in joins its `&`; each
// keeps the values and errors of the separate instructions, also when a
// jump lands on the compare itself.
TEST_F(Foreign, FusedConstantsComparesAndMasksBehaveAsSeparateSteps) {
    // R1 = value; R2 = R1 & 6; R2 rel 4 ? 100 + R2 : R2 - 50.
    auto program = [](uint8_t value, Lit literal, uint8_t relation) {
        Fn f;
        f.literals = {literal};
        f.code = {
            {value, 1, 0, 0, 0},
            {LOADINT, 3, 6, 0, 0},     // R3 = 6 then R2 = R1 & R3
            {BITW, 2, 3, 1, 0},
            {LOADINT, 3, 4, 0, 0},     // R3 = 4 then R3 = R2 rel R3, jump when false
            {relation, 3, 3, 2, 0},
            {JZ, 3, 3, 0, 0},          // to 9
            {LOADINT, 4, 100, 0, 0},
            {ARITH, 4, 2, 4, '+'},
            {RETURN, 1, 4, 0, 0},
            {LOADINT, 4, 50, 0, 0},
            {ARITH, 4, 4, 2, '-'},
            {RETURN, 1, 4, 0, 0},
            {RETURN, 0xFF, 0, 0, 0},
        };
        f.lines = {{1, 0}, {2, 4}};
        f.stackSize = 5;
        return file(f);
    };
    SQInteger r = 0;
    ASSERT_TRUE(run(program(LOADINT, num(0), EQ), &r)) << lastError();  // LOADINT 0: 0 & 6 = 0
    EXPECT_EQ(-50, r);
    ASSERT_TRUE(run(program(LOAD, num(13), EQ), &r)) << lastError();    // 13 & 6 = 4
    EXPECT_EQ(104, r);
    ASSERT_TRUE(run(program(LOAD, num(13), NE), &r)) << lastError();
    EXPECT_EQ(-46, r);
    ASSERT_TRUE(run(program(LOAD, num(2), NE), &r)) << lastError();     // 2 & 6 = 2
    EXPECT_EQ(102, r);
    // A float cannot be masked: the error names both kinds.
    EXPECT_FALSE(run(program(LOAD, Lit{0x05000004, 0x40800000, {}}, EQ)));
    EXPECT_EQ("bitwise op between 'float' and 'integer'", lastError());

    // Equality of different kinds through the fused form: 4.0 == 4 holds,
    // "4" == 4 does not; a jump onto the compare skips the constant's load.
    auto kinds = [](Lit left, bool jumpOntoCompare) {
        Fn f;
        f.literals = {left};
        f.code = {
            {LOAD, 1, 0, 0, 0},
            {LOADINT, 2, 5, 0, 0},
            {JMP, 0, jumpOntoCompare ? 1 : 0, 0, 0},
            {LOADINT, 2, 4, 0, 0},     // skipped by the jump: R2 stays 5
            {EQ, 3, 2, 1, 0},
            {JZ, 3, 2, 0, 0},
            {LOADINT, 3, 1, 0, 0},
            {RETURN, 1, 3, 0, 0},
            {LOADINT, 3, 0, 0, 0},
            {RETURN, 1, 3, 0, 0},
            {RETURN, 0xFF, 0, 0, 0},
        };
        f.stackSize = 4;
        return file(f);
    };
    ASSERT_TRUE(run(kinds(Lit{0x05000004, 0x40800000, {}}, false), &r)) << lastError();
    EXPECT_EQ(1, r);
    ASSERT_TRUE(run(kinds(str("4"), false), &r)) << lastError();
    EXPECT_EQ(0, r);
    ASSERT_TRUE(run(kinds(num(5), true), &r)) << lastError();
    EXPECT_EQ(1, r);
    ASSERT_TRUE(run(kinds(num(4), true), &r)) << lastError();
    EXPECT_EQ(0, r);
}

// `+=`, `++` and `=` on slots of tables and instances: numbers in existing
// slots take a direct path, everything else the general rules; both give
// the same values and errors.
TEST_F(Foreign, SlotUpdatesGiveTheGeneralRulesResults) {
    Fn f;
    f.literals = {str("c"), str("x"), str("s"), str("b"), str("zz")};
    f.code = {
        {NEWTABLE, 1, 2, 0, 0},
        {LOAD, 2, 0, 0, 0},
        {LOADINT, 3, 10, 0, 0},
        {NEWSLOTA, 0, 1, 2, 3},                // t.c <- 10
        {LOADINT, 3, 5, 0, 0},
        {COMPARITH, 4, (1 << 16) | 3, 2, '*'},  // R4 = t.c *= 5        50
        {PINC, 5, 1, 2, 1},                    // R5 = t.c++            50, t.c 51
        {INC, 6, 1, 2, 0xFF},                  // R6 = --t.c            50
        {CLASS, 7, -1, 0xFF, 0},
        {LOAD, 8, 1, 0, 0},
        {LOADINT, 9, 7, 0, 0},
        {NEWSLOTA, 0, 7, 8, 9},                // class { x = 7 }
        {MOVE, 9, 0, 0, 0},
        {CALL, 8, 7, 9, 1},                    // R8 = instance
        {LOAD, 10, 1, 0, 0},
        {LOADINT, 9, 3, 0, 0},
        {COMPARITH, 11, (8 << 16) | 9, 10, '-'},  // R11 = i.x -= 3      4
        {SET, 12, 8, 10, 4},                   // R12 = i.x = R4        50
        {PINC, 13, 8, 10, 1},                  // R13 = i.x++           50, i.x 51
        {LOAD, 2, 2, 0, 0},
        {LOAD, 3, 3, 0, 0},
        {NEWSLOTA, 0, 1, 2, 3},                // t.s <- "b"
        {COMPARITH, 14, (1 << 16) | 3, 2, '+'},  // R14 = t.s += "b"     "bb"
        {GETK, 15, 1, 8, 0},                   // R15 = i.x             51
        {NEWARRAY, 16, 7, 0, 0},
        {APPENDARRAY, 16, 4, 0, 0},
        {APPENDARRAY, 16, 5, 0, 0},
        {APPENDARRAY, 16, 6, 0, 0},
        {APPENDARRAY, 16, 11, 0, 0},
        {APPENDARRAY, 16, 12, 0, 0},
        {APPENDARRAY, 16, 13, 0, 0},
        {APPENDARRAY, 16, 15, 0, 0},
        {APPENDARRAY, 16, 14, 0, 0},
        {RETURN, 1, 16, 0, 0},
        {RETURN, 0xFF, 0, 0, 0},
    };
    f.stackSize = 17;
    ASSERT_TRUE(load(file(f))) << lastError();
    sq_pushroottable(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue))) << lastError();
    std::vector<SQInteger> numbers;
    for (SQInteger i = 0; i < 7; i++) {
        sq_pushinteger(v, i);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
        SQInteger n = -1;
        sq_getinteger(v, -1, &n);
        numbers.push_back(n);
        sq_pop(v, 1);
    }
    EXPECT_EQ((std::vector<SQInteger>{50, 50, 50, 4, 50, 50, 51}), numbers);
    sq_pushinteger(v, 7);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    const SQChar* text = "";
    sq_getstring(v, -1, &text);
    EXPECT_STREQ("bb", text);
    sq_settop(v, 0);

    // A missing slot and a division by zero fail as the general rules do.
    for (auto [key, operation, expected] : {std::tuple{4, '+', "the index 'zz' does not exist"},
                                            std::tuple{0, '/', "division by zero"}}) {
        Fn g;
        g.literals = {str("c"), str("x"), str("s"), str("b"), str("zz")};
        g.code = {
            {NEWTABLE, 1, 1, 0, 0},
            {LOAD, 2, 0, 0, 0},
            {LOADINT, 3, 10, 0, 0},
            {NEWSLOTA, 0, 1, 2, 3},
            {LOAD, 2, key, 0, 0},
            {LOADINT, 3, 0, 0, 0},
            {COMPARITH, 4, (1 << 16) | 3, 2, uint8_t(operation)},
            {RETURN, 0xFF, 0, 0, 0},
        };
        g.stackSize = 5;
        EXPECT_FALSE(run(file(g)));
        EXPECT_EQ(expected, lastError());
    }

    // Array elements: inside the array directly, past its end an error.
    for (int32_t index : {1, 2}) {
        Fn g;
        g.code = {
            {NEWARRAY, 1, 2, 0, 0},
            {LOADINT, 2, 30, 0, 0},
            {APPENDARRAY, 1, 2, 0, 0},
            {APPENDARRAY, 1, 2, 0, 0},
            {LOADINT, 2, index, 0, 0},
            {LOADINT, 3, 12, 0, 0},
            {COMPARITH, 4, (1 << 16) | 3, 2, '+'},
            {PINC, 4, 1, 2, 1},
            {GET, 3, 1, 2, 0},
            {ARITH, 4, 4, 3, '+'},
            {RETURN, 1, 4, 0, 0},
            {RETURN, 0xFF, 0, 0, 0},
        };
        g.stackSize = 5;
        SQInteger r = 0;
        if (index == 1) {
            ASSERT_TRUE(run(file(g), &r)) << lastError();
            EXPECT_EQ(42 + 43, r);
        } else {
            EXPECT_FALSE(run(file(g)));
            EXPECT_EQ("the index '2' does not exist", lastError());
        }
    }
}

// In our own form a fused constant load must be followed by the compare it
// runs into: anything else would be decoded as a compare and jump anywhere.
TEST_F(Foreign, OwnFormRefusesAFusedLoadWithoutItsCompare) {
    Fn f;
    f.code = {
        {LOADINT, 1, 7, 0, 0},
        {LOADINT, 2, 9, 0, 0},
        {CMP, 3, 2, 1, 3},
        {JZ, 3, 1, 0, 0},
        {RETURN, 1, 1, 0, 0},
        {RETURN, 1, 2, 0, 0},
        {RETURN, 0xFF, 0, 0, 0},
    };
    ASSERT_TRUE(load(file(f))) << lastError();
    std::string own;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_writeclosure(v, appendBytes, &own)));
    sq_settop(v, 0);
    ASSERT_TRUE(load(own)) << lastError();
    sq_settop(v, 0);
    const char fused[] = {char(squirrel::OP_LOADCMPJZ), 2, 0, 0, 9, 0, 0, 0};
    size_t at = own.find(std::string(fused, sizeof fused));
    ASSERT_NE(std::string::npos, at);
    ASSERT_EQ(char(squirrel::OP_CMPJZ), own[at + 8]);
    own[at + 8] = char(squirrel::OP_LOADADD);  // same operand kinds, no compare
    EXPECT_FALSE(load(own));
    EXPECT_EQ(0, sq_gettop(v));
}

// `local C = class {...}; C(42)`: the call's result register is the first
// argument register, inside the constructor's frame.
TEST_F(Foreign, AnInstanceLandsInARegisterItsConstructorUsed) {
    Fn ctor;
    ctor.name = str("constructor");
    ctor.params = {str("this"), str("v")};
    ctor.literals = {str("x")};
    ctor.code = {{LOAD, 2, 0, 0, 0}, {SET, 1, 0, 2, 1}, {RETURN, 0xFF, 0, 0, 0}};
    ctor.stackSize = 3;
    Fn f;
    f.literals = {str("x"), str("constructor")};
    f.code = {
        {CLASS, 1, -1, 0xFF, 0},
        {LOAD, 2, 0, 0, 0},
        {LOADNULLS, 3, 1, 0, 0},
        {NEWSLOTA, 0, 1, 2, 3},    // x = null
        {LOAD, 2, 1, 0, 0},
        {CLOSURE, 3, 0, 0, 0},
        {NEWSLOTA, 0, 1, 2, 3},    // constructor
        {LOADNULLS, 2, 1, 0, 0},
        {LOADINT, 3, 42, 0, 0},
        {CALL, 2, 1, 2, 2},        // R2 = R1(R2, R3)
        {GETK, 2, 0, 2, 0},
        {RETURN, 1, 2, 0, 0},
        {RETURN, 0xFF, 0, 0, 0},
    };
    f.children = {ctor};
    f.stackSize = 4;
    SQInteger r = 0;
    ASSERT_TRUE(run(file(f), &r)) << lastError();
    EXPECT_EQ(42, r);
}

// 2.1.1 folds a literal into a key of any type: t[0xFFFFFFFF]("hi").
TEST_F(Foreign, LiteralKeysNeedNotBeStrings) {
    Fn f;
    f.literals = {num(-1), str("print"), str("hi")};
    f.code = {
        {NEWTABLE, 1, 1, 0, 0},
        {LOAD, 2, 0, 0, 0},
        {GETK, 3, 1, 0, 0},       // R3 = print
        {NEWSLOT, 3, 1, 2, 3},    // R1[-1] <- print
        {PREPCALLK, 3, 0, 1, 4},  // R3 = R1[-1], R4 = R1
        {LOAD, 5, 2, 0, 0},
        {CALL, 3, 3, 4, 2},
        {GETK, 3, 0, 1, 0},       // R1[-1] again, as a plain read
        {RETURN, 0xFF, 0, 0, 0},
    };
    f.stackSize = 6;
    ASSERT_TRUE(run(file(f))) << lastError();
    EXPECT_EQ("hi", printed);
}

TEST_F(Foreign, RunTimeConditionsLeftUncheckedBecomeScriptErrors) {
    Fn members;  // a static member added to a table
    members.code = {
        {NEWTABLE, 1, 0, 0, 0},
        {LOADINT, 2, 1, 0, 0},
        {NEWSLOTA, 2, 1, 2, 2},
        {RETURN, 0xFF, 0, 0, 0},
    };
    EXPECT_FALSE(run(file(members)));
    EXPECT_NE(std::string::npos, lastError().find("need a class")) << lastError();

    Fn append;  // appending to a table
    append.code = {
        {NEWTABLE, 1, 0, 0, 0},
        {APPENDARRAY, 1, 0, 0xFF, 0xFF},
        {RETURN, 0xFF, 0, 0, 0},
    };
    append.literals = {num(1)};
    EXPECT_FALSE(run(file(append)));
}

TEST_F(Foreign, StructuralDamageIsRefusedWithTheReaderTexts) {
    const std::string good = file(hello());
    const std::string corrupted = "invalid or corrupted closure stream";
    std::string b = good;
    b[2] = 'X';
    expectRefused(b, corrupted, "head tag");
    b = good;
    b[6] = 2;
    expectRefused(b, corrupted, "character size");
    b = good;
    b.replace(b.rfind("LIAT"), 4, "LIAX");
    expectRefused(b, corrupted, "tail tag");
    b = good;
    b.replace(b.find("TRAP", 20), 4, "TRAX");
    expectRefused(b, corrupted, "part tag");

    Fn f = hello();
    f.literals[0].type = 0x0A000020;
    expectRefused(file(f), "cannot serialize a table", "table literal");
    f.literals[0].type = 0x01000008;
    expectRefused(file(f), "cannot serialize a bool", "bool literal");
    f.literals[0].type = 0x00000002;
    expectRefused(file(f), "cannot serialize a integer", "integer bit without its flags");
    f.literals[0].type = 0x0F000000;
    expectRefused(file(f), "cannot serialize a (null)", "no type at all");

    // Counts far beyond the data: refused without allocating for them.
    b = good;
    size_t counts = b.find("TRAP", 20) + 4;
    uint32_t huge = 0x40000000;
    memcpy(&b[counts], &huge, 4);
    expectRefused(b, corrupted, "literal count");
    huge = 0x00FFFFFF;
    memcpy(&b[counts], &huge, 4);
    expectRefused(b, "", "literal count within the limit but past the end");
    f = hello();
    f.literals[0].s = std::string(10, 'x');
    b = file(f);
    huge = 0x7FFFFFFF;
    memcpy(&b[b.find("xxxx") - 4], &huge, 4);
    expectRefused(b, corrupted, "string length");
}

TEST_F(Foreign, EveryTruncationIsAReadFailure) {
    const std::string good = file(hello());
    for (size_t n = 2; n + 4 < good.size(); n++) {
        SCOPED_TRACE(n);
        EXPECT_FALSE(load(good.substr(0, n)));
    }
    EXPECT_EQ("io error, read function failure, the origin stream could be corrupted/trucated", lastError());
}

TEST_F(Foreign, FunctionFieldsAreCheckedBeforeAnythingRuns) {
    const std::string corrupted = "invalid or corrupted closure stream";
    struct Case {
        const char* what;
        std::function<void(Fn&)> damage;
    };
    const Case cases[] = {
        {"no parameters", [](Fn& f) { f.params.clear(); }},
        {"parameter name not a string", [](Fn& f) { f.params[0] = num(1); }},
        {"stack size below the parameters", [](Fn& f) { f.stackSize = 0; }},
        {"stack size above 256", [](Fn& f) { f.stackSize = 257; }},
        {"function name an integer", [](Fn& f) { f.name = num(3); }},
        {"top-level free variable", [](Fn& f) { f.outers = {{1, str("x"), "x"}}; }},
        {"local register outside the frame", [](Fn& f) { f.locals[0].reg = 4; }},
        {"local range past the code", [](Fn& f) { f.locals[0].last = 6; }},
        {"local range reversed", [](Fn& f) { f.locals[0].first = 3, f.locals[0].last = 1; }},
        {"no line infos", [](Fn& f) { f.lines.clear(); }},
        {"first line info not at op 0", [](Fn& f) { f.lines = {{1, 1}}; }},
        {"line infos going back", [](Fn& f) { f.lines = {{1, 0}, {2, 3}, {3, 2}}; }},
        {"line info past the code", [](Fn& f) { f.lines = {{1, 0}, {2, 6}}; }},
        {"no instructions", [](Fn& f) { f.code.clear(), f.locals.clear(), f.lines = {}; }},
        {"code not ending in RETURN", [](Fn& f) { f.code.back() = {JMP, 0, -6, 0, 0}; }},
        {"unknown opcode", [](Fn& f) { f.code[3].op = 0x3C; }},
        {"register outside the frame", [](Fn& f) { f.code[3].a0 = 4; }},
        {"call arguments past the frame", [](Fn& f) { f.code[2].a3 = 3; }},
        {"call without this", [](Fn& f) { f.code[2].a3 = 0; }},
        {"callee register outside the frame", [](Fn& f) { f.code[2].a1 = 1000; }},
        {"literal index", [](Fn& f) { f.code[1].a1 = 2; }},
        {"negative literal index", [](Fn& f) { f.code[1].a1 = -1; }},
        {"jump before the code", [](Fn& f) { f.code[3] = {JMP, 0, -5, 0, 0}; }},
        {"jump past the code", [](Fn& f) { f.code[3] = {JMP, 0, 2, 0, 0}; }},
        {"arith operator", [](Fn& f) { f.code[3] = {ARITH, 1, 1, 1, '^'}; }},
        {"return flag", [](Fn& f) { f.code[4].a0 = 2; }},
        {"nulls past the frame", [](Fn& f) { f.code[3] = {LOADNULLS, 2, 3, 0, 0}; }},
        {"closure index", [](Fn& f) { f.code[3] = {CLOSURE, 1, 0, 0, 0}; }},
        {"free variable slot", [](Fn& f) { f.code[3] = {LOADFREEVAR, 1, 0, 0, 0}; }},
        {"packed pair outside the frame", [](Fn& f) { f.code[3] = {COMPARITH, 1, (9 << 16) | 1, 2, '+'}; }},
        {"attributes register below zero", [](Fn& f) { f.code[3] = {NEWSLOTA, 1, 1, 0, 2}; }},
        {"method call with apart registers", [](Fn& f) { f.code[0].a3 = 3; }},
        {"generator flag", [](Fn& f) { f.generator = 2; }},
    };
    for (const Case& c : cases) {
        Fn f = hello();
        c.damage(f);
        expectRefused(file(f), corrupted, c.what);
    }

    // Free variables of a nested function must name what the enclosing one has.
    Fn inner;
    inner.name = nul();
    inner.code = {{RETURN, 0xFF, 0, 0, 0}};
    inner.stackSize = 1;
    const Outer outers[] = {{0, num(4), "x"}, {2, num(0), "x"}, {1, num(0), "x"}, {3, str("x"), "x"},
                            {0, str("x"), "x"}};
    for (const Outer& o : outers) {
        Fn f = hello();
        inner.outers = {o};
        f.children = {inner};
        expectRefused(file(f), corrupted, "nested free variable");
    }
    Fn f = hello();
    inner.outers = {{0, num(3), "x"}};
    f.children = {inner};
    EXPECT_TRUE(load(file(f))) << lastError();
}

TEST_F(Foreign, NoSingleByteChangeCrashesTheLoader) {
    Fn f = hello();
    Fn inner;
    inner.name = nul();
    inner.params = {str("this"), str("n")};
    inner.outers = {{0, num(1), "g"}};
    inner.code = {{LOADFREEVAR, 2, 0, 0, 0}, {LINE, 0, 4, 0, 0}, {RETURN, 1, 2, 0, 0}};
    inner.locals = {{"n", 1, 0, 2}, {"this", 0, 0, 2}};
    inner.stackSize = 3;
    f.children = {inner};
    const std::string good = file(f);
    ASSERT_TRUE(load(good)) << lastError();
    sq_settop(v, 0);
    for (size_t i = 0; i < good.size(); i++) {
        for (int x : {0x01, 0x80, 0xFF}) {
            std::string b = good;
            b[i] = char(b[i] ^ x);
            if (load(b)) sq_settop(v, 0);
        }
    }
    EXPECT_EQ(0, sq_gettop(v));
}

}  // namespace
