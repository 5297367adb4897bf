// model/mesh_data.h
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/matrix.h"

namespace model {

constexpr int kTokenLength = 256;        // characters of one token, without the NUL
constexpr int kTextureNameLength = 256;  // 255 characters and the NUL
// Counts above these refuse the mesh before anything is allocated. A
// count of positions, faces, normals or coordinates may also not exceed
// the file's length in bytes: a value the text lacks reads as 0, but a
// 20-byte file never asks for a million vertices.
constexpr int kMaxMeshElements = 1 << 22;
constexpr int kMaxMaterials = 4096;
constexpr size_t kMaxMeshFileBytes = size_t(1) << 30;

// One face slot: the corner count (3 or 4) and up to four indices.
struct MeshFace {
    int32_t cornerCount = 0;
    int32_t index[4] = {};
};

// The layout of the old device's material record; only `ambient` (the
// file's face colour) is used afterwards.
struct MeshMaterial {
    float diffuse[4] = {};   // r, g, b from the file's specular colour
    float ambient[4] = {};   // the face colour, r, g, b, a
    float specular[4] = {};  // r, g, b from the file's emissive colour
    float emissive[4] = {};
    float power = 0.0f;
};
static_assert(sizeof(MeshMaterial) == 68);

struct MeshName {
    char text[kTextureNameLength] = {};
};

struct TexCoord {
    float u = 0.0f;
    float v = 0.0f;
};

// A parsed mesh file, alive for one load. Every count is -1 while its
// array is absent; an array holds exactly `count` entries otherwise.
struct MESH_DATA {
    int32_t vertexCount = -1;
    std::vector<render::Vec3> vertices;
    int32_t faceCount = -1;
    std::vector<MeshFace> faces;
    int32_t triangleVertexCount = -1;  // 6 per four-corner face, 3 per other face
    int32_t materialCount = -1;
    std::vector<MeshMaterial> materials;
    std::vector<MeshName> textureNames;  // per material, empty when untextured
    int32_t faceMaterialCount = -1;
    std::vector<int32_t> faceMaterials;
    int32_t normalCount = -1;
    std::vector<render::Vec3> normals;  // as written, not normalised
    int32_t normalFaceCount = -1;
    std::vector<MeshFace> normalFaces;
    int32_t texCoordCount = -1;
    std::vector<TexCoord> texCoords;  // per position

    // Written by the main render build for the field: per-material
    // texture names without folders, a material index per output vertex,
    // and texture-store slots the field fills in.
    int32_t textureCount = -1;
    std::vector<int32_t> vertexMaterials;
    std::vector<MeshName> textureBaseNames;
    std::vector<int32_t> textureSlots;
};

// Empties the record: every count -1 and every array empty. With
// `release` the storage is freed and triangleVertexCount also becomes -1;
// without, the arrays keep their capacity for the next file.
void clearMeshData(MESH_DATA& mesh, bool release);

// The text of a mesh file cut into lines. Lines end at LF, at CR LF and
// at a CR standing alone; a last line without a line end is a line too,
// and a NUL byte ends its line's text. The text is viewed, not copied:
// the bytes must outlive the table.
class MeshText {
public:
    MeshText(const uint8_t* data, size_t size);

    int lineCount() const { return int(starts.size()); }
    const char* line(int index) const { return text + starts[size_t(index)]; }
    int lineLength(int index) const { return int(lengths[size_t(index)]); }
    size_t byteCount() const { return size; }

private:
    const char* text;
    size_t size;
    std::vector<uint32_t> starts;
    std::vector<uint32_t> lengths;
};

// Where the tokenizer stands: a line and a column in it.
struct TextPosition {
    int line = 0;
    int column = 0;
};

// One token: at most kTokenLength characters; longer ones keep their
// first kTokenLength.
struct MeshToken {
    char text[kTokenLength + 1] = {};
    int length = 0;
};

// The next token from `at`, which advances past it. Spaces never enter a
// token; a comma or semicolon ends a non-empty token and is skipped while
// the token is empty; a line end does not end a token. False, with what
// was gathered (possibly nothing), when the lines run out.
bool nextToken(const MeshText& text, TextPosition& at, MeshToken& token);

// Index of the first line at or after `firstLine` that opens a block with
// `keyword`: the keyword, possibly broken by spaces and carried over line
// ends, as the first text of the line, followed by a space or "{". -1
// when there is none.
int findBlock(const MeshText& text, int firstLine, const char* keyword);

// Number conversions as the C library's atoi and atof read a token: the
// number at its start, the rest ignored, 0 when there is none.
int32_t tokenToInt(const char* text, int length);
float tokenToFloat(const char* text, int length);

// Parses the text into `mesh` (cleared first). False when the mesh is
// refused: no "Mesh" or "MeshMaterialList" block, a count out of range,
// a face with fewer than three or more than four corners, or an index
// outside its array.
bool parseMesh(MESH_DATA& mesh, const MeshText& text);

// parseMesh over the bytes of a whole file (refused above
// kMaxMeshFileBytes). A refused mesh leaves the record cleared.
bool parseMeshMemory(MESH_DATA& mesh, const uint8_t* data, size_t size);

}  // namespace model
