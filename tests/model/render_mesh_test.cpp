#include <gtest/gtest.h>

#include <cmath>

#include "model/collision_shape.h"
#include "model/render_mesh.h"
#include "model_files.h"

using namespace model;
using namespace model_test;

namespace {

bool build(const MeshSpec& spec, RENDER_MESH& out, MESH_DATA& mesh, float alpha = 1.0f) {
    Bytes b = bytesOf(spec.text());
    return loadMeshMemory(mesh, b.data(), b.size(), out, alpha);
}

render::Vec3 at(const RENDER_MESH& m, int i) {
    const render::LVertex& v = m.vertices[size_t(i)];
    return {v.x, v.y, v.z};
}

}  // namespace

TEST(RenderMeshBuild, QuadBecomesTwoTrianglesWithTheirCornersData) {
    MeshSpec spec = quadMesh();
    spec.normals = {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}, {0, 0, 2}};
    spec.normalFaces = {{3, 2, 1, 0}};
    RENDER_MESH out;
    MESH_DATA mesh;
    ASSERT_TRUE(build(spec, out, mesh));
    ASSERT_EQ(out.vertexCount, 6);
    const int corners[6] = {0, 1, 2, 0, 2, 3};
    for (int i = 0; i < 6; ++i) {
        render::Vec3 p = spec.positions[size_t(corners[i])];
        EXPECT_EQ(out.vertices[size_t(i)].x, p.x) << i;
        EXPECT_EQ(out.vertices[size_t(i)].y, p.y) << i;
        // Normal of the same corner of the normal face.
        EXPECT_EQ(out.normals[size_t(i)].z, spec.normals[size_t(3 - corners[i])].z) << i;
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
    MeshSpec spec = quadMesh();
    spec.faces = {{0, 1, 2}, {0, 2, 3}};
    flatNormals(spec);
    spec.materials = {{1.0f, 0.5f, 0.0f, 1.0f, ""}, {0.2f, 0.2f, 0.2f, 0.5f, "a.bmp"}};
    spec.faceMaterials = {0, 1};
    RENDER_MESH out;
    MESH_DATA mesh;
    ASSERT_TRUE(build(spec, out, mesh));
    EXPECT_EQ(out.vertices[0].diffuse, 0xFFFF7F00u);  // 0.5 x 255 = 127.5, truncated
    EXPECT_EQ(out.vertices[3].diffuse, 0x7FFFFFFFu);  // textured: white, alpha 0.5
    EXPECT_EQ(out.vertices[4].tu, 1.0f);               // corner 2: (1, 1)
    EXPECT_EQ(out.vertices[4].tv, 1.0f);
    EXPECT_STREQ(out.textureName, "a.bmp");
    EXPECT_EQ(mesh.textureCount, 2);
    EXPECT_EQ(mesh.vertexMaterials[5], 1);
    EXPECT_EQ(mesh.textureSlots, (std::vector<int32_t>{-1, -1}));

    // The field's alpha factor 0.5 halves alpha and the specular alpha.
    ASSERT_TRUE(build(spec, out, mesh, 0.5f));
    EXPECT_EQ(out.vertices[0].diffuse, 0x7FFF7F00u);
    EXPECT_EQ(out.vertices[0].specular, 0x7F000000u);
}

TEST(RenderMeshBuild, LastTexturedMaterialNamesTheMeshTexture) {
    MeshSpec spec = quadMesh();
    spec.materials = {{1, 1, 1, 1, "a.bmp"}, {1, 1, 1, 1, "dir\\sub\\b.bmp"}, {1, 1, 1, 1, ""}};
    RENDER_MESH out;
    MESH_DATA mesh;
    ASSERT_TRUE(build(spec, out, mesh));
    EXPECT_STREQ(out.textureName, "b.bmp");  // no face uses it; it wins anyway
    EXPECT_STREQ(mesh.textureBaseNames[0].text, "a.bmp");
    EXPECT_STREQ(mesh.textureBaseNames[1].text, "b.bmp");
    EXPECT_STREQ(mesh.textureBaseNames[2].text, "");

    // Quotation marks inside the name go from the mesh's texture name.
    spec.materials = {{1, 1, 1, 1, "\"x\"\\q\"t.bmp"}};
    ASSERT_TRUE(build(spec, out, mesh));
    EXPECT_STREQ(out.textureName, "qt.bmp");
}

TEST(RenderMeshBuild, MissingNormalsAndCoordinatesReadAsZero) {
    MeshSpec spec = quadMesh();
    spec.writeNormals = false;
    spec.materials[0].texture = "t.bmp";
    spec.texCoords.resize(2);
    RENDER_MESH out;
    MESH_DATA mesh;
    ASSERT_TRUE(build(spec, out, mesh));
    EXPECT_EQ(out.vertices[1].tu, 1.0f);
    EXPECT_EQ(out.vertices[2].tu, 0.0f);  // position 2 has no coordinates
    EXPECT_EQ(out.normals[0].z, 0.0f);
}

TEST(ShellBuild, SharedCubeCornersMoveAlongTheDiagonals) {
    MeshSpec spec = cubeMesh();
    Bytes b = bytesOf(spec.text());
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
    MeshSpec cube = cubeMesh();
    MeshSpec spec;
    for (size_t f = 0; f < cube.faces.size(); ++f) {
        std::vector<int> face;
        for (int k : cube.faces[f]) {
            face.push_back(int(spec.positions.size()));
            spec.positions.push_back(cube.positions[size_t(k)]);
        }
        spec.faces.push_back(face);
    }
    spec.normals = cube.normals;
    spec.normalFaces = cube.normalFaces;
    Bytes b = bytesOf(spec.text());
    RENDER_MESH out, shell;
    MESH_DATA mesh;
    ASSERT_TRUE(loadMeshWithShellMemory(mesh, b.data(), b.size(), out, shell, 0.25f, 1.0f));
    for (int i = 0; i < 36; ++i) {
        render::Vec3 n = spec.normals[size_t(i / 6)];
        render::Vec3 p = at(out, i), q = at(shell, i);
        EXPECT_EQ(q.x, p.x + 0.25f * n.x);
        EXPECT_EQ(q.y, p.y + 0.25f * n.y);
        EXPECT_EQ(q.z, p.z + 0.25f * n.z);
    }
}

TEST(ShellBuild, CancellingNormalsAndAnInfiniteDistanceLeaveCornersInPlace) {
    MeshSpec spec = quadMesh();
    spec.faces = {{0, 1, 2}, {2, 1, 0}};
    spec.normals = {{0, 0, -1}, {0, 0, 1}};
    spec.normalFaces = {{0, 0, 0}, {1, 1, 1}};
    Bytes b = bytesOf(spec.text());
    RENDER_MESH out, shell;
    MESH_DATA mesh;
    ASSERT_TRUE(loadMeshWithShellMemory(mesh, b.data(), b.size(), out, shell, 1.0f, 1.0f));
    for (int i = 0; i < 6; ++i) EXPECT_EQ(shell.vertices[size_t(i)].x, out.vertices[size_t(i)].x);

    MeshSpec quad = quadMesh();
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
    MeshSpec turned = cubeMesh();
    turned.faces[3] = {3, 7, 5, 1};
    b = bytesOf(turned.text());
    ASSERT_TRUE(loadCollisionShapeMemory(shape, b.data(), b.size(), 2.0f));
    EXPECT_EQ(shape.planeCount, 7);
}

TEST(CollisionShapeBuild, VerticesAboveGroundAndDegenerateTriangles) {
    MeshSpec spec = quadMesh();
    spec.positions = {{0, 1, 0}, {1, 1, 0}, {1, 2, 0}, {2, 2, 0}};
    spec.faces = {{0, 1, 2}, {0, 0, 3}};
    flatNormals(spec);
    Bytes b = bytesOf(spec.text());
    COLLISION_SHAPE shape;
    ASSERT_TRUE(loadCollisionShapeMemory(shape, b.data(), b.size(), 1.0f));
    EXPECT_EQ(shape.planeCount, 1);  // the zero-area triangle adds none
    EXPECT_EQ(shape.lowestY, 0.0f);
    EXPECT_FLOAT_EQ(shape.radius, std::sqrt(8.0f));  // its corners still count
}

TEST(CollisionShapeBuild, FiftyPlanesStopTheBuild) {
    MeshSpec spec;
    for (int i = 0; i < 60; ++i) {
        float a = float(i) * 0.1f;
        int base = int(spec.positions.size());
        spec.positions.push_back({std::cos(a), 0, std::sin(a)});
        spec.positions.push_back({std::cos(a), 1, std::sin(a) + 0.5f});
        spec.positions.push_back({std::cos(a) + 0.5f, float(i), std::sin(a)});
        spec.faces.push_back({base, base + 1, base + 2});
    }
    flatNormals(spec);
    Bytes b = bytesOf(spec.text());
    COLLISION_SHAPE shape;
    EXPECT_FALSE(loadCollisionShapeMemory(shape, b.data(), b.size(), 1.0f));
    EXPECT_EQ(shape.planeCount, kCollisionPlanes);
    EXPECT_EQ(shape.radius, render::length(spec.positions[149]));  // the 50th triangle's top
}

TEST(CollisionShapeBuild, MissingFileLeavesTheShapeReset) {
    COLLISION_SHAPE shape;
    shape.planeCount = 3;
    shape.radius = 9;
    EXPECT_FALSE(loadCollisionShape(shape, "no\\such.x", 1.0f));
    EXPECT_EQ(shape.planeCount, 0);
    EXPECT_EQ(shape.radius, 0.0f);
}
