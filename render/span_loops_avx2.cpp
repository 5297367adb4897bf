// render/span_loops_avx2.cpp: the pixel loops in groups of eight, for
// processors with AVX2 (compiled with it; chosen at run time).
#define RENDER_LOOPS_NAMESPACE eightfold
#include "render/span_loops.h"
