// The script io library: the `file` class over C streams, the standard
// streams, and the script face of the file loader.
#include <climits>
#include <cstdint>
#include <cstring>

#include "platform/files.h"
#include "squirrel/stdlib/messages.h"
#include "squirrel/stdlib/stdlib_local.h"
#include "sqstdio.h"

namespace sqstd {

namespace {

constexpr char kFileRegistryName[] = "std_file";

// A file opened without 'b' in its mode behaves as in the games' run-time
// text mode: CR LF reads as LF and LF writes as CR LF. Positions and
// lengths stay those of the bytes on disk.
class FileStream final : public Stream {
public:
    FileStream(FILE* f, bool ownsFile, bool text) : file(f), owns(ownsFile), textMode(text) {}
    ~FileStream() override {
        if (file && owns) std::fclose(file);
    }

    SQInteger read(void* buffer, SQInteger size) override {
        if (size <= 0) return 0;
        if (!textMode) return SQInteger(std::fread(buffer, 1, size_t(size), file));
        uint8_t* out = static_cast<uint8_t*>(buffer);
        SQInteger n = 0;
        while (n < size) {
            int c = std::getc(file);
            if (c == EOF) break;
            if (c == '\r') {
                int next = std::getc(file);
                if (next == '\n') {
                    c = '\n';
                } else if (next != EOF) {
                    std::ungetc(next, file);
                }
            }
            out[n++] = uint8_t(c);
        }
        return n;
    }

    SQInteger write(const void* buffer, SQInteger size) override {
        if (size <= 0) return 0;
        if (!textMode) return SQInteger(std::fwrite(buffer, 1, size_t(size), file));
        const uint8_t* in = static_cast<const uint8_t*>(buffer);
        for (SQInteger i = 0; i < size; ++i) {
            if (in[i] == '\n' && std::putc('\r', file) == EOF) return i;
            if (std::putc(in[i], file) == EOF) return i;
        }
        return size;
    }
    bool flush() override { return std::fflush(file) == 0; }
    SQInteger tell() override { return clamp(std::ftell(file)); }

    SQInteger len() override {
        long here = std::ftell(file);
        if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
        long end = std::ftell(file);
        std::fseek(file, here, SEEK_SET);
        return clamp(end);
    }

    SQInteger seek(SQInteger offset, SeekOrigin origin) override {
        int whence = origin == SeekOrigin::Begin   ? SEEK_SET
                     : origin == SeekOrigin::Current ? SEEK_CUR
                                                     : SEEK_END;
        return std::fseek(file, offset, whence) == 0 ? 0 : -1;
    }

    bool isValid() const override { return file != nullptr; }
    // A position test, not the C library's end-of-file flag: a stream that
    // cannot tell its position (-1 for both) counts as at its end.
    bool eos() override { return tell() == len(); }

    FILE* file;
    bool owns;
    bool textMode;

private:
    static SQInteger clamp(long value) {
        return value < 0 ? -1 : value > INT_MAX ? INT_MAX : SQInteger(value);
    }
};

// file(path, mode) opens a game path; file(userpointer, owns) wraps a C
// stream, closed on release unless `owns` is null.
SQInteger file_constructor(HSQUIRRELVM v) {
    FILE* f = nullptr;
    bool owns = true;
    bool text = false;
    if (sq_gettype(v, 2) == OT_STRING && sq_gettype(v, 3) == OT_STRING) {
        const SQChar* path = nullptr;
        const SQChar* mode = nullptr;
        sq_getstring(v, 2, &path);
        sq_getstring(v, 3, &mode);
        f = platform::openGameFile(path, mode);
        if (!f) return sq_throwerror(v, kCannotOpenFile);
        text = std::strchr(mode, 'b') == nullptr;
    } else if (sq_gettype(v, 2) == OT_USERPOINTER) {
        SQUserPointer p = nullptr;
        sq_getuserpointer(v, 2, &p);
        f = static_cast<FILE*>(p);
        owns = sq_gettype(v, 3) != OT_NULL;
        if (!f) return sq_throwerror(v, kWrongParameter);
    } else {
        return sq_throwerror(v, kWrongParameter);
    }
    FileStream* stream = new FileStream(f, owns, text);
    if (!attachStream(v, 1, fileTypeTag(), stream)) {
        stream->owns = owns && sq_gettype(v, 2) == OT_STRING;
        delete stream;
        return SQ_ERROR;
    }
    return 0;
}

SQInteger file__typeof(HSQUIRRELVM v) {
    sq_pushstring(v, "file", -1);
    return 1;
}

// A copy of a file instance shares no handle: it reads as an invalid stream.
SQInteger file__cloned(HSQUIRRELVM v) {
    sq_setinstanceup(v, 1, nullptr);
    return 0;
}

SQInteger io_loadfile(HSQUIRRELVM v) {
    const SQChar* path = nullptr;
    sq_getstring(v, 2, &path);
    SQBool printerror = SQFalse;
    if (sq_gettop(v) > 2) sq_getbool(v, 3, &printerror);
    return SQ_SUCCEEDED(sqstd_loadfile(v, path, printerror)) ? 1 : SQ_ERROR;
}

// Runs the file with the caller's `this`.
SQInteger io_dofile(HSQUIRRELVM v) {
    const SQChar* path = nullptr;
    sq_getstring(v, 2, &path);
    SQBool printerror = SQFalse;
    if (sq_gettop(v) > 2) sq_getbool(v, 3, &printerror);
    sq_push(v, 1);
    return SQ_SUCCEEDED(sqstd_dofile(v, path, SQTrue, printerror)) ? 1 : SQ_ERROR;
}

// Returns the closure it was given.
SQInteger io_writeclosuretofile(HSQUIRRELVM v) {
    const SQChar* path = nullptr;
    sq_getstring(v, 2, &path);
    return SQ_SUCCEEDED(sqstd_writeclosuretofile(v, path)) ? 1 : SQ_ERROR;
}

const SQRegFunction kFileMethods[] = {
    {"constructor", file_constructor, 3, "x"},
    {"_typeof", file__typeof, 1, "x"},
    {"_cloned", file__cloned, 2, "xx"},
    {nullptr, nullptr, 0, nullptr},
};

const SQRegFunction kIoFunctions[] = {
    {"loadfile", io_loadfile, -2, ".sb"},
    {"dofile", io_dofile, -2, ".sb"},
    {"writeclosuretofile", io_writeclosuretofile, 3, ".sc"},
    {nullptr, nullptr, 0, nullptr},
};

void addStandardStream(HSQUIRRELVM v, const char* name, FILE* file) {
    sq_pushstring(v, name, -1);
    if (SQ_SUCCEEDED(sqstd_createfile(v, file, SQFalse))) {
        sq_newslot(v, -3, SQFalse);
    } else {
        sq_pop(v, 1);
    }
}

}  // namespace

FILE* fileOfStream(Stream* stream) {
    return static_cast<FileStream*>(stream)->file;
}

}  // namespace sqstd

using namespace sqstd;

SQRESULT sqstd_createfile(HSQUIRRELVM v, SQFILE file, SQBool own) {
    SQInteger top = sq_gettop(v);
    if (!pushRegisteredClass(v, kFileRegistryName)) {
        return sq_throwerror(v, kIoLibraryMissing);
    }
    sq_pushroottable(v);
    sq_pushuserpointer(v, file);
    if (own) sq_pushbool(v, SQTrue); else sq_pushnull(v);
    if (SQ_FAILED(sq_call(v, 3, SQTrue, SQFalse))) {
        sq_settop(v, top);
        return SQ_ERROR;
    }
    sq_remove(v, -2);
    return SQ_OK;
}

SQRESULT sqstd_getfile(HSQUIRRELVM v, SQInteger idx, SQFILE* file) {
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, idx, &p, fileTypeTag())) || !p) {
        return sq_throwerror(v, kNotAFile);
    }
    *file = fileOfStream(static_cast<Stream*>(p));
    return SQ_OK;
}

SQRESULT sqstd_register_iolib(HSQUIRRELVM v) {
    SQInteger top = sq_gettop(v);
    if (SQ_FAILED(declareStreamClass(v, "file", fileTypeTag(), kFileRegistryName, kFileMethods,
                                     kIoFunctions))) {
        return SQ_ERROR;
    }
    addStandardStream(v, "stdout", stdout);
    addStandardStream(v, "stdin", stdin);
    addStandardStream(v, "stderr", stderr);
    sq_settop(v, top);
    return SQ_OK;
}
