// Sources of the host's system assets.
#include "system_asset_sources.h"

namespace tessmodel {

namespace {

// A part at the origin with unit axes, no parent and no children.
std::string onePartModel(int kind, const char* name, const char* mesh) {
    return std::string("model\nhighest 0\nroot 0\npart 0\n  kind ") + std::to_string(kind) + "\n  name \"" + name +
           "\"\n  mesh \"" + mesh +
           "\"\n  parent -1\n  children\n  v0 1 0 0\n  v1 0 1 0\n  v2 0 0 1\n  v3 0 0 0\n"
           "  v4 0 0 0\n  v5 0 0 0\n  v6 0 0 0\n  v7 0 0 0\n";
}

// The board quad, one unit square facing -z: triangles (left-top,
// right-top, right-bottom) and (left-top, right-bottom, left-bottom),
// clockwise seen from the front. White, untextured; drawing rewrites
// colours and coordinates per board.
const char* const kBoardMesh =
    "xof 0303txt 0032\r\n"
    "Mesh {\r\n"
    " 4;\r\n"
    " -0.500000;0.500000;0.000000;,\r\n"
    " 0.500000;0.500000;0.000000;,\r\n"
    " 0.500000;-0.500000;0.000000;,\r\n"
    " -0.500000;-0.500000;0.000000;;\r\n"
    " 2;\r\n"
    " 3;0,1,2;,\r\n"
    " 3;0,2,3;;\r\n"
    " MeshMaterialList {\r\n"
    "  1;\r\n"
    "  2;\r\n"
    "  0,\r\n"
    "  0;\r\n"
    "  Material {\r\n"
    "   1.000000;1.000000;1.000000;1.000000;;\r\n"
    "   0.000000;\r\n"
    "   0.000000;0.000000;0.000000;;\r\n"
    "   0.000000;0.000000;0.000000;;\r\n"
    "  }\r\n"
    " }\r\n"
    " MeshNormals {\r\n"
    "  1;\r\n"
    "  0.000000;0.000000;-1.000000;;\r\n"
    "  2;\r\n"
    "  3;0,0,0;,\r\n"
    "  3;0,0,0;;\r\n"
    " }\r\n"
    " MeshTextureCoords {\r\n"
    "  4;\r\n"
    "  0.000000;0.000000;,\r\n"
    "  1.000000;0.000000;,\r\n"
    "  1.000000;1.000000;,\r\n"
    "  0.000000;1.000000;;\r\n"
    " }\r\n"
    "}\r\n";

void put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

}  // namespace

std::vector<uint8_t> lightRampBitmap() {
    constexpr int kWidth = 2, kHeight = 256;
    constexpr int kRowBytes = (kWidth * 3 + 3) & ~3;
    std::vector<uint8_t> b;
    b.push_back('B');
    b.push_back('M');
    put32(b, 54 + kRowBytes * kHeight);
    put32(b, 0);
    put32(b, 54);
    put32(b, 40);
    put32(b, kWidth);
    put32(b, kHeight);
    put16(b, 1);
    put16(b, 24);
    put32(b, 0);
    put32(b, kRowBytes * kHeight);
    put32(b, 2835);
    put32(b, 2835);
    put32(b, 0);
    put32(b, 0);
    // Rows are stored bottom first: the bottom row is black.
    for (int stored = 0; stored < kHeight; ++stored) {
        uint8_t grey = uint8_t(stored);
        for (int x = 0; x < kWidth; ++x) b.insert(b.end(), 3, grey);
        b.insert(b.end(), kRowBytes - kWidth * 3, 0);
    }
    return b;
}

std::vector<AssetSource> systemAssetSources() {
    return {
        {"system/board/board.cha", "MODEL:[board.mdl]\r\n"},
        {"system/board/board.mdl", onePartModel(1, "board", "board.x"), true},
        {"system/board/board.x", kBoardMesh},
        {"system/dummy/dummy.mdl", onePartModel(0, "dummy", ""), true},
        {"system/texure/fill.bmp", "", false, lightRampBitmap},
    };
}

}  // namespace tessmodel
