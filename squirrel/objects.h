// Heap objects of the engine. Objects that can hold references to other
// objects are GcObjects: they sit on the shared state's list so the cycle
// collector can find what reference counting alone cannot free.
#pragma once

#include <vector>

#include "squirrel/value.h"

namespace squirrel {

struct GcObject;
using GcVisitor = void (*)(GcObject*, void*);

struct GcObject : Object {
    GcObject* gcPrev = nullptr;
    GcObject* gcNext = nullptr;
    SharedState* shared;
    uint32_t mark = 0;
    int32_t gcRefs = 0;  // scratch count of the cycle collector
    bool finalized = false;  // children already dropped by the collector
    GcObject(SQObjectType t, SharedState* ss);
    virtual ~GcObject();
    // Drops every reference this object holds (used to break cycles).
    virtual void clearRefs() = 0;
    virtual void traverse(GcVisitor fn, void* ud) = 0;
};

void visitValue(const Value& v, GcVisitor fn, void* ud);

struct String : Object {
    SharedState* shared;
    String* chain;  // next string with the same intern bucket
    uint32_t len;
    SQHash hash;
    char data[1];  // len bytes plus a terminating NUL
    String() : Object(OT_STRING) {}
};

SQHash hashBytes(const char* s, uint32_t len);

struct TableNode {
    Value key;
    Value val;
    TableNode* next = nullptr;
};

// Node blocks of dead or resized tables, kept for the next table of the
// same size: a table rebuilt every tick then reuses its blocks instead of
// going back to the allocator (and, for large blocks, to the system). Blocks
// are held all-null; a few per size, a few MiB in all.
struct NodeCache {
    static constexpr int kClasses = 32;
    static constexpr int kPerClass = 2;
    static constexpr size_t kMaxBytes = size_t(8) << 20;
    TableNode* blocks[kClasses][kPerClass] = {};
    size_t bytes = 0;
    NodeCache() = default;
    NodeCache(const NodeCache&) = delete;
    NodeCache& operator=(const NodeCache&) = delete;
    ~NodeCache();
    // A null block of `size` nodes (a power of two), fresh or kept.
    TableNode* take(uint32_t size);
    // Nulls the block's nodes, then keeps it or frees it.
    void give(TableNode* block, uint32_t size);
};

// Chained scatter table with the node layout that fixes foreach order.
struct Table : GcObject {
    TableNode* nodes = nullptr;
    uint32_t capacity = 0;
    uint32_t used = 0;
    TableNode* firstFree = nullptr;
    Table* delegate = nullptr;

    Table(SharedState* ss, uint32_t initialSize);
    ~Table() override;
    void clearRefs() override;
    void traverse(GcVisitor fn, void* ud) override;

    TableNode* find(const Value& key) const {
        if (key._type == OT_STRING) return findString(static_cast<const String*>(key.obj()));
        return findOther(key);
    }
    TableNode* findString(const String* key) const {
        TableNode* n = &nodes[key->hash & (capacity - 1)];
        do {
            if (n->key._unVal.pRefCounted == key && n->key._type == OT_STRING) return n;
            n = n->next;
        } while (n);
        return nullptr;
    }
    bool get(const Value& key, Value& out) const;
    // Creates or overwrites; key must not be null.
    void newSlot(const Value& key, const Value& val);
    bool set(const Value& key, const Value& val);  // only existing keys
    bool remove(const Value& key);
    // Iteration: returns the next node index >= from with a key, or -1.
    int nextIndex(int from) const;
    Table* clone() const;
    void setDelegate(Table* d);

private:
    TableNode* findOther(const Value& key) const;
    void allocNodes(uint32_t size);
    void rehash(bool force);
    TableNode* placeKey(Value&& key);
    bool claimFree();
    TableNode* mainPosition(const Value& key) const;
};

struct Array : GcObject {
    std::vector<Value> items;
    Array(SharedState* ss, int size) : GcObject(OT_ARRAY, ss), items(size) {}
    void clearRefs() override { items.clear(); }
    void traverse(GcVisitor fn, void* ud) override {
        for (auto& v : items) visitValue(v, fn, ud);
    }
};

struct LocalVarInfo {
    Value name;
    int reg;
    int startPc;
    int endPc;
};

struct LineInfo {
    int line;
    int pc;
};

// Where a closure's free variable comes from when the closure is made.
struct OuterInfo {
    enum Kind : uint8_t { Local, Outer, Slot } kind;
    int index;   // register, enclosing outer index, or constant index of the name
    Value name;
};

struct Instr {
    uint8_t op;
    uint8_t a;
    uint8_t b;
    uint8_t c;
    int32_t arg;
};

struct FuncProto : Object {
    std::vector<Instr> code;
    std::vector<Value> constants;
    std::vector<FuncProto*> functions;
    std::vector<OuterInfo> outers;
    std::vector<LocalVarInfo> locals;
    std::vector<LineInfo> lines;
    std::vector<Value> params;  // names, "this" first
    Value name;
    Value source;
    int numParams = 1;
    int stackSize = 1;
    bool varargs = false;
    bool generator = false;
    FuncProto() : Object(OT_FUNCPROTO) {}
    ~FuncProto();
    int lineAt(int pc) const;
};

struct Closure : GcObject {
    FuncProto* proto;
    std::vector<Value> outers;
    Value env;  // weak reference of a bound environment, or null
    Closure(SharedState* ss, FuncProto* p);
    ~Closure() override;
    void clearRefs() override {
        outers.clear();
        env.setNull();
    }
    void traverse(GcVisitor fn, void* ud) override {
        for (auto& v : outers) visitValue(v, fn, ud);
        visitValue(env, fn, ud);
    }
};

struct NativeClosure : GcObject {
    SQFUNCTION fn;
    std::vector<Value> outers;
    std::vector<int> typeCheck;
    int paramsCheck = 0;
    Value name;
    Value env;
    NativeClosure(SharedState* ss, SQFUNCTION f) : GcObject(OT_NATIVECLOSURE, ss), fn(f) {}
    void clearRefs() override {
        outers.clear();
        env.setNull();
    }
    void traverse(GcVisitor fn, void* ud) override {
        for (auto& v : outers) visitValue(v, fn, ud);
        visitValue(env, fn, ud);
    }
};

enum MetaMethod {
    MT_ADD, MT_SUB, MT_MUL, MT_DIV, MT_UNM, MT_MODULO, MT_SET, MT_GET, MT_TYPEOF, MT_NEXTI,
    MT_CMP, MT_CALL, MT_CLONED, MT_NEWSLOT, MT_DELSLOT, MT_TOSTRING, MT_NEWMEMBER, MT_INHERITED,
    MT_LAST
};

struct ClassMember {
    Value val;
    Value attrs;
};

// Member values in the members table are integers: index << 1 | 1 for a
// method (shared) and index << 1 for a field (copied into each instance).
struct Class : GcObject {
    Class* base = nullptr;
    Table* members;
    std::vector<ClassMember> fields;
    std::vector<ClassMember> methods;
    Value metaMethods[MT_LAST];
    Value attributes;
    SQUserPointer typeTag = nullptr;
    SQRELEASEHOOK hook = nullptr;
    bool locked = false;
    Class(SharedState* ss, Class* base);
    ~Class() override;
    void clearRefs() override;
    void traverse(GcVisitor fn, void* ud) override;
    bool newSlot(const Value& key, const Value& val, bool isStatic);
    bool getMember(const Value& key, Value& out) const;
    void lock();
};

struct Instance : GcObject {
    Class* cls;
    std::vector<Value> fields;
    SQUserPointer userPointer = nullptr;
    SQRELEASEHOOK hook = nullptr;
    Instance(SharedState* ss, Class* c);
    ~Instance() override;
    void clearRefs() override;
    void traverse(GcVisitor fn, void* ud) override;
    void runHook();
    bool get(const Value& key, Value& out) const;
    bool set(const Value& key, const Value& val);
    bool instanceOf(const Class* c) const;
};

struct WeakRef : Object {
    Object* target;
    SQObjectType targetType;
    explicit WeakRef(Object* t) : Object(OT_WEAKREF), target(t), targetType(t->type) {}
    Value get() const {
        if (!target) return Value();
        Value v;
        v._type = targetType;
        v._unVal.pRefCounted = target;
        addRef(target);
        return v;
    }
};

struct UserData : GcObject {
    Table* delegate = nullptr;
    SQUserPointer typeTag = nullptr;
    SQRELEASEHOOK hook = nullptr;
    uint32_t size;
    void* payload;
    UserData(SharedState* ss, uint32_t n);
    ~UserData() override;
    void clearRefs() override;
    void traverse(GcVisitor fn, void* ud) override;
};

struct CallInfo;

// Trap of a try block: where to jump and which register receives the error.
struct Trap {
    int stackBase;  // base of the frame that owns the trap
    int ciIndex;
    int targetPc;
    int errorReg;
};

struct Generator : GcObject {
    enum State { Suspended, Running, Dead } state = Suspended;
    Value closure;
    std::vector<Value> stack;  // frame registers while suspended
    std::vector<Value> vargs;
    std::vector<Trap> traps;   // relative to the frame while suspended
    int pc = 0;
    Generator(SharedState* ss, const Value& c) : GcObject(OT_GENERATOR, ss), closure(c) {}
    void clearRefs() override {
        closure.setNull();
        stack.clear();
        vargs.clear();
        state = Dead;
    }
    void traverse(GcVisitor fn, void* ud) override {
        visitValue(closure, fn, ud);
        for (auto& v : stack) visitValue(v, fn, ud);
        for (auto& v : vargs) visitValue(v, fn, ud);
    }
};

inline String* Value::str() const { return static_cast<String*>(obj()); }
inline Table* Value::table() const { return static_cast<Table*>(obj()); }
inline Array* Value::array() const { return static_cast<Array*>(obj()); }
inline Closure* Value::closure() const { return static_cast<Closure*>(obj()); }
inline NativeClosure* Value::native() const { return static_cast<NativeClosure*>(obj()); }
inline Class* Value::cls() const { return static_cast<Class*>(obj()); }
inline Instance* Value::instance() const { return static_cast<Instance*>(obj()); }
inline Generator* Value::generator() const { return static_cast<Generator*>(obj()); }
inline UserData* Value::userData() const { return static_cast<UserData*>(obj()); }
inline WeakRef* Value::weak() const { return static_cast<WeakRef*>(obj()); }
inline FuncProto* Value::proto() const { return static_cast<FuncProto*>(obj()); }

// Reads through a weak reference stored in a container.
inline void derefWeak(Value& v) {
    if (v._type == OT_WEAKREF) v = v.weak()->get();
}

Value makeWeakRef(const Value& v);

}  // namespace squirrel
