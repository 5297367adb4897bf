// Description files on arbitrary bytes, loaded into a character in the
// scratch folder (box.mdl, box.mot and box_box.x exist there) and
// animated for a few frames, as the scene loads and plays one.
#include <cstddef>
#include <cstdint>

#include "asset_folder.h"
#include "model/objects.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::enterAssetFolder();
    // About 2.6 MB, kept for the process: not on the stack.
    static model::CHARA* const chara = new model::CHARA;
    model::loadDescriptionMemory(*chara, "fuzz.cha", data, size);
    for (int slot = -1; slot <= model::kAnimations; slot += 3) {
        chara->animeIndex = slot;
        chara->applyAnimation(2.5f);
    }
    chara->setScale(0.5f);
    chara->resetObject();
    return 0;
}
