// Animation files on arbitrary bytes, read for the box model and played:
// every part is posed at every frame of the accepted animation.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "asset_folder.h"
#include "model/model_data.h"
#include "model/objects.h"

namespace {

constexpr int kMaxPosedFrames = 200;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::enterAssetFolder();
    static const auto box = [] {
        auto m = std::make_unique<model::MODEL_DATA>();
        if (!model::loadModelFile(*m, "box.mdl", false, 0.0f)) abort();
        return m;
    }();
    static const auto anime = std::make_unique<model::ANIME_DATA>();
    for (model::ANIME_TRACK& track : anime->tracks) model::resetAnimeTrack(track);
    anime->frameCount = 0;
    if (!model::loadAnimeMemory(*anime, *box, data, size)) return 0;
    model::MODEL_PART part;
    const int frames = anime->frameCount < kMaxPosedFrames ? anime->frameCount : kMaxPosedFrames;
    for (const model::ANIME_TRACK& track : anime->tracks) {
        if (!track.enabled) continue;
        for (int frame = -1; frame <= frames + 1; ++frame) model::posePart(part, track, frame);
    }
    return 0;
}
