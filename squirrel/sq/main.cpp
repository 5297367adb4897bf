// sq FILE: runs a script with the base library; print goes to stdout.
#include <cstdarg>
#include <cstdio>
#include <vector>

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
    if (argc != 2) {
        fprintf(stderr, "usage: sq FILE\n");
        return 2;
    }
    FILE* f = fopen(argv[1], "rb");
    if (!f) {
        fprintf(stderr, "sq: cannot open %s\n", argv[1]);
        return 1;
    }
    std::vector<char> text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.insert(text.end(), buf, buf + n);
    fclose(f);
    size_t start = 0;
    if (text.size() >= 3 && (unsigned char)text[0] == 0xEF && (unsigned char)text[1] == 0xBB &&
        (unsigned char)text[2] == 0xBF) {
        start = 3;
    }
    HSQUIRRELVM v = sq_open(1024);
    sq_setprintfunc(v, printToStdout);
    int status = 0;
    if (SQ_SUCCEEDED(sq_compilebuffer(v, text.data() + start, SQInteger(text.size() - start), argv[1], SQTrue))) {
        sq_pushroottable(v);
        if (SQ_FAILED(sq_call(v, 1, SQFalse, SQTrue))) status = 1;
        sq_pop(v, 1);
    } else {
        status = 1;
    }
    if (status) {
        sq_getlasterror(v);
        const SQChar* err = "";
        if (SQ_SUCCEEDED(sq_getstring(v, -1, &err))) fprintf(stderr, "sq: %s\n", err);
    }
    fflush(stdout);
    sq_close(v);
    return status;
}
