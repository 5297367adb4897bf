// Standard blob library: the `blob` class and its helpers.
#pragma once

#include "squirrel.h"

#ifdef __cplusplus
extern "C" {
#endif

// Pushes a new zero-filled blob of `size` bytes and returns its storage,
// valid while the blob lives and is not resized. Null (nothing pushed, the
// error set) when the blob library is not registered or memory runs out.
SQUserPointer sqstd_createblob(HSQUIRRELVM v, SQInteger size);

// Storage of the blob at `idx`; SQ_ERROR when the value is no live blob.
SQRESULT sqstd_getblob(HSQUIRRELVM v, SQInteger idx, SQUserPointer* ptr);

// Visible length of the blob at `idx`, -1 when the value is no live blob.
SQInteger sqstd_getblobsize(HSQUIRRELVM v, SQInteger idx);

// Adds casti2f, castf2i, swap2, swap4, swapfloat and the class `blob` to
// the table on top of the stack (creating the `stream` base class in the
// root table when missing). `table expected` when the top is no table.
SQRESULT sqstd_register_bloblib(HSQUIRRELVM v);

#ifdef __cplusplus
}
#endif
