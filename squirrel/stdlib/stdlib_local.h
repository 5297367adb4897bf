// squirrel/stdlib/stdlib_local.h: shared by the standard library sources only.
#pragma once
#include <cstdio>

#include "squirrel.h"

namespace sqstd {

enum class SeekOrigin { Begin, Current, End };

// What the script `stream` methods work on. A file and a blob each hold
// one; the instance owns it and deletes it in its release hook.
class Stream {
public:
    virtual ~Stream() = default;
    // Bytes actually moved; 0 at the end or on failure.
    virtual SQInteger read(void* buffer, SQInteger size) = 0;
    virtual SQInteger write(const void* buffer, SQInteger size) = 0;
    virtual bool flush() = 0;
    virtual SQInteger tell() = 0;
    virtual SQInteger len() = 0;
    // 0 on success, non-zero when the position is refused.
    virtual SQInteger seek(SQInteger offset, SeekOrigin origin) = 0;
    virtual bool isValid() const = 0;
    virtual bool eos() = 0;
};

// Type tags of the library classes: distinct addresses, compared by the
// engine when an instance's user pointer is read back.
SQUserPointer streamTypeTag();
SQUserPointer fileTypeTag();
SQUserPointer blobTypeTag();

// Release hook shared by every stream class.
SQInteger releaseStream(SQUserPointer p, SQInteger size);

// Registers each entry of `functions` (ended by a null name) as a named
// native closure with its parameter check into the table or class at -1.
void registerFunctions(HSQUIRRELVM v, const SQRegFunction* functions);

// Declares a class derived from `stream` (creating `stream` in the
// registry and the root table on first use) with `methods`, keeps it in the
// registry under `registryName` and adds it as `name` to the table at -1,
// followed by `globals` (may be null). `table expected` when -1 is not a
// table. The stack is left as it was.
SQRESULT declareStreamClass(HSQUIRRELVM v, const char* name, SQUserPointer typeTag,
                            const char* registryName, const SQRegFunction* methods,
                            const SQRegFunction* globals);

// Pushes the class kept in the registry under `registryName`; false (and
// nothing pushed) when it is not registered.
bool pushRegisteredClass(HSQUIRRELVM v, const char* registryName);

// Replaces the user pointer of the instance at `idx`, deleting the stream
// it held before (a constructor called twice must not leak), and installs
// the release hook. False, with the error set and `stream` untouched, when
// the value is not an instance of the class tagged `typeTag`.
bool attachStream(HSQUIRRELVM v, SQInteger idx, SQUserPointer typeTag, Stream* stream);

// The C stream of a stream attached to a `file` instance.
FILE* fileOfStream(Stream* stream);

}  // namespace sqstd
