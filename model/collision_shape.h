// model/collision_shape.h
#pragma once
#include <cstddef>
#include <cstdint>

#include "render/matrix.h"

namespace model {

constexpr int kCollisionPlanes = 50;

// A face plane: unit normal, the face's first corner, d = normal . point.
struct CollisionPlane {
    render::Vec3 normal;
    render::Vec3 point;
    float d = 0.0f;
    float unused = 0.0f;
};

// A convex volume: the distinct planes of a mesh's faces, scaled. The
// hit tests place it (position, matrix) for each query.
struct COLLISION_SHAPE {
    CollisionPlane planes[kCollisionPlanes];
    int32_t planeCount = 0;
    float radius = 0.0f;   // farthest scaled vertex from the mesh origin
    float lowestY = 0.0f;  // lowest scaled vertex y, never above 0
    render::Vec3 position;
    render::Matrix matrix = render::identityMatrix();
    render::Vec3 offset;
    float scale = 0.0f;
    int32_t hitPlane = -1;  // plane of the last hit test; -1 none
};

// No planes, radius and lowestY 0, position and offset 0, identity matrix;
// planes and scale stay as they are.
void resetCollisionShape(COLLISION_SHAPE& shape);

// Builds the shape from the triangles of a mesh file (a game path), their
// corners multiplied by `scale`. Planes that match a stored one bit for bit
// are stored once; a triangle without area adds none. False when the file
// cannot be read or is refused (the shape stays reset), and when the 50th
// plane is stored: the shape then keeps those 50 and what radius and
// lowestY the triangles up to it gave.
bool loadCollisionShape(COLLISION_SHAPE& shape, const char* path, float scale);
bool loadCollisionShapeMemory(COLLISION_SHAPE& shape, const uint8_t* data, size_t size, float scale);

}  // namespace model
