// Text meshes on arbitrary bytes: parsed, built into the drawn mesh and its
// outline shell, and read as a collision shape, as a model part and a BOX
// entry use them. A built mesh holds whole triangles with a normal each.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "model/collision_shape.h"
#include "model/mesh_data.h"
#include "model/render_mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    model::MESH_DATA mesh;
    model::RENDER_MESH drawn, shell;
    if (model::loadMeshWithShellMemory(mesh, data, size, drawn, shell, 0.125f, 1.0f)) {
        if (drawn.vertexCount < 0 || drawn.vertexCount % 3 != 0) __builtin_trap();
        if (drawn.vertices.size() != size_t(drawn.vertexCount)) __builtin_trap();
        if (drawn.normals.size() != drawn.vertices.size()) __builtin_trap();
        if (shell.vertices.size() != drawn.vertices.size()) __builtin_trap();
    }
    model::clearRenderMesh(drawn);
    model::clearRenderMesh(shell);
    model::clearMeshData(mesh, true);

    model::COLLISION_SHAPE shape;
    model::resetCollisionShape(shape);
    model::loadCollisionShapeMemory(shape, data, size, 2.0f);
    if (shape.planeCount < 0 || shape.planeCount > model::kCollisionPlanes) __builtin_trap();
    if (shape.lowestY > 0.0f) __builtin_trap();
    return 0;
}
