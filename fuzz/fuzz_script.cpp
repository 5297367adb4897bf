// Squirrel source on arbitrary bytes: compiled, and whatever compiles runs
// with the libraries a game gets, under an instruction limit and a size
// limit, so an endless loop or a runaway string ends the input instead of
// the fuzzer. The io library stays out: a mutated script must not write
// files around the fuzzer.
#include <cstddef>
#include <cstdint>

#include "sqstdaux.h"
#include "sqstdblob.h"
#include "sqstdmath.h"
#include "sqstdstring.h"
#include "squirrel.h"

namespace {

constexpr SQInteger kInstructionLimit = 200000;
constexpr SQInteger kSizeLimit = 1 << 20;

void discardPrint(HSQUIRRELVM, const SQChar*, ...) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HSQUIRRELVM v = sq_open(1024);
    sq_setprintfunc(v, discardPrint);
    sq_pushroottable(v);
    sqstd_register_bloblib(v);
    sqstd_register_mathlib(v);
    sqstd_register_stringlib(v);
    sqstd_seterrorhandlers(v);
    sq_pop(v, 1);
    sq_setinstructionlimit(v, kInstructionLimit);
    sq_setsizelimit(v, kSizeLimit);
    if (SQ_SUCCEEDED(sq_compilebuffer(v, reinterpret_cast<const SQChar*>(data), SQInteger(size), "fuzz",
                                      SQTrue))) {
        sq_pushroottable(v);
        sq_call(v, 1, SQFalse, SQTrue);
    }
    sq_close(v);
    return 0;
}
