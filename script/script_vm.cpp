#include "script/script_vm.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

#include "sqstdaux.h"
#include "sqstdblob.h"
#include "sqstdio.h"
#include "sqstdmath.h"
#include "sqstdstring.h"

namespace script {

namespace {

constexpr SQInteger kInitialStack = 1024;

void printToStdout(HSQUIRRELVM, const SQChar* format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
}

}  // namespace

HSQUIRRELVM ScriptVm::vm = nullptr;
ScriptObject* ScriptVm::root = nullptr;

ScriptObject::ScriptObject(HSQUIRRELVM v, SQInteger index) : vm(v) {
    sq_getstackobj(vm, index, &object);
    sq_addref(vm, &object);
}

ScriptObject::ScriptObject(const ScriptObject& other) : vm(other.vm), object(other.object) {
    if (vm) sq_addref(vm, &object);
}

ScriptObject& ScriptObject::operator=(const ScriptObject& other) {
    if (this != &other) {
        ScriptObject copy(other);
        *this = std::move(copy);
    }
    return *this;
}

ScriptObject::ScriptObject(ScriptObject&& other) noexcept : vm(other.vm), object(other.object) {
    other.vm = nullptr;
    sq_resetobject(&other.object);
}

ScriptObject& ScriptObject::operator=(ScriptObject&& other) noexcept {
    if (this != &other) {
        reset();
        vm = other.vm;
        object = other.object;
        other.vm = nullptr;
        sq_resetobject(&other.object);
    }
    return *this;
}

void ScriptObject::reset() {
    if (vm) sq_release(vm, &object);
    vm = nullptr;
    sq_resetobject(&object);
}

void ScriptObject::push() const {
    sq_pushobject(ScriptVm::handle(), object);
}

void ScriptVm::init() {
    shutdown();
    vm = sq_open(kInitialStack);
    sq_setprintfunc(vm, printToStdout);
    sq_pushroottable(vm);
    sqstd_register_iolib(vm);
    sqstd_register_bloblib(vm);
    sqstd_register_mathlib(vm);
    sqstd_register_stringlib(vm);
    sqstd_seterrorhandlers(vm);
    root = new ScriptObject(vm, -1);
    sq_pop(vm, 1);
}

void ScriptVm::shutdown() {
    if (!vm) return;
    sq_pushnull(vm);
    sq_setroottable(vm);
    delete root;
    root = nullptr;
    HSQUIRRELVM closing = vm;
    vm = nullptr;
    sq_close(closing);
}

const char* ScriptVm::lastErrorText() {
    // The text lives in the VM as long as it stays the last error; the
    // caller copies it into a ScriptError at once.
    static const char kUnknown[] = "unknown error";
    const SQChar* text = kUnknown;
    sq_getlasterror(vm);
    if (sq_gettype(vm, -1) != OT_STRING || SQ_FAILED(sq_getstring(vm, -1, &text))) text = kUnknown;
    sq_pop(vm, 1);
    return text;
}

ScriptObject ScriptVm::compileFile(const char* path) {
    if (SQ_FAILED(sqstd_loadfile(vm, path, SQTrue))) throw ScriptError{lastErrorText()};
    ScriptObject script(vm, -1);
    sq_pop(vm, 1);
    return script;
}

ScriptObject ScriptVm::compileBuffer(const char* text, const char* sourceName) {
    SQInteger length = 0;
    while (text[length]) ++length;
    if (SQ_FAILED(sq_compilebuffer(vm, text, length, sourceName, SQTrue)))
        throw ScriptError{lastErrorText()};
    ScriptObject script(vm, -1);
    sq_pop(vm, 1);
    return script;
}

ScriptObject ScriptVm::run(const ScriptObject& script) {
    script.push();
    root->push();
    if (SQ_FAILED(sq_call(vm, 1, SQTrue, SQTrue))) {
        sq_pop(vm, 1);
        throw ScriptError{lastErrorText()};
    }
    ScriptObject result(vm, -1);
    sq_pop(vm, 2);
    return result;
}

void ScriptFunction::callGlobal(const char* name) {
    HSQUIRRELVM vm = ScriptVm::handle();
    const SQInteger top = sq_gettop(vm);
    ScriptVm::rootTable().push();
    sq_pushstring(vm, name, -1);
    // A missing name is called as null, so the failure reads as any other.
    if (SQ_FAILED(sq_get(vm, -2))) sq_pushnull(vm);
    const bool missing = sq_gettype(vm, -1) == OT_NULL;
    ScriptVm::rootTable().push();
    const bool failed = SQ_FAILED(sq_call(vm, 1, SQFalse, SQTrue));
    sq_settop(vm, top);
    if (failed) throw ScriptError{"SquirrelFunction<> call failed", missing};
}

}  // namespace script
