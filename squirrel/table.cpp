// Table with the node layout of the 2.1 series: iteration order (and so the
// order of foreach, clone and reports) follows from exactly this insertion
// and rehash procedure.
#include "squirrel/objects.h"
#include "squirrel/vm.h"

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

NodeCache::~NodeCache() {
    for (auto& cls : blocks) {
        for (TableNode* b : cls) delete[] b;
    }
}

static int sizeClass(uint32_t size) { return __builtin_ctz(size); }

TableNode* NodeCache::take(uint32_t size) {
    int c = sizeClass(size);
    for (TableNode*& b : blocks[c]) {
        if (b) {
            TableNode* block = b;
            b = nullptr;
            bytes -= sizeof(TableNode) * size;
            return block;
        }
    }
    return new TableNode[size];
}

void NodeCache::give(TableNode* block, uint32_t size) {
    for (uint32_t i = 0; i < size; i++) {
        block[i].key.setNull();
        block[i].val.setNull();
        block[i].next = nullptr;
    }
    size_t b = sizeof(TableNode) * size;
    if (bytes + b <= kMaxBytes) {
        for (TableNode*& slot : blocks[sizeClass(size)]) {
            if (!slot) {
                slot = block;
                bytes += b;
                return;
            }
        }
    }
    delete[] block;
}

Table::~Table() {
    shared->nodeCache.give(nodes, capacity);
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
    nodes = shared->nodeCache.take(size);
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

// Puts a key the table does not hold at its place in the 2.1 layout and
// returns its node; the value is the caller's to store.
TableNode* Table::placeKey(Value&& key) {
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
    mp->key = std::move(key);
    return mp;
}

// Moves firstFree down to a free node; false when none is left.
bool Table::claimFree() {
    for (;;) {
        if (firstFree->key.isNull() && firstFree->next == nullptr) return true;
        if (firstFree == nodes) return false;
        firstFree--;
    }
}

void Table::newSlot(const Value& key, const Value& val) {
    if (TableNode* e = find(key)) {
        e->val = val;
        return;
    }
    TableNode* mp = placeKey(Value(key));
    if (claimFree()) {
        mp->val = val;
        used++;
        return;
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
    // The keys are distinct and fewer than the nodes, so each goes straight
    // to its place (no lookup) and a free node is always left.
    used = 0;
    for (uint32_t i = 0; i < oldCap; i++) {
        if (old[i].key.isNull()) continue;
        TableNode* mp = placeKey(std::move(old[i].key));
        claimFree();
        mp->val = std::move(old[i].val);
        used++;
    }
    shared->nodeCache.give(old, oldCap);
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
