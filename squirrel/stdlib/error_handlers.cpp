// The standard error reports. Hosts log each print call as one message, so
// every line below is its own call and the format strings must not change.
// A float local is the one exception: it goes as text already formatted
// like the games' run-time %.14g (three exponent digits), which the host's
// own printf would not give.
#include <string>

#include "squirrel/stdlib/stdlib_local.h"
#include "squirrel/stdlib/string_format.h"
#include "sqstdaux.h"

namespace sqstd {

namespace {

// Call levels whose locals are listed, counted from the reporting native.
constexpr SQInteger kLocalLevels = 10;

void printLocal(HSQUIRRELVM v, SQPRINTFUNCTION pf, const SQChar* name) {
    switch (sq_gettype(v, -1)) {
    case OT_NULL: pf(v, "[%s] NULL\n", name); break;
    case OT_INTEGER: {
        SQInteger i = 0;
        sq_getinteger(v, -1, &i);
        pf(v, "[%s] %d\n", name, i);
        break;
    }
    case OT_FLOAT: {
        SQFloat f = 0;
        sq_getfloat(v, -1, &f);
        std::string text = formatFloat(double(f), "", -1, 14, 'g');
        pf(v, "[%s] %s\n", name, text.c_str());
        break;
    }
    case OT_BOOL: {
        SQBool b = SQFalse;
        sq_getbool(v, -1, &b);
        pf(v, "[%s] %s\n", name, b ? "true" : "false");
        break;
    }
    case OT_STRING: {
        const SQChar* s = "";
        sq_getstring(v, -1, &s);
        pf(v, "[%s] \"%s\"\n", name, s);
        break;
    }
    case OT_TABLE: pf(v, "[%s] TABLE\n", name); break;
    case OT_ARRAY: pf(v, "[%s] ARRAY\n", name); break;
    case OT_CLOSURE: pf(v, "[%s] CLOSURE\n", name); break;
    case OT_NATIVECLOSURE: pf(v, "[%s] NATIVECLOSURE\n", name); break;
    case OT_GENERATOR: pf(v, "[%s] NATIVECLOSURE\n", name); break;
    case OT_USERPOINTER: pf(v, "[%s] USERPOINTER\n", name); break;
    case OT_USERDATA: pf(v, "[%s] USERDATA\n", name); break;
    case OT_THREAD: pf(v, "[%s] THREAD\n", name); break;
    case OT_CLASS: pf(v, "[%s] CLASS\n", name); break;
    case OT_INSTANCE: pf(v, "[%s] INSTANCE\n", name); break;
    case OT_WEAKREF: pf(v, "[%s] WEAKREF\n", name); break;
    default: break;
    }
}

SQInteger runtimeErrorHandler(HSQUIRRELVM v) {
    SQPRINTFUNCTION pf = sq_getprintfunc(v);
    if (!pf) return 0;
    const SQChar* error = nullptr;
    if (sq_gettop(v) >= 2 && sq_gettype(v, 2) == OT_STRING) {
        sq_getstring(v, 2, &error);
        pf(v, "\nAN ERROR HAS OCCURED [%s]\n", error);
    } else {
        pf(v, "\nAN ERROR HAS OCCURED [unknown]\n");
    }
    sqstd_printcallstack(v);
    return 0;
}

void compilerErrorHandler(HSQUIRRELVM v, const SQChar* desc, const SQChar* source,
                          SQInteger line, SQInteger column) {
    SQPRINTFUNCTION pf = sq_getprintfunc(v);
    if (pf) pf(v, "%s line = (%d) column = (%d) : error %s\n", source, line, column, desc);
}

}  // namespace

}  // namespace sqstd

using namespace sqstd;

void sqstd_printcallstack(HSQUIRRELVM v) {
    SQPRINTFUNCTION pf = sq_getprintfunc(v);
    if (!pf) return;
    pf(v, "\nCALLSTACK\n");
    SQStackInfos si;
    for (SQInteger level = 1; SQ_SUCCEEDED(sq_stackinfos(v, level, &si)); ++level) {
        pf(v, "*FUNCTION [%s()] %s line [%d]\n", si.funcname ? si.funcname : "unknown",
           si.source ? si.source : "unknown", si.line);
    }
    pf(v, "\nLOCALS\n");
    for (SQInteger level = 0; level < kLocalLevels; ++level) {
        for (SQUnsignedInteger seq = 0;; ++seq) {
            const SQChar* name = sq_getlocal(v, SQUnsignedInteger(level), seq);
            if (!name) break;
            printLocal(v, pf, name);
            sq_pop(v, 1);
        }
    }
}

void sqstd_seterrorhandlers(HSQUIRRELVM v) {
    sq_setcompilererrorhandler(v, compilerErrorHandler);
    sq_newclosure(v, runtimeErrorHandler, 0);
    sq_seterrorhandler(v);
}
