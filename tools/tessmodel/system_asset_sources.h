// tools/tessmodel/system_asset_sources.h
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tessmodel {

// One file of the host's "system" folder: a model text form to build, a
// text written as it is, or bytes made in code.
struct AssetSource {
    const char* path;  // below the output folder, with '/'
    std::string text;
    bool modelText = false;
    std::vector<uint8_t> (*bytes)() = nullptr;
};

// The billboard description, model and quad mesh, the dummy model and
// the light ramp.
std::vector<AssetSource> systemAssetSources();

// The light ramp: 24-bit grey, white in the top row, black in the bottom
// row, 256 rows of 2 pixels.
std::vector<uint8_t> lightRampBitmap();

}  // namespace tessmodel
