// Table with the node layout of the 2.1 series: iteration order (and so the
// order of foreach, clone and reports) follows from exactly this insertion
// and rehash procedure.
#include "squirrel/objects.h"

#include <cstdlib>

namespace squirrel {

namespace {

SQHash hashKey(const Value& key) {
    switch (key._type) {
    case OT_STRING: return key.str()->hash;
    case OT_INTEGER:
    case OT_BOOL: return SQHash(key._unVal.nInteger);
    case OT_FLOAT: {
        float f = key._unVal.fFloat;
        if (!(f > -2147483648.0f && f < 2147483648.0f)) return 0x80000000u;
        return SQHash(SQInteger(f));
    }
    default: return SQHash(reinterpret_cast<uintptr_t>(key._unVal.pRefCounted) >> 3);
    }
}

inline bool sameKey(const Value& a, const Value& b) { return a.rawEquals(b); }

}  // namespace

SQHash hashBytes(const char* s, uint32_t len) {
    SQHash h = len;
    SQHash step = (len >> 5) | 1;
    const signed char* p = reinterpret_cast<const signed char*>(s);
    for (SQHash l = len; l >= step; l -= step) {
        uint16_t c = uint16_t(int16_t(*p++));
        h = h ^ ((h << 5) + (h >> 2) + c);
    }
    return h;
}

Table::Table(SharedState* ss, uint32_t initialSize) : GcObject(OT_TABLE, ss) {
    uint32_t size = 4;
    while (size < initialSize) size <<= 1;
    allocNodes(size);
}

Table::~Table() {
    delete[] nodes;
    if (delegate) release(delegate);
}

void Table::clearRefs() {
    for (uint32_t i = 0; i < capacity; i++) {
        nodes[i].key.setNull();
        nodes[i].val.setNull();
    }
    if (delegate) {
        Table* d = delegate;
        delegate = nullptr;
        release(d);
    }
}

void Table::traverse(GcVisitor fn, void* ud) {
    for (uint32_t i = 0; i < capacity; i++) {
        visitValue(nodes[i].key, fn, ud);
        visitValue(nodes[i].val, fn, ud);
    }
    if (delegate) fn(delegate, ud);
}

void Table::allocNodes(uint32_t size) {
    nodes = new TableNode[size];
    capacity = size;
    firstFree = &nodes[size - 1];
}

TableNode* Table::mainPosition(const Value& key) const {
    return &nodes[hashKey(key) & (capacity - 1)];
}

TableNode* Table::findOther(const Value& key) const {
    TableNode* n = mainPosition(key);
    do {
        if (sameKey(n->key, key)) return n;
        n = n->next;
    } while (n);
    return nullptr;
}

bool Table::get(const Value& key, Value& out) const {
    TableNode* n = find(key);
    if (!n) return false;
    out = n->val;
    return true;
}

bool Table::set(const Value& key, const Value& val) {
    TableNode* n = find(key);
    if (!n) return false;
    n->val = val;
    return true;
}

void Table::newSlot(const Value& key, const Value& val) {
    if (TableNode* e = find(key)) {
        e->val = val;
        return;
    }
    TableNode* mp = mainPosition(key);
    TableNode* n = firstFree;
    if (!mp->key.isNull()) {
        TableNode* othern = mainPosition(mp->key);
        if (mp > n && othern != mp) {
            while (othern->next != mp) othern = othern->next;
            othern->next = n;
            n->key = std::move(mp->key);
            n->val = std::move(mp->val);
            n->next = mp->next;
            mp->key.setNull();
            mp->val.setNull();
            mp->next = nullptr;
        } else {
            n->next = mp->next;
            mp->next = n;
            mp = n;
        }
    }
    mp->key = key;
    for (;;) {
        if (firstFree->key.isNull() && firstFree->next == nullptr) {
            mp->val = val;
            used++;
            return;
        }
        if (firstFree == nodes) break;
        firstFree--;
    }
    Value keepVal = val;  // val may live in the nodes being rehashed
    Value keepKey = key;
    rehash(true);
    newSlot(keepKey, keepVal);
}

void Table::rehash(bool force) {
    uint32_t oldSize = capacity < 4 ? 4 : capacity;
    uint32_t oldCap = capacity;
    TableNode* old = nodes;
    uint32_t n = used;
    if (n >= oldSize - oldSize / 4) {
        allocNodes(oldSize * 2);
    } else if (n <= oldSize / 4 && oldSize > 4) {
        allocNodes(oldSize / 2);
    } else if (force) {
        allocNodes(oldSize);
    } else {
        return;
    }
    used = 0;
    for (uint32_t i = 0; i < oldCap; i++) {
        if (!old[i].key.isNull()) newSlot(old[i].key, old[i].val);
    }
    delete[] old;
}

bool Table::remove(const Value& key) {
    TableNode* n = find(key);
    if (!n) return false;
    Value k = std::move(n->key);
    Value v = std::move(n->val);
    n->key.setNull();
    n->val.setNull();
    used--;
    rehash(false);
    return true;
}

int Table::nextIndex(int from) const {
    for (uint32_t i = uint32_t(from); i < capacity; i++) {
        if (!nodes[i].key.isNull()) return int(i);
    }
    return -1;
}

Table* Table::clone() const {
    Table* t = new Table(shared, capacity);
    for (uint32_t i = 0; i < capacity; i++) {
        if (!nodes[i].key.isNull()) t->newSlot(nodes[i].key, nodes[i].val);
    }
    if (delegate) t->setDelegate(delegate);
    return t;
}

void Table::setDelegate(Table* d) {
    if (d) addRef(d);
    if (delegate) release(delegate);
    delegate = d;
}

}  // namespace squirrel
