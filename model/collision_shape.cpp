// Collision shapes: the distinct face planes of a mesh.
#include "model/collision_shape.h"

#include <bit>
#include <cmath>
#include <vector>

#include "model/render_mesh.h"
#include "platform/files.h"

namespace model {

namespace {

bool samePlane(const CollisionPlane& p, render::Vec3 n, float d) {
    return std::bit_cast<uint32_t>(p.normal.x) == std::bit_cast<uint32_t>(n.x) &&
           std::bit_cast<uint32_t>(p.normal.y) == std::bit_cast<uint32_t>(n.y) &&
           std::bit_cast<uint32_t>(p.normal.z) == std::bit_cast<uint32_t>(n.z) &&
           std::bit_cast<uint32_t>(p.d) == std::bit_cast<uint32_t>(d);
}

bool buildShape(COLLISION_SHAPE& shape, const RENDER_MESH& mesh, float scale) {
    shape.scale = scale;
    shape.planeCount = 0;
    for (int t = 0; t + 2 < mesh.vertexCount; t += 3) {
        render::Vec3 v[3];
        for (int k = 0; k < 3; ++k) {
            const render::LVertex& p = mesh.vertices[size_t(t + k)];
            v[k] = {p.x * scale, p.y * scale, p.z * scale};
        }
        render::Vec3 n = render::cross(v[0] - v[1], v[0] - v[2]);
        float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        for (const render::Vec3& p : v) {
            shape.radius = std::fmax(shape.radius, render::length(p));
            shape.lowestY = std::fmin(shape.lowestY, p.y);
        }
        // A triangle without area has no plane.
        if (!(length > 0.0f) || !std::isfinite(length)) continue;
        n = {n.x / length, n.y / length, n.z / length};
        float d = render::dot(n, v[0]);
        bool known = false;
        for (int i = 0; i < shape.planeCount && !known; ++i) known = samePlane(shape.planes[i], n, d);
        if (known) continue;
        CollisionPlane& plane = shape.planes[shape.planeCount++];
        plane.normal = n;
        plane.point = v[0];
        plane.d = d;
        if (shape.planeCount == kCollisionPlanes) return false;
    }
    return true;
}

}  // namespace

void resetCollisionShape(COLLISION_SHAPE& shape) {
    shape.planeCount = 0;
    shape.radius = 0.0f;
    shape.lowestY = 0.0f;
    shape.position = {};
    shape.matrix = render::identityMatrix();
    shape.offset = {};
}

bool loadCollisionShapeMemory(COLLISION_SHAPE& shape, const uint8_t* data, size_t size, float scale) {
    resetCollisionShape(shape);
    MESH_DATA mesh;
    RENDER_MESH triangles;
    if (!loadMeshMemory(mesh, data, size, triangles, 1.0f)) return false;
    return buildShape(shape, triangles, scale);
}

bool loadCollisionShape(COLLISION_SHAPE& shape, const char* path, float scale) {
    resetCollisionShape(shape);
    std::vector<uint8_t> data;
    if (!path || !platform::readFile(path, data)) return false;
    return loadCollisionShapeMemory(shape, data.data(), data.size(), scale);
}

}  // namespace model
