// The virtual machine: one per thread, all sharing a SharedState. Script to
// script calls, constructors and generator resumes run in one dispatch loop
// without C++ recursion; natives, metamethods and host calls nest through
// call().
#pragma once

#include <cassert>
#include <string>
#include <unordered_map>
#include <vector>

#include "squirrel/objects.h"

namespace squirrel {

constexpr int kMaxNativeCalls = 100;
// Threads running inside threads (call or wakeup from a running thread).
// Each has its own kMaxNativeCalls levels on the one C++ stack, so their
// nesting is bounded as a whole.
constexpr int kMaxThreadNesting = 16;
constexpr int kMaxStack = 1 << 20;
constexpr int kMaxFrames = 200000;
// Records and value slots kept back for the error handler (see FrameStack).
constexpr int kHandlerFrames = 16;
constexpr int kHandlerStack = 4096;

struct CallInfo {
    Value callee;  // keeps the running function alive
    const Instr* ip = nullptr;
    const Value* consts = nullptr;
    Closure* closure = nullptr;
    NativeClosure* native = nullptr;
    Generator* generator = nullptr;
    int base = 0;     // stack index of `this`
    int top = 0;      // first stack index past the frame
    int target = -1;  // stack index receiving the result; -1 drops it (constructors)
    int vargsBase = 0;
    int vargsCount = 0;
    int trapsBase = 0;
    bool root = false;  // the dispatch loop returns when this frame returns
};

// The call records of one VM, in a block of kMaxFrames records reserved when
// the VM opens and constructed on first use, like the value stack. A record
// never moves, so a pointer to the running frame stays valid while nested
// calls push and pop records above it.
class FrameStack {
public:
    FrameStack();
    ~FrameStack();
    FrameStack(const FrameStack&) = delete;
    FrameStack& operator=(const FrameStack&) = delete;

    size_t size() const { return count; }
    bool empty() const { return count == 0; }
    bool full() const { return count >= limit; }
    // The last kHandlerFrames records are kept for the error handler, so a
    // runaway recursion still gets its report; the handler opens them.
    void openReserve(bool open) { limit = open ? size_t(kMaxFrames) : size_t(kMaxFrames - kHandlerFrames); }
    CallInfo& back() {
        assert(count > 0);
        return block[count - 1];
    }
    CallInfo& operator[](size_t i) {
        assert(i < count);
        return block[i];
    }
    const CallInfo& operator[](size_t i) const {
        assert(i < count);
        return block[i];
    }
    CallInfo* begin() { return block; }
    CallInfo* end() { return block + count; }
    // Callers check full() first; pushing onto a full stack is a bug. A
    // reused record gets every field but callee (null since its pop) reset.
    CallInfo& push() {
        assert(count < size_t(kMaxFrames));
        if (count == constructed) {
            new (&block[constructed++]) CallInfo();
            return block[count++];
        }
        CallInfo& ci = block[count++];
        ci.ip = nullptr;
        ci.consts = nullptr;
        ci.closure = nullptr;
        ci.native = nullptr;
        ci.generator = nullptr;
        ci.base = 0;
        ci.top = 0;
        ci.target = -1;
        ci.vargsBase = 0;
        ci.vargsCount = 0;
        ci.trapsBase = 0;
        ci.root = false;
        return ci;
    }
    void pop() {
        assert(count > 0);
        block[--count].callee.setNull();
    }
    void clear() {
        while (count > 0) pop();
    }

private:
    CallInfo* block;
    size_t count = 0;
    size_t constructed = 0;
    size_t limit = size_t(kMaxFrames - kHandlerFrames);
};

struct GcSentinel : GcObject {
    GcSentinel() : GcObject(OT_NULL, nullptr) {}
    void clearRefs() override {}
    void traverse(GcVisitor, void*) override {}
};

struct SharedState {
    // First, so it outlives every member whose release frees a table.
    NodeCache nodeCache;
    std::vector<String*> strings;  // intern buckets
    uint32_t stringCount = 0;
    GcSentinel gcHead;  // sentinel of the list of collectable objects
    Value registry;
    Value tableDelegate, arrayDelegate, stringDelegate, numberDelegate, closureDelegate,
        generatorDelegate, threadDelegate, classDelegate, instanceDelegate, weakrefDelegate;
    Value metaNames[MT_LAST];
    Value constructorName;
    SQPRINTFUNCTION printFunc = nullptr;
    SQCOMPILERERROR compilerErrorHandler = nullptr;
    bool debugInfo = false;
    bool notifyAll = false;
    bool collecting = false;
    int threadNesting = 0;  // threads currently running inside call or wakeup
    // Instructions the VMs of this state may still run; at 0 every further
    // instruction raises. The start value is out of reach: no limit.
    int64_t instructionsLeft = INT64_MAX;
    // Bytes of the largest string, array or blob a script builds in one step.
    int64_t sizeLimit = int64_t(1) << 30;
    uint32_t gcMark = 1;
    SQVM* rootVm = nullptr;
    std::vector<GcObject*> deferredFree;
    std::vector<char> scratch;
    std::unordered_map<Object*, int> hostRefs;  // sq_addref counts per object
    SharedState();
    ~SharedState();
    Value newString(const char* s, int len = -1);
    Value concat(const String* x, const String* y);
    void unlinkString(String* s);

private:
    String* allocString(uint32_t len, SQHash h);
    Value intern(String* str);
};

}  // namespace squirrel

struct SQVM : squirrel::GcObject {
    using Value = squirrel::Value;
    Value* stack = nullptr;
    int stackCap = 0;   // constructed slots; the block holds kMaxStack
    int stackLimit = squirrel::kMaxStack - squirrel::kHandlerStack;  // all of it inside the error handler

    int top = 0;     // first free stack index
    int stackBase = 0;  // bottom of the host-visible window
    squirrel::FrameStack calls;
    std::vector<squirrel::Trap> traps;
    std::vector<Value> vargs;
    Value rootTable;
    Value errorHandler;
    Value debugHook;
    Value lastError;
    Value notifiedError;  // last error reported under notify-all-exceptions
    SQUserPointer foreignPtr = nullptr;
    int nativeCalls = 0;
    int state = SQ_VMSTATE_IDLE;
    bool suspendRequested = false;
    int suspendTarget = -1;     // stack slot that receives the wakeup value
    int suspendCallDepth = 0;   // calls.size() while suspended
    bool errorReported = false;
    bool inDebugHook = false;

    explicit SQVM(squirrel::SharedState* ss);
    ~SQVM() override;
    void clearRefs() override;
    void traverse(squirrel::GcVisitor fn, void* ud) override;

    // Stack helpers (absolute indices).
    void growStack(int need);
    bool ensureStack(int need) {
        if (need <= stackCap && need <= stackLimit) return true;
        if (need > stackLimit) return false;
        growStack(need);
        return true;
    }
    void push(const Value& v) {
        if (top >= stackCap) growStack(top + 1);
        stack[top++] = v;
    }
    // Host misuse (popping below the window, index 0 or outside it) is a bug
    // in the host: asserted in debug builds.
    void pop(int n) {
        assert(n >= 0 && top - n >= stackBase);
        for (int i = 0; i < n; i++) stack[--top].setNull();
    }
    Value& at(int idx) {
        assert(idx != 0);
        assert(idx > 0 ? stackBase + idx - 1 < top : top + idx >= stackBase);
        return idx >= 0 ? stack[stackBase + idx - 1] : stack[top + idx];
    }
    int absIndex(int idx) const { return idx >= 0 ? stackBase + idx - 1 : top + idx; }

    // Errors: set lastError and return false.
    bool raise(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    bool raiseValue(const Value& v) {
        lastError = v;
        return false;
    }
    Value newString(const char* s, int len = -1) { return shared->newString(s, len); }

    // Calls callee with the nargs values at stack[argsBase..] (this first).
    // The arguments stay where they are; the caller pops them.
    bool call(const Value& callee, int argsBase, int nargs, Value& result, bool raiseError);
    bool callMeta(const Value& fn, const Value& self, int nargs, const Value* args, Value& result);
    bool execute(const Value& closure, int argsBase, int nargs, Value& result, bool raiseError);
    bool callNative(squirrel::NativeClosure* nc, int argsBase, int nargs, Value& result, int target);
    void callErrorHandler(const Value& err);
    void callDebugHook(int event, int line);

    // Object protocol (see the language reference: get, set, new slot, ...).
    bool get(const Value& obj, const Value& key, Value& out, bool rootFallback, bool forCall,
             const Value* self = nullptr);
    bool set(const Value& obj, const Value& key, const Value& val, bool rootFallback,
             const Value* self = nullptr);
    bool newSlot(const Value& obj, const Value& key, const Value& val, bool isStatic);
    bool deleteSlot(const Value& obj, const Value& key, Value& out);
    bool getDefaultDelegate(const Value& obj, const Value& key, Value& out);
    bool arith(int op, const Value& a, const Value& b, Value& out);
    bool compare(const Value& a, const Value& b, int& result);
    bool toStringValue(const Value& v, Value& out);
    std::string toStdString(const Value& v);
    bool typeOf(const Value& v, Value& out);
    bool cloneValue(const Value& v, Value& out);
    bool getMetaMethod(const Value& obj, squirrel::MetaMethod mm, Value& fn);
    bool createInstance(squirrel::Class* cls, Value& out);
    bool callClass(const Value& cls, int argsBase, int nargs, Value& out, bool raiseError);
    bool resumeGenerator(const Value& gen, Value& out);
    // Pushes the frame of a suspended generator above the running frame; its
    // yield or return value goes to stack[target] (none when -1), or out of
    // run() when root.
    bool enterGenerator(const Value& gen, int target, bool root);
    bool enterFrame(squirrel::Closure* cl, int argsBase, int nargs, int target, bool root);
    // Inline: every script return runs it.
    void leaveFrame() {
        squirrel::CallInfo& ci = calls.back();
        int end = ci.top > top ? ci.top : top;
        for (int i = ci.base; i < end; i++) stack[i].setNull();
        if (int(vargs.size()) > ci.vargsBase) vargs.resize(size_t(ci.vargsBase));
        if (int(traps.size()) > ci.trapsBase) traps.resize(size_t(ci.trapsBase));
        calls.pop();
        if (!calls.empty()) top = calls.back().top;
    }
    bool run(Value& result, bool raiseError, size_t entryCalls, size_t entryTraps);
    bool iterate(const Value& container, Value& iter, Value& key, Value& val, bool& done);
    bool delegateTo(const Value& table, const Value& del);
    // Walks the host does for one instruction (a delegate chain) count as
    // instructions too, so a limited script cannot buy unbounded work with
    // a long chain; the next instruction raises once the limit is used up.
    void chargeSteps(size_t steps) {
        int64_t& left = shared->instructionsLeft;
        left = uint64_t(left) <= steps ? 0 : left - int64_t(steps);
    }

    void printText(const char* text);
    int lineOf(const squirrel::CallInfo& ci) const;
};

inline SQVM* squirrel::Value::thread() const { return static_cast<SQVM*>(obj()); }

// Inline: every script call runs it.
inline bool SQVM::enterFrame(squirrel::Closure* cl, int argsBase, int nargs, int target, bool root) {
    squirrel::FuncProto* p = cl->proto;
    int np = p->numParams;
    if (p->varargs ? nargs < np : nargs != np) return raise("wrong number of parameters");
    int extra = nargs - np;
    if (calls.full() || !ensureStack(argsBase + p->stackSize + 1)) return raise("stack overflow");
    for (int i = 0; i < extra; i++) {
        vargs.push_back(std::move(stack[argsBase + np + i]));
        stack[argsBase + np + i].setNull();
    }
    if (!cl->env.isNull()) stack[argsBase] = cl->env.weak()->get();
    squirrel::CallInfo& ci = calls.push();
    ci.callee = Value(static_cast<squirrel::Object*>(cl));
    ci.closure = cl;
    ci.ip = p->code.data();
    ci.consts = p->constants.data();
    ci.base = argsBase;
    ci.top = argsBase + p->stackSize;
    ci.target = target;
    ci.root = root;
    ci.vargsBase = int(vargs.size()) - extra;
    ci.vargsCount = extra;
    ci.trapsBase = int(traps.size());
    top = ci.top;
    return true;
}
