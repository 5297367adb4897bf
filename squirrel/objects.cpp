// Object lifetime: creation, destruction by reference count, string
// interning and the cycle collector.
#include <cstdlib>
#include <new>

#include "squirrel/vm.h"
#include "squirrel/vm_local.h"

namespace squirrel {

static void* shared_metaName(SharedState* ss, int i) { return ss->metaNames[i].raw(); }

namespace {

constexpr uint32_t kDeadMark = 0xFFFFFFFFu;
constexpr int kMaxDestroyDepth = 64;

// Destruction of long chains is flattened: past a depth, objects wait in a
// queue that the outermost destroyObject drains, so the C++ stack stays small.
thread_local int destroyDepth = 0;
thread_local std::vector<Object*> pendingDestroy;

void destroyNow(Object* o) {
    if (o->weakRef) {
        o->weakRef->target = nullptr;
        o->weakRef = nullptr;
    }
    switch (o->type) {
    case OT_STRING: {
        String* s = static_cast<String*>(o);
        s->shared->unlinkString(s);
        s->~String();
        std::free(s);
        return;
    }
    case OT_WEAKREF: {
        WeakRef* w = static_cast<WeakRef*>(o);
        if (w->target) w->target->weakRef = nullptr;
        delete w;
        return;
    }
    case OT_FUNCPROTO: delete static_cast<FuncProto*>(o); return;
    default: break;
    }
    GcObject* g = static_cast<GcObject*>(o);
    if (o->type == OT_INSTANCE) static_cast<Instance*>(g)->runHook();
    SharedState* ss = g->shared;
    if (ss && ss->collecting) {
        // Keep the memory until the sweep ends: the sweep still holds its address.
        g->mark = kDeadMark;
        g->gcPrev->gcNext = g->gcNext;
        g->gcNext->gcPrev = g->gcPrev;
        g->gcPrev = g->gcNext = g;
        g->clearRefs();
        ss->deferredFree.push_back(g);
        return;
    }
    delete g;
}

}  // namespace

void destroyObject(Object* o) {
    if (destroyDepth >= kMaxDestroyDepth) {
        pendingDestroy.push_back(o);
        return;
    }
    destroyDepth++;
    destroyNow(o);
    if (destroyDepth == 1) {
        while (!pendingDestroy.empty()) {
            Object* p = pendingDestroy.back();
            pendingDestroy.pop_back();
            destroyNow(p);
        }
    }
    destroyDepth--;
}

GcObject::GcObject(SQObjectType t, SharedState* ss) : Object(t), shared(ss) {
    if (ss) {
        gcNext = ss->gcHead.gcNext;
        gcPrev = &ss->gcHead;
        gcNext->gcPrev = this;
        ss->gcHead.gcNext = this;
    } else {
        gcPrev = gcNext = this;
    }
}

GcObject::~GcObject() {
    if (gcPrev) {
        gcPrev->gcNext = gcNext;
        gcNext->gcPrev = gcPrev;
    }
}

void visitValue(const Value& v, GcVisitor fn, void* ud) {
    switch (v._type) {
    case OT_TABLE:
    case OT_ARRAY:
    case OT_USERDATA:
    case OT_CLOSURE:
    case OT_NATIVECLOSURE:
    case OT_GENERATOR:
    case OT_THREAD:
    case OT_CLASS:
    case OT_INSTANCE: fn(static_cast<GcObject*>(v.obj()), ud); break;
    default: break;
    }
}

namespace {

void decRef(GcObject* o, void*) { o->gcRefs--; }

// Marking uses an explicit work list so long chains cannot exhaust the C++ stack.
struct MarkState {
    uint32_t mark;
    std::vector<GcObject*> work;
};

void pushReachable(GcObject* o, void* ud) {
    MarkState* st = static_cast<MarkState*>(ud);
    if (o->mark == st->mark || o->mark == kDeadMark) return;
    o->mark = st->mark;
    st->work.push_back(o);
}

void markReachable(GcObject* o, MarkState& st) {
    pushReachable(o, &st);
    while (!st.work.empty()) {
        GcObject* g = st.work.back();
        st.work.pop_back();
        g->traverse(pushReachable, &st);
    }
}

}  // namespace

// Trial deletion: an object whose reference count exceeds the references
// other collectable objects hold on it is referenced from outside (the host,
// a C++ frame, a string table) and is a root. Everything not reachable from
// a root is garbage. When closing, everything is garbage.
SQInteger collectGarbage(SharedState* ss, bool closing) {
    GcObject* head = &ss->gcHead;
    uint32_t m = ++ss->gcMark;
    if (m == kDeadMark || m == 0) m = ss->gcMark = 1;
    if (!closing) {
        for (GcObject* o = head->gcNext; o != head; o = o->gcNext) o->gcRefs = int32_t(o->refCount);
        for (GcObject* o = head->gcNext; o != head; o = o->gcNext) o->traverse(decRef, nullptr);
        MarkState st{m, {}};
        for (GcObject* o = head->gcNext; o != head; o = o->gcNext) {
            if (o->gcRefs > 0) markReachable(o, st);
        }
    }
    std::vector<GcObject*> garbage;
    for (GcObject* o = head->gcNext; o != head; o = o->gcNext) {
        if (o->mark != m) garbage.push_back(o);
    }
    SQInteger count = 0;
    ss->collecting = true;
    for (GcObject* o : garbage) {
        if (o->mark == kDeadMark) continue;
        count++;
        addRef(o);
        o->clearRefs();
        release(o);
    }
    ss->collecting = false;
    std::vector<GcObject*> dead;
    dead.swap(ss->deferredFree);
    for (GcObject* o : dead) delete o;
    return count;
}

Value makeWeakRef(const Value& v) {
    if (!v.isRefCounted()) return v;
    Object* o = v.obj();
    if (o->type == OT_WEAKREF) {
        // A weak reference to a weak reference is a weak reference like any other.
    }
    if (!o->weakRef) o->weakRef = new WeakRef(o);
    return Value(o->weakRef);
}

const char* typeName(SQObjectType t) {
    switch (t) {
    case OT_NULL: return "null";
    case OT_INTEGER: return "integer";
    case OT_FLOAT: return "float";
    case OT_BOOL: return "bool";
    case OT_STRING: return "string";
    case OT_TABLE: return "table";
    case OT_ARRAY: return "array";
    case OT_USERDATA: return "userdata";
    case OT_CLOSURE: return "function";
    case OT_NATIVECLOSURE: return "function";
    case OT_GENERATOR: return "generator";
    case OT_USERPOINTER: return "userdata";
    case OT_THREAD: return "thread";
    case OT_FUNCPROTO: return "function";
    case OT_CLASS: return "class";
    case OT_INSTANCE: return "instance";
    case OT_WEAKREF: return "weakref";
    }
    return "unknown";
}

FuncProto::~FuncProto() {
    for (FuncProto* f : functions) release(f);
}

int FuncProto::lineAt(int pc) const {
    int line = lines.empty() ? 0 : lines[0].line;
    for (const LineInfo& li : lines) {
        if (li.pc > pc) break;
        line = li.line;
    }
    return line;
}

Closure::Closure(SharedState* ss, FuncProto* p) : GcObject(OT_CLOSURE, ss), proto(p) {
    addRef(p);
}

Closure::~Closure() { release(proto); }

Class::Class(SharedState* ss, Class* b) : GcObject(OT_CLASS, ss), base(b) {
    if (b) {
        addRef(b);
        members = b->members->clone();
        fields = b->fields;
        methods = b->methods;
        for (int i = 0; i < MT_LAST; i++) metaMethods[i] = b->metaMethods[i];
    } else {
        members = new Table(ss, 4);
    }
    addRef(members);
}

Class::~Class() {
    if (hook) hook(typeTag, 0);
    release(members);
    if (base) release(base);
}

void Class::clearRefs() {
    fields.clear();
    methods.clear();
    for (auto& m : metaMethods) m.setNull();
    attributes.setNull();
    members->clearRefs();
    if (base) {
        Class* b = base;
        base = nullptr;
        release(b);
    }
}

void Class::traverse(GcVisitor fn, void* ud) {
    fn(members, ud);
    for (auto& f : fields) {
        visitValue(f.val, fn, ud);
        visitValue(f.attrs, fn, ud);
    }
    for (auto& f : methods) {
        visitValue(f.val, fn, ud);
        visitValue(f.attrs, fn, ud);
    }
    for (auto& v : metaMethods) visitValue(v, fn, ud);
    visitValue(attributes, fn, ud);
    if (base) fn(base, ud);
}

bool Class::getMember(const Value& key, Value& out) const {
    TableNode* n = members->find(key);
    if (!n) return false;
    SQInteger idx = n->val.i();
    out = (idx & 1) ? methods[idx >> 1].val : fields[idx >> 1].val;
    derefWeak(out);
    return true;
}

void Class::lock() {
    for (Class* c = this; c; c = c->base) c->locked = true;
}

Instance::Instance(SharedState* ss, Class* c) : GcObject(OT_INSTANCE, ss), cls(c) {
    addRef(c);
    fields.reserve(c->fields.size());
    for (auto& f : c->fields) fields.push_back(f.val);
}

Instance::~Instance() {
    runHook();
    release(cls);
}

void Instance::runHook() {
    if (hook) {
        SQRELEASEHOOK h = hook;
        hook = nullptr;
        h(userPointer, 0);
    }
}

void Instance::clearRefs() { fields.clear(); }

void Instance::traverse(GcVisitor fn, void* ud) {
    for (auto& f : fields) visitValue(f, fn, ud);
    fn(cls, ud);
}

bool Instance::get(const Value& key, Value& out) const {
    TableNode* n = cls->members->find(key);
    if (!n) return false;
    SQInteger idx = n->val.i();
    out = (idx & 1) ? cls->methods[idx >> 1].val : fields[idx >> 1];
    derefWeak(out);
    return true;
}

bool Instance::set(const Value& key, const Value& val) {
    TableNode* n = cls->members->find(key);
    if (!n) return false;
    SQInteger idx = n->val.i();
    if (idx & 1) return false;
    fields[idx >> 1] = val;
    return true;
}

bool Instance::instanceOf(const Class* c) const {
    for (const Class* k = cls; k; k = k->base) {
        if (k == c) return true;
    }
    return false;
}

UserData::UserData(SharedState* ss, uint32_t n) : GcObject(OT_USERDATA, ss), size(n) {
    payload = std::malloc(n ? n : 1);
}

UserData::~UserData() {
    if (hook) hook(payload, SQInteger(size));
    std::free(payload);
    if (delegate) release(delegate);
}

void UserData::clearRefs() {
    if (delegate) {
        Table* d = delegate;
        delegate = nullptr;
        release(d);
    }
}

void UserData::traverse(GcVisitor fn, void* ud) {
    if (delegate) fn(delegate, ud);
}

SharedState::SharedState() {
    gcHead.gcPrev = gcHead.gcNext = &gcHead;
    strings.assign(256, nullptr);
}

SharedState::~SharedState() { gcHead.gcPrev = gcHead.gcNext = nullptr; }

Value SharedState::newString(const char* s, int len) {
    if (len < 0) len = int(strlen(s));
    SQHash h = hashBytes(s, uint32_t(len));
    size_t bucket = h & (strings.size() - 1);
    for (String* p = strings[bucket]; p; p = p->chain) {
        if (p->hash == h && p->len == uint32_t(len) && memcmp(p->data, s, size_t(len)) == 0) {
            return Value(p);
        }
    }
    String* str = allocString(uint32_t(len), h);
    memcpy(str->data, s, size_t(len));
    return intern(str);
}

// The text x + y, interned, without building it first when it exists
// already; hashBytes reads a prefix only, so the hash needs no copy.
Value SharedState::concat(const String* x, const String* y) {
    uint32_t len = x->len + y->len;
    SQHash h = len;
    SQHash step = (len >> 5) | 1;
    uint32_t i = 0;
    for (SQHash l = len; l >= step; l -= step, i++) {
        char ch = i < x->len ? x->data[i] : y->data[i - x->len];
        uint16_t c = uint16_t(int16_t(static_cast<signed char>(ch)));
        h = h ^ ((h << 5) + (h >> 2) + c);
    }
    size_t bucket = h & (strings.size() - 1);
    for (String* p = strings[bucket]; p; p = p->chain) {
        if (p->hash == h && p->len == len && memcmp(p->data, x->data, x->len) == 0 &&
            memcmp(p->data + x->len, y->data, y->len) == 0) {
            return Value(p);
        }
    }
    String* str = allocString(len, h);
    memcpy(str->data, x->data, x->len);
    memcpy(str->data + x->len, y->data, y->len);
    return intern(str);
}

String* SharedState::allocString(uint32_t len, SQHash h) {
    void* mem = std::malloc(sizeof(String) + size_t(len));
    if (!mem) throw std::bad_alloc();
    String* str = new (mem) String();
    str->shared = this;
    str->len = len;
    str->hash = h;
    str->data[len] = 0;
    return str;
}

Value SharedState::intern(String* str) {
    size_t bucket = str->hash & (strings.size() - 1);
    str->chain = strings[bucket];
    strings[bucket] = str;
    if (++stringCount > strings.size()) {
        std::vector<String*> grown(strings.size() * 2, nullptr);
        for (String* head : strings) {
            while (head) {
                String* next = head->chain;
                size_t b = head->hash & (grown.size() - 1);
                head->chain = grown[b];
                grown[b] = head;
                head = next;
            }
        }
        strings.swap(grown);
    }
    return Value(str);
}

void SharedState::unlinkString(String* s) {
    String** p = &strings[s->hash & (strings.size() - 1)];
    while (*p != s) p = &(*p)->chain;
    *p = s->chain;
    stringCount--;
}

}  // namespace squirrel

namespace squirrel {

bool Class::newSlot(const Value& key, const Value& val, bool isStatic) {
    if (locked) return false;
    TableNode* n = members->find(key);
    if (n && !(n->val.i() & 1)) {
        fields[size_t(n->val.i() >> 1)].val = val;
        return true;
    }
    bool isFunction = val._type == OT_CLOSURE || val._type == OT_NATIVECLOSURE;
    if (isFunction || isStatic) {
        if (isFunction && key._type == OT_STRING) {
            for (int i = 0; i < MT_LAST; i++) {
                if (shared && key.raw() == shared_metaName(shared, i)) {
                    metaMethods[i] = val;
                    return true;
                }
            }
        }
        if (!n) {
            members->newSlot(key, Value::integer(SQInteger(methods.size() << 1) | 1));
            methods.push_back(ClassMember{val, Value()});
        } else {
            methods[size_t(n->val.i() >> 1)].val = val;
        }
        return true;
    }
    members->newSlot(key, Value::integer(SQInteger(fields.size() << 1)));
    fields.push_back(ClassMember{val, Value()});
    return true;
}

}  // namespace squirrel
