// The file loader: script sources in the encodings the games' files use,
// and this engine's compiled form.
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/files.h"
#include "squirrel/stdlib/messages.h"
#include "squirrel/stdlib/stdlib_local.h"
#include "sqstdio.h"

namespace sqstd {

namespace {

constexpr size_t kReadChunk = 4096;

enum class Encoding { Raw, Utf8, Utf16Le, Utf16Be };

// Hands the compiler one character code per call, 0 at the end. Raw text
// passes bytes through (a NUL ends it); UTF-16 units keep their low 8 bits;
// UTF-8 yields code points, and a malformed sequence ends the text (a code
// point above 255 is the compiler's `Invalid character`).
class SourceReader {
public:
    SourceReader(const std::vector<uint8_t>& bytes, size_t start, Encoding encoding)
        : data(bytes), pos(start), kind(encoding) {}

    static SQInteger read(SQUserPointer self) {
        return static_cast<SourceReader*>(self)->next();
    }

private:
    SQInteger next() {
        switch (kind) {
        case Encoding::Raw:
            return pos < data.size() ? data[pos++] : 0;
        case Encoding::Utf16Le:
        case Encoding::Utf16Be: {
            if (pos + 1 >= data.size()) return 0;
            uint8_t low = kind == Encoding::Utf16Le ? data[pos] : data[pos + 1];
            pos += 2;
            return low;
        }
        case Encoding::Utf8:
            return nextCodePoint();
        }
        return 0;
    }

    SQInteger nextCodePoint() {
        if (pos >= data.size()) return 0;
        uint8_t lead = data[pos++];
        if (lead < 0x80) return lead;
        int extra;
        SQInteger code;
        if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            code = lead & 0x07;
        } else {
            pos = data.size();
            return 0;
        }
        for (int i = 0; i < extra; ++i) {
            if (pos >= data.size() || (data[pos] & 0xC0) != 0x80) {
                pos = data.size();
                return 0;
            }
            code = code << 6 | (data[pos++] & 0x3F);
        }
        return code;
    }

    const std::vector<uint8_t>& data;
    size_t pos;
    Encoding kind;
};

struct MemoryInput {
    const std::vector<uint8_t>* data;
    size_t pos;
};

SQInteger readMemory(SQUserPointer up, SQUserPointer buffer, SQInteger size) {
    MemoryInput* in = static_cast<MemoryInput*>(up);
    size_t left = in->data->size() - in->pos;
    size_t n = size < 0 ? 0 : size_t(size) < left ? size_t(size) : left;
    std::memcpy(buffer, in->data->data() + in->pos, n);
    in->pos += n;
    return SQInteger(n);
}

SQInteger writeFile(SQUserPointer up, SQUserPointer buffer, SQInteger size) {
    return SQInteger(std::fwrite(buffer, 1, size_t(size), static_cast<FILE*>(up)));
}

bool readWholeFile(FILE* f, std::vector<uint8_t>& data) {
    uint8_t chunk[kReadChunk];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + n);
    return !std::ferror(f);
}

}  // namespace

}  // namespace sqstd

using namespace sqstd;

SQRESULT sqstd_loadfile(HSQUIRRELVM v, const SQChar* filename, SQBool printerror) {
    FILE* f = platform::openGameFile(filename, "rb");
    if (!f) return sq_throwerror(v, kCannotOpenTheFile);
    std::vector<uint8_t> data;
    bool ok = readWholeFile(f, data);
    std::fclose(f);
    if (!ok) return sq_throwerror(v, kIoError);

    Encoding encoding = Encoding::Raw;
    size_t start = 0;
    if (data.size() >= 2) {
        unsigned tag = data[0] | unsigned(data[1]) << 8;
        switch (tag) {
        case SQ_BYTECODE_STREAM_TAG: {
            MemoryInput in{&data, 0};
            return sq_readclosure(v, readMemory, &in);
        }
        case 0xFEFF:
            encoding = Encoding::Utf16Le;
            start = 2;
            break;
        case 0xFFFE:
            encoding = Encoding::Utf16Be;
            start = 2;
            break;
        case 0xBBEF:
            if (data.size() < 3) return sq_throwerror(v, kIoError);
            if (data[2] != 0xBF) return sq_throwerror(v, kUnknownEncoding);
            encoding = Encoding::Utf8;
            start = 3;
            break;
        default:
            break;
        }
    }
    SourceReader reader(data, start, encoding);
    return sq_compile(v, SourceReader::read, &reader, filename, printerror);
}

SQRESULT sqstd_dofile(HSQUIRRELVM v, const SQChar* filename, SQBool retval, SQBool printerror) {
    if (SQ_FAILED(sqstd_loadfile(v, filename, printerror))) return SQ_ERROR;
    sq_push(v, -2);
    if (SQ_FAILED(sq_call(v, 1, retval, SQTrue))) {
        sq_pop(v, 1);
        return SQ_ERROR;
    }
    if (retval) sq_remove(v, -2); else sq_pop(v, 1);
    return 1;
}

SQRESULT sqstd_writeclosuretofile(HSQUIRRELVM v, const SQChar* filename) {
    FILE* f = platform::openGameFile(filename, "wb+");
    if (!f) return sq_throwerror(v, kCannotOpenTheFile);
    SQRESULT result = sq_writeclosure(v, writeFile, f);
    std::fclose(f);
    return SQ_SUCCEEDED(result) ? SQ_OK : SQ_ERROR;
}
