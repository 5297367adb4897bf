// Model files on arbitrary bytes, loaded as an object loads them (meshes
// with their shells, from the scratch folder where box.x exists), then
// emptied again. An accepted model's part tree stays inside the part table
// (a negative index names no part).
#include <cstddef>
#include <cstdint>
#include <memory>

#include "asset_folder.h"
#include "model/model_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::enterAssetFolder();
    static const auto model = std::make_unique<model::MODEL_DATA>();
    model::resetModel(*model);
    if (model::loadModelMemory(*model, "fuzz.mdl", data, size, true, 0.125f)) {
        const int highest = model->highestPart;
        if (highest >= model::kModelParts) __builtin_trap();
        if (model->rootPart >= model::kModelParts) __builtin_trap();
        for (int i = 0; i <= highest; ++i) {
            const model::MODEL_PART& part = model->parts[i];
            if (part.parent >= model::kModelParts) __builtin_trap();
            for (int32_t child : part.children)
                if (child >= model::kModelParts) __builtin_trap();
        }
    }
    model::resetModel(*model);
    return 0;
}
