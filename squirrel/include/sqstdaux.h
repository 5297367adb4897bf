// Standard error reporting: compiler and run-time error handlers.
#pragma once

#include "squirrel.h"

#ifdef __cplusplus
extern "C" {
#endif

// Installs the compiler error handler (one line per error) and the
// run-time error handler (error text, call stack and locals) of `v`. Both
// write through the print function, one call per line, and print nothing
// when there is none. The stack is unchanged.
void sqstd_seterrorhandlers(HSQUIRRELVM v);

// Prints the CALLSTACK and LOCALS sections for the calls below the native
// function calling this one (call level 0).
void sqstd_printcallstack(HSQUIRRELVM v);

#ifdef __cplusplus
}
#endif
