// script/script_vm.h
#pragma once
#include "script/script_error.h"
#include "squirrel.h"

namespace script {

// A strong host reference to a value of the open VM. Released when the
// object dies; every ScriptObject must die before the VM closes.
class ScriptObject {
public:
    ScriptObject() { sq_resetobject(&object); }
    // Takes a reference to the value at `index` of the VM's stack.
    ScriptObject(HSQUIRRELVM vm, SQInteger index);
    ~ScriptObject() { reset(); }
    ScriptObject(const ScriptObject& other);
    ScriptObject& operator=(const ScriptObject& other);
    ScriptObject(ScriptObject&& other) noexcept;
    ScriptObject& operator=(ScriptObject&& other) noexcept;

    void reset();
    bool isNull() const { return sq_type(object) == OT_NULL; }
    const HSQOBJECT& handle() const { return object; }
    void push() const;

private:
    HSQUIRRELVM vm = nullptr;
    HSQOBJECT object;
};

// The one VM of the process. Every part of the host reaches the VM
// through it; it is open from init() to shutdown().
class ScriptVm {
public:
    // Opens the VM (stack of 1024 slots), registers the io, blob, math and
    // string libraries and the standard error handlers into the root table.
    // Print goes to standard output until the host sets its own.
    static void init();

    // Drops every global, closes the VM. Does nothing when none is open.
    static void shutdown();

    static bool isOpen() { return vm != nullptr; }
    static HSQUIRRELVM handle() { return vm; }
    static const ScriptObject& rootTable() { return *root; }

    // Compile with errors printed through the print function. Throw
    // ScriptError with the VM's last error.
    static ScriptObject compileFile(const char* path);
    static ScriptObject compileBuffer(const char* text, const char* sourceName);

    // Calls a compiled script with the root table as `this`; throws
    // ScriptError with the VM's last error.
    static ScriptObject run(const ScriptObject& script);

    // The last error as text; "unknown error" when it is not a string.
    static const char* lastErrorText();

private:
    static HSQUIRRELVM vm;
    static ScriptObject* root;
};

// Script functions called by name from the root table, with the root
// table as `this` and no arguments.
class ScriptFunction {
public:
    // Looks `name` up at the moment of the call (a script may replace its
    // callbacks while it runs) and calls it on the VM's stack, without a
    // host reference: a call allocates nothing of its own. Throws
    // ScriptError "SquirrelFunction<> call failed" when the call fails or
    // the name is not a function.
    static void callGlobal(const char* name);
};

}  // namespace script
