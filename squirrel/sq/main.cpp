// sq FILE: runs a script the way the game host opens its VM (base, io, blob,
// math and string libraries, standard error handlers); print goes to stdout.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "sqstdaux.h"
#include "sqstdblob.h"
#include "sqstdio.h"
#include "sqstdmath.h"
#include "sqstdstring.h"
#include "squirrel.h"

namespace {

void printToStdout(HSQUIRRELVM, const SQChar* format, ...) {
    va_list ap;
    va_start(ap, format);
    vfprintf(stdout, format, ap);
    va_end(ap);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printf("usage: sq FILE\nRuns the Squirrel 2.1 script FILE with the base, io, blob, math and string\n"
               "libraries; print goes to standard output, errors to standard error.\n");
        return 0;
    }
    if (argc != 2) {
        fprintf(stderr, "usage: sq FILE\n");
        return 2;
    }
    HSQUIRRELVM v = sq_open(1024);
    sq_setprintfunc(v, printToStdout);
    sq_pushroottable(v);
    sqstd_register_iolib(v);
    sqstd_register_bloblib(v);
    sqstd_register_mathlib(v);
    sqstd_register_stringlib(v);
    sqstd_seterrorhandlers(v);
    int status = 0;
    if (SQ_FAILED(sqstd_dofile(v, argv[1], SQFalse, SQTrue))) {
        status = 1;
        sq_getlasterror(v);
        const SQChar* err = nullptr;
        if (SQ_SUCCEEDED(sq_getstring(v, -1, &err))) fprintf(stderr, "sq: %s\n", err);
        sq_pop(v, 1);
    }
    sq_pop(v, 1);
    fflush(stdout);
    sq_close(v);
    return status;
}
