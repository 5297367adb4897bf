// model/render_mesh.h
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "model/mesh_data.h"
#include "render/matrix.h"
#include "render/vertex.h"

namespace model {

constexpr int kRenderTextureNameLength = 257;

// Meshes of models and the field share one budget of memory, as textures
// have theirs: a load that would take more is refused. The charge counts
// the triangle lists kept for drawing (vertices and normals).
constexpr int64_t kMeshMemoryBudget = int64_t(512) << 20;
constexpr int64_t kMeshBytesPerVertex = int64_t(sizeof(render::LVertex) + sizeof(render::Vec3));

// Bytes charged against the budget for as long as the record holding it
// lives: a copy charges again, a move hands the charge over. Safe from
// any thread.
class MeshCharge {
public:
    MeshCharge() = default;
    MeshCharge(const MeshCharge& other) { set(other.bytes); }
    MeshCharge(MeshCharge&& other) noexcept : bytes(other.bytes) { other.bytes = 0; }
    MeshCharge& operator=(const MeshCharge& other) {
        set(other.bytes);
        return *this;
    }
    MeshCharge& operator=(MeshCharge&& other) noexcept;
    ~MeshCharge() { set(0); }

    void set(int64_t newBytes);
    int64_t charged() const { return bytes; }

    // Everything charged now, in the whole program.
    static int64_t total();
    // True when `more` bytes still fit in the budget.
    static bool fits(int64_t more);

private:
    int64_t bytes = 0;
};

// A drawable triangle list: three pre-lit vertices per triangle and one
// normal per vertex for the light pass. The texture slot is a counted
// reference into the texture store, released by the model that owns the
// mesh (resetModel), not by emptying the record.
struct RENDER_MESH {
    int32_t vertexCount = -1;  // a multiple of 3; -1 when empty
    std::vector<render::LVertex> vertices;
    char textureName[kRenderTextureNameLength] = {};  // no folder; empty = untextured
    int32_t textureSlot = -1;
    std::vector<render::Vec3> normals;  // all zero in a shell
    MeshCharge charge;
};

// Frees both arrays; vertexCount -1, no texture name, slot -1.
void clearRenderMesh(RENDER_MESH& mesh);

// clearRenderMesh, then `count` zeroed vertices and normals (count >= 0).
void allocRenderMesh(RENDER_MESH& mesh, int count);

// The main build: positions, texture coordinates, material colours (the
// alpha scaled by `alphaFactor`) and normals of every face, quads split
// into (0, 1, 2) and (0, 2, 3); the mesh's texture is the last textured
// material's file name without folder or quotation marks. Also fills the
// mesh's per-material bookkeeping for the field (textureCount,
// textureBaseNames, textureSlots all -1, vertexMaterials). A normal or
// texture coordinate the file lacks reads as zero. The mesh must come
// from a successful parseMesh.
void buildRenderMesh(RENDER_MESH& out, MESH_DATA& mesh, float alphaFactor);

// The outline shell: the faces again, each corner pushed `distance` out
// along the normalised sum of the normals of every corner sharing its
// position index; white with the material's alpha, untextured, normals
// zero. A corner whose normals cancel out stays in place, and a distance
// that is not finite (a scale of 0) counts as 0.
void buildShellMesh(const MESH_DATA& mesh, RENDER_MESH& out, float distance, float alphaFactor);

// Reads and parses a mesh file (a game path) into `mesh` and builds the
// main mesh. False when the file cannot be read, the mesh is refused or
// its triangles (twice, with the shell) do not fit in the mesh budget,
// said on stderr with the file's name; `out` is then empty. `mesh` keeps
// the parsed data either way for the caller to clear.
bool loadMesh(MESH_DATA& mesh, const char* path, RENDER_MESH& out, float alphaFactor);

// loadMesh, then the shell into `shell`.
bool loadMeshWithShell(MESH_DATA& mesh, const char* path, RENDER_MESH& out, RENDER_MESH& shell,
                       float shellDistance, float alphaFactor);

// The same from bytes in memory (a mesh beyond the budget fails silently).
bool loadMeshMemory(MESH_DATA& mesh, const uint8_t* data, size_t size, RENDER_MESH& out, float alphaFactor);
bool loadMeshWithShellMemory(MESH_DATA& mesh, const uint8_t* data, size_t size, RENDER_MESH& out,
                             RENDER_MESH& shell, float shellDistance, float alphaFactor);

}  // namespace model
