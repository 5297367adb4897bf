// Base library (root table functions) and the default delegates of every
// type, registered in the order that fixes the root table's layout.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "squirrel.h"
#include "squirrel/vm.h"
#include "squirrel/vm_local.h"

using namespace squirrel;

namespace {

Value& arg(HSQUIRRELVM v, int i) { return v->at(i); }

SQInteger pushValue(HSQUIRRELVM v, const Value& val) {
    v->push(val);
    return 1;
}

NativeClosure* makeNative(SQVM* vm, const char* name, SQFUNCTION f, int nparams, const char* mask) {
    NativeClosure* nc = new NativeClosure(vm->shared, f);
    nc->name = vm->newString(name);
    nc->paramsCheck = nparams;
    if (mask) compileTypeMask(nc->typeCheck, mask);
    return nc;
}

void reg(SQVM* vm, Table* t, const char* name, SQFUNCTION f, int nparams, const char* mask) {
    Value fn(static_cast<Object*>(makeNative(vm, name, f, nparams, mask)));
    t->newSlot(vm->newString(name), fn);
}

// ---- base functions ----

SQInteger base_seterrorhandler(HSQUIRRELVM v) {
    Value& f = arg(v, 2);
    if (f._type == OT_CLOSURE || f._type == OT_NATIVECLOSURE || f._type == OT_NULL) v->errorHandler = f;
    return 0;
}

SQInteger base_setdebughook(HSQUIRRELVM v) {
    Value& f = arg(v, 2);
    if (f._type == OT_CLOSURE || f._type == OT_NATIVECLOSURE || f._type == OT_NULL) v->debugHook = f;
    return 0;
}

SQInteger base_enabledebuginfo(HSQUIRRELVM v) {
    v->shared->debugInfo = !arg(v, 2).isNull();
    return 0;
}

SQInteger base_getstackinfos(HSQUIRRELVM v) {
    SQInteger level = arg(v, 2).toInt();
    SQStackInfos si;
    if (SQ_FAILED(sq_stackinfos(v, level, &si))) return 0;
    Table* t = new Table(v->shared, 4);
    Value tv(static_cast<Object*>(t));
    t->newSlot(v->newString("func"), v->newString(si.funcname));
    t->newSlot(v->newString("src"), v->newString(si.source));
    t->newSlot(v->newString("line"), Value::integer(si.line));
    Table* locals = new Table(v->shared, 4);
    Value lv(static_cast<Object*>(locals));
    std::vector<std::pair<Value, Value>> vars;
    collectLocals(v, int(level), vars);
    for (auto& [name, val] : vars) locals->newSlot(name, val);
    t->newSlot(v->newString("locals"), lv);
    return pushValue(v, tv);
}

SQInteger base_getroottable(HSQUIRRELVM v) { return pushValue(v, v->rootTable); }

SQInteger base_setroottable(HSQUIRRELVM v) {
    Value& t = arg(v, 2);
    if (t._type != OT_TABLE && t._type != OT_NULL) return sq_throwerror(v, "ivalid type");
    v->rootTable = t;
    return 0;
}

SQInteger base_assert(HSQUIRRELVM v) {
    if (isFalse(arg(v, 2))) return sq_throwerror(v, "assertion failed");
    return 0;
}

SQInteger base_print(HSQUIRRELVM v) {
    Value s;
    if (!v->toStringValue(arg(v, 2), s)) return SQ_ERROR;
    v->printText(s.str()->data);
    return 0;
}

SQInteger base_compilestring(HSQUIRRELVM v) {
    Value src = arg(v, 2);
    const char* name = sq_gettop(v) > 2 ? arg(v, 3).str()->data : "unnamedbuffer";
    String* s = src.str();
    if (SQ_FAILED(sq_compilebuffer(v, s->data, SQInteger(strlen(s->data)), name, SQFalse))) {
        return SQ_ERROR;
    }
    return 1;
}

// Also registers the base library again into the caller's current root
// table, so scripts that replaced `print` or swapped the root table find
// the base functions there afterwards.
SQInteger base_newthread(HSQUIRRELVM v) {
    Value f = arg(v, 2);
    if (f._type != OT_CLOSURE) return sq_throwerror(v, "newthread expects a script function");
    if (v->rootTable._type == OT_TABLE) registerBaseLib(v);
    HSQUIRRELVM t = sq_newthread(v, 1024);
    t->push(f);
    return 1;
}

SQInteger base_suspend(HSQUIRRELVM v) {
    if (sq_gettop(v) < 2) {
        Value self = arg(v, 1);
        v->push(self);
    }
    return sq_suspendvm(v);
}

SQInteger base_array(HSQUIRRELVM v) {
    SQInteger n = arg(v, 2).toInt();
    if (n < 0) return sq_throwerror(v, "negative size");
    if (int64_t(n) * int64_t(sizeof(Value)) > v->shared->sizeLimit) return sq_throwerror(v, "not enough memory");
    Array* a = new Array(v->shared, n);
    Value av(static_cast<Object*>(a));
    if (sq_gettop(v) > 2) {
        for (auto& item : a->items) item = arg(v, 3);
    }
    return pushValue(v, av);
}

SQInteger base_type(HSQUIRRELVM v) { return pushValue(v, v->newString(typeName(arg(v, 2)._type))); }

SQInteger base_dummy(HSQUIRRELVM) { return 0; }

SQInteger base_collectgarbage(HSQUIRRELVM v) { return pushValue(v, Value::integer(sq_collectgarbage(v))); }

// ---- number, string ----

SQInteger number_tointeger(HSQUIRRELVM v) {
    Value& o = arg(v, 1);
    if (o._type == OT_BOOL) return pushValue(v, Value::integer(o.i() ? 1 : 0));
    return pushValue(v, Value::integer(o.toInt()));
}

SQInteger number_tofloat(HSQUIRRELVM v) {
    Value& o = arg(v, 1);
    if (o._type == OT_BOOL) return pushValue(v, Value::number(o.i() ? 1.0f : 0.0f));
    return pushValue(v, Value::number(o.toFloat()));
}

SQInteger default_tostring(HSQUIRRELVM v) {
    Value s;
    if (!v->toStringValue(arg(v, 1), s)) return SQ_ERROR;
    return pushValue(v, s);
}

SQInteger number_tochar(HSQUIRRELVM v) {
    Value& o = arg(v, 1);
    SQInteger i = o._type == OT_BOOL ? o.i() : o.toInt();
    char c = char(i);
    return pushValue(v, v->newString(&c, 1));
}

SQInteger default_weakref(HSQUIRRELVM v) { return pushValue(v, makeWeakRef(arg(v, 1))); }

bool parseNumber(const String* s, bool& isFloatText, double& d, long& l) {
    const char* p = s->data;
    char* end;
    isFloatText = strchr(p, '.') != nullptr;
    errno = 0;
    if (isFloatText) {
        d = strtod(p, &end);
    } else {
        l = strtol(p, &end, 10);
    }
    return end != p;
}

SQInteger saturate(long l) {
    if (l > 2147483647L) return 2147483647;
    if (l < -2147483647L - 1) return -2147483647 - 1;
    return SQInteger(l);
}

SQInteger floatToInt(double d) {
    if (!(d > -2147483649.0 && d < 2147483648.0)) return -2147483647 - 1;
    return SQInteger(d);
}

SQInteger string_tointeger(HSQUIRRELVM v) {
    bool isFloat;
    double d = 0;
    long l = 0;
    if (!parseNumber(arg(v, 1).str(), isFloat, d, l)) return sq_throwerror(v, "cannot convert the string");
    return pushValue(v, Value::integer(isFloat ? floatToInt(double(float(d))) : saturate(l)));
}

SQInteger string_tofloat(HSQUIRRELVM v) {
    bool isFloat;
    double d = 0;
    long l = 0;
    if (!parseNumber(arg(v, 1).str(), isFloat, d, l)) return sq_throwerror(v, "cannot convert the string");
    return pushValue(v, Value::number(isFloat ? SQFloat(d) : SQFloat(saturate(l))));
}

SQInteger string_len(HSQUIRRELVM v) { return pushValue(v, Value::integer(SQInteger(arg(v, 1).str()->len))); }

SQInteger string_slice(HSQUIRRELVM v) {
    String* s = arg(v, 1).str();
    SQInteger len = SQInteger(s->len);
    SQInteger start = sq_gettop(v) > 1 ? arg(v, 2).toInt() : 0;
    SQInteger end = sq_gettop(v) > 2 ? arg(v, 3).toInt() : len;
    if (start < 0) start += len;
    if (end < 0) end += len;
    if (end < start) return sq_throwerror(v, "wrong indexes");
    if (start < 0 || end > len) return sq_throwerror(v, "slice out of range");
    return pushValue(v, v->newString(s->data + start, end - start));
}

SQInteger string_find(HSQUIRRELVM v) {
    String* s = arg(v, 1).str();
    String* sub = arg(v, 2).str();
    SQInteger start = sq_gettop(v) > 2 ? arg(v, 3).toInt() : 0;
    if (start < 0 || start > SQInteger(strlen(s->data))) return 0;
    if (s->len == 0 && start == 0) {
        if (sub->data[0] == 0) return pushValue(v, Value::integer(0));
        return 0;
    }
    if (start >= SQInteger(s->len)) return 0;
    const char* r = strstr(s->data + start, sub->data);
    if (!r) return 0;
    return pushValue(v, Value::integer(SQInteger(r - s->data)));
}

SQInteger string_case(HSQUIRRELVM v, bool upper) {
    String* s = arg(v, 1).str();
    std::string r(s->data, s->len);
    for (char& c : r) {
        if (upper && c >= 'a' && c <= 'z') c = char(c - 32);
        if (!upper && c >= 'A' && c <= 'Z') c = char(c + 32);
    }
    return pushValue(v, v->newString(r.data(), int(r.size())));
}
SQInteger string_tolower(HSQUIRRELVM v) { return string_case(v, false); }
SQInteger string_toupper(HSQUIRRELVM v) { return string_case(v, true); }

// ---- table ----

SQInteger table_len(HSQUIRRELVM v) { return pushValue(v, Value::integer(SQInteger(arg(v, 1).table()->used))); }

SQInteger table_rawget(HSQUIRRELVM v) {
    Value out;
    if (!arg(v, 1).table()->get(arg(v, 2), out)) return sq_throwerror(v, "the index doesn't exist");
    derefWeak(out);
    return pushValue(v, out);
}

SQInteger table_rawset(HSQUIRRELVM v) {
    if (arg(v, 2).isNull()) return sq_throwerror(v, "null key");
    arg(v, 1).table()->newSlot(arg(v, 2), arg(v, 3));
    return 0;
}

SQInteger table_rawdelete(HSQUIRRELVM v) {
    Table* t = arg(v, 1).table();
    TableNode* n = t->find(arg(v, 2));
    if (!n) return 0;
    Value out = n->val;
    t->remove(arg(v, 2));
    return pushValue(v, out);
}

SQInteger table_rawin(HSQUIRRELVM v) {
    return pushValue(v, Value::boolean(arg(v, 1).table()->find(arg(v, 2)) != nullptr));
}

// ---- array ----

std::vector<Value>& items(HSQUIRRELVM v) { return arg(v, 1).array()->items; }

SQInteger array_len(HSQUIRRELVM v) { return pushValue(v, Value::integer(SQInteger(items(v).size()))); }

SQInteger array_append(HSQUIRRELVM v) {
    items(v).push_back(arg(v, 2));
    return 0;
}

SQInteger array_extend(HSQUIRRELVM v) {
    std::vector<Value> src = arg(v, 2).array()->items;
    auto& dst = items(v);
    for (auto& x : src) dst.push_back(x);
    return 0;
}

SQInteger array_pop(HSQUIRRELVM v) {
    auto& a = items(v);
    if (a.empty()) return sq_throwerror(v, "empty array");
    Value last = std::move(a.back());
    a.pop_back();
    return pushValue(v, last);
}

SQInteger array_top(HSQUIRRELVM v) {
    auto& a = items(v);
    if (a.empty()) return sq_throwerror(v, "top() on a empty array");
    return pushValue(v, a.back());
}

SQInteger array_insert(HSQUIRRELVM v) {
    auto& a = items(v);
    SQInteger idx = arg(v, 2).toInt();
    if (idx < 0 || size_t(idx) > a.size()) return sq_throwerror(v, "idx out of range");
    a.insert(a.begin() + idx, arg(v, 3));
    return 0;
}

SQInteger array_remove(HSQUIRRELVM v) {
    auto& a = items(v);
    SQInteger idx = arg(v, 2).toInt();
    if (idx < 0 || size_t(idx) >= a.size()) return sq_throwerror(v, "idx out of range");
    Value out = a[size_t(idx)];
    a.erase(a.begin() + idx);
    return pushValue(v, out);
}

SQInteger array_resize(HSQUIRRELVM v) {
    SQInteger n = arg(v, 2).toInt();
    if (n < 0) return sq_throwerror(v, "negative size");
    if (int64_t(n) * int64_t(sizeof(Value)) > v->shared->sizeLimit) return sq_throwerror(v, "not enough memory");
    Value fill = sq_gettop(v) > 2 ? arg(v, 3) : Value();
    items(v).resize(size_t(n), fill);
    return 0;
}

SQInteger array_reverse(HSQUIRRELVM v) {
    auto& a = items(v);
    for (size_t i = 0, j = a.size(); i + 1 < j; i++, j--) std::swap(a[i], a[j - 1]);
    return 0;
}

struct SortState {
    HSQUIRRELVM vm;
    Value cmp;
    bool failed = false;
};

bool sortCompareSlow(SortState& st, const Value& a, const Value& b, int& r);

// Integers under the default order inline (by their wrapped difference, as
// compare() orders them); everything else out of line.
inline bool sortCompare(SortState& st, const Value& a, const Value& b, int& r) {
    if (st.cmp._type == OT_NULL && a._type == OT_INTEGER && b._type == OT_INTEGER) {
        SQInteger d = SQInteger(uint32_t(a.i()) - uint32_t(b.i()));
        r = int(d > 0) - int(d < 0);
        return true;
    }
    return sortCompareSlow(st, a, b, r);
}

__attribute__((noinline)) bool sortCompareSlow(SortState& st, const Value& a, const Value& b, int& r) {
    SQVM* v = st.vm;
    if (st.cmp.isNull()) return v->compare(a, b, r);
    int base = v->top;
    v->push(v->rootTable);
    v->push(a);
    v->push(b);
    Value res;
    bool ok = v->call(st.cmp, base, 3, res, false);
    while (v->top > base) v->stack[--v->top].setNull();
    if (!ok) return v->raise("compare func failed");
    r = res.isNumeric() ? res.toInt() : 0;
    return true;
}

// Quicksort with the 2.1 partition scheme (first element as pivot). Ranges
// wait on an explicit stack, left part first, so the comparison order is
// that of the recursive original and sorted input cannot exhaust the C++ stack.
bool quickSort(SortState& st, Array* arr, SQInteger left, SQInteger right) {
    std::vector<std::pair<SQInteger, SQInteger>> ranges;
    ranges.emplace_back(left, right);
    auto& a = arr->items;
    while (!ranges.empty()) {
        auto [l, r] = ranges.back();
        ranges.pop_back();
        if (l >= r) continue;
        Value pivot = a[size_t(l)];
        SQInteger i = l, j = r + 1;
        int c;
        for (;;) {
            do {
                i++;
                if (i > r) break;
                if (size_t(i) >= a.size()) return false;
                if (!sortCompare(st, a[size_t(i)], pivot, c)) return false;
            } while (c <= 0);
            do {
                j--;
                if (j < 0 || size_t(j) >= a.size()) return false;
                if (!sortCompare(st, a[size_t(j)], pivot, c)) return false;
            } while (c > 0);
            if (i >= j) break;
            std::swap(a[size_t(i)], a[size_t(j)]);
        }
        if (size_t(l) >= a.size() || size_t(j) >= a.size()) return false;
        std::swap(a[size_t(l)], a[size_t(j)]);
        ranges.emplace_back(j + 1, r);
        ranges.emplace_back(l, j - 1);
    }
    return true;
}

SQInteger array_sort(HSQUIRRELVM v) {
    Value self = arg(v, 1);
    SortState st{v, sq_gettop(v) > 1 ? arg(v, 2) : Value()};
    SQInteger n = SQInteger(self.array()->items.size());
    if (n > 1 && !quickSort(st, self.array(), 0, n - 1)) {
        if (v->lastError.isNull()) sq_throwerror(v, "compare func failed");
        return SQ_ERROR;
    }
    return 0;
}

SQInteger array_slice(HSQUIRRELVM v) {
    auto& a = items(v);
    SQInteger len = SQInteger(a.size());
    SQInteger start = sq_gettop(v) > 1 ? arg(v, 2).toInt() : 0;
    SQInteger end = sq_gettop(v) > 2 ? arg(v, 3).toInt() : len;
    if (start < 0) start += len;
    if (end < 0) end += len;
    if (end <= start) return sq_throwerror(v, "wrong indexes");
    if (start < 0 || end > len) return sq_throwerror(v, "slice out of range");
    Array* r = new Array(v->shared, 0);
    Value rv(static_cast<Object*>(r));
    r->items.assign(a.begin() + start, a.begin() + end);
    return pushValue(v, rv);
}

// ---- closures ----

SQInteger closure_callImpl(HSQUIRRELVM v, bool raise) {
    Value fn = arg(v, 1);
    int n = sq_gettop(v);
    int base = v->top;
    for (int i = 2; i <= n; i++) v->push(arg(v, i));
    Value res;
    bool ok = v->call(fn, base, n - 1, res, raise);
    while (v->top > base) v->stack[--v->top].setNull();
    if (!ok) return SQ_ERROR;
    return pushValue(v, res);
}
SQInteger closure_call(HSQUIRRELVM v) { return closure_callImpl(v, true); }
SQInteger closure_pcall(HSQUIRRELVM v) { return closure_callImpl(v, false); }

SQInteger closure_acallImpl(HSQUIRRELVM v, bool raise) {
    Value fn = arg(v, 1);
    std::vector<Value> args = arg(v, 2).array()->items;
    if (args.empty()) return sq_throwerror(v, "wrong number of parameters");
    int base = v->top;
    if (!v->ensureStack(base + int(args.size()) + 1)) return sq_throwerror(v, "stack overflow");
    for (auto& a : args) v->push(a);
    Value res;
    bool ok = v->call(fn, base, int(args.size()), res, raise);
    while (v->top > base) v->stack[--v->top].setNull();
    if (!ok) return SQ_ERROR;
    return pushValue(v, res);
}
SQInteger closure_acall(HSQUIRRELVM v) { return closure_acallImpl(v, true); }
SQInteger closure_pacall(HSQUIRRELVM v) { return closure_acallImpl(v, false); }

SQInteger closure_bindenv(HSQUIRRELVM v) {
    if (SQ_FAILED(sq_bindenv(v, 1))) return SQ_ERROR;
    return 1;
}

SQInteger closure_getinfos(HSQUIRRELVM v) {
    Value fn = arg(v, 1);
    Table* t = new Table(v->shared, 4);
    Value tv(static_cast<Object*>(t));
    if (fn._type == OT_CLOSURE) {
        FuncProto* p = fn.closure()->proto;
        Array* params = new Array(v->shared, 0);
        Value pv(static_cast<Object*>(params));
        for (auto& name : p->params) params->items.push_back(name);
        if (p->varargs) params->items.push_back(v->newString("..."));
        t->newSlot(v->newString("native"), Value::boolean(false));
        t->newSlot(v->newString("name"), p->name);
        t->newSlot(v->newString("src"), p->source);
        t->newSlot(v->newString("parameters"), pv);
        t->newSlot(v->newString("varargs"), Value::boolean(p->varargs));
    } else {
        NativeClosure* nc = fn.native();
        t->newSlot(v->newString("native"), Value::boolean(true));
        t->newSlot(v->newString("name"), nc->name);
        t->newSlot(v->newString("paramscheck"), Value::integer(nc->paramsCheck));
        Value tc;
        if (!nc->typeCheck.empty()) {
            Array* a = new Array(v->shared, 0);
            tc = Value(static_cast<Object*>(a));
            for (int m : nc->typeCheck) a->items.push_back(Value::integer(m));
        }
        t->newSlot(v->newString("typecheck"), tc);
    }
    return pushValue(v, tv);
}

// ---- generator, thread ----

SQInteger generator_getstatus(HSQUIRRELVM v) {
    static const char* const kNames[] = {"suspended", "running", "dead"};
    return pushValue(v, v->newString(kNames[arg(v, 1).generator()->state]));
}

// After a thread ran for call or wakeup. A thread whose function returned
// during call keeps the result where the function was, and the next call
// calls that value; one that finished during wakeup is left empty; after a
// failure the function stays. The thread's error becomes the caller's.
SQInteger finishThreadRun(HSQUIRRELVM v, SQVM* t, bool ok, const Value& res, bool fromCall) {
    if (t->state == SQ_VMSTATE_RUNNING) t->state = SQ_VMSTATE_IDLE;
    if (t->state != SQ_VMSTATE_SUSPENDED) {
        int keep = ok && !fromCall ? 0 : 1;
        if (t->top < keep) keep = t->top;
        while (t->top > keep) t->stack[--t->top].setNull();
        if (ok && fromCall && keep == 1) t->stack[0] = res;
    }
    if (!ok) {
        v->lastError = t->lastError;
        return SQ_ERROR;
    }
    return pushValue(v, res);
}

// A thread's outermost execution runs without error reports, except for a
// function that cannot start: that is reported, with no frames, by the
// thread's handler. A value left by an earlier run that cannot be called
// fails with no message of its own.
SQInteger thread_call(HSQUIRRELVM v) {
    Value tv = arg(v, 1);
    SQVM* t = tv.thread();
    if (t->state != SQ_VMSTATE_IDLE) return sq_throwerror(v, "wrong parameter");
    if (t->top < 1) return SQ_ERROR;
    Value fn = t->stack[0];
    if (fn._type != OT_CLOSURE && fn._type != OT_NATIVECLOSURE && fn._type != OT_CLASS) {
        return SQ_ERROR;
    }
    if (v->shared->threadNesting >= kMaxThreadNesting) return sq_throwerror(v, "Native stack overflow");
    int n = sq_gettop(v);
    t->top = 1;
    int base = t->top;
    if (!t->ensureStack(base + n + 1)) return sq_throwerror(v, "stack overflow");
    t->push(t->rootTable);
    for (int i = 2; i <= n; i++) t->push(arg(v, i));
    Value res;
    if (fn._type == OT_CLOSURE) {
        const FuncProto* p = fn.closure()->proto;
        if (p->varargs ? n < p->numParams : n != p->numParams) {
            t->raise("wrong number of parameters");
            t->callErrorHandler(t->lastError);
            return finishThreadRun(v, t, false, res, true);
        }
    }
    t->state = SQ_VMSTATE_RUNNING;
    v->shared->threadNesting++;
    bool ok = t->call(fn, base, n, res, false);
    v->shared->threadNesting--;
    return finishThreadRun(v, t, ok, res, true);
}

SQInteger thread_wakeup(HSQUIRRELVM v) {
    Value tv = arg(v, 1);
    SQVM* t = tv.thread();
    if (t->state == SQ_VMSTATE_IDLE) return sq_throwerror(v, "cannot wakeup a idle thread");
    if (t->state == SQ_VMSTATE_RUNNING) return sq_throwerror(v, "cannot wakeup a running thread");
    if (v->shared->threadNesting >= kMaxThreadNesting) return sq_throwerror(v, "Native stack overflow");
    Value wake = sq_gettop(v) > 1 ? arg(v, 2) : Value();
    t->stack[t->suspendTarget] = wake;
    t->state = SQ_VMSTATE_RUNNING;
    Value res;
    v->shared->threadNesting++;
    t->nativeCalls++;
    bool ok = t->run(res, false, 0, 0);
    t->nativeCalls--;
    v->shared->threadNesting--;
    return finishThreadRun(v, t, ok, res, false);
}

SQInteger thread_getstatus(HSQUIRRELVM v) {
    static const char* const kNames[] = {"idle", "running", "suspended"};
    return pushValue(v, v->newString(kNames[arg(v, 1).thread()->state]));
}

// ---- class, instance, weakref ----

SQInteger class_getattributes(HSQUIRRELVM v) {
    if (SQ_FAILED(sq_getattributes(v, 1))) return SQ_ERROR;
    return 1;
}

SQInteger class_setattributes(HSQUIRRELVM v) {
    if (SQ_FAILED(sq_setattributes(v, 1))) return SQ_ERROR;
    return 1;
}

SQInteger class_rawin(HSQUIRRELVM v) {
    Value out;
    return pushValue(v, Value::boolean(arg(v, 1).cls()->getMember(arg(v, 2), out)));
}

SQInteger class_instance(HSQUIRRELVM v) {
    Value inst;
    v->createInstance(arg(v, 1).cls(), inst);
    return pushValue(v, inst);
}

SQInteger instance_getclass(HSQUIRRELVM v) { return pushValue(v, Value(arg(v, 1).instance()->cls)); }

SQInteger instance_rawin(HSQUIRRELVM v) {
    Value out;
    return pushValue(v, Value::boolean(arg(v, 1).instance()->get(arg(v, 2), out)));
}

SQInteger weakref_ref(HSQUIRRELVM v) { return pushValue(v, arg(v, 1).weak()->get()); }

Value newDelegate(SQVM* vm) { return Value(new Table(vm->shared, 4)); }

}  // namespace

namespace squirrel {

bool collectLocals(SQVM* vm, int level, std::vector<std::pair<Value, Value>>& out) {
    int n = int(vm->calls.size());
    if (level < 0 || level >= n) return false;
    const CallInfo& ci = vm->calls[size_t(n - 1 - level)];
    if (!ci.closure) return true;
    FuncProto* p = ci.closure->proto;
    for (size_t i = 0; i < p->outers.size() && i < ci.closure->outers.size(); i++) {
        out.emplace_back(p->outers[i].name, ci.closure->outers[i]);
    }
    int pc = int(ci.ip - p->code.data()) - 1;
    for (int i = int(p->locals.size()) - 1; i >= 0; i--) {
        const LocalVarInfo& lv = p->locals[size_t(i)];
        if (lv.name.str()->len == 0) continue;
        if (lv.startPc <= pc && (lv.endPc < 0 || pc < lv.endPc)) {
            out.emplace_back(lv.name, vm->stack[ci.base + lv.reg]);
        }
    }
    return true;
}

void createDefaultDelegates(SharedState* ss, SQVM* vm) {
    Table* t;
    ss->numberDelegate = newDelegate(vm);
    t = ss->numberDelegate.table();
    reg(vm, t, "tointeger", number_tointeger, 1, "n|b");
    reg(vm, t, "tofloat", number_tofloat, 1, "n|b");
    reg(vm, t, "tostring", default_tostring, 1, ".");
    reg(vm, t, "tochar", number_tochar, 1, "n|b");
    reg(vm, t, "weakref", default_weakref, 1, nullptr);

    ss->stringDelegate = newDelegate(vm);
    t = ss->stringDelegate.table();
    reg(vm, t, "len", string_len, 1, "s");
    reg(vm, t, "tointeger", string_tointeger, 1, "s");
    reg(vm, t, "tofloat", string_tofloat, 1, "s");
    reg(vm, t, "tostring", default_tostring, 1, ".");
    reg(vm, t, "slice", string_slice, -1, "s n  n");
    reg(vm, t, "find", string_find, -2, "s s n ");
    reg(vm, t, "tolower", string_tolower, 1, "s");
    reg(vm, t, "toupper", string_toupper, 1, "s");
    reg(vm, t, "weakref", default_weakref, 1, nullptr);

    ss->tableDelegate = newDelegate(vm);
    t = ss->tableDelegate.table();
    reg(vm, t, "len", table_len, 1, "t");
    reg(vm, t, "rawget", table_rawget, 2, "t");
    reg(vm, t, "rawset", table_rawset, 3, "t");
    reg(vm, t, "rawdelete", table_rawdelete, 2, "t");
    reg(vm, t, "rawin", table_rawin, 2, "t");
    reg(vm, t, "weakref", default_weakref, 1, nullptr);
    reg(vm, t, "tostring", default_tostring, 1, ".");

    ss->arrayDelegate = newDelegate(vm);
    t = ss->arrayDelegate.table();
    reg(vm, t, "len", array_len, 1, "a");
    reg(vm, t, "append", array_append, 2, "a");
    reg(vm, t, "extend", array_extend, 2, "aa");
    reg(vm, t, "push", array_append, 2, "a");
    reg(vm, t, "pop", array_pop, 1, "a");
    reg(vm, t, "top", array_top, 1, "a");
    reg(vm, t, "insert", array_insert, 3, "an");
    reg(vm, t, "remove", array_remove, 2, "an");
    reg(vm, t, "resize", array_resize, -2, "an");
    reg(vm, t, "reverse", array_reverse, 1, "a");
    reg(vm, t, "sort", array_sort, -1, "ac");
    reg(vm, t, "slice", array_slice, -1, "ann");
    reg(vm, t, "weakref", default_weakref, 1, nullptr);
    reg(vm, t, "tostring", default_tostring, 1, ".");

    ss->closureDelegate = newDelegate(vm);
    t = ss->closureDelegate.table();
    reg(vm, t, "call", closure_call, -1, "c");
    reg(vm, t, "pcall", closure_pcall, -1, "c");
    reg(vm, t, "acall", closure_acall, 2, "ca");
    reg(vm, t, "pacall", closure_pacall, 2, "ca");
    reg(vm, t, "weakref", default_weakref, 1, nullptr);
    reg(vm, t, "tostring", default_tostring, 1, ".");
    reg(vm, t, "bindenv", closure_bindenv, 2, "c x|y|t");
    reg(vm, t, "getinfos", closure_getinfos, 1, "c");

    ss->generatorDelegate = newDelegate(vm);
    t = ss->generatorDelegate.table();
    reg(vm, t, "getstatus", generator_getstatus, 1, "g");
    reg(vm, t, "weakref", default_weakref, 1, nullptr);
    reg(vm, t, "tostring", default_tostring, 1, ".");

    ss->threadDelegate = newDelegate(vm);
    t = ss->threadDelegate.table();
    reg(vm, t, "call", thread_call, -1, "v");
    reg(vm, t, "wakeup", thread_wakeup, -1, "v");
    reg(vm, t, "getstatus", thread_getstatus, 1, "v");
    reg(vm, t, "weakref", default_weakref, 1, nullptr);
    reg(vm, t, "tostring", default_tostring, 1, ".");

    ss->classDelegate = newDelegate(vm);
    t = ss->classDelegate.table();
    reg(vm, t, "getattributes", class_getattributes, 2, "y.");
    reg(vm, t, "setattributes", class_setattributes, 3, "y..");
    reg(vm, t, "rawin", class_rawin, 2, "y");
    reg(vm, t, "weakref", default_weakref, 1, nullptr);
    reg(vm, t, "tostring", default_tostring, 1, ".");
    reg(vm, t, "instance", class_instance, 1, "y");

    ss->instanceDelegate = newDelegate(vm);
    t = ss->instanceDelegate.table();
    reg(vm, t, "getclass", instance_getclass, 1, "x");
    reg(vm, t, "rawin", instance_rawin, 2, "x");
    reg(vm, t, "weakref", default_weakref, 1, nullptr);
    reg(vm, t, "tostring", default_tostring, 1, ".");

    ss->weakrefDelegate = newDelegate(vm);
    t = ss->weakrefDelegate.table();
    reg(vm, t, "ref", weakref_ref, 1, "r");
    reg(vm, t, "weakref", default_weakref, 1, nullptr);
    reg(vm, t, "tostring", default_tostring, 1, ".");
}

void registerBaseLib(SQVM* vm) {
    Table* root = vm->rootTable.table();
    reg(vm, root, "seterrorhandler", base_seterrorhandler, 2, nullptr);
    reg(vm, root, "setdebughook", base_setdebughook, 2, nullptr);
    reg(vm, root, "enabledebuginfo", base_enabledebuginfo, 2, nullptr);
    reg(vm, root, "getstackinfos", base_getstackinfos, 2, ".n");
    reg(vm, root, "getroottable", base_getroottable, 1, nullptr);
    reg(vm, root, "setroottable", base_setroottable, 2, nullptr);
    reg(vm, root, "assert", base_assert, 2, nullptr);
    reg(vm, root, "print", base_print, 2, nullptr);
    reg(vm, root, "compilestring", base_compilestring, -2, ".ss");
    reg(vm, root, "newthread", base_newthread, 2, ".c");
    reg(vm, root, "suspend", base_suspend, -1, nullptr);
    reg(vm, root, "array", base_array, -2, ".n");
    reg(vm, root, "type", base_type, 2, nullptr);
    reg(vm, root, "dummy", base_dummy, 0, nullptr);
    reg(vm, root, "collectgarbage", base_collectgarbage, 1, "t");
    root->newSlot(vm->newString("_version_"), vm->newString(SQUIRREL_VERSION));
    root->newSlot(vm->newString("_charsize_"), Value::integer(1));
    root->newSlot(vm->newString("_intsize_"), Value::integer(4));
}

}  // namespace squirrel
