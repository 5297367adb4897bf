// model/mesh_view.h
#pragma once
#include "graphics/g_d3d.h"
#include "model/render_mesh.h"

namespace model {

// The render mesh as drawMesh takes it; empty (0 vertices) for an empty
// mesh. The view borrows the mesh's arrays: it lives no longer than they.
inline graphics::MeshView meshView(RENDER_MESH& mesh) {
    graphics::MeshView view;
    if (mesh.vertexCount > 0) {
        view.vertexCount = mesh.vertexCount;
        view.vertices = mesh.vertices.data();
        view.normals = mesh.normals.data();
    }
    return view;
}

}  // namespace model
