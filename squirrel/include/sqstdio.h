// Standard io library: files, streams and the script file loader.
#pragma once

#include "squirrel.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void* SQFILE;

// Pushes a `file` instance wrapping the C stream `file` (a FILE*); it is
// closed when the instance dies if `own` is true. SQ_ERROR when the io
// library is not registered.
SQRESULT sqstd_createfile(HSQUIRRELVM v, SQFILE file, SQBool own);

// The C stream of the `file` instance at `idx`; `not a file` otherwise.
SQRESULT sqstd_getfile(HSQUIRRELVM v, SQInteger idx, SQFILE* file);

// Compiles a source file, or reads a file of this engine's compiled form
// (starting with 0xFAFA), and pushes its main function. The name is a game
// path: backslashes and any letter case are accepted. Text may start with a
// UTF-8 byte-order mark or be UTF-16 with one (units cut to 8 bits). On
// failure nothing is pushed and the error is `cannot open the file`, a
// compiler message (also sent to the compiler error handler when
// `printerror`), `Unrecognozed ecoding`, `io error` or a bytecode error.
SQRESULT sqstd_loadfile(HSQUIRRELVM v, const SQChar* filename, SQBool printerror);

// Loads the file as above and calls it with the value on top of the stack
// as `this` (left in place) and error reporting on; with `retval` the result
// is pushed. Returns 1 on success, SQ_ERROR on a load or run failure.
SQRESULT sqstd_dofile(HSQUIRRELVM v, const SQChar* filename, SQBool retval,
                      SQBool printerror);

// Writes the closure on top of the stack in this engine's compiled form.
SQRESULT sqstd_writeclosuretofile(HSQUIRRELVM v, const SQChar* filename);

// Adds loadfile, dofile, writeclosuretofile, the class `file` and the
// instances stdout, stdin and stderr to the table on top of the stack,
// creating the `stream` class in the root table. `table expected` when the
// top is no table.
SQRESULT sqstd_register_iolib(HSQUIRRELVM v);

#ifdef __cplusplus
}
#endif
