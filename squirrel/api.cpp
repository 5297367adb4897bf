// The embedding interface: stack windows, pushes and reads, slots, classes,
// calls and compilation, over the VM's object protocol.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "squirrel.h"
#include "squirrel/compiler.h"
#include "squirrel/vm.h"
#include "squirrel/vm_local.h"

using namespace squirrel;

namespace {

constexpr SQInteger kSuspendFlag = -666;

std::unordered_map<Object*, int>& hostRefs(SharedState* ss) { return ss->hostRefs; }

void dropHostRefs(SharedState* ss) {
    std::unordered_map<Object*, int> refs;
    refs.swap(ss->hostRefs);
    for (auto& [o, n] : refs) {
        for (int k = 0; k < n; k++) release(o);
    }
}

Value& stackAt(HSQUIRRELVM v, SQInteger idx) { return v->at(idx); }

std::string argText(const Value& o) { return keyText(o).substr(0, 50); }

SQRESULT wrongType(HSQUIRRELVM v, const char* expected, const Value& got) {
    v->raise("wrong argument type, expected '%s' got '%s'", expected, argText(got).c_str());
    return SQ_ERROR;
}

}  // namespace

namespace squirrel {

// Fills out with one type-bit mask per entry; false on a bad mask.
bool compileTypeMask(std::vector<int>& out, const char* mask) {
    out.clear();
    int cur = 0;
    bool pendingBar = false;
    for (const char* p = mask; *p; p++) {
        int bit;
        switch (*p) {
        case ' ': continue;
        case 'o': bit = _RT_NULL; break;
        case 'i': bit = _RT_INTEGER; break;
        case 'f': bit = _RT_FLOAT; break;
        case 'n': bit = _RT_FLOAT | _RT_INTEGER; break;
        case 's': bit = _RT_STRING; break;
        case 't': bit = _RT_TABLE; break;
        case 'a': bit = _RT_ARRAY; break;
        case 'u': bit = _RT_USERDATA; break;
        case 'c': bit = _RT_CLOSURE | _RT_NATIVECLOSURE; break;
        case 'b': bit = _RT_BOOL; break;
        case 'g': bit = _RT_GENERATOR; break;
        case 'p': bit = _RT_USERPOINTER; break;
        case 'v': bit = _RT_THREAD; break;
        case 'x': bit = _RT_INSTANCE; break;
        case 'y': bit = _RT_CLASS; break;
        case 'r': bit = _RT_WEAKREF; break;
        case '.': bit = -1; break;
        case '|':
            if (!pendingBar && cur == 0) return false;
            pendingBar = true;
            continue;
        default: return false;
        }
        if (pendingBar) {
            cur = bit == -1 ? -1 : (cur == -1 ? -1 : cur | bit);
            pendingBar = false;
            out.back() = cur;
        } else {
            cur = bit;
            out.push_back(cur);
        }
    }
    return !pendingBar;
}

}  // namespace squirrel

extern "C" {

HSQUIRRELVM sq_open(SQInteger initialstacksize) {
    (void)initialstacksize;
    SharedState* ss = new SharedState();
    static const char* const kMetaNames[MT_LAST] = {
        "_add", "_sub", "_mul", "_div", "_unm", "_modulo", "_set", "_get", "_typeof", "_nexti",
        "_cmp", "_call", "_cloned", "_newslot", "_delslot", "_tostring", "_newmember",
        "_inherited"};
    for (int i = 0; i < MT_LAST; i++) ss->metaNames[i] = ss->newString(kMetaNames[i]);
    ss->constructorName = ss->newString("constructor");
    SQVM* vm = new SQVM(ss);
    addRef(vm);
    ss->rootVm = vm;
    ss->registry = Value(new Table(ss, 4));
    vm->rootTable = Value(new Table(ss, 4));
    createDefaultDelegates(ss, vm);
    registerBaseLib(vm);
    return vm;
}

void sq_close(HSQUIRRELVM v) {
    SharedState* ss = v->shared;
    SQVM* root = ss->rootVm;
    dropHostRefs(ss);
    root->clearRefs();
    ss->registry.setNull();
    ss->tableDelegate.setNull();
    ss->arrayDelegate.setNull();
    ss->stringDelegate.setNull();
    ss->numberDelegate.setNull();
    ss->closureDelegate.setNull();
    ss->generatorDelegate.setNull();
    ss->threadDelegate.setNull();
    ss->classDelegate.setNull();
    ss->instanceDelegate.setNull();
    ss->weakrefDelegate.setNull();
    // The root VM stays alive through the sweep: it owns the shared state.
    root->gcPrev->gcNext = root->gcNext;
    root->gcNext->gcPrev = root->gcPrev;
    root->gcPrev = root->gcNext = nullptr;
    collectGarbage(ss, true);
    for (auto& m : ss->metaNames) m.setNull();
    ss->constructorName.setNull();
    release(root);
    delete ss;
}

HSQUIRRELVM sq_newthread(HSQUIRRELVM friendvm, SQInteger) {
    SQVM* t = new SQVM(friendvm->shared);
    t->rootTable = friendvm->rootTable;
    t->errorHandler = friendvm->errorHandler;
    t->debugHook = friendvm->debugHook;
    friendvm->push(Value(static_cast<Object*>(t)));
    return t;
}

void sq_seterrorhandler(HSQUIRRELVM v) {
    Value& o = stackAt(v, -1);
    if (o._type == OT_CLOSURE || o._type == OT_NATIVECLOSURE || o._type == OT_NULL) {
        v->errorHandler = o;
        v->pop(1);
    }
}

void sq_setdebughook(HSQUIRRELVM v) {
    Value& o = stackAt(v, -1);
    if (o._type == OT_CLOSURE || o._type == OT_NATIVECLOSURE || o._type == OT_NULL) {
        v->debugHook = o;
        v->pop(1);
    }
}

void sq_setinstructionlimit(HSQUIRRELVM v, SQInteger count) {
    v->shared->instructionsLeft = count > 0 ? int64_t(count) : INT64_MAX;
}

void sq_setsizelimit(HSQUIRRELVM v, SQInteger bytes) {
    v->shared->sizeLimit = bytes > 0 ? int64_t(bytes) : int64_t(1) << 30;
}

SQInteger sq_getsizelimit(HSQUIRRELVM v) { return SQInteger(v->shared->sizeLimit); }

void sq_setforeignptr(HSQUIRRELVM v, SQUserPointer p) { v->foreignPtr = p; }
SQUserPointer sq_getforeignptr(HSQUIRRELVM v) { return v->foreignPtr; }
void sq_setprintfunc(HSQUIRRELVM v, SQPRINTFUNCTION f) { v->shared->printFunc = f; }
SQPRINTFUNCTION sq_getprintfunc(HSQUIRRELVM v) { return v->shared->printFunc; }
void sq_enabledebuginfo(HSQUIRRELVM v, SQBool enable) { v->shared->debugInfo = enable != 0; }
void sq_notifyallexceptions(HSQUIRRELVM v, SQBool enable) { v->shared->notifyAll = enable != 0; }
void sq_setcompilererrorhandler(HSQUIRRELVM v, SQCOMPILERERROR f) {
    v->shared->compilerErrorHandler = f;
}

SQRESULT sq_suspendvm(HSQUIRRELVM v) {
    if (v->state == SQ_VMSTATE_SUSPENDED) return sq_throwerror(v, "cannot suspend an already suspended vm");
    v->suspendRequested = true;
    return kSuspendFlag;
}

SQInteger sq_getvmstate(HSQUIRRELVM v) { return v->state; }

struct BufferReader {
    const char* p;
    const char* end;
};

static SQInteger bufferRead(SQUserPointer up) {
    BufferReader* r = static_cast<BufferReader*>(up);
    if (r->p >= r->end) return 0;
    return SQInteger(static_cast<unsigned char>(*r->p++));
}

SQRESULT sq_compile(HSQUIRRELVM v, SQLEXREADFUNC read, SQUserPointer p, const SQChar* sourcename,
                    SQBool raiseerror) {
    CompileResult r = compile(v, read, p, sourcename ? sourcename : "unnamedbuffer");
    if (!r.proto) {
        v->lastError = v->newString(r.error.c_str());
        if (raiseerror && v->shared->compilerErrorHandler) {
            v->shared->compilerErrorHandler(v, r.error.c_str(), sourcename ? sourcename : "", r.line,
                                            r.column);
        }
        return SQ_ERROR;
    }
    Closure* cl = new Closure(v->shared, r.proto);
    release(r.proto);
    v->push(Value(static_cast<Object*>(cl)));
    return SQ_OK;
}

SQRESULT sq_compilebuffer(HSQUIRRELVM v, const SQChar* s, SQInteger size, const SQChar* sourcename,
                          SQBool raiseerror) {
    BufferReader r{s, s + size};
    return sq_compile(v, bufferRead, &r, sourcename, raiseerror);
}

void sq_push(HSQUIRRELVM v, SQInteger idx) {
    Value val = stackAt(v, idx);
    v->push(val);
}
void sq_pop(HSQUIRRELVM v, SQInteger n) { v->pop(n); }
void sq_poptop(HSQUIRRELVM v) { v->pop(1); }
void sq_remove(HSQUIRRELVM v, SQInteger idx) {
    int a = v->absIndex(idx);
    for (int i = a; i < v->top - 1; i++) v->stack[i] = std::move(v->stack[i + 1]);
    v->stack[--v->top].setNull();
}
SQInteger sq_gettop(HSQUIRRELVM v) { return v->top - v->stackBase; }
void sq_settop(HSQUIRRELVM v, SQInteger newtop) {
    SQInteger cur = sq_gettop(v);
    if (newtop < cur) {
        v->pop(cur - newtop);
    } else {
        while (cur++ < newtop) sq_pushnull(v);
    }
}
void sq_reservestack(HSQUIRRELVM v, SQInteger n) { v->ensureStack(v->top + n); }
SQInteger sq_cmp(HSQUIRRELVM v) {
    int r = 0;
    v->compare(stackAt(v, -1), stackAt(v, -2), r);
    return r;
}
void sq_move(HSQUIRRELVM dest, HSQUIRRELVM src, SQInteger idx) {
    Value val = stackAt(src, idx);
    dest->push(val);
}

SQUserPointer sq_newuserdata(HSQUIRRELVM v, SQUnsignedInteger size) {
    UserData* ud = new UserData(v->shared, size);
    v->push(Value(static_cast<Object*>(ud)));
    return ud->payload;
}
void sq_newtable(HSQUIRRELVM v) { v->push(Value(new Table(v->shared, 4))); }
void sq_newarray(HSQUIRRELVM v, SQInteger size) {
    v->push(Value(static_cast<Object*>(new Array(v->shared, size < 0 ? 0 : size))));
}
void sq_newclosure(HSQUIRRELVM v, SQFUNCTION func, SQUnsignedInteger nfreevars) {
    NativeClosure* nc = new NativeClosure(v->shared, func);
    for (SQUnsignedInteger i = 0; i < nfreevars; i++) nc->outers.push_back(stackAt(v, -1 - SQInteger(i)));
    v->pop(SQInteger(nfreevars));
    v->push(Value(static_cast<Object*>(nc)));
}
SQRESULT sq_setparamscheck(HSQUIRRELVM v, SQInteger nparamscheck, const SQChar* typemask) {
    Value& o = stackAt(v, -1);
    if (o._type != OT_NATIVECLOSURE) return sq_throwerror(v, "native closure expected");
    NativeClosure* nc = o.native();
    nc->paramsCheck = nparamscheck;
    if (typemask) {
        std::vector<int> mask;
        if (!compileTypeMask(mask, typemask)) return sq_throwerror(v, "invalid typemask");
        nc->typeCheck = mask;
    } else {
        nc->typeCheck.clear();
    }
    if (nparamscheck == SQ_MATCHTYPEMASKSTRING) nc->paramsCheck = SQInteger(nc->typeCheck.size());
    return SQ_OK;
}
SQRESULT sq_bindenv(HSQUIRRELVM v, SQInteger idx) {
    Value& o = stackAt(v, idx);
    Value env = stackAt(v, -1);
    if (o._type != OT_CLOSURE && o._type != OT_NATIVECLOSURE) {
        return sq_throwerror(v, "the target is not a closure");
    }
    if (env._type != OT_TABLE && env._type != OT_CLASS && env._type != OT_INSTANCE) {
        return sq_throwerror(v, "invalid environment");
    }
    Value copy;
    if (o._type == OT_CLOSURE) {
        Closure* c = new Closure(v->shared, o.closure()->proto);
        c->outers = o.closure()->outers;
        c->env = makeWeakRef(env);
        copy = Value(static_cast<Object*>(c));
    } else {
        NativeClosure* src = o.native();
        NativeClosure* c = new NativeClosure(v->shared, src->fn);
        c->outers = src->outers;
        c->typeCheck = src->typeCheck;
        c->paramsCheck = src->paramsCheck;
        c->name = src->name;
        c->env = makeWeakRef(env);
        copy = Value(static_cast<Object*>(c));
    }
    v->pop(1);
    v->push(copy);
    return SQ_OK;
}
void sq_pushstring(HSQUIRRELVM v, const SQChar* s, SQInteger len) {
    if (!s) {
        v->push(Value());
        return;
    }
    v->push(v->newString(s, len));
}
void sq_pushfloat(HSQUIRRELVM v, SQFloat f) { v->push(Value::number(f)); }
void sq_pushinteger(HSQUIRRELVM v, SQInteger n) { v->push(Value::integer(n)); }
void sq_pushbool(HSQUIRRELVM v, SQBool b) { v->push(Value::boolean(b != 0)); }
void sq_pushuserpointer(HSQUIRRELVM v, SQUserPointer p) { v->push(Value::userPointer(p)); }
void sq_pushnull(HSQUIRRELVM v) { v->push(Value()); }

SQObjectType sq_gettype(HSQUIRRELVM v, SQInteger idx) { return stackAt(v, idx)._type; }

SQInteger sq_getsize(HSQUIRRELVM v, SQInteger idx) {
    Value& o = stackAt(v, idx);
    switch (o._type) {
    case OT_STRING: return SQInteger(o.str()->len);
    case OT_TABLE: return SQInteger(o.table()->used);
    case OT_ARRAY: return SQInteger(o.array()->items.size());
    case OT_USERDATA: return SQInteger(o.userData()->size);
    default: v->raise("unexpected type %s", typeName(o._type)); return -1;
    }
}

SQRESULT sq_getbase(HSQUIRRELVM v, SQInteger idx) {
    Value& o = stackAt(v, idx);
    if (o._type != OT_CLASS) return wrongType(v, "class", o);
    Class* b = o.cls()->base;
    v->push(b ? Value(b) : Value());
    return SQ_OK;
}

SQBool sq_instanceof(HSQUIRRELVM v) {
    Value& inst = stackAt(v, -1);
    Value& cls = stackAt(v, -2);
    if (inst._type != OT_INSTANCE || cls._type != OT_CLASS) {
        sq_throwerror(v, "invalid param type");
        return SQFalse;
    }
    return inst.instance()->instanceOf(cls.cls()) ? SQTrue : SQFalse;
}

void sq_tostring(HSQUIRRELVM v, SQInteger idx) {
    Value o = stackAt(v, idx);
    Value s;
    v->toStringValue(o, s);
    v->push(s);
}

void sq_tobool(HSQUIRRELVM v, SQInteger idx, SQBool* b) { *b = isFalse(stackAt(v, idx)) ? SQFalse : SQTrue; }

SQRESULT sq_getstring(HSQUIRRELVM v, SQInteger idx, const SQChar** c) {
    Value& o = stackAt(v, idx);
    if (o._type != OT_STRING) return wrongType(v, "string", o);
    *c = o.str()->data;
    return SQ_OK;
}

SQRESULT sq_getinteger(HSQUIRRELVM v, SQInteger idx, SQInteger* i) {
    Value& o = stackAt(v, idx);
    if (!o.isNumeric()) return SQ_ERROR;
    *i = o.toInt();
    return SQ_OK;
}

SQRESULT sq_getfloat(HSQUIRRELVM v, SQInteger idx, SQFloat* f) {
    Value& o = stackAt(v, idx);
    if (!o.isNumeric()) return SQ_ERROR;
    *f = o.toFloat();
    return SQ_OK;
}

SQRESULT sq_getbool(HSQUIRRELVM v, SQInteger idx, SQBool* b) {
    Value& o = stackAt(v, idx);
    if (o._type != OT_BOOL) return SQ_ERROR;
    *b = o.i() ? SQTrue : SQFalse;
    return SQ_OK;
}

SQRESULT sq_getthread(HSQUIRRELVM v, SQInteger idx, HSQUIRRELVM* thread) {
    Value& o = stackAt(v, idx);
    if (o._type != OT_THREAD) return wrongType(v, "thread", o);
    *thread = o.thread();
    return SQ_OK;
}

SQRESULT sq_getuserpointer(HSQUIRRELVM v, SQInteger idx, SQUserPointer* p) {
    Value& o = stackAt(v, idx);
    if (o._type != OT_USERPOINTER) return wrongType(v, "userpointer", o);
    *p = o._unVal.pUserPointer;
    return SQ_OK;
}

SQRESULT sq_getuserdata(HSQUIRRELVM v, SQInteger idx, SQUserPointer* p, SQUserPointer* typetag) {
    Value& o = stackAt(v, idx);
    if (o._type != OT_USERDATA) return wrongType(v, "userdata", o);
    *p = o.userData()->payload;
    if (typetag) *typetag = o.userData()->typeTag;
    return SQ_OK;
}

SQRESULT sq_settypetag(HSQUIRRELVM v, SQInteger idx, SQUserPointer typetag) {
    Value& o = stackAt(v, idx);
    if (o._type == OT_USERDATA) {
        o.userData()->typeTag = typetag;
    } else if (o._type == OT_CLASS) {
        o.cls()->typeTag = typetag;
    } else {
        return sq_throwerror(v, "invalid object type");
    }
    return SQ_OK;
}

SQRESULT sq_gettypetag(HSQUIRRELVM v, SQInteger idx, SQUserPointer* typetag) {
    Value& o = stackAt(v, idx);
    switch (o._type) {
    case OT_USERDATA: *typetag = o.userData()->typeTag; return SQ_OK;
    case OT_CLASS: *typetag = o.cls()->typeTag; return SQ_OK;
    case OT_INSTANCE: *typetag = o.instance()->cls->typeTag; return SQ_OK;
    default: return sq_throwerror(v, "invalid object type");
    }
}

void sq_setreleasehook(HSQUIRRELVM v, SQInteger idx, SQRELEASEHOOK hook) {
    if (sq_gettop(v) < 1) return;
    Value& o = stackAt(v, idx);
    switch (o._type) {
    case OT_USERDATA: o.userData()->hook = hook; break;
    case OT_INSTANCE: o.instance()->hook = hook; break;
    case OT_CLASS: o.cls()->hook = hook; break;
    default: break;
    }
}

SQChar* sq_getscratchpad(HSQUIRRELVM v, SQInteger minsize) {
    auto& s = v->shared->scratch;
    if (minsize < 0) minsize = 0;
    if (s.size() < size_t(minsize) + 1) s.resize(size_t(minsize) + 1);
    return s.data();
}

SQRESULT sq_getclosureinfo(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger* nparams,
                           SQUnsignedInteger* nfreevars) {
    Value& o = stackAt(v, idx);
    if (o._type == OT_CLOSURE) {
        *nparams = SQUnsignedInteger(o.closure()->proto->numParams);
        *nfreevars = SQUnsignedInteger(o.closure()->outers.size());
        return SQ_OK;
    }
    return sq_throwerror(v, "the object is not a closure");
}

SQRESULT sq_setnativeclosurename(HSQUIRRELVM v, SQInteger idx, const SQChar* name) {
    Value& o = stackAt(v, idx);
    if (o._type != OT_NATIVECLOSURE) return sq_throwerror(v, "the object is not a nativeclosure");
    o.native()->name = v->newString(name);
    return SQ_OK;
}

SQRESULT sq_setinstanceup(HSQUIRRELVM v, SQInteger idx, SQUserPointer p) {
    Value& o = stackAt(v, idx);
    if (o._type != OT_INSTANCE) return sq_throwerror(v, "the object is not a class instance");
    o.instance()->userPointer = p;
    return SQ_OK;
}

SQRESULT sq_getinstanceup(HSQUIRRELVM v, SQInteger idx, SQUserPointer* p, SQUserPointer typetag) {
    Value& o = stackAt(v, idx);
    if (o._type != OT_INSTANCE) return sq_throwerror(v, "the object is not a class instance");
    *p = o.instance()->userPointer;
    if (typetag) {
        for (Class* c = o.instance()->cls; c; c = c->base) {
            if (c->typeTag == typetag) return SQ_OK;
        }
        return sq_throwerror(v, "invalid type tag");
    }
    return SQ_OK;
}

SQRESULT sq_newclass(HSQUIRRELVM v, SQBool hasbase) {
    Class* base = nullptr;
    if (hasbase) {
        Value& b = stackAt(v, -1);
        if (b._type != OT_CLASS) return sq_throwerror(v, "invalid base type");
        base = b.cls();
    }
    Value cls(static_cast<Object*>(new Class(v->shared, base)));
    if (hasbase) v->pop(1);
    v->push(cls);
    return SQ_OK;
}

SQRESULT sq_createinstance(HSQUIRRELVM v, SQInteger idx) {
    Value c = stackAt(v, idx);
    if (c._type != OT_CLASS) return wrongType(v, "class", c);
    Value inst;
    v->createInstance(c.cls(), inst);
    v->push(inst);
    return SQ_OK;
}

static bool memberAttrs(Class* c, const Value& key, Value** slot) {
    if (key.isNull()) {
        *slot = &c->attributes;
        return true;
    }
    TableNode* n = c->members->find(key);
    if (!n) return false;
    SQInteger idx = n->val.i();
    *slot = &((idx & 1) ? c->methods : c->fields)[size_t(idx >> 1)].attrs;
    return true;
}

SQRESULT sq_setattributes(HSQUIRRELVM v, SQInteger idx) {
    Value c = stackAt(v, idx);
    if (c._type != OT_CLASS) return wrongType(v, "class", c);
    Value key = stackAt(v, -2);
    Value val = stackAt(v, -1);
    Value* slot;
    if (!memberAttrs(c.cls(), key, &slot)) return sq_throwerror(v, "wrong index");
    Value old = *slot;
    *slot = val;
    v->pop(2);
    v->push(old);
    return SQ_OK;
}

SQRESULT sq_getattributes(HSQUIRRELVM v, SQInteger idx) {
    Value c = stackAt(v, idx);
    if (c._type != OT_CLASS) return wrongType(v, "class", c);
    Value key = stackAt(v, -1);
    Value* slot;
    if (!memberAttrs(c.cls(), key, &slot)) return sq_throwerror(v, "wrong index");
    Value val = *slot;
    v->pop(1);
    v->push(val);
    return SQ_OK;
}

SQRESULT sq_getclass(HSQUIRRELVM v, SQInteger idx) {
    Value o = stackAt(v, idx);
    if (o._type != OT_INSTANCE) return wrongType(v, "instance", o);
    v->push(Value(o.instance()->cls));
    return SQ_OK;
}

void sq_weakref(HSQUIRRELVM v, SQInteger idx) {
    Value o = stackAt(v, idx);
    v->push(makeWeakRef(o));
}

SQRESULT sq_getdefaultdelegate(HSQUIRRELVM v, SQObjectType t) {
    SharedState* ss = v->shared;
    Value* d;
    switch (t) {
    case OT_TABLE: d = &ss->tableDelegate; break;
    case OT_ARRAY: d = &ss->arrayDelegate; break;
    case OT_STRING: d = &ss->stringDelegate; break;
    case OT_INTEGER:
    case OT_FLOAT: d = &ss->numberDelegate; break;
    case OT_GENERATOR: d = &ss->generatorDelegate; break;
    case OT_CLOSURE:
    case OT_NATIVECLOSURE: d = &ss->closureDelegate; break;
    case OT_THREAD: d = &ss->threadDelegate; break;
    case OT_CLASS: d = &ss->classDelegate; break;
    case OT_INSTANCE: d = &ss->instanceDelegate; break;
    case OT_WEAKREF: d = &ss->weakrefDelegate; break;
    default: return sq_throwerror(v, "the type doesn't have a default delegate");
    }
    v->push(*d);
    return SQ_OK;
}

void sq_pushroottable(HSQUIRRELVM v) { v->push(v->rootTable); }
void sq_pushregistrytable(HSQUIRRELVM v) { v->push(v->shared->registry); }

SQRESULT sq_setroottable(HSQUIRRELVM v) {
    Value& o = stackAt(v, -1);
    if (o._type != OT_TABLE && o._type != OT_NULL) return sq_throwerror(v, "ivalid type");
    v->rootTable = o;
    v->pop(1);
    return SQ_OK;
}

SQRESULT sq_newslot(HSQUIRRELVM v, SQInteger idx, SQBool bstatic) {
    if (sq_gettop(v) < 3) return sq_throwerror(v, "not enough params in the stack");
    Value self = stackAt(v, idx);
    Value key = stackAt(v, -2);
    Value val = stackAt(v, -1);
    if (key.isNull()) return sq_throwerror(v, "null is not a valid key");
    if (self._type == OT_TABLE) {
        if (!v->newSlot(self, key, val, false)) return SQ_ERROR;
    } else if (self._type == OT_CLASS) {
        v->newSlot(self, key, val, bstatic != 0);
    } else {
        return SQ_OK;
    }
    v->pop(2);
    return SQ_OK;
}

SQRESULT sq_createslot(HSQUIRRELVM v, SQInteger idx) { return sq_newslot(v, idx, SQFalse); }

SQRESULT sq_deleteslot(HSQUIRRELVM v, SQInteger idx, SQBool pushval) {
    if (sq_gettop(v) < 2) return sq_throwerror(v, "not enough params in the stack");
    Value self = stackAt(v, idx);
    Value key = stackAt(v, -1);
    if (self._type != OT_TABLE) return wrongType(v, "table", self);
    if (key.isNull()) return sq_throwerror(v, "null is not a valid key");
    Value out;
    if (!v->deleteSlot(self, key, out)) return SQ_ERROR;
    v->pop(1);
    if (pushval) v->push(out);
    return SQ_OK;
}

SQRESULT sq_set(HSQUIRRELVM v, SQInteger idx) {
    Value self = stackAt(v, idx);
    Value key = stackAt(v, -2);
    Value val = stackAt(v, -1);
    if (!v->set(self, key, val, false)) return SQ_ERROR;
    v->pop(2);
    return SQ_OK;
}

SQRESULT sq_get(HSQUIRRELVM v, SQInteger idx) {
    Value self = stackAt(v, idx);
    Value key = stackAt(v, -1);
    Value out;
    if (!vmTryGet(v, self, key, out, false)) {
        v->pop(1);
        return sq_throwerror(v, "the index doesn't exist");
    }
    v->pop(1);
    v->push(out);
    return SQ_OK;
}

SQRESULT sq_rawget(HSQUIRRELVM v, SQInteger idx) {
    Value self = stackAt(v, idx);
    Value key = stackAt(v, -1);
    Value out;
    bool found;
    switch (self._type) {
    case OT_TABLE: found = self.table()->get(key, out); derefWeak(out); break;
    case OT_CLASS: found = self.cls()->getMember(key, out); break;
    case OT_INSTANCE: found = self.instance()->get(key, out); break;
    case OT_ARRAY: found = vmTryGet(v, self, key, out, false); break;
    default:
        v->pop(1);
        return sq_throwerror(v, "rawget works only on array/table/instance and class");
    }
    v->pop(1);
    if (!found) return sq_throwerror(v, "the index doesn't exist");
    v->push(out);
    return SQ_OK;
}

SQRESULT sq_rawset(HSQUIRRELVM v, SQInteger idx) {
    Value self = stackAt(v, idx);
    Value key = stackAt(v, -2);
    Value val = stackAt(v, -1);
    if (key.isNull()) return sq_throwerror(v, "null key");
    switch (self._type) {
    case OT_TABLE: self.table()->newSlot(key, val); break;
    case OT_CLASS: self.cls()->newSlot(key, val, false); break;
    case OT_INSTANCE:
        if (!self.instance()->set(key, val)) {
            v->raise("the index '%s' does not exist", argText(key).c_str());
            return SQ_ERROR;
        }
        break;
    case OT_ARRAY: {
        SQInteger i = key.isNumeric() ? key.toInt() : -1;
        auto& items = self.array()->items;
        if (i < 0 || size_t(i) >= items.size()) {
            v->raise("the index '%s' does not exist", argText(key).c_str());
            return SQ_ERROR;
        }
        items[size_t(i)] = val;
        break;
    }
    default:
        v->pop(2);
        return sq_throwerror(v, "rawset works only on array/table/calsse and instance");
    }
    v->pop(2);
    return SQ_OK;
}

SQRESULT sq_rawdeleteslot(HSQUIRRELVM v, SQInteger idx, SQBool pushval) {
    if (sq_gettop(v) < 2) return sq_throwerror(v, "not enough params in the stack");
    Value self = stackAt(v, idx);
    Value key = stackAt(v, -1);
    if (self._type != OT_TABLE) return wrongType(v, "table", self);
    Value out;
    if (TableNode* n = self.table()->find(key)) {
        out = n->val;
        self.table()->remove(key);
    }
    if (pushval) {
        v->pop(1);
        v->push(out);
    }
    return SQ_OK;
}

SQRESULT sq_arrayappend(HSQUIRRELVM v, SQInteger idx) {
    if (sq_gettop(v) < 2) return sq_throwerror(v, "not enough params in the stack");
    Value arr = stackAt(v, idx);
    if (arr._type != OT_ARRAY) return wrongType(v, "array", arr);
    arr.array()->items.push_back(stackAt(v, -1));
    v->pop(1);
    return SQ_OK;
}

SQRESULT sq_arraypop(HSQUIRRELVM v, SQInteger idx, SQBool pushval) {
    if (sq_gettop(v) < 1) return sq_throwerror(v, "not enough params in the stack");
    Value arr = stackAt(v, idx);
    if (arr._type != OT_ARRAY) return wrongType(v, "array", arr);
    auto& items = arr.array()->items;
    if (items.empty()) return sq_throwerror(v, "empty array");
    Value last = items.back();
    items.pop_back();
    if (pushval) v->push(last);
    return SQ_OK;
}

SQRESULT sq_arrayresize(HSQUIRRELVM v, SQInteger idx, SQInteger newsize) {
    if (sq_gettop(v) < 1) return sq_throwerror(v, "not enough params in the stack");
    Value arr = stackAt(v, idx);
    if (arr._type != OT_ARRAY) return wrongType(v, "array", arr);
    auto& items = arr.array()->items;
    if (!items.empty() && newsize >= 0) items.resize(size_t(newsize));
    return SQ_OK;
}

SQRESULT sq_arrayreverse(HSQUIRRELVM v, SQInteger idx) {
    if (sq_gettop(v) < 1) return sq_throwerror(v, "not enough params in the stack");
    Value arr = stackAt(v, idx);
    if (arr._type != OT_ARRAY) return wrongType(v, "array", arr);
    auto& items = arr.array()->items;
    for (size_t i = 0, j = items.size(); i + 1 < j; i++, j--) std::swap(items[i], items[j - 1]);
    return SQ_OK;
}

SQRESULT sq_setdelegate(HSQUIRRELVM v, SQInteger idx) {
    Value self = stackAt(v, idx);
    Value del = stackAt(v, -1);
    if (self._type == OT_TABLE) {
        if (del._type != OT_TABLE && del._type != OT_NULL) {
            return v->raise("unexpected type %s", typeName(self._type)), SQ_ERROR;
        }
        for (Table* d = del._type == OT_TABLE ? del.table() : nullptr; d; d = d->delegate) {
            if (d == self.table()) return sq_throwerror(v, "delagate cycle");
        }
        self.table()->setDelegate(del._type == OT_TABLE ? del.table() : nullptr);
    } else if (self._type == OT_USERDATA) {
        if (del._type != OT_TABLE && del._type != OT_NULL) {
            return v->raise("unexpected type %s", typeName(self._type)), SQ_ERROR;
        }
        UserData* ud = self.userData();
        Table* d = del._type == OT_TABLE ? del.table() : nullptr;
        if (d) addRef(d);
        if (ud->delegate) release(ud->delegate);
        ud->delegate = d;
    } else {
        return v->raise("unexpected type %s", typeName(self._type)), SQ_ERROR;
    }
    v->pop(1);
    return SQ_OK;
}

SQRESULT sq_getdelegate(HSQUIRRELVM v, SQInteger idx) {
    Value self = stackAt(v, idx);
    Table* d;
    if (self._type == OT_TABLE) {
        d = self.table()->delegate;
    } else if (self._type == OT_USERDATA) {
        d = self.userData()->delegate;
    } else {
        return sq_throwerror(v, "wrong type");
    }
    v->push(d ? Value(d) : Value());
    return SQ_OK;
}

SQRESULT sq_clone(HSQUIRRELVM v, SQInteger idx) {
    Value self = stackAt(v, idx);
    if (self._type != OT_TABLE && self._type != OT_ARRAY && self._type != OT_INSTANCE) {
        return v->raise("unexpected type %s", typeName(self._type)), SQ_ERROR;
    }
    Value out;
    if (!v->cloneValue(self, out)) return SQ_ERROR;
    v->push(out);
    return SQ_OK;
}

SQRESULT sq_setfreevariable(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger nval) {
    Value self = stackAt(v, idx);
    std::vector<Value>* outers;
    if (self._type == OT_CLOSURE) {
        outers = &self.closure()->outers;
    } else if (self._type == OT_NATIVECLOSURE) {
        outers = &self.native()->outers;
    } else {
        return v->raise("unexpected type %s", typeName(self._type)), SQ_ERROR;
    }
    if (nval >= outers->size()) return sq_throwerror(v, "invalid free var index");
    (*outers)[nval] = stackAt(v, -1);
    v->pop(1);
    return SQ_OK;
}

SQRESULT sq_next(HSQUIRRELVM v, SQInteger idx) {
    Value self = stackAt(v, idx);
    if (self._type == OT_GENERATOR) return sq_throwerror(v, "cannot iterate a generator");
    Value iter = stackAt(v, -1);
    Value key, val;
    bool done;
    if (!v->iterate(self, iter, key, val, done) || done) return SQ_ERROR;
    stackAt(v, -1) = iter;
    v->push(key);
    v->push(val);
    return SQ_OK;
}

SQRESULT sq_getweakrefval(HSQUIRRELVM v, SQInteger idx) {
    Value o = stackAt(v, idx);
    if (o._type != OT_WEAKREF) return sq_throwerror(v, "the object must be a weakref");
    v->push(o.weak()->get());
    return SQ_OK;
}

SQRESULT sq_call(HSQUIRRELVM v, SQInteger params, SQBool retval, SQBool raiseerror) {
    int argsBase = v->top - params;
    Value callee = v->stack[argsBase - 1];
    if (callee._type != OT_CLOSURE && callee._type != OT_NATIVECLOSURE && callee._type != OT_CLASS) {
        v->pop(params);
        return SQ_ERROR;
    }
    Value result;
    bool ok = v->call(callee, argsBase, params, result, raiseerror != 0);
    if (v->state == SQ_VMSTATE_SUSPENDED) {
        if (retval) v->push(result);
        return SQ_OK;
    }
    while (v->top > argsBase) v->stack[--v->top].setNull();
    if (!ok) return SQ_ERROR;
    if (retval) v->push(result);
    return SQ_OK;
}

SQRESULT sq_wakeupvm(HSQUIRRELVM v, SQBool wakeupret, SQBool retval, SQBool raiseerror) {
    if (v->state != SQ_VMSTATE_SUSPENDED) {
        return sq_throwerror(v, "cannot resume a vm that is not running any code");
    }
    Value wake;
    if (wakeupret) {
        wake = stackAt(v, -1);
        v->pop(1);
    }
    v->stack[v->suspendTarget] = wake;
    v->state = SQ_VMSTATE_RUNNING;
    Value result;
    v->nativeCalls++;
    bool ok = v->run(result, raiseerror != 0, 0, 0);
    v->nativeCalls--;
    if (v->state == SQ_VMSTATE_SUSPENDED) {
        if (retval) v->push(result);
        return SQ_OK;
    }
    v->state = SQ_VMSTATE_IDLE;
    while (v->top > 1) v->stack[--v->top].setNull();
    v->stackBase = 0;
    if (!ok) return SQ_ERROR;
    if (retval) v->push(result);
    return SQ_OK;
}

SQRESULT sq_resume(HSQUIRRELVM v, SQBool retval, SQBool) {
    Value g = stackAt(v, -1);
    if (g._type != OT_GENERATOR) return sq_throwerror(v, "only generators can be resumed");
    Value out;
    if (!v->resumeGenerator(g, out)) return SQ_ERROR;
    if (retval) v->push(out);
    return SQ_OK;
}

const SQChar* sq_getlocal(HSQUIRRELVM v, SQUnsignedInteger level, SQUnsignedInteger idx) {
    std::vector<std::pair<Value, Value>> locals;
    if (!collectLocals(v, int(level), locals) || idx >= locals.size()) return nullptr;
    v->push(locals[idx].second);
    return locals[idx].first.str()->data;
}

const SQChar* sq_getfreevariable(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger nval) {
    Value self = stackAt(v, idx);
    if (self._type == OT_CLOSURE) {
        Closure* c = self.closure();
        if (nval >= c->outers.size()) return nullptr;
        v->push(c->outers[nval]);
        return c->proto->outers[nval].name.str()->data;
    }
    if (self._type == OT_NATIVECLOSURE) {
        NativeClosure* c = self.native();
        if (nval >= c->outers.size()) return nullptr;
        v->push(c->outers[nval]);
        return "@NATIVE";
    }
    return nullptr;
}

SQRESULT sq_throwerror(HSQUIRRELVM v, const SQChar* err) {
    v->lastError = v->newString(err);
    return SQ_ERROR;
}

void sq_reseterror(HSQUIRRELVM v) { v->lastError.setNull(); }
void sq_getlasterror(HSQUIRRELVM v) {
    Value e = v->lastError;
    v->push(e);
}

SQRESULT sq_getstackobj(HSQUIRRELVM v, SQInteger idx, HSQOBJECT* po) {
    Value& o = stackAt(v, idx);
    po->_type = o._type;
    po->_unVal = o._unVal;
    return SQ_OK;
}

void sq_pushobject(HSQUIRRELVM v, HSQOBJECT obj) { v->push(Value(obj)); }

void sq_addref(HSQUIRRELVM v, HSQOBJECT* po) {
    if (!ISREFCOUNTED(po->_type)) return;
    Object* o = static_cast<Object*>(po->_unVal.pRefCounted);
    addRef(o);
    hostRefs(v->shared)[o]++;
}

SQBool sq_release(HSQUIRRELVM v, HSQOBJECT* po) {
    if (!ISREFCOUNTED(po->_type)) return SQTrue;
    Object* o = static_cast<Object*>(po->_unVal.pRefCounted);
    auto& refs = hostRefs(v->shared);
    auto it = refs.find(o);
    if (it == refs.end()) return SQTrue;
    bool last = --it->second == 0;
    if (last) refs.erase(it);
    release(o);
    return last ? SQTrue : SQFalse;
}

void sq_resetobject(HSQOBJECT* po) {
    po->_type = OT_NULL;
    po->_unVal.pUserPointer = nullptr;
}

const SQChar* sq_objtostring(HSQOBJECT* o) {
    if (o->_type == OT_STRING) return static_cast<String*>(o->_unVal.pRefCounted)->data;
    return nullptr;
}
SQBool sq_objtobool(HSQOBJECT* o) {
    Value v(*o);
    return isFalse(v) ? SQFalse : SQTrue;
}
SQInteger sq_objtointeger(HSQOBJECT* o) {
    Value v(*o);
    return v.isNumeric() ? v.toInt() : 0;
}
SQFloat sq_objtofloat(HSQOBJECT* o) {
    Value v(*o);
    return v.isNumeric() ? v.toFloat() : 0;
}

SQInteger sq_collectgarbage(HSQUIRRELVM v) { return collectGarbage(v->shared, false); }

SQRESULT sq_stackinfos(HSQUIRRELVM v, SQInteger level, SQStackInfos* si) {
    int n = int(v->calls.size());
    if (level < 0 || level >= n) return SQ_ERROR;
    const CallInfo& ci = v->calls[size_t(n - 1 - level)];
    si->funcname = "unknown";
    si->source = "NATIVE";
    si->line = -1;
    if (ci.closure) {
        FuncProto* p = ci.closure->proto;
        if (p->name._type == OT_STRING) si->funcname = p->name.str()->data;
        if (p->source._type == OT_STRING) si->source = p->source.str()->data;
        si->line = v->lineOf(ci);
    } else if (ci.native && ci.native->name._type == OT_STRING) {
        si->funcname = ci.native->name.str()->data;
    }
    return SQ_OK;
}

}  // extern "C"
