// Standard math library.
#pragma once

#include "squirrel.h"

#ifdef __cplusplus
extern "C" {
#endif

// Adds sqrt sin cos asin acos log log10 tan atan atan2 pow floor ceil exp
// srand rand fabs abs, RAND_MAX and PI to the table on top of the stack.
SQRESULT sqstd_register_mathlib(HSQUIRRELVM v);

// Seeds the generator behind the script `rand` (shared by every VM of the
// process): state = state * 214013 + 2531011, result (state >> 16) & 0x7FFF.
// Before any call the state is 1.
void sqstd_seedrandom(unsigned int seed);

#ifdef __cplusplus
}
#endif
