// The script math library. Functions work on 32-bit floats with the
// single-precision C functions, as the games' original build did.
#include <cmath>
#include <cstdint>

#include "squirrel/stdlib/messages.h"
#include "squirrel/stdlib/stdlib_local.h"
#include "sqstdmath.h"

namespace sqstd {

namespace {

constexpr SQInteger kRandMax = 32767;
constexpr SQFloat kPi = 3.14159265358979323846f;

// The C run-time generator of the games' platform, so a seeded run deals
// the same numbers everywhere.
uint32_t randomState = 1;

int nextRandom() {
    randomState = randomState * 214013u + 2531011u;
    return int((randomState >> 16) & 0x7FFF);
}

SQFloat floatArg(HSQUIRRELVM v, SQInteger idx) {
    SQFloat f = 0;
    sq_getfloat(v, idx, &f);
    return f;
}

SQInteger pushFloat(HSQUIRRELVM v, SQFloat f) {
    sq_pushfloat(v, f);
    return 1;
}

SQInteger math_sqrt(HSQUIRRELVM v) { return pushFloat(v, std::sqrt(floatArg(v, 2))); }
SQInteger math_sin(HSQUIRRELVM v) { return pushFloat(v, std::sin(floatArg(v, 2))); }
SQInteger math_cos(HSQUIRRELVM v) { return pushFloat(v, std::cos(floatArg(v, 2))); }
SQInteger math_asin(HSQUIRRELVM v) { return pushFloat(v, std::asin(floatArg(v, 2))); }
SQInteger math_acos(HSQUIRRELVM v) { return pushFloat(v, std::acos(floatArg(v, 2))); }
SQInteger math_log(HSQUIRRELVM v) { return pushFloat(v, std::log(floatArg(v, 2))); }
SQInteger math_log10(HSQUIRRELVM v) { return pushFloat(v, std::log10(floatArg(v, 2))); }
SQInteger math_tan(HSQUIRRELVM v) { return pushFloat(v, std::tan(floatArg(v, 2))); }
SQInteger math_atan(HSQUIRRELVM v) { return pushFloat(v, std::atan(floatArg(v, 2))); }
SQInteger math_floor(HSQUIRRELVM v) { return pushFloat(v, std::floor(floatArg(v, 2))); }
SQInteger math_ceil(HSQUIRRELVM v) { return pushFloat(v, std::ceil(floatArg(v, 2))); }
SQInteger math_exp(HSQUIRRELVM v) { return pushFloat(v, std::exp(floatArg(v, 2))); }
SQInteger math_fabs(HSQUIRRELVM v) { return pushFloat(v, std::fabs(floatArg(v, 2))); }

SQInteger math_atan2(HSQUIRRELVM v) {
    return pushFloat(v, std::atan2(floatArg(v, 2), floatArg(v, 3)));
}

SQInteger math_pow(HSQUIRRELVM v) {
    return pushFloat(v, std::pow(floatArg(v, 2), floatArg(v, 3)));
}

// The games' library refuses every seed: its check of the argument read is
// inverted. Scripts written against it never get past an srand call.
SQInteger math_srand(HSQUIRRELVM v) {
    return sq_throwerror(v, kInvalidParam);
}

SQInteger math_rand(HSQUIRRELVM v) {
    sq_pushinteger(v, nextRandom());
    return 1;
}

// Integer result; the most negative integer stays itself.
SQInteger math_abs(HSQUIRRELVM v) {
    SQInteger i = 0;
    sq_getinteger(v, 2, &i);
    uint32_t magnitude = i < 0 ? 0u - uint32_t(i) : uint32_t(i);
    sq_pushinteger(v, SQInteger(int32_t(magnitude)));
    return 1;
}

const SQRegFunction kMathFunctions[] = {
    {"sqrt", math_sqrt, 2, ".n"},
    {"sin", math_sin, 2, ".n"},
    {"cos", math_cos, 2, ".n"},
    {"asin", math_asin, 2, ".n"},
    {"acos", math_acos, 2, ".n"},
    {"log", math_log, 2, ".n"},
    {"log10", math_log10, 2, ".n"},
    {"tan", math_tan, 2, ".n"},
    {"atan", math_atan, 2, ".n"},
    {"atan2", math_atan2, 3, ".nn"},
    {"pow", math_pow, 3, ".nn"},
    {"floor", math_floor, 2, ".n"},
    {"ceil", math_ceil, 2, ".n"},
    {"exp", math_exp, 2, ".n"},
    {"srand", math_srand, 2, ".n"},
    {"rand", math_rand, 1, nullptr},
    {"fabs", math_fabs, 2, ".n"},
    {"abs", math_abs, 2, ".n"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

}  // namespace sqstd

using namespace sqstd;

SQRESULT sqstd_register_mathlib(HSQUIRRELVM v) {
    registerFunctions(v, kMathFunctions);
    sq_pushstring(v, "RAND_MAX", -1);
    sq_pushinteger(v, kRandMax);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "PI", -1);
    sq_pushfloat(v, kPi);
    sq_newslot(v, -3, SQFalse);
    return SQ_OK;
}

void sqstd_seedrandom(unsigned int seed) {
    randomState = seed;
}
