// tools/tessmodel/host_files.h
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "model/model_data.h"

namespace tessmodel {

using Bytes = std::vector<uint8_t>;

// One material of a text mesh: colour with alpha and a texture file name
// (no folder; empty for none).
struct MeshMaterial {
    float r = 1, g = 1, b = 1, a = 1;
    std::string texture;
};

// A text mesh as the host's mesh reader reads it: positions with one
// normal and one texture coordinate each, faces of 3 or 4 corners wound
// clockwise seen from the front.
struct TextMesh {
    struct Point {
        float x, y, z;
    };
    std::vector<Point> positions;
    std::vector<Point> normals;  // one per position
    std::vector<float> u, v;     // one each per position
    std::vector<std::vector<int>> faces;
    std::vector<int> faceMaterials;  // one per face
    std::vector<MeshMaterial> materials;
};

// The mesh file text: CR LF lines, the blocks in the order the host's
// exporters wrote them, numbers with six decimals.
std::string meshText(const TextMesh& mesh);

// A model file: part i of `parts` at index i. Names longer than 256 bytes
// are the caller's to refuse; they are cut here only to fit the field.
Bytes modelFileBytes(const std::vector<model::MODEL_PART>& parts, int root);

// An animation file for `modelName` with one track per part.
Bytes animeFileBytes(const std::string& modelName, const std::vector<std::vector<model::ANIME_KEY>>& tracks,
                     int32_t frameCount);

// A 24-bit bottom-up BMP of `width` x `height` RGBA pixels (top row
// first): the colour channels, or with `alpha` the alpha as grey, the
// companion image the texture store reads for transparency.
Bytes bitmapBytes(const std::vector<uint8_t>& rgba, int width, int height, bool alpha);

}  // namespace tessmodel
