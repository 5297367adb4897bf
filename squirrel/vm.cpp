// Calls and the dispatch loop. Script-to-script calls, constructors and
// generator resumes push a CallInfo and stay in the same loop; natives,
// metamethods and host calls enter run() again, bounded by kMaxNativeCalls.
// Call records never move (FrameStack), so the loop's frame pointer only
// changes where it enters or leaves a frame (RELOAD).
#include <cmath>
#include <cstdlib>
#include <new>

#include "squirrel/opcodes.h"
#include "squirrel/vm.h"
#include "squirrel/vm_local.h"

using namespace squirrel;

namespace {

constexpr const char* kMaskNames[16] = {
    "null", "integer", "float", "bool", "string", "table", "array", "userdata",
    "function", "function", "generator", "userdata", "thread", "function", "class", "instance"};

std::string maskText(int mask) {
    std::string s;
    for (int i = 0; i < 16; i++) {
        if (mask & (1 << i)) {
            if (!s.empty()) s += "|";
            s += kMaskNames[i];
        }
    }
    return s;
}

}  // namespace

FrameStack::FrameStack()
    : block(static_cast<CallInfo*>(std::malloc(sizeof(CallInfo) * size_t(kMaxFrames)))) {
    if (!block) std::abort();
}

FrameStack::~FrameStack() {
    for (size_t i = 0; i < constructed; i++) block[i].~CallInfo();
    std::free(block);
}

SQVM::SQVM(SharedState* ss) : GcObject(OT_THREAD, ss) {
    stack = static_cast<Value*>(std::malloc(sizeof(Value) * size_t(kMaxStack)));
    stackCap = 0;
    growStack(1024);
}

SQVM::~SQVM() {
    for (int i = 0; i < stackCap; i++) stack[i].~Value();
    std::free(stack);
}

void SQVM::clearRefs() {
    for (int i = 0; i < stackCap; i++) stack[i].setNull();
    calls.clear();
    traps.clear();
    vargs.clear();
    rootTable.setNull();
    errorHandler.setNull();
    debugHook.setNull();
    lastError.setNull();
    notifiedError.setNull();
}

void SQVM::traverse(GcVisitor fn, void* ud) {
    for (int i = 0; i < stackCap; i++) visitValue(stack[i], fn, ud);
    for (auto& ci : calls) visitValue(ci.callee, fn, ud);
    for (auto& v : vargs) visitValue(v, fn, ud);
    visitValue(rootTable, fn, ud);
    visitValue(errorHandler, fn, ud);
    visitValue(debugHook, fn, ud);
    visitValue(lastError, fn, ud);
    visitValue(notifiedError, fn, ud);
}

void SQVM::growStack(int need) {
    if (need > kMaxStack) std::abort();
    int target = stackCap * 2 > need ? stackCap * 2 : need;
    if (target > kMaxStack) target = kMaxStack;
    while (stackCap < target) new (&stack[stackCap++]) Value();
}

int SQVM::lineOf(const CallInfo& ci) const {
    if (!ci.closure) return -1;
    const FuncProto* p = ci.closure->proto;
    int pc = int(ci.ip - p->code.data()) - 1;
    if (pc < 0) pc = 0;
    return p->lineAt(pc);
}

void SQVM::printText(const char* text) {
    if (shared->printFunc) shared->printFunc(this, "%s", text);
}

void SQVM::callErrorHandler(const Value& err) {
    if (errorHandler.isNull()) return;
    // A stack that overflowed still leaves the handler the records and
    // slots kept back for it; a handler that overflows them fails alone.
    const bool opened = stackLimit < squirrel::kMaxStack;
    if (opened) {
        stackLimit = squirrel::kMaxStack;
        calls.openReserve(true);
    }
    Value handler = errorHandler;
    int base = top;
    if (ensureStack(base + 2)) {
        push(rootTable);
        push(err);
        Value r;
        Value saved = lastError;
        call(handler, base, 2, r, false);
        while (top > base) stack[--top].setNull();
        lastError = saved;
    }
    if (opened) {
        stackLimit = squirrel::kMaxStack - squirrel::kHandlerStack;
        calls.openReserve(false);
    }
}

static bool argCountFits(const FuncProto* p, int nargs) {
    return p->varargs ? nargs >= p->numParams : nargs == p->numParams;
}

bool SQVM::callNative(NativeClosure* nc, int argsBase, int nargs, Value& result, int) {
    if (nativeCalls >= kMaxNativeCalls) return raise("Native stack overflow");
    if (nc->paramsCheck > 0 ? nargs != nc->paramsCheck
                            : (nc->paramsCheck < 0 && nargs < -nc->paramsCheck)) {
        return raise("wrong number of parameters");
    }
    size_t nchecks = nc->typeCheck.size() < size_t(nargs) ? nc->typeCheck.size() : size_t(nargs);
    for (size_t i = 0; i < nchecks; i++) {
        int mask = nc->typeCheck[i];
        if (mask != -1 && !(stack[argsBase + int(i)]._type & mask)) {
            return raise("parameter %d has an invalid type '%s' ; expected: '%s'", int(i),
                         typeName(stack[argsBase + int(i)]._type), maskText(mask).c_str());
        }
    }
    int nouters = int(nc->outers.size());
    if (calls.full() || !ensureStack(argsBase + nargs + nouters + 32)) {
        return raise("stack overflow");
    }
    int savedTop = top;
    int savedBase = stackBase;
    for (int i = 0; i < nouters; i++) stack[argsBase + nargs + i] = nc->outers[size_t(i)];
    if (!nc->env.isNull()) stack[argsBase] = nc->env.weak()->get();
    CallInfo& ci = calls.push();
    ci.callee = Value(static_cast<Object*>(nc));
    ci.native = nc;
    ci.base = argsBase;
    ci.top = argsBase + nargs + nouters;
    ci.vargsBase = int(vargs.size());
    ci.trapsBase = int(traps.size());
    top = argsBase + nargs + nouters;
    stackBase = argsBase;
    nativeCalls++;
    SQInteger ret;
    try {
        ret = nc->fn(this);
    } catch (const std::bad_alloc&) {
        ret = sq_throwerror(this, "not enough memory");
    }
    nativeCalls--;
    bool ok = true;
    if (ret < 0 && suspendRequested) {
        result = top > argsBase ? stack[top - 1] : Value();
    } else if (ret < 0) {
        ok = false;
    } else if (ret > 0) {
        result = top > argsBase ? stack[top - 1] : Value();
    } else {
        result.setNull();
    }
    for (int i = argsBase + nargs; i < top; i++) stack[i].setNull();
    calls.pop();
    stackBase = savedBase;
    top = savedTop;
    return ok;
}

bool SQVM::call(const Value& callee, int argsBase, int nargs, Value& result, bool raiseError) {
    switch (callee._type) {
    case OT_CLOSURE: return execute(callee, argsBase, nargs, result, raiseError);
    case OT_NATIVECLOSURE: return callNative(callee.native(), argsBase, nargs, result, -1);
    case OT_CLASS: return callClass(callee, argsBase, nargs, result, raiseError);
    case OT_TABLE:
    case OT_USERDATA:
    case OT_INSTANCE: {
        Value fn;
        if (getMetaMethod(callee, MT_CALL, fn)) {
            std::vector<Value> args(stack + argsBase, stack + argsBase + nargs);
            if (callMeta(fn, callee, nargs, args.data(), result)) return true;
        }
        return raise("attempt to call '%s'", typeName(callee._type));
    }
    default: return raise("attempt to call '%s'", typeName(callee._type));
    }
}

// A generator function called by script code: the arguments are checked
// and kept, the body does not run yet.
static bool makeGenerator(SQVM* vm, Closure* cl, int argsBase, int nargs, Value& out) {
    FuncProto* p = cl->proto;
    int np = p->numParams;
    if (!argCountFits(p, nargs)) return vm->raise("wrong number of parameters");
    Generator* g = new Generator(vm->shared, Value(static_cast<Object*>(cl)));
    out = Value(static_cast<Object*>(g));
    g->stack.resize(size_t(p->stackSize));
    for (int i = 0; i < np; i++) g->stack[size_t(i)] = vm->stack[argsBase + i];
    for (int i = np; i < nargs; i++) g->vargs.push_back(vm->stack[argsBase + i]);
    if (!cl->env.isNull()) g->stack[0] = cl->env.weak()->get();
    return true;
}

// A separate execution of script code. A generator function runs here as
// a plain function: its first yield finds no generator and raises.
bool SQVM::execute(const Value& closure, int argsBase, int nargs, Value& result, bool raiseError) {
    Closure* cl = closure.closure();
    if (nativeCalls >= kMaxNativeCalls) return raise("Native stack overflow");
    size_t entryCalls = calls.size();
    size_t entryTraps = traps.size();
    int savedTop = top;
    if (!enterFrame(cl, argsBase, nargs, -1, true)) return false;
    if (!debugHook.isNull()) callDebugHook('c', cl->proto->lineAt(0));
    nativeCalls++;
    bool ok = run(result, raiseError, entryCalls, entryTraps);
    nativeCalls--;
    if (state != SQ_VMSTATE_SUSPENDED) top = savedTop;
    return ok;
}

bool SQVM::enterGenerator(const Value& gv, int target, bool root) {
    Generator* g = gv.generator();
    if (g->state == Generator::Dead) return raise("resuming dead generator");
    if (g->state == Generator::Running) return raise("resuming active generator");
    Closure* cl = g->closure.closure();
    FuncProto* p = cl->proto;
    int base = top;
    if (calls.full() || !ensureStack(base + p->stackSize + 1)) return raise("stack overflow");
    for (int i = 0; i < p->stackSize; i++) stack[base + i] = std::move(g->stack[size_t(i)]);
    g->stack.clear();
    int ciIndex = int(calls.size());
    CallInfo& ci = calls.push();
    ci.callee = gv;  // the frame keeps the generator alive, the generator its closure
    ci.closure = cl;
    ci.generator = g;
    ci.ip = p->code.data() + g->pc;
    ci.consts = p->constants.data();
    ci.base = base;
    ci.top = base + p->stackSize;
    ci.target = target;
    ci.root = root;
    ci.vargsBase = int(vargs.size());
    ci.vargsCount = int(g->vargs.size());
    ci.trapsBase = int(traps.size());
    for (auto& v : g->vargs) vargs.push_back(std::move(v));
    g->vargs.clear();
    for (Trap t : g->traps) {
        t.stackBase = base;
        t.ciIndex = ciIndex;
        traps.push_back(t);
    }
    g->traps.clear();
    top = ci.top;
    g->state = Generator::Running;
    return true;
}

bool SQVM::resumeGenerator(const Value& gv, Value& out) {
    if (nativeCalls >= kMaxNativeCalls) return raise("Native stack overflow");
    size_t entryCalls = calls.size();
    size_t entryTraps = traps.size();
    int savedTop = top;
    Value keep = gv;
    if (!enterGenerator(keep, -1, true)) return false;
    nativeCalls++;
    bool ok = run(out, false, entryCalls, entryTraps);
    nativeCalls--;
    top = savedTop;
    return ok;
}

// Calls the debug hook as hook(event, source, line, funcname) for the
// innermost script frame; the hook's own frames produce no events.
void SQVM::callDebugHook(int event, int line) {
    if (inDebugHook || debugHook.isNull()) return;
    const CallInfo& ci = calls.back();
    if (!ci.closure) return;
    FuncProto* p = ci.closure->proto;
    if (line < 0) line = lineOf(ci);
    inDebugHook = true;
    Value hook = debugHook;
    int b = top;
    if (ensureStack(b + 6)) {
        push(rootTable);
        push(Value::integer(event));
        push(p->source);
        push(Value::integer(line));
        push(p->name);
        Value r;
        Value saved = lastError;
        call(hook, b, 5, r, false);
        lastError = saved;
        while (top > b) stack[--top].setNull();
    }
    inDebugHook = false;
}

static void errorUnwindFrame(SQVM* vm) {
    CallInfo& ci = vm->calls.back();
    if (ci.generator) {
        ci.generator->state = Generator::Dead;
        ci.generator->traps.clear();
    }
    vm->leaveFrame();
}

static bool valuesEqual(const Value& a, const Value& b) {
    if (a._type == b._type) return a.rawEquals(b);
    if (a.isNumeric() && b.isNumeric()) return a.toFloat() == b.toFloat();
    return false;
}

// The bitwise operators of the register and the literal forms; shift
// counts are taken modulo 32.
static inline SQInteger bitOp(int op, SQInteger x, SQInteger y) {
    uint32_t u = uint32_t(x);
    uint32_t s = uint32_t(y) & 31;
    switch (op) {
    case OP_BAND: return x & y;
    case OP_BOR: return x | y;
    case OP_BXOR: return x ^ y;
    case OP_SHL: return SQInteger(u << s);
    case OP_SHR: return x >> s;
    default: return SQInteger(u >> s);
    }
}

static bool rawIn(SQVM* vm, const Value& key, const Value& obj) {
    Value out;
    switch (obj._type) {
    case OT_TABLE: {
        size_t steps = 0;
        for (Table* t = obj.table(); t; t = t->delegate, steps++) {
            if (t->find(key)) {
                vm->chargeSteps(steps);
                return true;
            }
        }
        vm->chargeSteps(steps);
        return false;
    }
    case OT_INSTANCE: return obj.instance()->get(key, out);
    case OT_CLASS: return obj.cls()->getMember(key, out);
    case OT_ARRAY:
    case OT_STRING:
        if (!key.isNumeric()) return false;
        return vmTryGet(vm, obj, key, out, false);
    default: return false;
    }
}

bool SQVM::run(Value& result, bool raiseError, size_t entryCalls, size_t entryTraps) {
    CallInfo* ci = &calls.back();
    Value* R = stack + ci->base;
    const Instr* ip = ci->ip;
    const Value* K = ci->consts;

    // Three-way comparison of the comparison operators and jumps: integers
    // inline, anything else through compare().
    auto threeWay = [&](const Value& x, const Value& y, int& r) {
        if (x._type == OT_INTEGER && y._type == OT_INTEGER) {
            SQInteger d = SQInteger(uint32_t(x.i()) - uint32_t(y.i()));
            r = d < 0 ? -1 : (d > 0 ? 1 : 0);
            return true;
        }
        return compare(x, y, r);
    };

    // A compare feeding a conditional jump (OP_CMPJZ): writes the compare's
    // register, then jumps or skips the jump instruction.
    auto compareAndJump = [&](const Instr& in) {
        const int rel = cmpJumpRelation(in.arg);
        bool holds;
        if (rel == kRelEqual || rel == kRelNotEqual) {
            holds = valuesEqual(R[in.b], R[in.c]) == (rel == kRelEqual);
        } else {
            int r;
            if (!threeWay(R[in.b], R[in.c], r)) return false;
            holds = orderHolds(rel, r);
        }
        R[in.a].setBool(holds);
        ip += holds ? 1 : cmpJumpOffset(in.arg);
        return true;
    };

    // The existing array element, table slot or instance field a key names,
    // or null when reaching it could involve delegates, methods or
    // metamethods.
    auto plainSlot = [](const Value& o, const Value& key) -> Value* {
        if (o._type == OT_ARRAY && key._type == OT_INTEGER) {
            auto& items = o.array()->items;
            return uint32_t(key.i()) < items.size() ? &items[size_t(key.i())] : nullptr;
        }
        if (key._type != OT_STRING) return nullptr;
        if (o._type == OT_TABLE) {
            TableNode* n = o.table()->findString(key.str());
            return n ? &n->val : nullptr;
        }
        if (o._type == OT_INSTANCE) {
            Instance* inst = o.instance();
            TableNode* n = inst->cls->members->findString(key.str());
            if (n && !(n->val.i() & 1)) return &inst->fields[size_t(n->val.i() >> 1)];
        }
        return nullptr;
    };

// Switches to the frame now on top after entering or leaving one.
#define RELOAD()                 \
    do {                         \
        ci = &calls.back();      \
        R = stack + ci->base;    \
        ip = ci->ip;             \
        K = ci->consts;          \
    } while (0)

    for (;;) {
        const Instr in = *ip++;
        ci->ip = ip;
        // Exhausted, the limit stays at 0, so a try or an error handler
        // cannot keep the script running.
        if (--shared->instructionsLeft < 0) {
            shared->instructionsLeft = 0;
            raise("instruction limit reached");
            goto error;
        }
        // Memory a script asks for and cannot get is a script error like
        // any other ("not enough memory"), never the end of the program.
        try {
        switch (in.op) {
        case OP_LOADNULL:
            for (int k = 0; k < in.arg; k++) R[in.a + k].setNull();
            break;
        case OP_LOADINT: R[in.a].setInt(in.arg); break;
        case OP_LOADFLOAT: {
            float f;
            memcpy(&f, &in.arg, 4);
            R[in.a].setFloat(f);
            break;
        }
        case OP_LOADK: R[in.a] = K[in.arg]; break;
        case OP_LOADBOOL: R[in.a].setBool(in.arg != 0); break;
        case OP_LOADROOT: R[in.a] = rootTable; break;
        case OP_LOADFREE: R[in.a] = ci->closure->outers[size_t(in.arg)]; break;
        case OP_MOVE: R[in.a] = R[in.b]; break;
        case OP_GETK: {
            const Value& o = R[in.b];
            if (o._type == OT_TABLE) {
                TableNode* n = o.table()->findString(K[in.arg].str());
                if (n && n->val._type != OT_WEAKREF) {
                    R[in.a] = n->val;
                    break;
                }
            } else if (o._type == OT_INSTANCE) {
                Instance* inst = o.instance();
                TableNode* n = inst->cls->members->findString(K[in.arg].str());
                if (n) {
                    SQInteger idx = n->val.i();
                    const Value& v = (idx & 1) ? inst->cls->methods[size_t(idx >> 1)].val
                                               : inst->fields[size_t(idx >> 1)];
                    if (v._type != OT_WEAKREF) {
                        R[in.a] = v;
                        break;
                    }
                }
            }
            Value tmp;
            if (!get(o, K[in.arg], tmp, true, false, &R[0])) goto error;
            R[in.a] = std::move(tmp);
            break;
        }
        case OP_GET: {
            const Value& o = R[in.b];
            const Value& k = R[in.c];
            if (o._type == OT_ARRAY && k._type == OT_INTEGER) {
                auto& items = o.array()->items;
                if (uint32_t(k.i()) < items.size() && items[size_t(k.i())]._type != OT_WEAKREF) {
                    R[in.a] = items[size_t(k.i())];
                    break;
                }
            } else if (o._type == OT_TABLE) {
                TableNode* n = o.table()->find(k);
                if (n && n->val._type != OT_WEAKREF) {
                    R[in.a] = n->val;
                    break;
                }
            }
            Value tmp;
            if (!get(o, k, tmp, true, false, &R[0])) goto error;
            R[in.a] = std::move(tmp);
            break;
        }
        case OP_SETK: {
            const Value& o = R[in.a];
            const Value& key = K[keyedSetConst(in.arg)];
            if (o._type == OT_TABLE) {
                TableNode* n = o.table()->findString(key.str());
                if (n) {
                    n->val = R[in.c];
                    break;
                }
            } else if (o._type == OT_INSTANCE) {
                Instance* inst = o.instance();
                TableNode* n = inst->cls->members->findString(key.str());
                if (n && !(n->val.i() & 1)) {
                    inst->fields[size_t(n->val.i() >> 1)] = R[in.c];
                    break;
                }
            }
            if (!set(o, key, R[in.c], true, &R[0]) && !keyedSetUnchecked(in.arg)) goto error;
            break;
        }
        case OP_SET: {
            const Value& o = R[in.a];
            const Value& k = R[in.b];
            if (o._type == OT_ARRAY && k._type == OT_INTEGER) {
                auto& items = o.array()->items;
                if (uint32_t(k.i()) < items.size()) {
                    items[size_t(k.i())] = R[in.c];
                    break;
                }
            } else if (o._type == OT_TABLE) {
                if (TableNode* n = o.table()->find(k)) {
                    n->val = R[in.c];
                    break;
                }
            }
            if (!set(o, k, R[in.c], true, &R[0]) && in.arg != kUncheckedSet) goto error;
            break;
        }
        case OP_NEWMEMBER:
        case OP_NEWSLOT: {
            if (in.op == OP_NEWSLOT && R[in.a]._type == OT_TABLE && !R[in.a].table()->delegate &&
                !R[in.b].isNull()) {
                R[in.a].table()->newSlot(R[in.b], R[in.c]);
                break;
            }
            Value obj = R[in.a];
            if (in.op == OP_NEWMEMBER && obj._type != OT_CLASS) {
                raise("static members and member attributes need a class, not a %s", typeName(obj._type));
                goto error;
            }
            if (newSlotClassBody(in.arg) && obj._type == OT_CLASS) {
                Class* cl = obj.cls();
                int attrsReg = newSlotAttrsReg(in.arg);
                Value attrs = attrsReg != kNoReg ? R[attrsReg] : Value();
                if (!cl->metaMethods[MT_NEWMEMBER].isNull()) {
                    Value args[3] = {R[in.b], R[in.c], attrs};
                    Value r;
                    bool handled = callMeta(cl->metaMethods[MT_NEWMEMBER], obj, 3, args, r);
                    if (handled) break;
                }
                if (R[in.b].isNull()) {
                    raise("null cannot be used as index");
                    goto error;
                }
                cl->newSlot(R[in.b], R[in.c], newSlotStatic(in.arg));
                if (!attrs.isNull()) {
                    if (TableNode* n = cl->members->find(R[in.b])) {
                        SQInteger idx = n->val.i();
                        ((idx & 1) ? cl->methods : cl->fields)[size_t(idx >> 1)].attrs = attrs;
                    }
                }
                break;
            }
            if (!newSlot(obj, R[in.b], R[in.c], false)) goto error;
            break;
        }
        case OP_DELETE: {
            Value tmp;
            Value obj = R[in.b];
            if (!deleteSlot(obj, R[in.c], tmp)) goto error;
            R[in.a] = std::move(tmp);
            break;
        }
        case OP_PREPCALLK:
        case OP_PREPCALL: {
            // obj and key are read in place: nothing writes a register of
            // this frame before `prepared`, and self holds obj from there.
            const Value& obj = R[in.b];
            const Value& key = in.op == OP_PREPCALLK ? K[in.arg] : R[in.c];
            Value fn;
            Value self = obj;
            if (obj._type == OT_TABLE && key._type == OT_STRING) {
                TableNode* n = obj.table()->findString(key.str());
                if (n && n->val._type != OT_WEAKREF) {
                    fn = n->val;
                    goto prepared;
                }
            } else if (key._type == OT_STRING &&
                       (obj._type == OT_STRING || obj._type == OT_ARRAY || obj._type == OT_INTEGER ||
                        obj._type == OT_FLOAT)) {
                // A method of the type's default delegate, found as get() finds it.
                const Value& d = obj._type == OT_STRING  ? shared->stringDelegate
                               : obj._type == OT_ARRAY ? shared->arrayDelegate
                                                       : shared->numberDelegate;
                if (TableNode* n = d.table()->findString(key.str())) {
                    fn = n->val;
                    goto prepared;
                }
            }
            if (obj._type == OT_CLASS) {
                if (obj.cls()->getMember(key, fn)) {
                    self = R[0];
                } else if (!getDefaultDelegate(obj, key, fn)) {
                    raise("the index '%s' does not exist", keyText(key).substr(0, 50).c_str());
                    goto error;
                }
            } else if (!get(obj, key, fn, true, true, &R[0])) {
                goto error;
            }
        prepared:
            R[in.a] = std::move(fn);
            R[in.a + 1] = std::move(self);
            break;
        }
        case OP_CALL:
        case OP_TAILCALL:
        case OP_CALLR:
        case OP_TAILCALLR: {
            // Our own form keeps callee, `this` and arguments together from
            // register a; the translated form names the callee (arg), the
            // first of the values (b) and the result register (a) apart.
            const bool ownForm = in.op == OP_CALL || in.op == OP_TAILCALL;
            const int argsReg = ownForm ? in.a + 1 : in.b;
            const int nargs = ownForm ? in.b : in.c;
            Value& fn = R[ownForm ? in.a : in.arg];
            int argsBase = ci->base + argsReg;
            if (fn._type == OT_CLOSURE && !fn.closure()->proto->generator) {
                if ((in.op == OP_TAILCALL || in.op == OP_TAILCALLR) && !ci->generator) {
                    if (!debugHook.isNull()) callDebugHook('r', -1);
                    Value callee = fn;
                    for (int k = 0; k < nargs; k++) R[k] = std::move(R[argsReg + k]);
                    int base = ci->base;
                    int target = ci->target;
                    bool root = ci->root;
                    int end = ci->top;
                    for (int k = base + nargs; k < end; k++) stack[k].setNull();
                    if (int(vargs.size()) > ci->vargsBase) vargs.resize(size_t(ci->vargsBase));
                    // Handlers of the replaced frame die with it.
                    if (int(traps.size()) > ci->trapsBase) traps.resize(size_t(ci->trapsBase));
                    calls.pop();
                    if (!enterFrame(callee.closure(), base, nargs, target, root)) {
                        // Keep a frame for the error path: report against the caller.
                        if (calls.size() <= entryCalls) {
                            if (raiseError) callErrorHandler(lastError);
                            return false;
                        }
                        RELOAD();
                        goto error;
                    }
                } else if (!enterFrame(fn.closure(), argsBase, nargs, ci->base + in.a, false)) {
                    goto error;
                }
                RELOAD();
                if (!debugHook.isNull()) callDebugHook('c', ci->closure->proto->lineAt(0));
                break;
            }
            if (fn._type == OT_CLASS) {
                // A constructor is an ordinary frame of this execution whose
                // result is dropped: the instance is already in place.
                Value cls = fn;
                Value inst, ctor;
                createInstance(cls.cls(), inst);
                R[in.a] = inst;
                if (cls.cls()->getMember(shared->constructorName, ctor)) {
                    // The inline frame drops its result; an instance whose
                    // register lies inside that frame (2.1.1 may put it
                    // there) would be cleared with it, so that case nests.
                    if (ctor._type == OT_CLOSURE && !ctor.closure()->proto->generator &&
                        in.a < argsReg) {
                        stack[argsBase] = std::move(inst);
                        if (!enterFrame(ctor.closure(), argsBase, nargs, -1, false)) goto error;
                        RELOAD();
                        if (!debugHook.isNull()) callDebugHook('c', ci->closure->proto->lineAt(0));
                        break;
                    }
                    if (ctor._type == OT_CLOSURE && ctor.closure()->proto->generator) {
                        const FuncProto* p = ctor.closure()->proto;
                        if (!argCountFits(p, nargs)) {
                            raise("wrong number of parameters");
                            goto error;
                        }
                    } else {
                        stack[argsBase] = inst;
                        Value r;
                        if (!call(ctor, argsBase, nargs, r, false)) goto error;
                    }
                }
                for (int k = 0; k < nargs; k++) R[argsReg + k].setNull();
                if (!ownForm) R[in.a] = std::move(inst);
                break;
            }
            Value res;
            bool ok;
            if (fn._type == OT_CLOSURE) {
                ok = makeGenerator(this, fn.closure(), argsBase, nargs, res);
            } else if (fn._type == OT_NATIVECLOSURE) {
                ok = callNative(fn.native(), argsBase, nargs, res, -1);
                if (ok && suspendRequested) {
                    // Only a native called from the outermost script execution
                    // of this VM may suspend it: the frames stay where they are.
                    suspendRequested = false;
                    if (nativeCalls != 1) {
                        raise("cannot suspend through native calls/metamethods");
                        goto error;
                    }
                    state = SQ_VMSTATE_SUSPENDED;
                    suspendTarget = ci->base + in.a;
                    result = res;
                    return true;
                }
            } else {
                Value callee = fn;
                ok = call(callee, argsBase, nargs, res, false);
            }
            if (!ok) goto error;
            for (int k = 0; k < nargs; k++) R[argsReg + k].setNull();
            R[in.a] = std::move(res);
            // A tail call that is not a plain script call ends at the
            // return that follows it.
            break;
        }
        case OP_RETURN: {
            Value ret;
            if (in.arg) ret = std::move(R[in.a]);
            if (!debugHook.isNull()) callDebugHook('r', -1);
            if (ci->generator) {
                ci->generator->state = Generator::Dead;
                ci->generator->stack.clear();
            }
            int target = ci->target;
            bool root = ci->root;
            leaveFrame();
            if (root) {
                result = std::move(ret);
                return true;
            }
            RELOAD();
            if (target >= 0) stack[target] = std::move(ret);
            break;
        }
        case OP_ADD: {
            const Value& x = R[in.b];
            const Value& y = R[in.c];
            if (x._type == OT_INTEGER && y._type == OT_INTEGER) {
                R[in.a].setInt(SQInteger(uint32_t(x.i()) + uint32_t(y.i())));
            } else if (x.isNumeric() && y.isNumeric()) {
                R[in.a].setFloat(x.toFloat() + y.toFloat());
            } else {
                Value tmp;
                if (!arith('+', x, y, tmp)) goto error;
                R[in.a] = std::move(tmp);
            }
            break;
        }
        case OP_SUB: {
            const Value& x = R[in.b];
            const Value& y = R[in.c];
            if (x._type == OT_INTEGER && y._type == OT_INTEGER) {
                R[in.a].setInt(SQInteger(uint32_t(x.i()) - uint32_t(y.i())));
            } else if (x.isNumeric() && y.isNumeric()) {
                R[in.a].setFloat(x.toFloat() - y.toFloat());
            } else {
                Value tmp;
                if (!arith('-', x, y, tmp)) goto error;
                R[in.a] = std::move(tmp);
            }
            break;
        }
        case OP_MUL: {
            const Value& x = R[in.b];
            const Value& y = R[in.c];
            if (x._type == OT_INTEGER && y._type == OT_INTEGER) {
                R[in.a].setInt(SQInteger(uint32_t(x.i()) * uint32_t(y.i())));
            } else if (x.isNumeric() && y.isNumeric()) {
                R[in.a].setFloat(x.toFloat() * y.toFloat());
            } else {
                Value tmp;
                if (!arith('*', x, y, tmp)) goto error;
                R[in.a] = std::move(tmp);
            }
            break;
        }
        case OP_DIV:
        case OP_MOD: {
            Value tmp;
            if (!arith(in.op == OP_DIV ? '/' : '%', R[in.b], R[in.c], tmp)) goto error;
            R[in.a] = std::move(tmp);
            break;
        }
        case OP_ADDI: {
            const bool subtract = in.c == kAddiSubtract;
            const Value& x = R[in.b];
            if (x._type == OT_INTEGER) {
                uint32_t k = subtract ? 0u - uint32_t(in.arg) : uint32_t(in.arg);
                R[in.a].setInt(SQInteger(uint32_t(x.i()) + k));
            } else if (x._type == OT_FLOAT) {
                R[in.a].setFloat(subtract ? x.f() - SQFloat(in.arg) : x.f() + SQFloat(in.arg));
            } else {
                Value tmp;
                if (!arith(subtract ? '-' : '+', x, Value::integer(in.arg), tmp)) goto error;
                R[in.a] = std::move(tmp);
            }
            break;
        }
        case OP_JEQ:
            if (!valuesEqual(R[in.b], R[in.c])) ip += in.arg;
            break;
        case OP_JNE:
            if (valuesEqual(R[in.b], R[in.c])) ip += in.arg;
            break;
        case OP_JLT:
        case OP_JLE:
        case OP_JGT:
        case OP_JGE: {
            int r;
            if (!threeWay(R[in.b], R[in.c], r)) goto error;
            bool b = in.op == OP_JLT ? r < 0 : in.op == OP_JLE ? r <= 0 : in.op == OP_JGT ? r > 0 : r >= 0;
            if (!b) ip += in.arg;
            break;
        }
        case OP_BAND:
        case OP_BOR:
        case OP_BXOR:
        case OP_SHL:
        case OP_SHR:
        case OP_USHR: {
            const Value& x = R[in.b];
            const Value& y = R[in.c];
            if (x._type != OT_INTEGER || y._type != OT_INTEGER) {
                raise("bitwise op between '%s' and '%s'", typeName(x._type), typeName(y._type));
                goto error;
            }
            R[in.a].setInt(bitOp(in.op, x.i(), y.i()));
            break;
        }
        case OP_BITI: {
            const Value& x = R[in.b];
            if (x._type != OT_INTEGER) {
                raise("bitwise op between '%s' and 'integer'", typeName(x._type));
                goto error;
            }
            R[in.a].setInt(bitOp(OP_BAND + in.c, x.i(), in.arg));
            break;
        }
        case OP_EQ: R[in.a].setBool(valuesEqual(R[in.b], R[in.c])); break;
        case OP_NE: R[in.a].setBool(!valuesEqual(R[in.b], R[in.c])); break;
        case OP_LT:
        case OP_LE:
        case OP_GT:
        case OP_GE: {
            int r;
            if (!threeWay(R[in.b], R[in.c], r)) goto error;
            bool b = in.op == OP_LT ? r < 0 : in.op == OP_LE ? r <= 0 : in.op == OP_GT ? r > 0 : r >= 0;
            R[in.a].setBool(b);
            break;
        }
        case OP_NOT: R[in.a].setBool(isFalse(R[in.b])); break;
        case OP_NEG: {
            const Value& x = R[in.b];
            if (x._type == OT_INTEGER) {
                R[in.a].setInt(SQInteger(0u - uint32_t(x.i())));
            } else if (x._type == OT_FLOAT) {
                R[in.a].setFloat(-x.f());
            } else {
                Value fn, r;
                if ((x._type == OT_TABLE || x._type == OT_USERDATA || x._type == OT_INSTANCE) &&
                    getMetaMethod(x, MT_UNM, fn) && callMeta(fn, x, 0, nullptr, r)) {
                    R[in.a] = std::move(r);
                    break;
                }
                raise("attempt to negate a %s", typeName(x._type));
                goto error;
            }
            break;
        }
        case OP_BNOT: {
            const Value& x = R[in.b];
            if (x._type != OT_INTEGER) {
                raise("attempt to perform a bitwise op on a %s", typeName(x._type));
                goto error;
            }
            R[in.a].setInt(~x.i());
            break;
        }
        case OP_JMP: ip += in.arg; break;
        case OP_JZ:
            if (isFalse(R[in.a])) ip += in.arg;
            break;
        case OP_JNZ:
            if (!isFalse(R[in.a])) ip += in.arg;
            break;
        case OP_NEWTABLE: R[in.a] = Value(new Table(shared, uint32_t(in.arg))); break;
        case OP_NEWARRAY: {
            Array* a = new Array(shared, 0);
            a->items.reserve(size_t(in.arg));
            R[in.a] = Value(static_cast<Object*>(a));
            break;
        }
        case OP_APPEND:
            // Loaded bytecode is not trusted to pair this with NEWARRAY.
            if (R[in.a]._type != OT_ARRAY) {
                raise("invalid instruction");
                goto error;
            }
            R[in.a].array()->items.push_back(R[in.b]);
            break;
        case OP_CLOSURE: {
            FuncProto* p = ci->closure->proto->functions[size_t(in.arg)];
            Closure* cl = new Closure(shared, p);
            Value cv(static_cast<Object*>(cl));
            for (const OuterInfo& o : p->outers) {
                switch (o.kind) {
                case OuterInfo::Local: cl->outers.push_back(R[o.index]); break;
                case OuterInfo::Outer: cl->outers.push_back(ci->closure->outers[size_t(o.index)]); break;
                case OuterInfo::Slot: {
                    Value v;
                    if (!get(R[0], o.name, v, true, false, &R[0])) goto error;
                    cl->outers.push_back(v);
                    break;
                }
                }
            }
            R[in.a] = std::move(cv);
            break;
        }
        case OP_TYPEOF: {
            Value tmp;
            typeOf(R[in.b], tmp);
            R[in.a] = std::move(tmp);
            break;
        }
        case OP_INSTANCEOF: {
            const Value& x = R[in.b];
            const Value& c = R[in.c];
            if (x._type != OT_INSTANCE || c._type != OT_CLASS) {
                raise("cannot apply instanceof between a %s and a %s", typeName(c._type),
                      typeName(x._type));
                goto error;
            }
            R[in.a].setBool(x.instance()->instanceOf(c.cls()));
            break;
        }
        case OP_IN: R[in.a].setBool(rawIn(this, R[in.b], R[in.c])); break;
        case OP_CLONE: {
            Value tmp;
            if (!cloneValue(R[in.b], tmp)) goto error;
            R[in.a] = std::move(tmp);
            break;
        }
        case OP_RESUME: {
            // The generator's frame runs inline on top of this one.
            Value g = R[in.b];
            if (g._type != OT_GENERATOR) {
                raise("trying to resume a '%s',only genenerator can be resumed", typeName(g._type));
                goto error;
            }
            if (!enterGenerator(g, ci->base + in.a, false)) goto error;
            RELOAD();
            break;
        }
        case OP_YIELD: {
            Generator* g = ci->generator;
            if (!g) {
                raise("trying to yield a 'null',only genenerator can be yielded");
                goto error;
            }
            Value ret;
            if (in.arg) ret = R[in.a];
            FuncProto* p = ci->closure->proto;
            g->stack.resize(size_t(p->stackSize));
            for (int k = 0; k < p->stackSize; k++) g->stack[size_t(k)] = std::move(R[k]);
            g->pc = int(ip - p->code.data());
            for (int k = ci->vargsBase; k < int(vargs.size()); k++) g->vargs.push_back(std::move(vargs[size_t(k)]));
            for (int k = ci->trapsBase; k < int(traps.size()); k++) g->traps.push_back(traps[size_t(k)]);
            g->state = Generator::Suspended;
            int target = ci->target;
            bool root = ci->root;
            leaveFrame();
            if (root) {
                result = std::move(ret);
                return true;
            }
            RELOAD();
            if (target >= 0) stack[target] = std::move(ret);
            break;
        }
        case OP_VARGC: R[in.a].setInt(ci->vargsCount); break;
        case OP_VARGV: {
            const Value& idx = R[in.b];
            if (ci->vargsCount == 0) {
                raise("the function doesn't have var args");
                goto error;
            }
            if (!idx.isNumeric()) {
                raise("indexing 'vargv' with %s", typeName(idx._type));
                goto error;
            }
            SQInteger i = idx.toInt();
            if (i < 0 || i >= ci->vargsCount) {
                raise("vargv index out of range");
                goto error;
            }
            R[in.a] = vargs[size_t(ci->vargsBase + i)];
            break;
        }
        case OP_FOREACH: {
            // a: the container register, read afresh at every step;
            // b, b+1, b+2: key, value, iterator.
            const Value& c = R[in.a];
            Value& iter = R[in.b + 2];
            if (c._type == OT_ARRAY && (iter._type == OT_INTEGER || iter._type == OT_NULL)) {
                auto& items = c.array()->items;
                SQInteger i = iter._type == OT_NULL ? 0 : iter.i();
                if (i < 0 || size_t(i) >= items.size()) {
                    ip += in.arg;
                    break;
                }
                if (items[size_t(i)]._type != OT_WEAKREF) {
                    R[in.b].setInt(i);
                    R[in.b + 1] = items[size_t(i)];
                    iter.setInt(i + 1);
                    break;
                }
            } else if (c._type == OT_TABLE && (iter._type == OT_INTEGER || iter._type == OT_NULL)) {
                Table* t = c.table();
                int idx = t->nextIndex(iter._type == OT_NULL ? 0 : iter.i());
                if (idx < 0) {
                    ip += in.arg;
                    break;
                }
                if (t->nodes[idx].val._type != OT_WEAKREF) {
                    R[in.b] = t->nodes[idx].key;
                    R[in.b + 1] = t->nodes[idx].val;
                    iter.setInt(idx + 1);
                    break;
                }
            } else if (c._type == OT_GENERATOR) {
                // The generator runs inline; what it yields or returns
                // lands in the value variable.
                Generator* g = c.generator();
                if (g->state == Generator::Dead) {
                    ip += in.arg;
                    break;
                }
                if (g->state == Generator::Running) {
                    raise("cannot iterate generator");
                    goto error;
                }
                iter.setInt(iter._type == OT_INTEGER ? iter.i() + 1 : 0);
                R[in.b] = iter;
                Value gv = c;
                if (!enterGenerator(gv, ci->base + in.b + 1, false)) goto error;
                RELOAD();
                break;
            }
            Value cv = c;
            Value it = iter;
            Value key, val;
            bool done;
            if (!iterate(cv, it, key, val, done)) goto error;
            if (done) {
                ip += in.arg;
                break;
            }
            R[in.b] = std::move(key);
            R[in.b + 1] = std::move(val);
            R[in.b + 2] = std::move(it);
            break;
        }
        case OP_PUSHTRAP: {
            int pc = int(ip - ci->closure->proto->code.data()) + in.arg;
            traps.push_back(Trap{ci->base, int(calls.size()) - 1, pc, in.a});
            break;
        }
        case OP_POPTRAP:
            for (int k = 0; k < in.arg && int(traps.size()) > ci->trapsBase; k++) traps.pop_back();
            break;
        case OP_THROW: lastError = R[in.a]; goto error;
        case OP_CLASS: {
            Class* base = nullptr;
            if (in.b != kNoReg) {
                if (R[in.b]._type != OT_CLASS) {
                    raise("trying to inherit from a %s", typeName(R[in.b]._type));
                    goto error;
                }
                base = R[in.b].cls();
            }
            Class* cl = new Class(shared, base);
            Value cv(static_cast<Object*>(cl));
            if (in.c != kNoReg) cl->attributes = R[in.c];
            if (base && !base->metaMethods[MT_INHERITED].isNull()) {
                Value r;
                callMeta(base->metaMethods[MT_INHERITED], cv, 1, &cl->attributes, r);
            }
            R[in.a] = std::move(cv);
            break;
        }
        case OP_DELEGATE: {
            Value t = R[in.c];
            if (!delegateTo(t, R[in.b])) goto error;
            R[in.a] = std::move(t);
            break;
        }
        case OP_GETPARENT: {
            const Value& o = R[in.b];
            Value r;
            if (o._type == OT_TABLE) {
                if (o.table()->delegate) r = Value(o.table()->delegate);
            } else if (o._type == OT_CLASS) {
                if (o.cls()->base) r = Value(o.cls()->base);
            } else {
                raise("the %s type doesn't have a parent slot", typeName(o._type));
                goto error;
            }
            R[in.a] = std::move(r);
            break;
        }
        case OP_DLOAD:
            R[in.a] = K[in.arg];
            R[in.b] = K[in.c];
            break;
        case OP_DMOVE:
            R[in.a] = R[in.b];
            R[in.c] = R[in.arg];
            break;
        case OP_GETKANY: {
            Value tmp;
            if (!get(R[in.b], K[in.arg], tmp, true, false, &R[0])) goto error;
            R[in.a] = std::move(tmp);
            break;
        }
        case OP_SETR: {
            if (Value* field = plainSlot(R[in.b], R[in.c])) {
                *field = R[in.arg];
                R[in.a] = R[in.arg];
                break;
            }
            Value obj = R[in.b];
            if (!set(obj, R[in.c], R[in.arg], true, &R[0])) goto error;
            R[in.a] = R[in.arg];
            break;
        }
        case OP_NEWSLOTR: {
            Value obj = R[in.b];
            if (!newSlot(obj, R[in.c], R[in.arg], false)) goto error;
            R[in.a] = R[in.arg];
            break;
        }
        case OP_EQK: R[in.a].setBool(valuesEqual(R[in.b], K[in.arg])); break;
        case OP_NEK: R[in.a].setBool(!valuesEqual(R[in.b], K[in.arg])); break;
        case OP_APPENDK:
            if (R[in.a]._type != OT_ARRAY) {
                raise("invalid instruction");
                goto error;
            }
            R[in.a].array()->items.push_back(K[in.arg]);
            break;
        case OP_COMPARITH: {
            // Numbers in a plain slot: arithmetic cannot run a metamethod
            // that would move the slot.
            Value* field = plainSlot(R[regPackHigh(in.arg)], R[in.b]);
            const Value& operand = R[regPackLow(in.arg)];
            if (field && field->isNumeric() && operand.isNumeric()) {
                Value res;
                if (!arith(in.c, *field, operand, res)) goto error;
                *field = res;
                R[in.a] = std::move(res);
                break;
            }
            Value obj = R[regPackHigh(in.arg)];
            Value key = R[in.b];
            Value slot, res;
            if (!get(obj, key, slot, true, false, &R[0])) goto error;
            if (!arith(in.c, slot, R[regPackLow(in.arg)], res)) goto error;
            if (!set(obj, key, res, true, &R[0])) goto error;
            R[in.a] = std::move(res);
            break;
        }
        case OP_JCMPI: {
            const Value& x = R[in.b];
            const SQInteger k = SQInteger(int8_t(in.c));
            bool holds;
            if (in.a == kRelEqual || in.a == kRelNotEqual) {
                holds = valuesEqual(x, Value::integer(k)) == (in.a == kRelEqual);
            } else {
                int r;
                if (x._type == OT_INTEGER) {
                    SQInteger d = SQInteger(uint32_t(x.i()) - uint32_t(k));
                    r = int(d > 0) - int(d < 0);
                } else if (!compare(x, Value::integer(k), r)) {
                    goto error;
                }
                holds = orderHolds(in.a, r);
            }
            if (!holds) ip += in.arg;
            break;
        }
        case OP_ARITHSLOT: {
            const int op = slotArithOp(in.arg);
            const Value& operand = R[slotArithReg(in.arg)];
            Value* field = plainSlot(R[in.b], R[in.c]);
            if (field && field->isNumeric() && operand.isNumeric()) {
                Value res;
                if (!arith(op, *field, operand, res)) goto error;
                *field = res;
                R[in.a] = std::move(res);
                break;
            }
            Value obj = R[in.b];
            Value key = R[in.c];
            Value slot, res;
            if (!get(obj, key, slot, true, false, &R[0])) goto error;
            if (!arith(op, slot, R[slotArithReg(in.arg)], res)) goto error;
            set(obj, key, res, true, &R[0]);
            R[in.a] = std::move(res);
            break;
        }
        case OP_COMPARITHL: {
            const Value& x = R[in.b];
            const Value& y = R[in.c];
            if (x._type == OT_INTEGER && y._type == OT_INTEGER && (in.arg == '+' || in.arg == '-')) {
                uint32_t u = uint32_t(x.i()), w = uint32_t(y.i());
                SQInteger r = SQInteger(in.arg == '+' ? u + w : u - w);
                R[in.b].setInt(r);
                R[in.a].setInt(r);
                break;
            }
            Value res;
            if (!arith(in.arg, x, y, res)) goto error;
            R[in.b] = res;
            R[in.a] = std::move(res);
            break;
        }
        case OP_INC:
        case OP_PINC: {
            Value* field = plainSlot(R[in.b], R[in.c]);
            if (field && field->_type == OT_INTEGER) {
                SQInteger was = field->i();
                SQInteger now = SQInteger(uint32_t(was) + uint32_t(in.arg));
                field->setInt(now);
                R[in.a].setInt(in.op == OP_INC ? now : was);
                break;
            }
            Value obj = R[in.b];
            Value key = R[in.c];
            Value slot, res;
            if (!get(obj, key, slot, true, false, &R[0])) goto error;
            if (!arith('+', slot, Value::integer(in.arg), res)) goto error;
            if (!set(obj, key, res, true, &R[0])) goto error;
            R[in.a] = in.op == OP_INC ? std::move(res) : std::move(slot);
            break;
        }
        case OP_INCL:
        case OP_PINCL: {
            if (R[in.b]._type == OT_INTEGER) {
                SQInteger was = R[in.b].i();
                SQInteger now = SQInteger(uint32_t(was) + uint32_t(in.arg));
                R[in.a].setInt(in.op == OP_INCL ? now : was);
                R[in.b].setInt(now);
                break;
            }
            Value old = R[in.b];
            Value res;
            if (old._type == OT_INTEGER) {
                res.setInt(SQInteger(uint32_t(old.i()) + uint32_t(in.arg)));
            } else if (!arith('+', old, Value::integer(in.arg), res)) {
                goto error;
            }
            if (in.op == OP_INCL) {
                R[in.b] = res;
                R[in.a] = std::move(res);
            } else {
                R[in.a] = std::move(old);
                R[in.b] = std::move(res);
            }
            break;
        }
        case OP_AND:
            if (isFalse(R[in.b])) {
                R[in.a] = R[in.b];
                ip += in.arg;
            }
            break;
        case OP_OR:
            if (!isFalse(R[in.b])) {
                R[in.a] = R[in.b];
                ip += in.arg;
            }
            break;
        case OP_LOADCMPJZ: {
            R[in.a].setInt(in.arg);
            const Instr next = *ip++;  // always an OP_CMPJZ (verified)
            ci->ip = ip;
            if (!compareAndJump(next)) goto error;
            break;
        }
        case OP_CMPJZ:
            if (!compareAndJump(in)) goto error;
            break;
        case OP_LOADADD:
        case OP_LOADSUB: {
            R[in.c].setInt(in.arg);
            const Value& x = R[in.b];
            const bool add = in.op == OP_LOADADD;
            if (x._type == OT_INTEGER) {
                uint32_t k = add ? uint32_t(in.arg) : 0u - uint32_t(in.arg);
                R[in.a].setInt(SQInteger(uint32_t(x.i()) + k));
            } else {
                Value tmp;
                if (!arith(add ? '+' : '-', x, R[in.c], tmp)) goto error;
                R[in.a] = std::move(tmp);
            }
            ip += 1;
            break;
        }
        case OP_LOADBAND: {
            R[in.c].setInt(in.arg);
            const Value& x = R[in.b];
            if (x._type != OT_INTEGER) {
                raise("bitwise op between '%s' and '%s'", typeName(x._type), typeName(OT_INTEGER));
                goto error;
            }
            R[in.a].setInt(x.i() & in.arg);
            ip += 1;
            break;
        }
        case OP_LINE:
            if (!debugHook.isNull()) {
                callDebugHook('l', in.arg);
            }
            break;
        default: raise("invalid instruction"); goto error;
        }
        } catch (const std::bad_alloc&) {
            ci = &calls.back();
            R = stack + ci->base;
            K = ci->consts;
            ip = ci->ip;
            raise("not enough memory");
            goto error;
        }
        continue;

    error:
        assert(ci == &calls.back());
        if (shared->notifyAll && !errorHandler.isNull() && !notifiedError.rawEquals(lastError)) {
            // Reported once where it is raised, caught or not.
            notifiedError = lastError;
            callErrorHandler(lastError);
        }
        if (traps.size() > entryTraps) {
            Trap t = traps.back();
            traps.pop_back();
            while (int(calls.size()) - 1 > t.ciIndex) errorUnwindFrame(this);
            ci = &calls.back();
            top = ci->top;
            R = stack + ci->base;
            K = ci->consts;
            ip = ci->closure->proto->code.data() + t.targetPc;
            R[t.errorReg] = lastError;
            continue;
        }
        if (raiseError && !shared->notifyAll) callErrorHandler(lastError);
        while (calls.size() > entryCalls) errorUnwindFrame(this);
        return false;
    }
#undef RELOAD
}
