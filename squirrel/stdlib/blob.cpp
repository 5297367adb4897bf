// The script `blob` class (an in-memory byte stream), its byte-swap and
// cast helpers, and the C helpers hosts use to exchange bytes with it.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "squirrel/stdlib/messages.h"
#include "squirrel/stdlib/stdlib_local.h"
#include "sqstdblob.h"

namespace sqstd {

namespace {

constexpr char kBlobRegistryName[] = "std_blob";

// `size` bytes are visible; `capacity` bytes are allocated and zeroed
// beyond `size`. resize() changes the capacity and only ever shrinks the
// size: a larger blob shows its new bytes once they are written.
class BlobStream final : public Stream {
public:
    ~BlobStream() override { std::free(bytes); }

    bool resize(SQInteger newCapacity) {
        // At least one byte, so an empty blob still has an address to hand out.
        size_t allocation = newCapacity > 0 ? size_t(newCapacity) : 1;
        void* grown = std::realloc(bytes, allocation);
        if (!grown) return false;
        bytes = static_cast<uint8_t*>(grown);
        if (newCapacity > capacity) {
            std::memset(bytes + capacity, 0, size_t(newCapacity - capacity));
        }
        capacity = newCapacity;
        if (size > capacity) size = capacity;
        if (pos > size) pos = size;
        return true;
    }

    SQInteger read(void* buffer, SQInteger wanted) override {
        SQInteger n = wanted < size - pos ? wanted : size - pos;
        if (n <= 0) return 0;
        std::memcpy(buffer, bytes + pos, size_t(n));
        pos += n;
        return n;
    }

    SQInteger write(const void* buffer, SQInteger count) override {
        if (count <= 0) return 0;
        int64_t end = int64_t(pos) + count;
        if (end > INT_MAX) return 0;
        if (end > capacity) {
            int64_t grown = int64_t(capacity) * 2;
            if (grown < end) grown = end;
            if (grown > INT_MAX) grown = INT_MAX;
            if (!resize(SQInteger(grown))) return 0;
        }
        std::memcpy(bytes + pos, buffer, size_t(count));
        pos = SQInteger(end);
        if (pos > size) size = pos;
        return count;
    }

    bool flush() override { return true; }
    SQInteger tell() override { return pos; }
    SQInteger len() override { return size; }

    SQInteger seek(SQInteger offset, SeekOrigin origin) override {
        int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? pos : size;
        int64_t target = base + offset;
        if (target < 0 || target > size) return -1;
        pos = SQInteger(target);
        return 0;
    }

    bool isValid() const override { return bytes != nullptr; }
    bool eos() override { return pos == size; }

    uint8_t* bytes = nullptr;
    SQInteger size = 0;
    SQInteger capacity = 0;
    SQInteger pos = 0;
};

// Null (with the error set) unless `this` is a live blob.
BlobStream* selfBlob(HSQUIRRELVM v, SQInteger idx = 1) {
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, idx, &p, blobTypeTag()))) return nullptr;
    Stream* stream = static_cast<Stream*>(p);
    if (!stream || !stream->isValid()) {
        sq_throwerror(v, kStreamInvalid);
        return nullptr;
    }
    return static_cast<BlobStream*>(stream);
}

BlobStream* newBlob(SQInteger size) {
    BlobStream* blob = new BlobStream;
    if (!blob->resize(size)) {
        delete blob;
        return nullptr;
    }
    blob->size = size;
    return blob;
}

SQInteger blob_constructor(HSQUIRRELVM v) {
    SQInteger size = 0;
    if (sq_gettop(v) > 1) sq_getinteger(v, 2, &size);
    if (size < 0) return sq_throwerror(v, kNegativeBlobSize);
    BlobStream* blob = size > sq_getsizelimit(v) ? nullptr : newBlob(size);
    if (!blob) return sq_throwerror(v, kResizeFailed);
    if (!attachStream(v, 1, blobTypeTag(), blob)) {
        delete blob;
        return SQ_ERROR;
    }
    return 0;
}

SQInteger blob_resize(HSQUIRRELVM v) {
    BlobStream* self = selfBlob(v);
    if (!self) return SQ_ERROR;
    SQInteger size = 0;
    sq_getinteger(v, 2, &size);
    if (size < 0 || size > sq_getsizelimit(v) || !self->resize(size)) return sq_throwerror(v, kResizeFailed);
    return 0;
}

void swapUnits(BlobStream* blob, int unit) {
    for (SQInteger i = 0; i + unit <= blob->size; i += unit) {
        uint8_t* p = blob->bytes + i;
        for (int a = 0, b = unit - 1; a < b; ++a, --b) {
            uint8_t t = p[a];
            p[a] = p[b];
            p[b] = t;
        }
    }
}

SQInteger blob_swap2(HSQUIRRELVM v) {
    BlobStream* self = selfBlob(v);
    if (!self) return SQ_ERROR;
    swapUnits(self, 2);
    return 0;
}

SQInteger blob_swap4(HSQUIRRELVM v) {
    BlobStream* self = selfBlob(v);
    if (!self) return SQ_ERROR;
    swapUnits(self, 4);
    return 0;
}

// Errors of _get and _set reach scripts as "the index '...' does not
// exist": the engine discards metamethod errors.
SQInteger blob__set(HSQUIRRELVM v) {
    BlobStream* self = selfBlob(v);
    if (!self) return SQ_ERROR;
    SQInteger index = 0, value = 0;
    sq_getinteger(v, 2, &index);
    sq_getinteger(v, 3, &value);
    if (index < 0 || index >= self->size) return sq_throwerror(v, kIndexOutOfRange);
    self->bytes[index] = uint8_t(value);
    return 1;
}

SQInteger blob__get(HSQUIRRELVM v) {
    BlobStream* self = selfBlob(v);
    if (!self) return SQ_ERROR;
    SQInteger index = 0;
    sq_getinteger(v, 2, &index);
    if (index < 0 || index >= self->size) return sq_throwerror(v, kIndexOutOfRange);
    sq_pushinteger(v, self->bytes[index]);
    return 1;
}

// The first index is offered even for an empty blob; reading it then fails
// in the loop, as scripts of the original see.
SQInteger blob__nexti(HSQUIRRELVM v) {
    BlobStream* self = selfBlob(v);
    if (!self) return SQ_ERROR;
    if (sq_gettype(v, 2) == OT_NULL) {
        sq_pushinteger(v, 0);
        return 1;
    }
    SQInteger index = 0;
    if (SQ_FAILED(sq_getinteger(v, 2, &index))) {
        return sq_throwerror(v, kNextiWrongType);
    }
    if (index + 1 < self->size) {
        sq_pushinteger(v, index + 1);
        return 1;
    }
    return 0;
}

SQInteger blob__typeof(HSQUIRRELVM v) {
    sq_pushstring(v, "blob", -1);
    return 1;
}

// `clone` gives the copy its own bytes; sharing the original's would free
// them twice.
SQInteger blob__cloned(HSQUIRRELVM v) {
    sq_setinstanceup(v, 1, nullptr);
    BlobStream* original = selfBlob(v, 2);
    if (!original) return SQ_ERROR;
    BlobStream* copy = newBlob(original->capacity);
    if (!copy) return sq_throwerror(v, kResizeFailed);
    std::memcpy(copy->bytes, original->bytes, size_t(original->capacity));
    copy->size = original->size;
    copy->pos = original->pos;
    if (!attachStream(v, 1, blobTypeTag(), copy)) {
        delete copy;
        return SQ_ERROR;
    }
    return 0;
}

SQInteger casti2f(HSQUIRRELVM v) {
    SQInteger i = 0;
    sq_getinteger(v, 2, &i);
    SQFloat f;
    std::memcpy(&f, &i, sizeof f);
    sq_pushfloat(v, f);
    return 1;
}

SQInteger castf2i(HSQUIRRELVM v) {
    SQFloat f = 0;
    sq_getfloat(v, 2, &f);
    SQInteger i;
    std::memcpy(&i, &f, sizeof i);
    sq_pushinteger(v, i);
    return 1;
}

// Not masked to 16 bits: the high half keeps the sign-extended input.
SQInteger swap2(HSQUIRRELVM v) {
    SQInteger i = 0;
    sq_getinteger(v, 2, &i);
    int32_t s = int16_t(uint16_t(i));
    sq_pushinteger(v, SQInteger((s << 8) | ((s >> 8) & 0xFF)));
    return 1;
}

uint32_t reverseBytes(uint32_t u) {
    return (u >> 24) | ((u >> 8) & 0xFF00) | ((u << 8) & 0xFF0000) | (u << 24);
}

SQInteger swap4(HSQUIRRELVM v) {
    SQInteger i = 0;
    sq_getinteger(v, 2, &i);
    sq_pushinteger(v, SQInteger(int32_t(reverseBytes(uint32_t(i)))));
    return 1;
}

SQInteger swapfloat(HSQUIRRELVM v) {
    SQFloat f = 0;
    sq_getfloat(v, 2, &f);
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    bits = reverseBytes(bits);
    std::memcpy(&f, &bits, sizeof f);
    sq_pushfloat(v, f);
    return 1;
}

const SQRegFunction kBlobMethods[] = {
    {"constructor", blob_constructor, -1, "xn"},
    {"resize", blob_resize, 2, "xn"},
    {"swap2", blob_swap2, 1, "x"},
    {"swap4", blob_swap4, 1, "x"},
    {"_set", blob__set, 3, "xnn"},
    {"_get", blob__get, 2, "xn"},
    {"_typeof", blob__typeof, 1, "x"},
    {"_nexti", blob__nexti, 2, "x"},
    {"_cloned", blob__cloned, 2, "xx"},
    {nullptr, nullptr, 0, nullptr},
};

const SQRegFunction kBlobGlobals[] = {
    {"casti2f", casti2f, 2, ".n"},
    {"castf2i", castf2i, 2, ".n"},
    {"swap2", swap2, 2, ".n"},
    {"swap4", swap4, 2, ".n"},
    {"swapfloat", swapfloat, 2, ".n"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

}  // namespace sqstd

using namespace sqstd;

SQUserPointer sqstd_createblob(HSQUIRRELVM v, SQInteger size) {
    SQInteger top = sq_gettop(v);
    if (!pushRegisteredClass(v, kBlobRegistryName)) {
        sq_throwerror(v, kBlobLibraryMissing);
        return nullptr;
    }
    sq_pushroottable(v);
    sq_pushinteger(v, size);
    if (SQ_FAILED(sq_call(v, 2, SQTrue, SQFalse))) {
        sq_settop(v, top);
        return nullptr;
    }
    sq_remove(v, -2);
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sqstd_getblob(v, -1, &p))) {
        sq_settop(v, top);
        return nullptr;
    }
    return p;
}

SQRESULT sqstd_getblob(HSQUIRRELVM v, SQInteger idx, SQUserPointer* ptr) {
    BlobStream* blob = selfBlob(v, idx);
    if (!blob) return SQ_ERROR;
    *ptr = blob->bytes;
    return SQ_OK;
}

SQInteger sqstd_getblobsize(HSQUIRRELVM v, SQInteger idx) {
    BlobStream* blob = selfBlob(v, idx);
    return blob ? blob->size : -1;
}

SQRESULT sqstd_register_bloblib(HSQUIRRELVM v) {
    return declareStreamClass(v, "blob", blobTypeTag(), kBlobRegistryName, kBlobMethods,
                              kBlobGlobals);
}
