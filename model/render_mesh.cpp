// Render meshes: the triangle lists drawn for a parsed mesh file, and
// their outline shells.
#include "model/render_mesh.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "platform/file_report.h"
#include "platform/files.h"

namespace model {

namespace {

// A colour component as the low byte of component x 255 truncated; values
// no int can hold give 0 instead of an undefined conversion.
uint32_t truncatedByte(float scaled) {
    if (!(scaled > -2147483648.0f && scaled < 2147483648.0f)) return 0;
    return uint32_t(int32_t(scaled)) & 0xFF;
}

// Material of face f: its entry of the face-material list, or the list's
// last entry for faces past a short list.
int faceMaterial(const MESH_DATA& mesh, int face) {
    return mesh.faceMaterials[size_t(face < mesh.faceMaterialCount ? face : mesh.faceMaterialCount - 1)];
}

// The file's normal of corner c of face f; zero when the file has none.
render::Vec3 cornerNormal(const MESH_DATA& mesh, int face, int corner) {
    if (face >= mesh.normalFaceCount) return {};
    const MeshFace& nf = mesh.normalFaces[size_t(face)];
    if (corner >= nf.cornerCount) return {};
    return mesh.normals[size_t(nf.index[corner])];
}

// Output order of a face's corners: (0, 1, 2), and (0, 2, 3) for a quad.
constexpr int kCornerOrder[6] = {0, 1, 2, 0, 2, 3};

int outputCorners(const MeshFace& face) { return face.cornerCount == 4 ? 6 : 3; }

// Part of `name` after its last backslash, looking at positions
// last..`firstSeparator`.
const char* afterLastBackslash(const char* name, size_t firstSeparator) {
    size_t length = std::strlen(name);
    for (size_t i = length; i-- > firstSeparator;)
        if (name[i] == '\\') return name + i + 1;
    return name;
}

}  // namespace

namespace {
std::atomic<int64_t> meshBytesInUse{0};
}  // namespace

MeshCharge& MeshCharge::operator=(MeshCharge&& other) noexcept {
    if (this != &other) {
        set(0);
        bytes = other.bytes;
        other.bytes = 0;
    }
    return *this;
}

void MeshCharge::set(int64_t newBytes) {
    meshBytesInUse.fetch_add(newBytes - bytes);
    bytes = newBytes;
}

int64_t MeshCharge::total() { return meshBytesInUse.load(); }

bool MeshCharge::fits(int64_t more) { return more >= 0 && total() + more <= kMeshMemoryBudget; }

void clearRenderMesh(RENDER_MESH& mesh) {
    mesh.charge.set(0);
    std::vector<render::LVertex>().swap(mesh.vertices);
    std::vector<render::Vec3>().swap(mesh.normals);
    mesh.vertexCount = -1;
    mesh.textureName[0] = 0;
    mesh.textureSlot = -1;
}

void allocRenderMesh(RENDER_MESH& mesh, int count) {
    clearRenderMesh(mesh);
    if (count < 0) return;
    mesh.vertices.assign(size_t(count), render::LVertex{});
    mesh.normals.assign(size_t(count), render::Vec3{});
    mesh.vertexCount = count;
    mesh.charge.set(int64_t(count) * kMeshBytesPerVertex);
}

void buildRenderMesh(RENDER_MESH& out, MESH_DATA& mesh, float alphaFactor) {
    allocRenderMesh(out, mesh.triangleVertexCount);
    mesh.textureCount = mesh.materialCount;
    if (mesh.materialCount > 0) {
        mesh.textureBaseNames.assign(size_t(mesh.materialCount), MeshName{});
        mesh.textureSlots.assign(size_t(mesh.materialCount), -1);
        for (int m = 0; m < mesh.materialCount; ++m) {
            const char* name = mesh.textureNames[size_t(m)].text;
            std::strcpy(mesh.textureBaseNames[size_t(m)].text, afterLastBackslash(name, 0));
        }
        mesh.vertexMaterials.assign(size_t(mesh.triangleVertexCount > 0 ? mesh.triangleVertexCount : 0), -1);
    }
    uint32_t specular = truncatedByte(alphaFactor * 255.0f) << 24;
    int written = 0;
    for (int f = 0; f < mesh.faceCount; ++f) {
        const MeshFace& face = mesh.faces[size_t(f)];
        int m = faceMaterial(mesh, f);
        const float* colour = mesh.materials[size_t(m)].ambient;
        bool textured = mesh.textureNames[size_t(m)].text[0] != 0;
        uint32_t alpha = truncatedByte(colour[3] * alphaFactor * 255.0f);
        uint32_t diffuse = textured ? alpha << 24 | 0xFFFFFF
                                    : render::makeArgb(alpha, truncatedByte(colour[0] * 255.0f),
                                                       truncatedByte(colour[1] * 255.0f),
                                                       truncatedByte(colour[2] * 255.0f));
        for (int k = 0; k < outputCorners(face); ++k) {
            if (written >= out.vertexCount) break;
            int corner = kCornerOrder[k];
            int index = face.index[corner];
            const render::Vec3& p = mesh.vertices[size_t(index)];
            render::LVertex& v = out.vertices[size_t(written)];
            v.x = p.x;
            v.y = p.y;
            v.z = p.z;
            v.diffuse = diffuse;
            v.specular = specular;
            if (textured && index < mesh.texCoordCount) {
                v.tu = mesh.texCoords[size_t(index)].u;
                v.tv = mesh.texCoords[size_t(index)].v;
            }
            out.normals[size_t(written)] = cornerNormal(mesh, f, corner);
            mesh.vertexMaterials[size_t(written)] = m;
            ++written;
        }
    }
    // One texture for the whole mesh: the last material that names one.
    for (int m = mesh.materialCount - 1; m >= 0; --m) {
        const char* name = mesh.textureNames[size_t(m)].text;
        if (!name[0]) continue;
        const char* base = afterLastBackslash(name, 1);
        size_t n = 0;
        for (const char* p = base; *p && n + 1 < sizeof out.textureName; ++p)
            if (*p != '"') out.textureName[n++] = *p;
        out.textureName[n] = 0;
        break;
    }
}

void buildShellMesh(const MESH_DATA& mesh, RENDER_MESH& out, float distance, float alphaFactor) {
    allocRenderMesh(out, mesh.triangleVertexCount);
    if (!std::isfinite(distance)) distance = 0.0f;
    // The summed normal of every position, added face by face and corner
    // by corner: the same order, and so the same sums, as adding them up
    // for each corner separately.
    std::vector<render::Vec3> sums(size_t(mesh.vertexCount > 0 ? mesh.vertexCount : 0));
    for (int g = 0; g < mesh.faceCount; ++g) {
        const MeshFace& face = mesh.faces[size_t(g)];
        for (int k = 0; k < face.cornerCount; ++k) {
            render::Vec3& s = sums[size_t(face.index[k])];
            s = s + cornerNormal(mesh, g, k);
        }
    }
    std::vector<render::Vec3> offsets(sums.size());
    for (size_t i = 0; i < sums.size(); ++i) {
        render::Vec3 n = sums[i];
        float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        if (length > 0.0f && std::isfinite(length))
            offsets[i] = render::Vec3{n.x / length * distance, n.y / length * distance, n.z / length * distance};
    }
    uint32_t specular = truncatedByte(alphaFactor * 255.0f) << 24;
    int written = 0;
    for (int f = 0; f < mesh.faceCount; ++f) {
        const MeshFace& face = mesh.faces[size_t(f)];
        const float* colour = mesh.materials[size_t(faceMaterial(mesh, f))].ambient;
        uint32_t diffuse = truncatedByte(colour[3] * alphaFactor * 255.0f) << 24 | 0xFFFFFF;
        for (int k = 0; k < outputCorners(face); ++k) {
            if (written >= out.vertexCount) break;
            int index = face.index[kCornerOrder[k]];
            render::Vec3 p = mesh.vertices[size_t(index)] + offsets[size_t(index)];
            render::LVertex& v = out.vertices[size_t(written++)];
            v.x = p.x;
            v.y = p.y;
            v.z = p.z;
            v.diffuse = diffuse;
            v.specular = specular;
        }
    }
}

namespace {

// Parses and builds the main mesh, and the shell when asked; `overBudget`
// tells a refusal for memory from one for the file's content.
bool loadParts(MESH_DATA& mesh, const uint8_t* data, size_t size, RENDER_MESH& out, RENDER_MESH* shell,
               float shellDistance, float alphaFactor, bool& overBudget) {
    overBudget = false;
    clearRenderMesh(out);
    if (shell) clearRenderMesh(*shell);
    if (!parseMeshMemory(mesh, data, size)) return false;
    const int64_t copies = shell ? 2 : 1;
    if (!MeshCharge::fits(int64_t(std::max(mesh.triangleVertexCount, 0)) * kMeshBytesPerVertex * copies)) {
        overBudget = true;
        return false;
    }
    buildRenderMesh(out, mesh, alphaFactor);
    if (shell) buildShellMesh(mesh, *shell, shellDistance, alphaFactor);
    return true;
}

bool loadFile(MESH_DATA& mesh, const char* path, RENDER_MESH& out, RENDER_MESH* shell, float shellDistance,
              float alphaFactor) {
    std::vector<uint8_t> data;
    if (!path || !platform::readFile(path, data)) {
        clearMeshData(mesh, true);
        clearRenderMesh(out);
        if (shell) clearRenderMesh(*shell);
        return false;
    }
    bool overBudget;
    if (loadParts(mesh, data.data(), data.size(), out, shell, shellDistance, alphaFactor, overBudget)) return true;
    if (overBudget)
        platform::reportFileOnce("the mesh '%s' does not fit in the 512 MiB that meshes and fields may take", path);
    return false;
}

}  // namespace

bool loadMeshMemory(MESH_DATA& mesh, const uint8_t* data, size_t size, RENDER_MESH& out, float alphaFactor) {
    bool overBudget;
    return loadParts(mesh, data, size, out, nullptr, 0.0f, alphaFactor, overBudget);
}

bool loadMeshWithShellMemory(MESH_DATA& mesh, const uint8_t* data, size_t size, RENDER_MESH& out,
                             RENDER_MESH& shell, float shellDistance, float alphaFactor) {
    bool overBudget;
    return loadParts(mesh, data, size, out, &shell, shellDistance, alphaFactor, overBudget);
}

bool loadMesh(MESH_DATA& mesh, const char* path, RENDER_MESH& out, float alphaFactor) {
    return loadFile(mesh, path, out, nullptr, 0.0f, alphaFactor);
}

bool loadMeshWithShell(MESH_DATA& mesh, const char* path, RENDER_MESH& out, RENDER_MESH& shell,
                       float shellDistance, float alphaFactor) {
    return loadFile(mesh, path, out, &shell, shellDistance, alphaFactor);
}

}  // namespace model
