// The script `stream` class: the methods `file` and `blob` inherit, and
// the registration shared by the stream classes.
#include <cstdint>
#include <cstring>
#include <vector>

#include "squirrel/stdlib/messages.h"
#include "squirrel/stdlib/stdlib_local.h"
#include "sqstdblob.h"

namespace sqstd {

namespace {

constexpr char kStreamRegistryName[] = "std_stream";

char streamTag, fileTag, blobTag;

// Null (with the error set) unless `this` is a live stream instance.
Stream* selfStream(HSQUIRRELVM v) {
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, 1, &p, streamTypeTag()))) return nullptr;
    Stream* stream = static_cast<Stream*>(p);
    if (!stream || !stream->isValid()) {
        sq_throwerror(v, kStreamInvalid);
        return nullptr;
    }
    return stream;
}

// Size in bytes of a readn/writen type code; 0 for an unknown code.
int numberSize(SQInteger code) {
    switch (code) {
    case 'l': case 'i': case 'f': return 4;
    case 's': case 'w': return 2;
    case 'c': case 'b': return 1;
    case 'd': return 8;
    default: return 0;
    }
}

uint64_t littleEndian(const uint8_t* bytes, int size) {
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

void storeLittleEndian(uint8_t* bytes, uint64_t value, int size) {
    for (int i = 0; i < size; ++i, value >>= 8) bytes[i] = uint8_t(value);
}

SQInteger stream_readblob(HSQUIRRELVM v) {
    Stream* self = selfStream(v);
    if (!self) return SQ_ERROR;
    SQInteger wanted = 0;
    sq_getinteger(v, 2, &wanted);
    SQInteger total = self->len();
    if (wanted > total) wanted = total;
    std::vector<uint8_t> data(size_t(wanted > 0 ? wanted : 0));
    SQInteger got = wanted > 0 ? self->read(data.data(), wanted) : 0;
    if (got <= 0) return sq_throwerror(v, kNoDataLeft);
    SQUserPointer target = sqstd_createblob(v, got);
    if (!target) return SQ_ERROR;
    std::memcpy(target, data.data(), size_t(got));
    return 1;
}

SQInteger stream_readn(HSQUIRRELVM v) {
    Stream* self = selfStream(v);
    if (!self) return SQ_ERROR;
    SQInteger code = 0;
    sq_getinteger(v, 2, &code);
    int size = numberSize(code);
    if (size == 0) return sq_throwerror(v, kInvalidFormat);
    uint8_t bytes[8];
    if (self->read(bytes, size) != size) return sq_throwerror(v, kIoError);
    uint64_t raw = littleEndian(bytes, size);
    switch (code) {
    case 'l': case 'i': sq_pushinteger(v, SQInteger(int32_t(uint32_t(raw)))); break;
    case 's': sq_pushinteger(v, int16_t(uint16_t(raw))); break;
    case 'w': sq_pushinteger(v, uint16_t(raw)); break;
    case 'c': sq_pushinteger(v, int8_t(uint8_t(raw))); break;
    case 'b': sq_pushinteger(v, uint8_t(raw)); break;
    case 'f': {
        uint32_t bits = uint32_t(raw);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        sq_pushfloat(v, f);
        break;
    }
    default: {
        double d;
        std::memcpy(&d, &raw, sizeof d);
        sq_pushfloat(v, SQFloat(d));
        break;
    }
    }
    return 1;
}

SQInteger stream_writeblob(HSQUIRRELVM v) {
    Stream* self = selfStream(v);
    if (!self) return SQ_ERROR;
    SQUserPointer data = nullptr;
    if (SQ_FAILED(sqstd_getblob(v, 2, &data))) return sq_throwerror(v, kInvalidParameter);
    SQInteger size = sqstd_getblobsize(v, 2);
    // Writing a blob into itself may move its storage while it is read.
    std::vector<uint8_t> copy(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    if (self->write(copy.data(), size) != size) return sq_throwerror(v, kIoError);
    sq_pushinteger(v, size);
    return 1;
}

SQInteger stream_writen(HSQUIRRELVM v) {
    Stream* self = selfStream(v);
    if (!self) return SQ_ERROR;
    SQInteger code = 0;
    sq_getinteger(v, 3, &code);
    int size = numberSize(code);
    if (size == 0) return sq_throwerror(v, kInvalidFormat);
    uint8_t bytes[8];
    if (code == 'f' || code == 'd') {
        SQFloat f = 0;
        sq_getfloat(v, 2, &f);
        if (code == 'f') {
            std::memcpy(bytes, &f, 4);
        } else {
            double d = f;
            std::memcpy(bytes, &d, 8);
        }
    } else {
        SQInteger i = 0;
        sq_getinteger(v, 2, &i);
        storeLittleEndian(bytes, uint32_t(i), size);
    }
    self->write(bytes, size);
    return 0;
}

SQInteger stream_seek(HSQUIRRELVM v) {
    Stream* self = selfStream(v);
    if (!self) return SQ_ERROR;
    SQInteger offset = 0, code = 'b';
    sq_getinteger(v, 2, &offset);
    if (sq_gettop(v) > 2) sq_getinteger(v, 3, &code);
    SeekOrigin origin;
    switch (code) {
    case 'b': origin = SeekOrigin::Begin; break;
    case 'c': origin = SeekOrigin::Current; break;
    case 'e': origin = SeekOrigin::End; break;
    default: return sq_throwerror(v, kInvalidOrigin);
    }
    sq_pushinteger(v, self->seek(offset, origin));
    return 1;
}

SQInteger stream_tell(HSQUIRRELVM v) {
    Stream* self = selfStream(v);
    if (!self) return SQ_ERROR;
    sq_pushinteger(v, self->tell());
    return 1;
}

SQInteger stream_len(HSQUIRRELVM v) {
    Stream* self = selfStream(v);
    if (!self) return SQ_ERROR;
    sq_pushinteger(v, self->len());
    return 1;
}

SQInteger stream_eos(HSQUIRRELVM v) {
    Stream* self = selfStream(v);
    if (!self) return SQ_ERROR;
    if (!self->eos()) return 0;
    sq_pushinteger(v, 1);
    return 1;
}

SQInteger stream_flush(HSQUIRRELVM v) {
    Stream* self = selfStream(v);
    if (!self) return SQ_ERROR;
    if (!self->flush()) return 0;
    sq_pushinteger(v, 1);
    return 1;
}

const SQRegFunction kStreamMethods[] = {
    {"readblob", stream_readblob, 2, "xn"},
    {"readn", stream_readn, 2, "xn"},
    {"writeblob", stream_writeblob, -2, "xx"},
    {"writen", stream_writen, 3, "xnn"},
    {"seek", stream_seek, -2, "xnn"},
    {"tell", stream_tell, 1, "x"},
    {"len", stream_len, 1, "x"},
    {"eos", stream_eos, 1, "x"},
    {"flush", stream_flush, 1, "x"},
    {nullptr, nullptr, 0, nullptr},
};

// The stream class lives once per VM, in the registry and the root table.
void ensureStreamClass(HSQUIRRELVM v) {
    if (pushRegisteredClass(v, kStreamRegistryName)) {
        sq_pop(v, 1);
        return;
    }
    sq_pushregistrytable(v);
    sq_pushstring(v, kStreamRegistryName, -1);
    sq_newclass(v, SQFalse);
    sq_settypetag(v, -1, streamTypeTag());
    registerFunctions(v, kStreamMethods);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);

    sq_pushroottable(v);
    sq_pushstring(v, "stream", -1);
    pushRegisteredClass(v, kStreamRegistryName);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
}

}  // namespace

SQUserPointer streamTypeTag() { return &streamTag; }
SQUserPointer fileTypeTag() { return &fileTag; }
SQUserPointer blobTypeTag() { return &blobTag; }

SQInteger releaseStream(SQUserPointer p, SQInteger) {
    delete static_cast<Stream*>(p);
    return 1;
}

void registerFunctions(HSQUIRRELVM v, const SQRegFunction* functions) {
    for (const SQRegFunction* f = functions; f->name; ++f) {
        sq_pushstring(v, f->name, -1);
        sq_newclosure(v, f->f, 0);
        sq_setparamscheck(v, f->nparamscheck, f->typemask);
        sq_setnativeclosurename(v, -1, f->name);
        sq_newslot(v, -3, SQFalse);
    }
}

bool pushRegisteredClass(HSQUIRRELVM v, const char* registryName) {
    sq_pushregistrytable(v);
    sq_pushstring(v, registryName, -1);
    if (SQ_FAILED(sq_rawget(v, -2))) {
        sq_pop(v, 1);
        return false;
    }
    sq_remove(v, -2);
    return true;
}

SQRESULT declareStreamClass(HSQUIRRELVM v, const char* name, SQUserPointer typeTag,
                            const char* registryName, const SQRegFunction* methods,
                            const SQRegFunction* globals) {
    if (sq_gettype(v, -1) != OT_TABLE) return sq_throwerror(v, kTableExpected);
    SQInteger top = sq_gettop(v);
    ensureStreamClass(v);
    if (globals) registerFunctions(v, globals);

    sq_pushregistrytable(v);
    sq_pushstring(v, registryName, -1);
    pushRegisteredClass(v, kStreamRegistryName);
    sq_newclass(v, SQTrue);
    sq_settypetag(v, -1, typeTag);
    registerFunctions(v, methods);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);

    sq_pushstring(v, name, -1);
    pushRegisteredClass(v, registryName);
    sq_newslot(v, -3, SQFalse);
    sq_settop(v, top);
    return SQ_OK;
}

bool attachStream(HSQUIRRELVM v, SQInteger idx, SQUserPointer typeTag, Stream* stream) {
    SQUserPointer old = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, idx, &old, typeTag))) return false;
    if (SQ_FAILED(sq_setinstanceup(v, idx, static_cast<Stream*>(stream)))) return false;
    delete static_cast<Stream*>(old);
    sq_setreleasehook(v, idx, releaseStream);
    return true;
}

}  // namespace sqstd
