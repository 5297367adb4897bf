// The compiled-file reader on arbitrary bytes: it must refuse or accept
// without touching memory it does not own, and whatever it accepts must pass
// through our own compiled form and back. Loaded code is not run: a verified
// program may still loop for ever.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "squirrel.h"

namespace {

struct Source {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

SQInteger readSource(SQUserPointer up, SQUserPointer out, SQInteger n) {
    Source* s = static_cast<Source*>(up);
    size_t k = s->size - s->pos < size_t(n) ? s->size - s->pos : size_t(n);
    memcpy(out, s->data + s->pos, k);
    s->pos += k;
    return SQInteger(k);
}

SQInteger appendBytes(SQUserPointer up, SQUserPointer data, SQInteger n) {
    static_cast<std::string*>(up)->append(static_cast<const char*>(data), size_t(n));
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static HSQUIRRELVM v = sq_open(1024);
    Source src{data, size, 0};
    if (SQ_SUCCEEDED(sq_readclosure(v, readSource, &src))) {
        std::string own;
        if (SQ_FAILED(sq_writeclosure(v, appendBytes, &own))) abort();
        sq_settop(v, 0);
        Source again{reinterpret_cast<const uint8_t*>(own.data()), own.size(), 0};
        if (SQ_FAILED(sq_readclosure(v, readSource, &again))) abort();
    }
    sq_settop(v, 0);
    return 0;
}
