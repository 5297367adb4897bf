// Field meshes on arbitrary bytes: the mesh, the tree and the grid built at
// load, then ground queries across the field's bounds and beyond them.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "scene/field.h"

namespace {

constexpr int kQuerySteps = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static scene::Field field;
    if (!field.loadMemory("field\\fuzz.x", data, size)) return 0;
    const render::Vec3 low = field.boundsMin();
    const render::Vec3 high = field.boundsMax();
    for (int i = -1; i <= kQuerySteps + 1; ++i) {
        for (int k = -1; k <= kQuerySteps + 1; ++k) {
            render::Vec3 p{low.x + (high.x - low.x) * float(i) / kQuerySteps, high.y + 1.0f,
                           low.z + (high.z - low.z) * float(k) / kQuerySteps};
            const int result = field.checkGround(p);
            if (result < -2 || result > 2) __builtin_trap();
            render::Vec3 below = p;
            below.y = low.y - 1.0f;
            field.checkGround(below);
        }
    }
    field.unload();
    return 0;
}
