// Object protocol of the VM: get, set, new slot, delete, arithmetic,
// comparison, conversion to string, typeof, clone and iteration, with the
// metamethod rules of the 2.1 series (a failing metamethod counts as absent).
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <climits>

#include "squirrel/vm.h"
#include "squirrel/vm_local.h"

using namespace squirrel;

bool SQVM::raise(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) n = 0;
    if (n >= int(sizeof buf)) n = int(sizeof buf) - 1;
    lastError = newString(buf, n);
    return false;
}

namespace squirrel {

std::string formatFloat(double d, const char* spec) {
    char buf[128];
    if (std::isinf(d)) return d < 0 ? "-1.#INF" : "1.#INF";
    if (std::isnan(d)) return std::signbit(d) ? "-1.#IND" : "1.#QNAN";
    snprintf(buf, sizeof buf, spec, d);
    std::string s = buf;
    // Microsoft's C run-time prints at least three exponent digits.
    size_t e = s.find_first_of("eE");
    if (e != std::string::npos && e + 2 < s.size() + 1) {
        size_t digits = e + 2;
        size_t count = s.size() - digits;
        if (count < 3) s.insert(digits, 3 - count, '0');
    }
    return s;
}

std::string keyText(const Value& key) {
    char buf[64];
    switch (key._type) {
    case OT_STRING: return std::string(key.str()->data, key.str()->len);
    case OT_INTEGER: snprintf(buf, sizeof buf, "%d", key.i()); return buf;
    case OT_FLOAT: return formatFloat(double(key.f()), "%.14g");
    default: return typeName(key._type);
    }
}

}  // namespace squirrel

static std::string clip50(const std::string& s) { return s.substr(0, 50); }

bool SQVM::getMetaMethod(const Value& obj, MetaMethod mm, Value& fn) {
    switch (obj._type) {
    case OT_TABLE: {
        Table* d = obj.table()->delegate;
        return d && d->get(shared->metaNames[mm], fn);
    }
    case OT_USERDATA: {
        Table* d = obj.userData()->delegate;
        return d && d->get(shared->metaNames[mm], fn);
    }
    case OT_INSTANCE: {
        const Value& m = obj.instance()->cls->metaMethods[mm];
        if (m.isNull()) return false;
        fn = m;
        return true;
    }
    default: return false;
    }
}

bool SQVM::callMeta(const Value& fn, const Value& self, int nargs, const Value* args, Value& result) {
    int base = top;
    if (!ensureStack(top + nargs + 1)) return raise("stack overflow");
    push(self);
    for (int i = 0; i < nargs; i++) push(args[i]);
    Value saved = lastError;
    bool ok = call(fn, base, nargs + 1, result, false);
    while (top > base) stack[--top].setNull();
    if (!ok) lastError = saved;
    return ok;
}

bool SQVM::getDefaultDelegate(const Value& obj, const Value& key, Value& out) {
    Value* d;
    switch (obj._type) {
    case OT_TABLE: d = &shared->tableDelegate; break;
    case OT_ARRAY: d = &shared->arrayDelegate; break;
    case OT_STRING: d = &shared->stringDelegate; break;
    case OT_INTEGER:
    case OT_FLOAT:
    case OT_BOOL: d = &shared->numberDelegate; break;
    case OT_CLOSURE:
    case OT_NATIVECLOSURE: d = &shared->closureDelegate; break;
    case OT_GENERATOR: d = &shared->generatorDelegate; break;
    case OT_THREAD: d = &shared->threadDelegate; break;
    case OT_CLASS: d = &shared->classDelegate; break;
    case OT_INSTANCE: d = &shared->instanceDelegate; break;
    case OT_WEAKREF: d = &shared->weakrefDelegate; break;
    default: return false;
    }
    return d->table()->get(key, out);
}

// Get on a table and its delegate chain, without recursion (a chain may be
// long): every table's own slots in chain order, then the default delegate,
// then each delegate's _get from the deepest up, called with `this` = the
// table delegating to it. This is the order the recursive definition gives.
static bool tableChainGet(SQVM* vm, Table* start, const Value& key, Value& out) {
    std::vector<Table*> chain;
    for (Table* t = start; t; t = t->delegate) {
        if (TableNode* n = t->find(key)) {
            vm->chargeSteps(chain.size());
            out = n->val;
            derefWeak(out);
            return true;
        }
        chain.push_back(t);
    }
    vm->chargeSteps(chain.size());
    Value probe(static_cast<Object*>(start));
    if (vm->getDefaultDelegate(probe, key, out)) return true;
    for (size_t i = chain.size(); i-- > 1;) {
        Value mm;
        if (chain[i]->get(vm->shared->metaNames[MT_GET], mm)) {
            Value self(static_cast<Object*>(chain[i - 1]));
            if (vm->callMeta(mm, self, 1, &key, out)) return true;
        }
    }
    return false;
}

// Set on a table chain: an existing slot anywhere in the chain is
// overwritten, else each delegate's _set from the deepest up.
static bool tableChainSet(SQVM* vm, Table* start, const Value& key, const Value& val) {
    std::vector<Table*> chain;
    for (Table* t = start; t; t = t->delegate) {
        if (t->set(key, val)) {
            vm->chargeSteps(chain.size());
            return true;
        }
        chain.push_back(t);
    }
    vm->chargeSteps(chain.size());
    for (size_t i = chain.size(); i-- > 1;) {
        Value mm;
        if (chain[i]->get(vm->shared->metaNames[MT_SET], mm)) {
            Value self(static_cast<Object*>(chain[i - 1]));
            Value args[2] = {key, val};
            Value r;
            if (vm->callMeta(mm, self, 2, args, r)) return true;
        }
    }
    return false;
}

bool vmTryGet(SQVM* vm, const Value& obj, const Value& key, Value& out, bool forCall) {
    switch (obj._type) {
    case OT_TABLE: {
        Table* t = obj.table();
        if (TableNode* n = t->find(key)) {
            out = n->val;
            derefWeak(out);
            return true;
        }
        if (!t->delegate) return vm->getDefaultDelegate(obj, key, out);
        return tableChainGet(vm, t, key, out);
    }
    case OT_INSTANCE: {
        Instance* inst = obj.instance();
        if (inst->get(key, out)) return true;
        const Value& mm = inst->cls->metaMethods[MT_GET];
        if (!mm.isNull() && vm->callMeta(mm, obj, 1, &key, out)) return true;
        return vm->getDefaultDelegate(obj, key, out);
    }
    case OT_CLASS:
        if (obj.cls()->getMember(key, out)) return true;
        return forCall && vm->getDefaultDelegate(obj, key, out);
    case OT_ARRAY: {
        if (key.isNumeric()) {
            SQInteger i = key.toInt();
            auto& items = obj.array()->items;
            if (i < 0 || size_t(i) >= items.size()) return false;
            out = items[size_t(i)];
            derefWeak(out);
            return true;
        }
        return vm->getDefaultDelegate(obj, key, out);
    }
    case OT_STRING: {
        if (key.isNumeric()) {
            SQInteger i = key.toInt();
            String* s = obj.str();
            if (i < 0 || uint32_t(i) >= s->len) return false;
            out.setInt(SQInteger(static_cast<signed char>(s->data[i])));
            return true;
        }
        return vm->getDefaultDelegate(obj, key, out);
    }
    case OT_USERDATA: {
        Table* d = obj.userData()->delegate;
        if (!d) return false;
        if (tableChainGet(vm, d, key, out)) return true;
        Value mm;
        if (d->get(vm->shared->metaNames[MT_GET], mm)) {
            if (vm->callMeta(mm, obj, 1, &key, out)) return true;
        }
        return false;
    }
    case OT_NULL:
    case OT_USERPOINTER: return false;
    default: return vm->getDefaultDelegate(obj, key, out);
    }
}

bool SQVM::get(const Value& obj, const Value& key, Value& out, bool rootFallback, bool forCall,
               const Value* self) {
    if (vmTryGet(this, obj, key, out, forCall)) return true;
    if (rootFallback && self && self->rawEquals(obj) && rootTable._type == OT_TABLE) {
        if (TableNode* n = rootTable.table()->find(key)) {
            out = n->val;
            derefWeak(out);
            return true;
        }
    }
    return raise("the index '%s' does not exist", clip50(keyText(key)).c_str());
}

static bool trySet(SQVM* vm, const Value& obj, const Value& key, const Value& val) {
    switch (obj._type) {
    case OT_TABLE: return tableChainSet(vm, obj.table(), key, val);
    case OT_INSTANCE: {
        Instance* inst = obj.instance();
        if (inst->set(key, val)) return true;
        const Value& mm = inst->cls->metaMethods[MT_SET];
        if (!mm.isNull()) {
            Value args[2] = {key, val};
            Value r;
            if (vm->callMeta(mm, obj, 2, args, r)) return true;
        }
        return false;
    }
    case OT_ARRAY: {
        if (!key.isNumeric()) return false;
        SQInteger i = key.toInt();
        auto& items = obj.array()->items;
        if (i < 0 || size_t(i) >= items.size()) return false;
        items[size_t(i)] = val;
        return true;
    }
    case OT_USERDATA: {
        Table* d = obj.userData()->delegate;
        Value mm;
        if (d && d->get(vm->shared->metaNames[MT_SET], mm)) {
            Value args[2] = {key, val};
            Value r;
            if (vm->callMeta(mm, obj, 2, args, r)) return true;
        }
        return false;
    }
    default: return false;
    }
}

bool SQVM::set(const Value& obj, const Value& key, const Value& val, bool rootFallback,
               const Value* self) {
    if (trySet(this, obj, key, val)) return true;
    if (rootFallback && self && self->rawEquals(obj) && rootTable._type == OT_TABLE) {
        if (rootTable.table()->set(key, val)) return true;
    }
    return raise("the index '%s' does not exist", clip50(keyText(key)).c_str());
}

bool SQVM::newSlot(const Value& obj, const Value& key, const Value& val, bool isStatic) {
    if (key.isNull()) return raise("null cannot be used as index");
    switch (obj._type) {
    case OT_TABLE: {
        Table* t = obj.table();
        if (t->delegate && !t->find(key)) {
            Value mm;
            if (t->delegate->get(shared->metaNames[MT_NEWSLOT], mm)) {
                Value args[2] = {key, val};
                Value r;
                if (callMeta(mm, obj, 2, args, r)) return true;
            }
        }
        t->newSlot(key, val);
        return true;
    }
    case OT_CLASS: {
        Class* c = obj.cls();
        if (c->locked) return raise("trying to modify a class that has already been instantiated");
        c->newSlot(key, val, isStatic);
        return true;
    }
    default:
        return raise("indexing %s with %s", typeName(obj._type), typeName(key._type));
    }
}

bool SQVM::deleteSlot(const Value& obj, const Value& key, Value& out) {
    switch (obj._type) {
    case OT_TABLE:
    case OT_INSTANCE:
    case OT_USERDATA: {
        Value mm;
        if (getMetaMethod(obj, MT_DELSLOT, mm)) {
            if (callMeta(mm, obj, 1, &key, out)) return true;
        }
        if (obj._type != OT_TABLE) return raise("cannot delete a slot from %s", typeName(obj._type));
        Table* t = obj.table();
        TableNode* n = t->find(key);
        if (!n) return raise("the index '%s' does not exist", clip50(keyText(key)).c_str());
        out = n->val;
        t->remove(key);
        return true;
    }
    default: return raise("attempt to delete a slot from a %s", typeName(obj._type));
    }
}

static SQFloat fmodFloat(SQFloat a, SQFloat b) { return SQFloat(std::fmod(double(a), double(b))); }

bool SQVM::arith(int op, const Value& a, const Value& b, Value& out) {
    if (a._type == OT_INTEGER && b._type == OT_INTEGER) {
        uint32_t x = uint32_t(a.i()), y = uint32_t(b.i());
        switch (op) {
        case '+': out.setInt(SQInteger(x + y)); return true;
        case '-': out.setInt(SQInteger(x - y)); return true;
        case '*': out.setInt(SQInteger(x * y)); return true;
        case '/':
            if (y == 0) return raise("division by zero");
            if (a.i() == INT_MIN && b.i() == -1) {
                out.setInt(INT_MIN);
                return true;
            }
            out.setInt(a.i() / b.i());
            return true;
        case '%':
            if (y == 0) return raise("division by zero");
            if (b.i() == -1) {
                out.setInt(0);
                return true;
            }
            out.setInt(a.i() % b.i());
            return true;
        }
    }
    if (a.isNumeric() && b.isNumeric()) {
        SQFloat x = a.toFloat(), y = b.toFloat();
        switch (op) {
        case '+': out.setFloat(x + y); return true;
        case '-': out.setFloat(x - y); return true;
        case '*': out.setFloat(x * y); return true;
        case '/': out.setFloat(x / y); return true;
        case '%': out.setFloat(fmodFloat(x, y)); return true;
        }
    }
    if (op == '+' && (a._type == OT_STRING || b._type == OT_STRING)) {
        Value sa, sb;
        if (!toStringValue(a, sa) || !toStringValue(b, sb)) return false;
        String* x = sa.str();
        String* y = sb.str();
        if (int64_t(x->len) + y->len > shared->sizeLimit) return raise("not enough memory");
        out = shared->concat(x, y);
        return true;
    }
    if (a._type == OT_TABLE || a._type == OT_USERDATA || a._type == OT_INSTANCE) {
        MetaMethod mm = op == '+' ? MT_ADD : op == '-' ? MT_SUB : op == '*' ? MT_MUL
                      : op == '/' ? MT_DIV : MT_MODULO;
        Value fn;
        if (getMetaMethod(a, mm, fn)) {
            Value r;
            if (callMeta(fn, a, 1, &b, r)) {
                out = r;
                return true;
            }
        }
    }
    return raise("arith op %c on between '%s' and '%s'", op, typeName(a._type), typeName(b._type));
}

static std::string compareText(const Value& v) {
    switch (v._type) {
    case OT_STRING:
    case OT_INTEGER:
    case OT_FLOAT: return clip50(keyText(v));
    default: return typeName(v._type);
    }
}

bool SQVM::compare(const Value& a, const Value& b, int& result) {
    if (a._type == b._type) {
        if (a.rawEquals(b)) {
            result = 0;
            return true;
        }
        switch (a._type) {
        case OT_STRING: {
            int r = strcmp(a.str()->data, b.str()->data);
            result = r < 0 ? -1 : (r > 0 ? 1 : 0);
            return true;
        }
        case OT_INTEGER: {
            SQInteger d = SQInteger(uint32_t(a.i()) - uint32_t(b.i()));
            result = d < 0 ? -1 : (d > 0 ? 1 : 0);
            return true;
        }
        case OT_FLOAT: result = a.f() < b.f() ? -1 : 1; return true;
        case OT_TABLE:
        case OT_USERDATA:
        case OT_INSTANCE: {
            Value fn;
            if (getMetaMethod(a, MT_CMP, fn)) {
                Value r;
                if (callMeta(fn, a, 1, &b, r) && r._type == OT_INTEGER) {
                    result = r.i() < 0 ? -1 : (r.i() > 0 ? 1 : 0);
                    return true;
                }
            }
            break;
        }
        default: break;
        }
    } else if (a.isNumeric() && b.isNumeric()) {
        SQFloat x = a.toFloat(), y = b.toFloat();
        result = x < y ? -1 : (x == y ? 0 : 1);
        return true;
    } else if (a._type == OT_NULL) {
        result = -1;
        return true;
    } else if (b._type == OT_NULL) {
        result = 1;
        return true;
    }
    return raise("comparsion between '%s' and '%s'", compareText(a).c_str(),
                 compareText(b).c_str());
}

std::string SQVM::toStdString(const Value& v) {
    Value s;
    if (!toStringValue(v, s)) return std::string();
    return std::string(s.str()->data, s.str()->len);
}

bool SQVM::toStringValue(const Value& v, Value& out) {
    char buf[64];
    switch (v._type) {
    case OT_STRING: out = v; return true;
    case OT_INTEGER: snprintf(buf, sizeof buf, "%d", v.i()); break;
    case OT_FLOAT: {
        std::string s = formatFloat(double(v.f()), "%g");
        out = newString(s.data(), int(s.size()));
        return true;
    }
    case OT_BOOL: snprintf(buf, sizeof buf, "%s", v.i() ? "true" : "false"); break;
    case OT_TABLE:
    case OT_USERDATA:
    case OT_INSTANCE: {
        Value fn;
        if (getMetaMethod(v, MT_TOSTRING, fn)) {
            Value r;
            if (callMeta(fn, v, 0, nullptr, r) && r._type == OT_STRING) {
                out = r;
                return true;
            }
        }
    }
        [[fallthrough]];
    default:
        snprintf(buf, sizeof buf, "(%s : 0x%08X)", typeName(v._type),
                 unsigned(reinterpret_cast<uintptr_t>(v._unVal.pRefCounted)));
        break;
    }
    out = newString(buf);
    return true;
}

bool SQVM::typeOf(const Value& v, Value& out) {
    if (v._type == OT_TABLE || v._type == OT_USERDATA || v._type == OT_INSTANCE) {
        Value fn;
        if (getMetaMethod(v, MT_TYPEOF, fn)) {
            if (callMeta(fn, v, 0, nullptr, out)) return true;
        }
    }
    out = newString(typeName(v._type));
    return true;
}

bool SQVM::cloneValue(const Value& v, Value& out) {
    switch (v._type) {
    case OT_TABLE: out = Value(v.table()->clone()); break;
    case OT_ARRAY: {
        Array* a = new Array(shared, 0);
        a->items = v.array()->items;
        out = Value(a);
        break;
    }
    case OT_INSTANCE: {
        Instance* src = v.instance();
        Instance* inst = new Instance(shared, src->cls);
        inst->fields = src->fields;
        out = Value(inst);
        break;
    }
    default: return raise("cloning a %s", typeName(v._type));
    }
    Value fn;
    if (getMetaMethod(out, MT_CLONED, fn)) {
        Value r;
        callMeta(fn, out, 1, &v, r);
    }
    return true;
}

bool SQVM::createInstance(Class* cls, Value& out) {
    cls->lock();
    out = Value(new Instance(shared, cls));
    return true;
}

// Construction started from native code (the host, a native's call); script
// code constructs inline in the dispatch loop. A generator constructor is
// only checked for its argument count: its body never runs.
bool SQVM::callClass(const Value& cls, int argsBase, int nargs, Value& out, bool raiseError) {
    Value inst;
    createInstance(cls.cls(), inst);
    Value ctor;
    if (cls.cls()->getMember(shared->constructorName, ctor)) {
        if (ctor._type == OT_CLOSURE && ctor.closure()->proto->generator) {
            const FuncProto* p = ctor.closure()->proto;
            if (p->varargs ? nargs < p->numParams : nargs != p->numParams) {
                return raise("wrong number of parameters");
            }
        } else {
            stack[argsBase] = inst;
            Value r;
            if (!call(ctor, argsBase, nargs, r, raiseError)) return false;
        }
    }
    out = inst;
    return true;
}

bool SQVM::delegateTo(const Value& table, const Value& del) {
    if (table._type != OT_TABLE) return raise("delegating a '%s'", typeName(table._type));
    if (del._type == OT_NULL) {
        table.table()->setDelegate(nullptr);
        return true;
    }
    if (del._type != OT_TABLE) return raise("using '%s' as delegate", typeName(del._type));
    size_t steps = 0;
    for (Table* d = del.table(); d; d = d->delegate, steps++) {
        if (d == table.table()) return raise("delegate cycle detected");
    }
    chargeSteps(steps);
    table.table()->setDelegate(del.table());
    return true;
}

bool SQVM::iterate(const Value& c, Value& iter, Value& key, Value& val, bool& done) {
    done = false;
    switch (c._type) {
    case OT_TABLE: {
        Table* t = c.table();
        int from = iter._type == OT_INTEGER ? iter.i() : 0;
        int idx = t->nextIndex(from);
        if (idx < 0) {
            done = true;
            return true;
        }
        key = t->nodes[idx].key;
        val = t->nodes[idx].val;
        derefWeak(val);
        iter.setInt(idx + 1);
        return true;
    }
    case OT_ARRAY: {
        int i = iter._type == OT_INTEGER ? iter.i() : 0;
        auto& items = c.array()->items;
        if (i < 0 || size_t(i) >= items.size()) {
            done = true;
            return true;
        }
        key.setInt(i);
        val = items[size_t(i)];
        derefWeak(val);
        iter.setInt(i + 1);
        return true;
    }
    case OT_STRING: {
        int i = iter._type == OT_INTEGER ? iter.i() : 0;
        String* s = c.str();
        if (i < 0 || uint32_t(i) >= s->len) {
            done = true;
            return true;
        }
        key.setInt(i);
        val.setInt(SQInteger(static_cast<signed char>(s->data[i])));
        iter.setInt(i + 1);
        return true;
    }
    case OT_CLASS: {
        Class* cl = c.cls();
        int from = iter._type == OT_INTEGER ? iter.i() : 0;
        int idx = cl->members->nextIndex(from);
        if (idx < 0) {
            done = true;
            return true;
        }
        key = cl->members->nodes[idx].key;
        SQInteger m = cl->members->nodes[idx].val.i();
        val = (m & 1) ? cl->methods[size_t(m >> 1)].val : cl->fields[size_t(m >> 1)].val;
        derefWeak(val);
        iter.setInt(idx + 1);
        return true;
    }
    case OT_INSTANCE:
    case OT_USERDATA: {
        Value fn;
        if (!getMetaMethod(c, MT_NEXTI, fn)) {
            if (c._type == OT_INSTANCE) return raise("_nexti failed");
            return false;
        }
        Value next;
        if (!callMeta(fn, c, 1, &iter, next)) return raise("_nexti failed");
        if (next.isNull()) {
            done = true;
            return true;
        }
        if (!vmTryGet(this, c, next, val, false)) return raise("_nexti returned an invalid idx");
        key = next;
        iter = next;
        return true;
    }
    case OT_GENERATOR: {
        Generator* g = c.generator();
        if (g->state == Generator::Dead) {
            done = true;
            return true;
        }
        if (g->state == Generator::Running) return raise("cannot iterate generator");
        iter.setInt(iter._type == OT_INTEGER ? iter.i() + 1 : 0);
        key = iter;
        return resumeGenerator(c, val);
    }
    default: return raise("cannot iterate %s", typeName(c._type));
    }
}
