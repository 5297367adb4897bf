// The field: load, quad tree, grid, drawing and the ground query.
#include "scene/field.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "graphics/camera.h"
#include "graphics/g_d3d.h"
#include "graphics/lighting.h"
#include "graphics/texture_store.h"
#include "model/render_mesh.h"
#include "platform/file_report.h"
#include "platform/files.h"

namespace scene {

namespace {

using render::Vec3;

constexpr int kTreeDepth = 2;
constexpr float kAlphaFactor = 0.5f;
constexpr float kEdgePushStart = 10.0f;  // the push back over an edge starts this far out
constexpr float kEdgeClearance = 0.000625f;
constexpr float kMinPushNormal = 0.0001f;
constexpr float kSteepSlope = 0.5f;      // acos(n.y) in radians, about 28.6 degrees

void grow(Vec3& min, Vec3& max, Vec3 p) {
    min.x = std::min(min.x, p.x);
    min.y = std::min(min.y, p.y);
    min.z = std::min(min.z, p.z);
    max.x = std::max(max.x, p.x);
    max.y = std::max(max.y, p.y);
    max.z = std::max(max.z, p.z);
}

bool finite(Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// A colour channel 255 x value, truncated and kept to a byte.
uint32_t channel(float scaled) {
    if (!(scaled > 0.0f)) return 0;
    if (scaled >= 255.0f) return 255;
    return uint32_t(scaled);
}

// Win32 rectangles: right and bottom are exclusive, so an empty rectangle
// meets nothing.
struct IntRect {
    int left, top, right, bottom;
    bool isEmpty() const { return left >= right || top >= bottom; }
};

bool intersects(const IntRect& a, const IntRect& b) {
    if (a.isEmpty() || b.isEmpty()) return false;
    IntRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
    return !r.isEmpty();
}

// Moves p onto the plane E . x + offset = 0 along -E, from a start point
// `startDistance` out along E, then `clearance` beyond it. With a normal
// of length kMinPushNormal or less p stays.
Vec3 pushOntoPlane(Vec3 p, Vec3 e, float offset, float startDistance, float clearance) {
    if (render::length(e) <= kMinPushNormal) return p;
    const Vec3 start = p + e * startDistance;
    const Vec3 dir = e * -1.0f;
    const float t = -(render::dot(e, start) + offset) / render::dot(e, dir);
    return start + dir * t + e * clearance;
}

// The cell coordinate of a value: truncated toward zero; values beyond
// any grid (and NaN) land far outside it, so a scan around them is empty.
int cellCoordinate(float v) {
    if (!(v > -1.0e9f && v < 1.0e9f)) return -1000000000;
    return int(v);
}

}  // namespace

Field::Field() = default;

Field::~Field() {
    clear();
}

void Field::connect(graphics::TextureStore* textureStore, graphics::G_D3D* d3d, graphics::Lighting* lighting) {
    store = textureStore;
    display = d3d;
    light = lighting;
}

bool Field::load(const char* path) {
    unload();
    if (!path) return false;
    std::vector<uint8_t> data;
    if (!platform::readFile(path, data)) return false;
    if (build(path, data.data(), data.size())) return true;
    if (overBudget)
        platform::reportFileOnce("the field '%s' does not fit in the 512 MiB that meshes and fields may take", path);
    return false;
}

bool Field::loadMemory(const char* path, const uint8_t* data, size_t size) {
    unload();
    if (!path || !data) return false;
    return build(path, data, size);
}

void Field::unload() {
    if (textureOwner) {
        for (int32_t slot : textureSlots)
            if (slot >= 0) textureOwner->releaseTexture(slot);
    }
    clear();
}

void Field::clear() {
    loaded = false;
    overBudget = false;
    charge.set(0);
    textureOwner = nullptr;
    std::vector<FieldFace>().swap(faces);
    std::vector<int32_t>().swap(faceMaterials);
    std::vector<render::LVertex>().swap(faceVertices);
    std::vector<Vec3>().swap(faceNormals);
    std::vector<int32_t>().swap(textureSlots);
    std::vector<int32_t>().swap(cellStart);
    std::vector<int32_t>().swap(cellFaces);
    for (FieldNode& n : nodes) n = FieldNode{};
    minBound = maxBound = Vec3{};
    columnCount = rowCount = 0;
    centerX = centerZ = 0.0f;
}

bool Field::build(const char* path, const uint8_t* data, size_t size) {
    model::MESH_DATA mesh;
    model::RENDER_MESH out;
    if (!model::loadMeshMemory(mesh, data, size, out, kAlphaFactor)) return false;
    const int triangles = out.vertexCount > 0 ? out.vertexCount / 3 : 0;

    // Bounds first: they decide whether the field is refused before
    // anything is kept.
    Vec3 lo, hi;
    for (int i = 0; i < triangles * 3; ++i) {
        const render::LVertex& v = out.vertices[size_t(i)];
        const Vec3 p{v.x, v.y, v.z};
        if (!finite(p) || std::fabs(p.x) > kFieldCoordinateLimit || std::fabs(p.y) > kFieldCoordinateLimit ||
            std::fabs(p.z) > kFieldCoordinateLimit)
            return false;
        grow(lo, hi, p);
    }
    const float spanX = std::fabs(lo.x) + std::fabs(hi.x);
    const float spanZ = std::fabs(lo.z) + std::fabs(hi.z);
    const int64_t columns = int64_t(spanX) + 1, rows = int64_t(spanZ) + 1;
    if (columns * rows > kMaxFieldGridCells) return false;

    faces.reserve(size_t(triangles));
    faceMaterials.reserve(size_t(triangles));
    faceVertices.reserve(size_t(triangles) * 3);
    faceNormals.reserve(size_t(triangles) * 3);
    for (int t = 0; t < triangles; ++t) {
        const render::LVertex* v = &out.vertices[size_t(t) * 3];
        const Vec3 p[3] = {{v[0].x, v[0].y, v[0].z}, {v[1].x, v[1].y, v[1].z}, {v[2].x, v[2].y, v[2].z}};
        const Vec3 c = render::cross(p[0] - p[1], p[0] - p[2]);
        if (!(render::length(c) > 0.0f)) continue;
        FieldFace f;
        f.p0 = p[0];
        f.normal = render::normalize(c);
        if (!finite(f.normal)) continue;
        const float tilt = std::acos(f.normal.y);
        f.slide = render::normalize({f.normal.x, std::cos(1.57f * tilt), f.normal.z});
        f.planeOffset = -render::dot(f.normal, p[0]);
        for (int k = 0; k < 3; ++k) {
            const Vec3 e = p[k] - p[(k + 1) % 3];
            const Vec3 outward{e.z, 0.0f, -e.x};
            // A vertical face stands on a line: nothing lies inside its
            // prism, so no query divides by its zero n.y.
            if (f.normal.y == 0.0f || !(render::length(outward) > 0.0f)) {
                f.edgeNormal[k] = Vec3{};
                f.edgeOffset[k] = 1.0f;
                continue;
            }
            f.edgeNormal[k] = render::normalize(outward);
            f.edgeOffset[k] = -render::dot(f.edgeNormal[k], p[k]);
        }
        f.min = f.max = p[0];
        grow(f.min, f.max, p[1]);
        grow(f.min, f.max, p[2]);
        faces.push_back(f);
        faceMaterials.push_back(mesh.vertexMaterials.empty() ? 0 : mesh.vertexMaterials[size_t(t) * 3]);
        for (int k = 0; k < 3; ++k) {
            faceVertices.push_back(v[k]);
            faceNormals.push_back(out.normals[size_t(t) * 3 + size_t(k)]);
        }
    }
    minBound = lo;
    maxBound = hi;
    columnCount = int32_t(columns);
    rowCount = int32_t(rows);
    centerX = hi.x - spanX / 2.0f;
    centerZ = hi.z - spanZ / 2.0f;

    int64_t links = 0;
    for (const FieldFace& f : faces) {
        const int r0 = std::max(0, cellCoordinate(f.min.z + std::fabs(lo.z)));
        const int r1 = std::min(rowCount - 1, cellCoordinate(f.max.z + std::fabs(lo.z)));
        const int c0 = std::max(0, cellCoordinate(f.min.x + std::fabs(lo.x)));
        const int c1 = std::min(columnCount - 1, cellCoordinate(f.max.x + std::fabs(lo.x)));
        if (r1 >= r0 && c1 >= c0) links += int64_t(r1 - r0 + 1) * (c1 - c0 + 1);
    }
    if (links > kMaxFieldGridLinks) {
        clear();
        return false;
    }
    // What the field keeps: its faces, their batches and the grid.
    const int64_t keeps = int64_t(faces.size()) * int64_t(sizeof(FieldFace) + sizeof(int32_t) +
                                                          3 * model::kMeshBytesPerVertex) +
                          (links + columns * rows + 1) * int64_t(sizeof(int32_t));
    if (!model::MeshCharge::fits(keeps)) {
        clear();
        overBudget = true;
        return false;
    }
    charge.set(keeps);

    // The textures come from the field file's folder.
    textureSlots.assign(size_t(std::max(mesh.textureCount, 0)), -1);
    if (store) {
        char folder[graphics::kTextureFolderLength] = {};
        const char* cut = std::strrchr(path, '\\');
        if (cut && size_t(cut - path + 1) < sizeof folder) std::memcpy(folder, path, size_t(cut - path + 1));
        store->setTextureFolder(folder);
        for (size_t m = 0; m < textureSlots.size(); ++m) {
            const char* name = mesh.textureBaseNames[m].text;
            if (name[0]) textureSlots[m] = store->findOrLoadTexture(name);
        }
    }
    textureOwner = store;

    int next = 1;
    buildNode(0, 0, lo.x, lo.z, hi.x, hi.z, next);
    // Assignment is done: no stamp may equal a query's value now.
    for (FieldFace& f : faces) f.stamp = -1;
    std::vector<render::LVertex>().swap(faceVertices);
    std::vector<Vec3>().swap(faceNormals);
    loaded = buildGrid();
    if (!loaded) unload();
    return loaded;
}

void Field::buildNode(int index, int depth, float minX, float minZ, float maxX, float maxZ, int& next) {
    FieldNode& node = nodes[index];
    node.rectMinX = minX;
    node.rectMinZ = minZ;
    node.rectMaxX = maxX;
    node.rectMaxZ = maxZ;
    const float midX = (minX + maxX) / 2.0f, midZ = (minZ + maxZ) / 2.0f;
    node.min = node.max = Vec3{midX, 0.0f, midZ};
    if (depth == kTreeDepth) {
        fillLeaf(node);
        return;
    }
    const float rects[4][4] = {
        {minX, minZ, midX, midZ}, {midX, minZ, maxX, midZ}, {minX, midZ, midX, maxZ}, {midX, midZ, maxX, maxZ}};
    for (int c = 0; c < 4; ++c) {
        const int child = next++;
        node.children[c] = child;
        buildNode(child, depth + 1, rects[c][0], rects[c][1], rects[c][2], rects[c][3], next);
    }
    node.min = nodes[node.children[0]].min;
    node.max = nodes[node.children[0]].max;
    for (int c = 1; c < 4; ++c) {
        grow(node.min, node.max, nodes[node.children[c]].min);
        grow(node.min, node.max, nodes[node.children[c]].max);
    }
}

// First leaf wins: a face touching several leaves belongs to the first one
// built, whose box then reaches out to the face's whole extent.
void Field::fillLeaf(FieldNode& leaf) {
    for (size_t i = 0; i < faces.size(); ++i) {
        FieldFace& f = faces[i];
        if (f.stamp != 0) continue;
        if (f.min.x > leaf.rectMaxX || f.max.x < leaf.rectMinX) continue;
        if (f.min.z > leaf.rectMaxZ || f.max.z < leaf.rectMinZ) continue;
        f.stamp = 1;
        leaf.faces.push_back(int32_t(i));
        grow(leaf.min, leaf.max, f.min);
        grow(leaf.min, leaf.max, f.max);
    }
    for (int m = 0; m < int(textureSlots.size()); ++m) {
        int count = 0;
        for (int32_t i : leaf.faces)
            if (faceMaterials[size_t(i)] == m) ++count;
        if (!count) continue;
        FieldBatch batch;
        batch.material = m;
        batch.textureSlot = textureSlots[size_t(m)];
        batch.vertices.reserve(size_t(count) * 3);
        batch.normals.reserve(size_t(count) * 3);
        for (int32_t i : leaf.faces) {
            if (faceMaterials[size_t(i)] != m) continue;
            for (int k = 0; k < 3; ++k) {
                render::LVertex v = faceVertices[size_t(i) * 3 + size_t(k)];
                v.diffuse = 0xFFFFFFFF;
                batch.vertices.push_back(v);
                batch.normals.push_back(faceNormals[size_t(i) * 3 + size_t(k)]);
            }
        }
        leaf.batches.push_back(std::move(batch));
    }
}

// Cells hold their faces in leaf order, then face order: the order the
// ground query meets them in.
bool Field::buildGrid() {
    const size_t cells = size_t(columnCount) * size_t(rowCount);
    cellStart.assign(cells + 1, 0);
    const float offX = std::fabs(minBound.x), offZ = std::fabs(minBound.z);
    auto visit = [&](auto&& addLink) {
        for (const FieldNode& node : nodes) {
            if (!node.isLeaf()) continue;
            for (int32_t i : node.faces) {
                const FieldFace& f = faces[size_t(i)];
                const int r0 = std::max(0, cellCoordinate(f.min.z + offZ));
                const int r1 = std::min(rowCount - 1, cellCoordinate(f.max.z + offZ));
                const int c0 = std::max(0, cellCoordinate(f.min.x + offX));
                const int c1 = std::min(columnCount - 1, cellCoordinate(f.max.x + offX));
                for (int r = r0; r <= r1; ++r)
                    for (int c = c0; c <= c1; ++c) addLink(size_t(r) * size_t(columnCount) + size_t(c), i);
            }
        }
    };
    // A cell lists its first kMaxCellFaces faces only, so a pile of faces
    // over one spot cannot make every ground query there slow.
    visit([&](size_t cell, int32_t) {
        if (cellStart[cell + 1] < kMaxCellFaces) ++cellStart[cell + 1];
    });
    for (size_t c = 0; c < cells; ++c) cellStart[c + 1] += cellStart[c];
    cellFaces.assign(size_t(cellStart[cells]), -1);
    std::vector<int32_t> fill(cellStart.begin(), cellStart.end() - 1);
    visit([&](size_t cell, int32_t face) {
        if (fill[cell] < cellStart[cell + 1]) cellFaces[size_t(fill[cell]++)] = face;
    });
    return true;
}

int Field::cellFaceCount(int row, int column) const {
    if (!loaded || row < 0 || row >= rowCount || column < 0 || column >= columnCount) return 0;
    const size_t cell = size_t(row) * size_t(columnCount) + size_t(column);
    return cellStart[cell + 1] - cellStart[cell];
}

int Field::cellFace(int row, int column, int k) const {
    if (k < 0 || k >= cellFaceCount(row, column)) return -1;
    return cellFaces[size_t(cellStart[size_t(row) * size_t(columnCount) + size_t(column)] + k)];
}

void Field::draw(const graphics::Camera& camera) {
    if (!loaded || !display || !light || !display->isReady()) return;
    render::Device* device = display->device();
    if (!device) return;
    light->matrix = render::identityMatrix();
    const Vec3 l = light->throughMatrix(light->position);
    const IntRect view{cellCoordinate(camera.target.x - kFieldCullHalfSize),
                       cellCoordinate(camera.target.z - kFieldCullHalfSize),
                       cellCoordinate(camera.target.x + kFieldCullHalfSize),
                       cellCoordinate(camera.target.z + kFieldCullHalfSize)};
    const uint32_t alpha = channel(255.0f * light->tintColor[0]);
    const render::Matrix identity = render::identityMatrix();

    // Depth first from the root; an invisible node hides its subtree.
    int stack[kFieldNodes];
    int depth = 0;
    stack[depth++] = 0;
    while (depth > 0) {
        FieldNode& node = nodes[stack[--depth]];
        const IntRect box{cellCoordinate(node.min.x), cellCoordinate(node.min.z), cellCoordinate(node.max.x),
                          cellCoordinate(node.max.z)};
        if (!intersects(box, view)) continue;
        if (!node.isLeaf()) {
            for (int c = 3; c >= 0; --c) stack[depth++] = node.children[c];
            continue;
        }
        for (FieldBatch& batch : node.batches) {
            display->textures().bindTexture(batch.textureSlot);
            device->setTransform(render::Transform::World, identity);
            for (size_t i = 0; i < batch.vertices.size(); ++i) {
                float s = render::dot(batch.normals[i], l);
                if (!(s > 0.0f)) s = 0.0f;
                if (s > 1.0f) s = 1.0f;
                const float v = std::min(light->intensity * s + light->ambient, 1.0f);
                batch.vertices[i].diffuse =
                    render::makeArgb(alpha, channel(255.0f * v * light->color[0]),
                                     channel(255.0f * v * light->color[1]), channel(255.0f * v * light->color[2]));
            }
            device->drawPrimitive(render::Primitive::TriangleList, batch.vertices.data(),
                                  int(batch.vertices.size()));
        }
    }
}

int Field::checkGround(Vec3& p) {
    if (!loaded) return -2;
    // On the wrap every stamp is cleared, so no face keeps a value the next
    // queries use and none is skipped by mistake.
    if (++stamp > kFieldStampLimit) {
        stamp = 0;
        for (FieldFace& f : faces) f.stamp = -1;
    }
    const int column = int(std::fabs(minBound.x)) + cellCoordinate(p.x);
    const int row = int(std::fabs(minBound.z)) + cellCoordinate(p.z);
    int result = -2;
    for (int r = std::max(0, row - 1); r <= std::min(rowCount - 1, row + 1); ++r) {
        for (int c = std::max(0, column - 1); c <= std::min(columnCount - 1, column + 1); ++c) {
            const size_t cell = size_t(r) * size_t(columnCount) + size_t(c);
            for (int32_t k = cellStart[cell]; k < cellStart[cell + 1]; ++k) {
                FieldFace& f = faces[size_t(cellFaces[size_t(k)])];
                if (f.stamp == stamp) continue;
                f.stamp = stamp;
                bool inside = true;
                for (int e = 0; e < 3 && inside; ++e)
                    inside = render::dot(f.edgeNormal[e], p) + f.edgeOffset[e] <= 0.0f;
                if (!inside) continue;
                if (result == -2) result = -1;
                const Vec3 n = f.normal;
                const float g = (-f.planeOffset + kGroundOffset - n.x * p.x - n.z * p.z) / n.y;
                if (!std::isfinite(g) || g < p.y) continue;
                p.y = g;
                if (std::acos(n.y) >= kSteepSlope) {
                    p.x += f.slide.x;
                    p.y = g + f.slide.y;
                    p.z += f.slide.z;
                    for (int e = 0; e < 3; ++e) {
                        if (render::dot(f.edgeNormal[e], p) + f.edgeOffset[e] > 0.0f)
                            p = pushOntoPlane(p, f.edgeNormal[e], f.edgeOffset[e], kEdgePushStart, kEdgeClearance);
                    }
                    result = 2;
                } else if (result != 2) {
                    result = 1;
                }
            }
        }
    }
    return result;
}

}  // namespace scene
