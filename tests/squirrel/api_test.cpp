// The embedding interface as the host uses it: native closures, type masks,
// classes with type tags and instance pointers, release hooks, calls and
// error reporting, printing and VM lifetime.
#include <gtest/gtest.h>

#include <cstdarg>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "squirrel.h"
#include "squirrel/opcodes.h"

namespace {

std::string printed;

void capturePrint(HSQUIRRELVM, const SQChar* format, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, format);
    vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    printed += buf;
}

class Vm : public ::testing::Test {
protected:
    void SetUp() override {
        printed.clear();
        v = sq_open(1024);
        sq_setprintfunc(v, capturePrint);
    }
    void TearDown() override {
        if (v) sq_close(v);
    }

    // Compiles and runs src with the root table as this; false on any error.
    bool run(const char* src, bool raise = false) {
        SQInteger top = sq_gettop(v);
        if (SQ_FAILED(sq_compilebuffer(v, src, SQInteger(strlen(src)), "test", raise))) return false;
        sq_pushroottable(v);
        bool ok = SQ_SUCCEEDED(sq_call(v, 1, SQFalse, raise));
        sq_settop(v, top);
        return ok;
    }

    std::string lastError() {
        sq_getlasterror(v);
        sq_tostring(v, -1);
        const SQChar* s = "";
        sq_getstring(v, -1, &s);
        std::string r = s;
        sq_pop(v, 2);
        return r;
    }

    void registerGlobal(const char* name, SQFUNCTION f, SQInteger nparams, const char* mask) {
        sq_pushroottable(v);
        sq_pushstring(v, name, -1);
        sq_newclosure(v, f, 0);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_setparamscheck(v, nparams, mask)));
        sq_setnativeclosurename(v, -1, name);
        sq_newslot(v, -3, SQFalse);
        sq_pop(v, 1);
    }

    HSQUIRRELVM v = nullptr;
};

SQInteger returnsArgCount(HSQUIRRELVM v) {
    sq_pushinteger(v, sq_gettop(v));
    return 1;
}

TEST_F(Vm, TypeMaskRejectsWrongArgumentWithPosition) {
    registerGlobal("f", returnsArgCount, -2, "tn|s");
    ASSERT_TRUE(run("r <- f(1); s <- f(\"x\", true);"));
    EXPECT_FALSE(run("f(null);"));
    EXPECT_EQ("parameter 1 has an invalid type 'null' ; expected: 'integer|float|string'", lastError());
    EXPECT_FALSE(run("f();"));
    EXPECT_EQ("wrong number of parameters", lastError());
}

TEST_F(Vm, TypeMaskNamesEveryAcceptedType) {
    registerGlobal("g", returnsArgCount, 2, ".c");
    EXPECT_FALSE(run("g(1);"));
    EXPECT_EQ("parameter 1 has an invalid type 'integer' ; expected: 'function|function'", lastError());
    registerGlobal("h", returnsArgCount, 2, ".t|y|x");
    EXPECT_FALSE(run("h(1);"));
    EXPECT_EQ("parameter 1 has an invalid type 'integer' ; expected: 'table|class|instance'", lastError());
}

TEST_F(Vm, InvalidTypeMaskIsRefused) {
    sq_newclosure(v, returnsArgCount, 0);
    EXPECT_TRUE(SQ_FAILED(sq_setparamscheck(v, 1, "tz")));
    EXPECT_EQ("invalid typemask", lastError());
    EXPECT_TRUE(SQ_FAILED(sq_setparamscheck(v, 1, "t|")));
    sq_pop(v, 1);
}

SQInteger freeVariables(HSQUIRRELVM v) {
    // Window: this, args..., free0, free1.
    SQInteger top = sq_gettop(v);
    const SQChar* a;
    SQInteger b;
    sq_getstring(v, top - 1, &a);
    sq_getinteger(v, top, &b);
    std::string r = std::string(a) + ":" + std::to_string(b) + ":" + std::to_string(top);
    sq_pushstring(v, r.c_str(), -1);
    return 1;
}

TEST_F(Vm, NativeClosureSeesFreeVariablesAfterArguments) {
    sq_pushroottable(v);
    sq_pushstring(v, "fv", -1);
    sq_pushinteger(v, 42);        // becomes free variable 1
    sq_pushstring(v, "one", -1);  // top: becomes free variable 0
    sq_newclosure(v, freeVariables, 2);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    ASSERT_TRUE(run("print(fv(7));"));
    EXPECT_EQ("one:42:4", printed);
}

int hookCalls = 0;
SQUserPointer hookedPointer = nullptr;
SQInteger countingHook(SQUserPointer p, SQInteger) {
    hookCalls++;
    hookedPointer = p;
    return 0;
}

int tagA = 0, tagB = 0;

SQInteger makeThing(HSQUIRRELVM v) {
    sq_setinstanceup(v, 1, &tagB);
    sq_setreleasehook(v, 1, countingHook);
    return 0;
}

TEST_F(Vm, ClassTypeTagsAndInstancePointers) {
    sq_pushroottable(v);
    sq_pushstring(v, "Base", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_newclass(v, SQFalse)));
    sq_settypetag(v, -1, &tagA);
    sq_pushstring(v, "constructor", -1);
    sq_newclosure(v, makeThing, 0);
    sq_newslot(v, -3, SQFalse);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "Derived", -1);
    sq_pushstring(v, "Base", -1);
    sq_get(v, -3);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_newclass(v, SQTrue)));
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);

    ASSERT_TRUE(run("obj <- Derived();"));
    sq_pushroottable(v);
    sq_pushstring(v, "obj", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    SQUserPointer p = nullptr;
    EXPECT_TRUE(SQ_SUCCEEDED(sq_getinstanceup(v, -1, &p, &tagA)));  // base tag matches
    EXPECT_EQ(&tagB, p);
    EXPECT_TRUE(SQ_FAILED(sq_getinstanceup(v, -1, &p, &tagB)));
    EXPECT_EQ("invalid type tag", lastError());
    SQUserPointer tag = nullptr;
    EXPECT_TRUE(SQ_SUCCEEDED(sq_gettypetag(v, -1, &tag)));
    EXPECT_EQ(nullptr, tag) << "an instance reports its own class's tag only";
    sq_pop(v, 2);
    sq_pushinteger(v, 1);
    EXPECT_TRUE(SQ_FAILED(sq_setinstanceup(v, -1, nullptr)));
    EXPECT_EQ("the object is not a class instance", lastError());
    sq_pop(v, 1);
}

TEST_F(Vm, ReleaseHookRunsOnceWhenLastReferenceGoes) {
    hookCalls = 0;
    sq_pushroottable(v);
    sq_pushstring(v, "Thing", -1);
    sq_newclass(v, SQFalse);
    sq_pushstring(v, "constructor", -1);
    sq_newclosure(v, makeThing, 0);
    sq_newslot(v, -3, SQFalse);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    ASSERT_TRUE(run("local a = Thing(); local b = a; a = null;"));
    EXPECT_EQ(1, hookCalls);
    EXPECT_EQ(&tagB, hookedPointer);
    ASSERT_TRUE(run("keep <- Thing(); function drop() { keep = null; }"));
    EXPECT_EQ(1, hookCalls);
    ASSERT_TRUE(run("drop();"));
    EXPECT_EQ(2, hookCalls);
}

TEST_F(Vm, ReleaseHookRunsForCyclesAndAtClose) {
    hookCalls = 0;
    sq_pushroottable(v);
    sq_pushstring(v, "Thing", -1);
    sq_newclass(v, SQFalse);
    sq_pushstring(v, "constructor", -1);
    sq_newclosure(v, makeThing, 0);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "other", -1);
    sq_pushnull(v);
    sq_newslot(v, -3, SQFalse);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    ASSERT_TRUE(run("local a = Thing(); local b = Thing(); a.other = b; b.other = a;"));
    EXPECT_EQ(0, hookCalls) << "a cycle survives reference counting";
    EXPECT_GE(sq_collectgarbage(v), 1);
    EXPECT_EQ(2, hookCalls);
    ASSERT_TRUE(run("survivor <- Thing();"));
    sq_close(v);
    v = nullptr;
    EXPECT_EQ(3, hookCalls);
}

TEST_F(Vm, CollectorCountsOnlyWhatTheSweepVisits) {
    ASSERT_TRUE(run("local a = {}\nlocal b = { a = a }\na.b <- b"));
    EXPECT_EQ(1, sq_collectgarbage(v));
    EXPECT_EQ(0, sq_collectgarbage(v));
}

std::vector<std::string> handled;
SQInteger recordingHandler(HSQUIRRELVM v) {
    const SQChar* s = "?";
    if (sq_gettype(v, 2) == OT_STRING) sq_getstring(v, 2, &s);
    SQStackInfos si;
    std::string where;
    if (SQ_SUCCEEDED(sq_stackinfos(v, 1, &si))) where = std::string(si.funcname) + "@" + std::to_string(si.line);
    handled.push_back(std::string(s) + " in " + where);
    return 0;
}

TEST_F(Vm, CallErrorsReachTheHandlerOnlyWhenRaised) {
    handled.clear();
    sq_newclosure(v, recordingHandler, 0);
    sq_seterrorhandler(v);
    ASSERT_TRUE(run("function boom(x) {\n  return x.missing;\n}"));
    sq_pushroottable(v);
    sq_pushstring(v, "boom", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    sq_pushroottable(v);
    sq_pushinteger(v, 3);
    EXPECT_TRUE(SQ_FAILED(sq_call(v, 2, SQTrue, SQTrue)));
    EXPECT_EQ(3, sq_gettop(v) + 1) << "the callee stays on the stack";
    ASSERT_EQ(1u, handled.size());
    EXPECT_EQ("the index 'missing' does not exist in boom@2", handled[0]);
    EXPECT_EQ("the index 'missing' does not exist", lastError());
    sq_pushroottable(v);
    sq_pushinteger(v, 3);
    EXPECT_TRUE(SQ_FAILED(sq_call(v, 2, SQTrue, SQFalse)));
    EXPECT_EQ(1u, handled.size());
    sq_pop(v, 2);
}

TEST_F(Vm, CallReturnsResultAboveCallee) {
    ASSERT_TRUE(run("function add(a, b) { return a + b; }"));
    sq_pushroottable(v);
    sq_pushstring(v, "add", -1);
    sq_get(v, -2);
    sq_pushroottable(v);
    sq_pushinteger(v, 2);
    sq_pushfloat(v, 0.5f);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 3, SQTrue, SQFalse)));
    SQFloat f = 0;
    EXPECT_TRUE(SQ_SUCCEEDED(sq_getfloat(v, -1, &f)));
    EXPECT_FLOAT_EQ(2.5f, f);
    EXPECT_EQ(OT_CLOSURE, sq_gettype(v, -2));
    sq_pop(v, 1);
    sq_pushroottable(v);
    EXPECT_TRUE(SQ_FAILED(sq_call(v, 1, SQTrue, SQFalse)));
    EXPECT_EQ("wrong number of parameters", lastError());
    sq_pop(v, 2);
}

TEST_F(Vm, NotifyAllExceptionsReportsCaughtErrorsOnce) {
    handled.clear();
    sq_newclosure(v, recordingHandler, 0);
    sq_seterrorhandler(v);
    sq_notifyallexceptions(v, SQTrue);
    ASSERT_TRUE(run("try { throw \"caught\"; } catch (e) {}"));
    ASSERT_EQ(1u, handled.size());
    EXPECT_EQ("caught in main@1", handled[0]);
    EXPECT_FALSE(run("throw \"loose\";", true));
    EXPECT_EQ(2u, handled.size()) << "not reported a second time at the top";
}

SQInteger throwing(HSQUIRRELVM v) { return sq_throwerror(v, "native says no"); }

TEST_F(Vm, NativeErrorsAreCatchableInScripts) {
    registerGlobal("nope", throwing, 1, nullptr);
    ASSERT_TRUE(run("try { nope(); } catch (e) { print(e); }"));
    EXPECT_EQ("native says no", printed);
}

TEST_F(Vm, PrintFunctionCanBeReplacedOrRemoved) {
    ASSERT_TRUE(run("print(\"a\" + 1 + null);"));
    EXPECT_EQ("a1(null : 0x00000000)", printed);
    EXPECT_EQ(capturePrint, sq_getprintfunc(v));
    sq_setprintfunc(v, nullptr);
    printed.clear();
    ASSERT_TRUE(run("print(\"silent\");"));
    EXPECT_EQ("", printed);
}

std::string compileError;
void recordCompileError(HSQUIRRELVM, const SQChar* desc, const SQChar* src, SQInteger line, SQInteger col) {
    compileError = std::string(src) + ":" + std::to_string(line) + ":" + std::to_string(col) + ": " + desc;
}

TEST_F(Vm, CompileErrorsGiveLineAndColumn) {
    sq_setcompilererrorhandler(v, recordCompileError);
    const char* src = "local a = 1;\n\nx = ;\n";
    EXPECT_TRUE(SQ_FAILED(sq_compilebuffer(v, src, SQInteger(strlen(src)), "buf", SQTrue)));
    EXPECT_EQ("buf:3:6: expression expected", compileError);
    EXPECT_EQ("expression expected", lastError());
    compileError.clear();
    EXPECT_TRUE(SQ_FAILED(sq_compilebuffer(v, "x = ;", 5, "buf", SQFalse)));
    EXPECT_EQ("", compileError) << "no report without raiseerror";
}

SQInteger classGet(HSQUIRRELVM v) {
    const SQChar* key;
    if (SQ_FAILED(sq_getstring(v, 2, &key))) return SQ_ERROR;
    std::string r = std::string("got ") + key;
    sq_pushstring(v, r.c_str(), -1);
    return 1;
}

std::string setLog;
SQInteger classSet(HSQUIRRELVM v) {
    const SQChar* key;
    SQInteger val = 0;
    sq_getstring(v, 2, &key);
    sq_getinteger(v, 3, &val);
    setLog += std::string(key) + "=" + std::to_string(val) + ";";
    return 0;
}

TEST_F(Vm, NativeGetAndSetMetamethodsOnClasses) {
    setLog.clear();
    sq_pushroottable(v);
    sq_pushstring(v, "Proxy", -1);
    sq_newclass(v, SQFalse);
    sq_pushstring(v, "_get", -1);
    sq_newclosure(v, classGet, 0);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "_set", -1);
    sq_newclosure(v, classSet, 0);
    sq_newslot(v, -3, SQFalse);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    ASSERT_TRUE(run("local p = Proxy(); print(p.width); p.height = 5; print(\"_get\" in p);"));
    EXPECT_EQ("got widthfalse", printed);
    EXPECT_EQ("height=5;", setLog);
}

TEST_F(Vm, SlotsThroughTheStack) {
    sq_newtable(v);
    sq_pushstring(v, "k", -1);
    sq_pushinteger(v, 7);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse)));
    sq_pushstring(v, "k", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_rawget(v, -2)));
    SQInteger i = 0;
    sq_getinteger(v, -1, &i);
    EXPECT_EQ(7, i);
    sq_pop(v, 1);
    sq_pushstring(v, "missing", -1);
    EXPECT_TRUE(SQ_FAILED(sq_get(v, -2)));
    EXPECT_EQ("the index doesn't exist", lastError());
    EXPECT_EQ(1, sq_gettop(v));
    sq_pushstring(v, "missing", -1);
    sq_pushinteger(v, 1);
    EXPECT_TRUE(SQ_FAILED(sq_set(v, -3)));
    EXPECT_EQ("the index 'missing' does not exist", lastError());
    EXPECT_EQ(3, sq_gettop(v));
    sq_settop(v, 1);
    sq_pushnull(v);
    sq_pushinteger(v, 1);
    EXPECT_TRUE(SQ_FAILED(sq_newslot(v, -3, SQFalse)));
    EXPECT_EQ("null is not a valid key", lastError());
    sq_settop(v, 0);
}

TEST_F(Vm, IteratesTablesInNodeOrder) {
    sq_newtable(v);
    const char* keys[] = {"alpha", "beta", "gamma", "delta", "epsilon"};
    for (const char* k : keys) {
        sq_pushstring(v, k, -1);
        sq_pushbool(v, SQTrue);
        sq_newslot(v, -3, SQFalse);
    }
    std::string order;
    sq_pushnull(v);
    while (SQ_SUCCEEDED(sq_next(v, -2))) {
        const SQChar* k;
        sq_getstring(v, -2, &k);
        order += std::string(k) + " ";
        sq_pop(v, 2);
    }
    sq_pop(v, 2);
    // The same keys through a script give the same order.
    ASSERT_TRUE(run("local t = {}\nforeach (k in [\"alpha\", \"beta\", \"gamma\", \"delta\", \"epsilon\"]) t[k] <- true;\n"
                    "foreach (k, v in t) print(k + \" \");"));
    EXPECT_EQ(order, printed);
    EXPECT_EQ(5u, std::count(order.begin(), order.end(), ' '));
}

TEST_F(Vm, HostReferencesKeepObjectsAlive) {
    hookCalls = 0;
    sq_pushroottable(v);
    sq_pushstring(v, "Thing", -1);
    sq_newclass(v, SQFalse);
    sq_pushstring(v, "constructor", -1);
    sq_newclosure(v, makeThing, 0);
    sq_newslot(v, -3, SQFalse);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "Thing", -1);
    sq_get(v, -2);
    sq_pushroottable(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQFalse)));
    HSQOBJECT held;
    sq_getstackobj(v, -1, &held);
    sq_addref(v, &held);
    sq_settop(v, 0);
    sq_collectgarbage(v);
    EXPECT_EQ(0, hookCalls);
    sq_pushobject(v, held);
    EXPECT_EQ(OT_INSTANCE, sq_gettype(v, -1));
    sq_pop(v, 1);
    EXPECT_EQ(SQTrue, sq_release(v, &held));
    EXPECT_EQ(1, hookCalls);
}

SQInteger writeToString(SQUserPointer up, SQUserPointer data, SQInteger size) {
    static_cast<std::string*>(up)->append(static_cast<const char*>(data), size_t(size));
    return size;
}

struct StringSource {
    std::string data;
    size_t pos = 0;
};

SQInteger readFromString(SQUserPointer up, SQUserPointer data, SQInteger size) {
    StringSource* s = static_cast<StringSource*>(up);
    size_t n = std::min(size_t(size), s->data.size() - s->pos);
    memcpy(data, s->data.data() + s->pos, n);
    s->pos += n;
    return SQInteger(n);
}

TEST_F(Vm, CompiledFunctionsRoundTripThroughStreams) {
    const char* src = "local t = { k = [1, 2] }\nfunction twice(x) : (t) { return x * 2 + t.k.len(); }\n"
                      "local s = 0; foreach (v in t.k) s += twice(v); return s + \" \" + 1.5;";
    ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, src, SQInteger(strlen(src)), "round", SQFalse)));
    std::string bytes;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_writeclosure(v, writeToString, &bytes)));
    sq_pop(v, 1);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ('\xFA', bytes[0]);
    EXPECT_EQ('\xFA', bytes[1]);
    StringSource in{bytes};
    ASSERT_TRUE(SQ_SUCCEEDED(sq_readclosure(v, readFromString, &in)));
    sq_pushroottable(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQFalse)));
    const SQChar* r = "";
    sq_getstring(v, -1, &r);
    EXPECT_STREQ("10 1.5", r);
    sq_pop(v, 2);
}

TEST_F(Vm, DamagedCompiledStreamsAreRefused) {
    ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, "return 1;", 9, "small", SQFalse)));
    std::string bytes;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_writeclosure(v, writeToString, &bytes)));
    sq_pop(v, 1);
    StringSource truncated{bytes.substr(0, bytes.size() - 3)};
    EXPECT_TRUE(SQ_FAILED(sq_readclosure(v, readFromString, &truncated)));
    EXPECT_EQ("io error, read function failure, the origin stream could be corrupted/trucated", lastError());
    StringSource notBytecode{"print(1)"};
    EXPECT_TRUE(SQ_FAILED(sq_readclosure(v, readFromString, &notBytecode)));
    EXPECT_EQ("invalid stream", lastError());
    // An instruction naming a register outside the frame.
    std::string bad = bytes;
    size_t ret = bad.size() - 4 - 4 - 8;  // last instruction: before the function count and tail
    bad[ret + 1] = char(200);
    StringSource damaged{bad};
    EXPECT_TRUE(SQ_FAILED(sq_readclosure(v, readFromString, &damaged)));
    EXPECT_EQ("invalid or corrupted closure stream", lastError());
    EXPECT_EQ(0, sq_gettop(v));
}

TEST_F(Vm, CompareOrdersTheTopAgainstTheValueBelow) {
    sq_pushinteger(v, 1);
    sq_pushinteger(v, 2);
    EXPECT_GT(sq_cmp(v), 0);
    EXPECT_EQ(2, sq_gettop(v));
    sq_pop(v, 2);
    sq_pushstring(v, "b", -1);
    sq_pushstring(v, "a", -1);
    EXPECT_LT(sq_cmp(v), 0);
    sq_pop(v, 2);
}

TEST_F(Vm, HostCallsRunGeneratorFunctionsAsPlainFunctions) {
    ASSERT_TRUE(run("function early(x) { if (x) return \"no yield\"; yield 1; }"));
    sq_pushroottable(v);
    sq_pushstring(v, "early", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    sq_pushroottable(v);
    sq_pushbool(v, SQTrue);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 2, SQTrue, SQFalse)));
    const SQChar* s = "";
    sq_getstring(v, -1, &s);
    EXPECT_STREQ("no yield", s);
    sq_pop(v, 1);
    sq_pushroottable(v);
    sq_pushbool(v, SQFalse);
    EXPECT_TRUE(SQ_FAILED(sq_call(v, 2, SQTrue, SQFalse)));
    EXPECT_EQ("trying to yield a 'null',only genenerator can be yielded", lastError());
    sq_pop(v, 2);
}

TEST_F(Vm, CompactForeachInStreamsKeepsItsKeyAfterTheContainer) {
    const char* src = "local s = 0; foreach (i, v in [1, 2, 3]) s += i * 10 + v; return s;";
    ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, src, SQInteger(strlen(src)), "compact", SQFalse)));
    std::string bytes;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_writeclosure(v, writeToString, &bytes)));
    sq_pop(v, 1);
    size_t at = std::string::npos;
    for (size_t i = 0; i + 3 < bytes.size(); i++) {
        if (uint8_t(bytes[i]) == squirrel::OP_FOREACH && uint8_t(bytes[i + 2]) == uint8_t(bytes[i + 1]) + 1) {
            at = i;
        }
    }
    ASSERT_NE(std::string::npos, at);
    bytes[at + 2] = 0;
    StringSource in{bytes};
    ASSERT_TRUE(SQ_SUCCEEDED(sq_readclosure(v, readFromString, &in)));
    sq_pushroottable(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQFalse)));
    SQInteger sum = 0;
    sq_getinteger(v, -1, &sum);
    EXPECT_EQ(36, sum);
    sq_pop(v, 2);
}

TEST(VmLifetime, OpenRunCloseCycles) {
    for (int i = 0; i < 20; i++) {
        HSQUIRRELVM v = sq_open(64);
        const char* src =
            "local t = {}\nt.self <- t; local a = [t]; a.append(a);\n"
            "class C { x = []; constructor() { x = [this]; } }\nlocal c = C();\n"
            "function gen() { yield 1; }\nlocal g = gen(); resume g;";
        ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, src, SQInteger(strlen(src)), "cycle", SQFalse)));
        sq_pushroottable(v);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQFalse, SQFalse)));
        sq_close(v);
    }
}

TEST(VmLifetime, ThreadsShareTheRootTable) {
    HSQUIRRELVM v = sq_open(64);
    const char* src =
        "shared <- 0;"
        "local t = newthread(function(a) { shared = a; local b = suspend(a * 2); return b + 1; });"
        "local first = t.call(5); local st = t.getstatus(); local last = t.wakeup(10);"
        "result <- first + \",\" + st + \",\" + last + \",\" + shared + \",\" + t.getstatus();";
    ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, src, SQInteger(strlen(src)), "threads", SQFalse)));
    sq_pushroottable(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQFalse, SQFalse)));
    sq_pop(v, 1);
    sq_pushroottable(v);
    sq_pushstring(v, "result", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    const SQChar* s;
    sq_getstring(v, -1, &s);
    EXPECT_STREQ("10,suspended,11,5,idle", s);
    sq_close(v);
}

}  // namespace

namespace {

// Limits a host sets before running scripts it does not trust.
TEST_F(Vm, InstructionLimitEndsAnEndlessLoopThatCatchesEverything) {
    sq_setinstructionlimit(v, 10000);
    EXPECT_FALSE(run("while (true) { try { while (true) {} } catch (e) { print(e); } }"));
    EXPECT_EQ(lastError(), "instruction limit reached");
    EXPECT_EQ(printed, "");
    // Still exhausted: nothing runs until the host grants more.
    EXPECT_FALSE(run("local a = 1;"));
    sq_setinstructionlimit(v, 0);
    EXPECT_TRUE(run("local n = 0; for (local i = 0; i < 100000; i++) n++;"));
}

TEST_F(Vm, InstructionLimitCountsThreadsAndSortComparators) {
    sq_setinstructionlimit(v, 5000);
    EXPECT_FALSE(run("local t = newthread(function() { while (true) {} }); t.call();"));
    sq_setinstructionlimit(v, 5000);
    EXPECT_FALSE(run("array(1000, 0).sort(function(x, y) { return x - y; });"));
    EXPECT_EQ(lastError(), "compare func failed");
    EXPECT_FALSE(run("local a = 1;"));
    EXPECT_EQ(lastError(), "instruction limit reached");
}

// Every delegate step walks the new parent's chain, and every lookup that
// misses walks the whole chain: a few thousand links make each of them
// cost thousands of instructions' work, and the limit must see it.
TEST_F(Vm, InstructionLimitCountsDelegateChainWalks) {
    const char* build = "top <- {}\nfor (local i = 0; i < 2000; i++) top = delegate top : {};";
    sq_setinstructionlimit(v, 100000);
    EXPECT_FALSE(run(build));
    EXPECT_EQ(lastError(), "instruction limit reached");
    sq_setinstructionlimit(v, 0);
    ASSERT_TRUE(run(build));
    const char* probes[] = {"for (local i = 0; i < 200; i++) top.rawin(\"x\") || (\"x\" in top);",
                            "for (local i = 0; i < 200; i++) try { top.x; } catch (e) {}",
                            "top.x <- 1\nfor (local i = 0; i < 200; i++) try { top.y = 1; } catch (e) {}"};
    for (const char* probe : probes) {
        sq_setinstructionlimit(v, 50000);
        EXPECT_FALSE(run(probe)) << probe;
        EXPECT_EQ(lastError(), "instruction limit reached") << probe;
    }
    sq_setinstructionlimit(v, 50000);
    EXPECT_TRUE(run("for (local i = 0; i < 200; i++) top.x;"));
}

TEST_F(Vm, SizeLimitRefusesLongStringsLargeArraysAndBlobs) {
    sq_setsizelimit(v, 4096);
    EXPECT_EQ(sq_getsizelimit(v), 4096);
    EXPECT_TRUE(run("local s = \"ab\"; while (s.len() < 4096) s += s;"));
    EXPECT_FALSE(run("local s = \"ab\"; while (true) s += s;"));
    EXPECT_EQ(lastError(), "not enough memory");
    EXPECT_TRUE(run("array(256); [].resize(256);"));
    EXPECT_FALSE(run("array(257);"));
    EXPECT_EQ(lastError(), "not enough memory");
    EXPECT_FALSE(run("[].resize(257);"));
    EXPECT_EQ(lastError(), "not enough memory");
    sq_setsizelimit(v, 0);
    EXPECT_EQ(sq_getsizelimit(v), 1 << 30);
    EXPECT_FALSE(run("array((1 << 26) + 1);"));
}

}  // namespace
