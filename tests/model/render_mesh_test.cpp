#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <fstream>

#include "model/collision_shape.h"
#include "model/render_mesh.h"
#include "model_files.h"

using namespace model;
using namespace model_test;

namespace {

bool build(const MeshLayout& layout, RENDER_MESH& out, MESH_DATA& mesh, float alpha = 1.0f) {
    Bytes b = bytesOf(layout.text());
    return loadMeshMemory(mesh, b.data(), b.size(), out, alpha);
}

render::Vec3 at(const RENDER_MESH& m, int i) {
    const render::LVertex& v = m.vertices[size_t(i)];
    return {v.x, v.y, v.z};
}

}  // namespace

TEST(RenderMeshBuild, QuadBecomesTwoTrianglesWithTheirCornersData) {
    MeshLayout layout = quadMesh();
    layout.normals = {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}, {0, 0, 2}};
    layout.normalFaces = {{3, 2, 1, 0}};
    RENDER_MESH out;
    MESH_DATA mesh;
    ASSERT_TRUE(build(layout, out, mesh));
    ASSERT_EQ(out.vertexCount, 6);
    const int corners[6] = {0, 1, 2, 0, 2, 3};
    for (int i = 0; i < 6; ++i) {
        render::Vec3 p = layout.positions[size_t(corners[i])];
        EXPECT_EQ(out.vertices[size_t(i)].x, p.x) << i;
        EXPECT_EQ(out.vertices[size_t(i)].y, p.y) << i;
        // Normal of the same corner of the normal face.
        EXPECT_EQ(out.normals[size_t(i)].z, layout.normals[size_t(3 - corners[i])].z) << i;
        EXPECT_EQ(out.vertices[size_t(i)].specular, 0xFF000000u);
        EXPECT_EQ(out.vertices[size_t(i)].reserved, 0u);
        // Untextured: coordinates (0, 0) although the file has some.
        EXPECT_EQ(out.vertices[size_t(i)].tu, 0.0f);
        EXPECT_EQ(mesh.vertexMaterials[size_t(i)], 0);
    }
    EXPECT_STREQ(out.textureName, "");
    EXPECT_EQ(out.textureSlot, -1);
}

TEST(RenderMeshBuild, MaterialColoursAndTextures) {
    MeshLayout layout = quadMesh();
    layout.faces = {{0, 1, 2}, {0, 2, 3}};
    flatNormals(layout);
    layout.materials = {{1.0f, 0.5f, 0.0f, 1.0f, ""}, {0.2f, 0.2f, 0.2f, 0.5f, "a.bmp"}};
    layout.faceMaterials = {0, 1};
    RENDER_MESH out;
    MESH_DATA mesh;
    ASSERT_TRUE(build(layout, out, mesh));
    EXPECT_EQ(out.vertices[0].diffuse, 0xFFFF7F00u);  // 0.5 x 255 = 127.5, truncated
    EXPECT_EQ(out.vertices[3].diffuse, 0x7FFFFFFFu);  // textured: white, alpha 0.5
    EXPECT_EQ(out.vertices[4].tu, 1.0f);               // corner 2: (1, 1)
    EXPECT_EQ(out.vertices[4].tv, 1.0f);
    EXPECT_STREQ(out.textureName, "a.bmp");
    EXPECT_EQ(mesh.textureCount, 2);
    EXPECT_EQ(mesh.vertexMaterials[5], 1);
    EXPECT_EQ(mesh.textureSlots, (std::vector<int32_t>{-1, -1}));

    // The field's alpha factor 0.5 halves alpha and the specular alpha.
    ASSERT_TRUE(build(layout, out, mesh, 0.5f));
    EXPECT_EQ(out.vertices[0].diffuse, 0x7FFF7F00u);
    EXPECT_EQ(out.vertices[0].specular, 0x7F000000u);
}

TEST(RenderMeshBuild, LastTexturedMaterialNamesTheMeshTexture) {
    MeshLayout layout = quadMesh();
    layout.materials = {{1, 1, 1, 1, "a.bmp"}, {1, 1, 1, 1, "dir\\sub\\b.bmp"}, {1, 1, 1, 1, ""}};
    RENDER_MESH out;
    MESH_DATA mesh;
    ASSERT_TRUE(build(layout, out, mesh));
    EXPECT_STREQ(out.textureName, "b.bmp");  // no face uses it; it wins anyway
    EXPECT_STREQ(mesh.textureBaseNames[0].text, "a.bmp");
    EXPECT_STREQ(mesh.textureBaseNames[1].text, "b.bmp");
    EXPECT_STREQ(mesh.textureBaseNames[2].text, "");

    // Quotation marks inside the name go from the mesh's texture name.
    layout.materials = {{1, 1, 1, 1, "\"x\"\\q\"t.bmp"}};
    ASSERT_TRUE(build(layout, out, mesh));
    EXPECT_STREQ(out.textureName, "qt.bmp");
}

TEST(RenderMeshBuild, MissingNormalsAndCoordinatesReadAsZero) {
    MeshLayout layout = quadMesh();
    layout.writeNormals = false;
    layout.materials[0].texture = "t.bmp";
    layout.texCoords.resize(2);
    RENDER_MESH out;
    MESH_DATA mesh;
    ASSERT_TRUE(build(layout, out, mesh));
    EXPECT_EQ(out.vertices[1].tu, 1.0f);
    EXPECT_EQ(out.vertices[2].tu, 0.0f);  // position 2 has no coordinates
    EXPECT_EQ(out.normals[0].z, 0.0f);
}

TEST(ShellBuild, SharedCubeCornersMoveAlongTheDiagonals) {
    MeshLayout layout = cubeMesh();
    Bytes b = bytesOf(layout.text());
    RENDER_MESH out, shell;
    MESH_DATA mesh;
    ASSERT_TRUE(loadMeshWithShellMemory(mesh, b.data(), b.size(), out, shell, 0.5f, 1.0f));
    ASSERT_EQ(shell.vertexCount, 36);
    float step = 0.5f / std::sqrt(3.0f);
    for (int i = 0; i < 36; ++i) {
        render::Vec3 p = at(out, i), q = at(shell, i);
        EXPECT_NEAR(q.x, p.x + std::copysign(step, p.x), 1e-6f) << i;
        EXPECT_NEAR(q.y, p.y + std::copysign(step, p.y), 1e-6f) << i;
        EXPECT_NEAR(q.z, p.z + std::copysign(step, p.z), 1e-6f) << i;
        EXPECT_EQ(shell.vertices[size_t(i)].diffuse, 0xFFFFFFFFu);
        EXPECT_EQ(shell.normals[size_t(i)].x, 0.0f);
    }
    EXPECT_STREQ(shell.textureName, "");
}

TEST(ShellBuild, SeparateCornersMoveAlongTheirFaceNormals) {
    MeshLayout cube = cubeMesh();
    MeshLayout layout;
    for (size_t f = 0; f < cube.faces.size(); ++f) {
        std::vector<int> face;
        for (int k : cube.faces[f]) {
            face.push_back(int(layout.positions.size()));
            layout.positions.push_back(cube.positions[size_t(k)]);
        }
        layout.faces.push_back(face);
    }
    layout.normals = cube.normals;
    layout.normalFaces = cube.normalFaces;
    Bytes b = bytesOf(layout.text());
    RENDER_MESH out, shell;
    MESH_DATA mesh;
    ASSERT_TRUE(loadMeshWithShellMemory(mesh, b.data(), b.size(), out, shell, 0.25f, 1.0f));
    for (int i = 0; i < 36; ++i) {
        render::Vec3 n = layout.normals[size_t(i / 6)];
        render::Vec3 p = at(out, i), q = at(shell, i);
        EXPECT_EQ(q.x, p.x + 0.25f * n.x);
        EXPECT_EQ(q.y, p.y + 0.25f * n.y);
        EXPECT_EQ(q.z, p.z + 0.25f * n.z);
    }
}

TEST(ShellBuild, CancellingNormalsAndAnInfiniteDistanceLeaveCornersInPlace) {
    MeshLayout layout = quadMesh();
    layout.faces = {{0, 1, 2}, {2, 1, 0}};
    layout.normals = {{0, 0, -1}, {0, 0, 1}};
    layout.normalFaces = {{0, 0, 0}, {1, 1, 1}};
    Bytes b = bytesOf(layout.text());
    RENDER_MESH out, shell;
    MESH_DATA mesh;
    ASSERT_TRUE(loadMeshWithShellMemory(mesh, b.data(), b.size(), out, shell, 1.0f, 1.0f));
    for (int i = 0; i < 6; ++i) EXPECT_EQ(shell.vertices[size_t(i)].x, out.vertices[size_t(i)].x);

    MeshLayout quad = quadMesh();
    b = bytesOf(quad.text());
    ASSERT_TRUE(loadMeshWithShellMemory(mesh, b.data(), b.size(), out, shell, 0.125f / 0.0f, 1.0f));
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(shell.vertices[size_t(i)].z, 0.0f);
        EXPECT_TRUE(std::isfinite(shell.vertices[size_t(i)].x));
    }
}

TEST(CollisionShapeBuild, CubeGivesSixPlanesRadiusAndLowestY) {
    Bytes b = bytesOf(cubeMesh().text());
    COLLISION_SHAPE shape;
    ASSERT_TRUE(loadCollisionShapeMemory(shape, b.data(), b.size(), 2.0f));
    ASSERT_EQ(shape.planeCount, 6);
    EXPECT_FLOAT_EQ(shape.radius, 2.0f * std::sqrt(3.0f));
    EXPECT_EQ(shape.lowestY, -2.0f);
    EXPECT_EQ(shape.scale, 2.0f);
    // Clockwise faces seen from outside: normals point out, d = 2.
    EXPECT_EQ(shape.planes[0].normal.z, -1.0f);
    EXPECT_EQ(shape.planes[0].d, 2.0f);
    EXPECT_EQ(shape.planes[5].normal.y, 1.0f);
    EXPECT_EQ(shape.planes[0].point.x, -2.0f);  // first corner (position 2) scaled
    EXPECT_EQ(shape.planes[0].point.y, 2.0f);

    // Planes compare bit for bit: starting the +x side at another corner
    // gives its second triangle a normal with -0 for y, a plane of its own.
    MeshLayout turned = cubeMesh();
    turned.faces[3] = {3, 7, 5, 1};
    b = bytesOf(turned.text());
    ASSERT_TRUE(loadCollisionShapeMemory(shape, b.data(), b.size(), 2.0f));
    EXPECT_EQ(shape.planeCount, 7);
}

TEST(CollisionShapeBuild, VerticesAboveGroundAndDegenerateTriangles) {
    MeshLayout layout = quadMesh();
    layout.positions = {{0, 1, 0}, {1, 1, 0}, {1, 2, 0}, {2, 2, 0}};
    layout.faces = {{0, 1, 2}, {0, 0, 3}};
    flatNormals(layout);
    Bytes b = bytesOf(layout.text());
    COLLISION_SHAPE shape;
    ASSERT_TRUE(loadCollisionShapeMemory(shape, b.data(), b.size(), 1.0f));
    EXPECT_EQ(shape.planeCount, 1);  // the zero-area triangle adds none
    EXPECT_EQ(shape.lowestY, 0.0f);
    EXPECT_FLOAT_EQ(shape.radius, std::sqrt(8.0f));  // its corners still count
}

TEST(CollisionShapeBuild, FiftyPlanesStopTheBuild) {
    MeshLayout layout;
    for (int i = 0; i < 60; ++i) {
        float a = float(i) * 0.1f;
        int base = int(layout.positions.size());
        layout.positions.push_back({std::cos(a), 0, std::sin(a)});
        layout.positions.push_back({std::cos(a), 1, std::sin(a) + 0.5f});
        layout.positions.push_back({std::cos(a) + 0.5f, float(i), std::sin(a)});
        layout.faces.push_back({base, base + 1, base + 2});
    }
    flatNormals(layout);
    Bytes b = bytesOf(layout.text());
    COLLISION_SHAPE shape;
    EXPECT_FALSE(loadCollisionShapeMemory(shape, b.data(), b.size(), 1.0f));
    EXPECT_EQ(shape.planeCount, kCollisionPlanes);
    EXPECT_EQ(shape.radius, render::length(layout.positions[149]));  // the 50th triangle's top
}

TEST(CollisionShapeBuild, MissingFileLeavesTheShapeReset) {
    COLLISION_SHAPE shape;
    shape.planeCount = 3;
    shape.radius = 9;
    EXPECT_FALSE(loadCollisionShape(shape, "no\\such.x", 1.0f));
    EXPECT_EQ(shape.planeCount, 0);
    EXPECT_EQ(shape.radius, 0.0f);
}

// Meshes share one budget: what is held counts, copies count again, and a
// load past the budget is refused (with a line on stderr for a file) until
// memory is given back.
TEST(MeshBudget, LoadsPastTheBudgetAreRefusedUntilMemoryIsFreed) {
    const int64_t before = MeshCharge::total();
    RENDER_MESH out, shell;
    MESH_DATA mesh;
    ASSERT_TRUE(build(quadMesh(), out, mesh));
    EXPECT_EQ(MeshCharge::total() - before, 6 * kMeshBytesPerVertex);
    {
        RENDER_MESH copy = out;
        EXPECT_EQ(MeshCharge::total() - before, 12 * kMeshBytesPerVertex);
        RENDER_MESH moved = std::move(copy);
        EXPECT_EQ(MeshCharge::total() - before, 12 * kMeshBytesPerVertex);
    }
    EXPECT_EQ(MeshCharge::total() - before, 6 * kMeshBytesPerVertex);

    // Fill the budget up to room for 11 more vertices: the quad with its
    // shell (12) no longer fits, the quad alone (6) does.
    clearRenderMesh(out);
    MeshCharge filler;
    filler.set(kMeshMemoryBudget - MeshCharge::total() - 11 * kMeshBytesPerVertex);
    char scratch[] = "/tmp/tesserae-budget-XXXXXX";
    ASSERT_NE(mkdtemp(scratch), nullptr);
    const std::string file = std::string(scratch) + "/quad.x";
    {
        std::ofstream(file, std::ios::binary) << quadMesh().text();
    }
    testing::internal::CaptureStderr();
    EXPECT_FALSE(loadMeshWithShell(mesh, file.c_str(), out, shell, 0.1f, 1.0f));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out.vertexCount, -1);
    EXPECT_EQ(shell.vertexCount, -1);
    EXPECT_NE(said.find("quad.x' does not fit in the 512 MiB that meshes and fields may take"), std::string::npos)
        << said;
    EXPECT_TRUE(loadMesh(mesh, file.c_str(), out, 1.0f));
    filler.set(0);
    EXPECT_TRUE(loadMeshWithShell(mesh, file.c_str(), out, shell, 0.1f, 1.0f));
    clearRenderMesh(out);
    clearRenderMesh(shell);
    EXPECT_EQ(MeshCharge::total(), before);
    unlink(file.c_str());
    rmdir(scratch);
}
