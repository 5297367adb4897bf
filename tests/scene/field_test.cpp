// The field: building, limits, textures, drawing and the ground query.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "../graphics/test_display.h"
#include "../render/golden.h"
#include "field_files.h"
#include "graphics/camera.h"
#include "graphics/lighting.h"
#include "scene/field.h"

using namespace field_test;
using scene::Field;

namespace {

bool loadText(Field& field, const MeshText& mesh, const char* path = "field.x") {
    const Bytes bytes = mesh.bytes();
    return field.loadMemory(path, bytes.data(), bytes.size());
}

bool cellHolds(const Field& field, int row, int column, int face) {
    for (int k = 0; k < field.cellFaceCount(row, column); ++k)
        if (field.cellFace(row, column, k) == face) return true;
    return false;
}

TEST(FieldBuild, FieldAtPositiveXIsGriddedFromTheOrigin) {
    MeshText mesh;
    mesh.square(2, 3, 6, 7, 1.0f);
    Field field;
    ASSERT_TRUE(loadText(field, mesh));
    EXPECT_EQ(field.faceCount(), 2);
    EXPECT_FLOAT_EQ(field.boundsMin().x, 0.0f);
    EXPECT_FLOAT_EQ(field.boundsMin().y, 0.0f);
    EXPECT_FLOAT_EQ(field.boundsMin().z, 0.0f);
    EXPECT_FLOAT_EQ(field.boundsMax().x, 6.0f);
    EXPECT_FLOAT_EQ(field.boundsMax().z, 7.0f);
    EXPECT_EQ(field.columns(), 7);
    EXPECT_EQ(field.rows(), 8);
    EXPECT_FLOAT_EQ(field.centreX(), 3.0f);
    EXPECT_FLOAT_EQ(field.centreZ(), 3.5f);
    EXPECT_EQ(field.cellFaceCount(0, 0), 0);
    EXPECT_EQ(field.cellFaceCount(5, 4), 2);
}

TEST(FieldBuild, BorderCrossingTriangleBelongsToTheFirstLeafAndEveryCoveredCell) {
    MeshText mesh;
    mesh.materials = {Material{}, Material{}};
    mesh.triangle({0, 0, 0}, {0, 0, 1}, {1, 0, 0}, 1);   // face 0, leaf (0..2, 0..2)
    mesh.triangle({7, 0, 7}, {7, 0, 8}, {8, 0, 7}, 0);   // face 1: the bounds reach 8 x 8
    mesh.triangle({1.5f, 0, 0.5f}, {1.5f, 0, 1.5f}, {3, 0, 0.5f}, 0);  // face 2, across x = 2
    Field field;
    ASSERT_TRUE(loadText(field, mesh));
    // Depth first: the root's first child is node 1, its leaves nodes 2-5.
    const scene::FieldNode& first = field.node(2);
    const scene::FieldNode& second = field.node(3);
    ASSERT_TRUE(first.isLeaf());
    EXPECT_EQ(first.faces, (std::vector<int32_t>{0, 2}));
    EXPECT_TRUE(second.faces.empty());
    EXPECT_FLOAT_EQ(first.max.x, 3.0f);  // the box follows the face out of the leaf
    // One batch per material in material order, white, three vertices a face.
    ASSERT_EQ(first.batches.size(), 2u);
    EXPECT_EQ(first.batches[0].material, 0);
    EXPECT_EQ(first.batches[0].vertices.size(), 3u);
    EXPECT_FLOAT_EQ(first.batches[0].vertices[2].x, 3.0f);
    EXPECT_EQ(first.batches[0].vertices[0].diffuse, 0xFFFFFFFFu);
    EXPECT_EQ(first.batches[1].material, 1);
    EXPECT_EQ(first.batches[0].textureSlot, -1);
    for (int row = 0; row <= 1; ++row)
        for (int column = 1; column <= 3; ++column) EXPECT_TRUE(cellHolds(field, row, column, 2)) << row << column;
    EXPECT_FALSE(cellHolds(field, 2, 1, 2));
    EXPECT_FALSE(cellHolds(field, 0, 4, 2));
    // In a cell, the first leaf's faces come first.
    EXPECT_EQ(field.cellFace(0, 1, 0), 0);
    EXPECT_EQ(field.cellFace(0, 1, 1), 2);
}

TEST(FieldBuild, TrianglesWithoutAreaAreSkippedAndVerticalOnesCarryNothing) {
    MeshText mesh;
    mesh.square(0, 0, 4, 4);
    mesh.triangle({0, 0, 0}, {10, 0, 10}, {5, 0, 5});  // on a line: no normal
    mesh.triangle({0, 0, 1}, {1, 2, 1}, {3, 0, 1});    // stands in the plane z = 1
    Field field;
    ASSERT_TRUE(loadText(field, mesh));
    EXPECT_EQ(field.faceCount(), 3);
    EXPECT_FLOAT_EQ(field.boundsMax().x, 10.0f);
    for (int i = 0; i < field.faceCount(); ++i) {
        const scene::FieldFace& f = field.face(i);
        EXPECT_TRUE(std::isfinite(f.normal.x) && std::isfinite(f.normal.y) && std::isfinite(f.normal.z));
    }
    Vec3 onLine{7, -1, 7};
    EXPECT_EQ(field.checkGround(onLine), -2);
    Vec3 onWall{1, -1, 1};
    EXPECT_EQ(field.checkGround(onWall), 1);
    EXPECT_FLOAT_EQ(onWall.y, 0.25f);
}

TEST(FieldBuild, HostileFilesAreRefusedWithoutAField) {
    Field field;
    MeshText good;
    good.square(0, 0, 4, 4);
    ASSERT_TRUE(loadText(field, good));

    MeshText far;
    far.triangle({0, 0, 0}, {0, 0, 1}, {1e30f, 0, 0});
    EXPECT_FALSE(loadText(field, far));
    EXPECT_FALSE(field.isLoaded());  // the previous field went first
    Vec3 p{1, -1, 1};
    EXPECT_EQ(field.checkGround(p), -2);

    std::string nan = good.text();
    nan.replace(nan.find("4;0;0;"), 6, "nan;0;0;");
    const Bytes nanBytes = bytesOf(nan);
    EXPECT_FALSE(field.loadMemory("field.x", nanBytes.data(), nanBytes.size()));

    MeshText tooManyCells;  // 3001 x 3001 cells
    tooManyCells.square(0, 0, 3000, 3000);
    EXPECT_FALSE(loadText(field, tooManyCells));

    MeshText tooManyLinks;  // every face covers the whole 2001 x 2001 grid
    for (int i = 0; i < 3; ++i) tooManyLinks.square(0, 0, 2000, 2000, float(i));
    EXPECT_FALSE(loadText(field, tooManyLinks));

    const std::string text = good.text();
    for (size_t cut = 0; cut < text.size(); cut += 7) {
        const Bytes part(text.begin(), text.begin() + std::ptrdiff_t(cut));
        field.loadMemory("field.x", part.data(), part.size());
        Vec3 q{1, -1, 1};
        const int code = field.checkGround(q);
        EXPECT_TRUE(code == -2 || code == 1);
        EXPECT_TRUE(std::isfinite(q.y));
    }
    EXPECT_FALSE(field.load("missing\\field.x"));
    EXPECT_FALSE(field.isLoaded());
}

TEST(FieldBuild, GarbledFilesLoadOrNotButNeverBreakAQuery) {
    MeshText mesh;
    mesh.materials = {Material{}, Material{1, 1, 1, 1, "a.bmp"}};
    for (int i = 0; i < 4; ++i) mesh.square(float(i), 0, float(i + 1), 3, float(i) * 0.5f, i % 2);
    const std::string text = mesh.text();
    std::mt19937 random(11);
    const char replacements[] = "0123456789-.;,{}e \r\n";
    Field field;
    for (int n = 0; n < 300; ++n) {
        std::string garbled = text;
        for (int k = 0; k < 4; ++k)
            garbled[random() % garbled.size()] = replacements[random() % (sizeof replacements - 1)];
        const Bytes bytes = bytesOf(garbled);
        field.loadMemory("field.x", bytes.data(), bytes.size());
        for (float x = -1; x < 6; x += 0.75f) {
            Vec3 p{x, -2, 1.5f};
            const int code = field.checkGround(p);
            ASSERT_TRUE(code >= -2 && code <= 2 && code != 0);
            ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << n;
        }
    }
}

// ---- the ground query ----

TEST(GroundQuery, FlatGroundLiftsBelowKeepsAboveAndMissesOutside) {
    MeshText mesh;
    mesh.square(0, 0, 10, 10);
    Field field;
    ASSERT_TRUE(loadText(field, mesh));
    Vec3 below{5, -0.1f, 5};
    EXPECT_EQ(field.checkGround(below), 1);
    EXPECT_FLOAT_EQ(below.y, 0.25f);
    EXPECT_FLOAT_EQ(below.x, 5.0f);
    Vec3 above{5, 1.0f, 5};
    EXPECT_EQ(field.checkGround(above), -1);
    EXPECT_FLOAT_EQ(above.y, 1.0f);
    Vec3 outside{50, -3, 50};
    EXPECT_EQ(field.checkGround(outside), -2);
    EXPECT_FLOAT_EQ(outside.y, -3.0f);
    Vec3 farAway{-1e9f, 0, 3e12f};
    EXPECT_EQ(field.checkGround(farAway), -2);
    Vec3 notANumber{std::nanf(""), 0, 5};
    EXPECT_EQ(field.checkGround(notANumber), -2);
}

TEST(GroundQuery, LaterFacesSeeThePointEarlierOnesLifted) {
    MeshText mesh;
    mesh.square(0, 0, 10, 10, 0.0f);
    mesh.square(0, 0, 10, 10, 0.1f);
    Field field;
    ASSERT_TRUE(loadText(field, mesh));
    Vec3 p{5, -0.1f, 5};
    EXPECT_EQ(field.checkGround(p), 1);
    EXPECT_FLOAT_EQ(p.y, 0.35f);
}

// 3,000 flat squares stacked over one unit: a cell keeps its first 1,024,
// so a query tests a bounded number of faces and still lifts the point
// onto the highest of those it tests.
TEST(GroundQuery, FacesPiledIntoOneCellAreCappedPerCell) {
    MeshText mesh;
    for (int k = 0; k < 1500; ++k) mesh.square(0.25f, 0.25f, 0.75f, 0.75f, 0.001f * float(k));
    Field field;
    ASSERT_TRUE(loadText(field, mesh));
    EXPECT_EQ(field.faceCount(), 3000);
    EXPECT_EQ(field.cellFaceCount(0, 0), scene::kMaxCellFaces);
    EXPECT_EQ(field.cellFace(0, 0, scene::kMaxCellFaces - 1), scene::kMaxCellFaces - 1);
    Vec3 p{0.5f, -1.0f, 0.5f};
    EXPECT_EQ(field.checkGround(p), 1);
    // The 1,024 faces listed are the squares at heights 0 to 0.511.
    EXPECT_NEAR(p.y, 0.511f + 0.25f, 1e-4f);
}

// A slope rising toward -x: height (10 - x) x tan(angle).
MeshText slope(float degrees, float width = 10.0f) {
    const float h = width * std::tan(degrees * 3.14159265f / 180.0f);
    MeshText mesh;
    mesh.triangle({0, h, 0}, {0, h, width}, {width, 0, width});
    mesh.triangle({0, h, 0}, {width, 0, width}, {width, 0, 0});
    return mesh;
}

TEST(GroundQuery, SteepFacesLiftAndSlideGentleOnesOnlyLift) {
    Field field;
    ASSERT_TRUE(loadText(field, slope(25.0f)));
    Vec3 gentle{6, 0, 4};
    EXPECT_EQ(field.checkGround(gentle), 1);
    EXPECT_FLOAT_EQ(gentle.x, 6.0f);
    EXPECT_NEAR(gentle.y, 4 * std::tan(25 * 3.14159265f / 180) + 0.25f / std::cos(25 * 3.14159265f / 180), 1e-5);

    ASSERT_TRUE(loadText(field, slope(45.0f)));
    Vec3 steep{6, 0, 4};
    EXPECT_EQ(field.checkGround(steep), 2);
    // Normal (s, s, 0) with s = sqrt(1/2); slide normalize(s, cos(1.57 acos s), 0).
    const float s = std::sqrt(0.5f);
    const float lift = std::cos(1.57f * std::acos(s));
    const float len = std::sqrt(s * s + lift * lift);
    EXPECT_NEAR(steep.x, 6 + s / len, 1e-5);
    EXPECT_NEAR(steep.y, 4 + 0.25f / s + lift / len, 1e-4);
    EXPECT_FLOAT_EQ(steep.z, 4.0f);
}

TEST(GroundQuery, SlideOverAnEdgeEndsJustOutsideIt) {
    Field field;
    ASSERT_TRUE(loadText(field, slope(45.0f)));
    // Near the low edge x = 10 the slide of +0.77 in x crosses it.
    Vec3 p{9.8f, 0, 5};
    EXPECT_EQ(field.checkGround(p), 2);
    EXPECT_NEAR(p.x, 10.000625f, 1e-5);
}

TEST(GroundQuery, StampWrapsAfter10000WithoutSkippingFaces) {
    MeshText mesh;
    mesh.square(0, 0, 10, 10);
    Field field;
    ASSERT_TRUE(loadText(field, mesh));
    EXPECT_EQ(field.queryStamp(), 2);
    field.setQueryStamp(0);
    Vec3 p{5, -1, 5};
    EXPECT_EQ(field.checkGround(p), 1);  // stamp 1 left in the faces
    field.setQueryStamp(9999);
    for (int i = 0; i < 4; ++i) {
        Vec3 q{5, -1, 5};
        EXPECT_EQ(field.checkGround(q), 1) << "query " << i;
    }
    EXPECT_EQ(field.queryStamp(), 2);  // 10000, 0, 1, 2
    // Loading keeps the counter.
    ASSERT_TRUE(loadText(field, mesh));
    EXPECT_EQ(field.queryStamp(), 2);
}

// ---- textures and drawing ----

using FieldDisplay = graphics_test::DisplayFixture;

Bytes greenImage() {
    return graphics_test::makeBmp24(4, 4, [](int, int) { return 0x20C040u; });
}

TEST_F(FieldDisplay, TexturesComeFromTheFieldsFolderAndGoBackOnUnload) {
    auto d3d = createDisplay();
    graphics::TextureStore& store = d3d->textures();
    folder.write("fld\\grass.bmp", greenImage());
    folder.write("fld\\rock.bmp", greenImage());
    folder.write("grass.bmp", greenImage());
    MeshText mesh;
    mesh.materials = {Material{1, 1, 1, 1, "textures\\grass.bmp"}, Material{}, Material{1, 1, 1, 1, "none.bmp"}};
    mesh.triangle({0, 0, 0}, {0, 0, 1}, {1, 0, 0}, 0);
    mesh.triangle({1, 0, 0}, {1, 0, 1}, {2, 0, 0}, 2);
    folder.write("fld\\field.x", mesh.bytes());

    Field field;
    field.connect(&store, d3d.get(), nullptr);
    ASSERT_TRUE(field.load("fld\\field.x"));
    EXPECT_STREQ(store.textureFolderName(), "fld\\");
    ASSERT_EQ(field.textureCount(), 3);
    const int grass = field.textureSlot(0);
    ASSERT_GE(grass, 0);
    EXPECT_EQ(field.textureSlot(1), -1);
    EXPECT_EQ(field.textureSlot(2), -1);  // missing: drawn untextured
    EXPECT_EQ(store.textureSlot(grass).refCount, 1);
    EXPECT_EQ(field.node(2).batches[0].textureSlot, grass);

    // A second load gives the first field's textures back before loading.
    MeshText other;
    other.materials = {Material{1, 1, 1, 1, "rock.bmp"}};
    other.square(0, 0, 2, 2);
    folder.write("fld\\other.x", other.bytes());
    ASSERT_TRUE(field.load("fld\\other.x"));
    const int rock = field.textureSlot(0);
    ASSERT_GE(rock, 0);
    EXPECT_EQ(rock, grass);  // the lowest free slot again
    EXPECT_STREQ(store.textureSlot(rock).fileName, "rock.bmp");
    EXPECT_EQ(store.textureSlot(rock).refCount, 1);
    field.unload();
    EXPECT_EQ(store.textureSlot(rock).refCount, 0);
    EXPECT_EQ(field.textureCount(), -1);
    field.unload();
    field.draw(graphics::Camera{});

    // Without a folder in the path the textures come from the game folder.
    folder.write("field.x", mesh.bytes());
    ASSERT_TRUE(field.load("field.x"));
    EXPECT_GE(field.textureSlot(0), 0);
    field.unload();
}

class FieldFrames : public graphics_test::DisplayFixture {
protected:
    void drawFrame(Field& field) {
        ASSERT_TRUE(d3d->beginFrame());
        ASSERT_TRUE(d3d->beginScene());
        ASSERT_TRUE(camera.updateView());
        d3d->device()->setTransform(render::Transform::View, camera.view());
        field.draw(camera);
        d3d->endScene();
    }
    uint32_t pixelAt(Vec3 world) {
        int x = 0, y = 0;
        EXPECT_TRUE(camera.worldToScreen(world, x, y));
        return d3d->backBufferSurface()->pixelArgb(x, y) & 0xFFFFFF;
    }

    std::unique_ptr<graphics::G_D3D> d3d;
    graphics::Camera camera;
    graphics::Lighting lighting;
};

TEST_F(FieldFrames, LeavesFartherThan90UnitsFromTheLookAtPointAreNotDrawn) {
    d3d = createDisplay(32, 640, 480);
    MeshText mesh;
    mesh.square(0, 0, 10, 10);
    mesh.square(200, 0, 210, 10);
    Field field;
    field.connect(&d3d->textures(), d3d.get(), &lighting);
    ASSERT_TRUE(loadText(field, mesh));
    lighting.position = {0, 1, 0};
    camera.target = {150, 0, 5};
    camera.eye = {150, 800, 4};
    drawFrame(field);
    const uint32_t background = pixelAt({100, 0, 5});
    EXPECT_EQ(pixelAt({5, 0, 5}), background);   // its leaf reaches x = 26 only
    EXPECT_NE(pixelAt({205, 0, 5}), background);
    // From the middle both leaf boxes (x 0-26 and 183-210) meet the square.
    camera.target = {105, 0, 5};
    camera.eye = {105, 800, 4};
    drawFrame(field);
    EXPECT_NE(pixelAt({5, 0, 5}), background);
    EXPECT_NE(pixelAt({205, 0, 5}), background);
}

TEST_F(FieldFrames, BatchesAreLitFromTheLightWithoutNormalising) {
    d3d = createDisplay(32, 64, 48);
    MeshText mesh;
    mesh.square(0, 0, 4, 4);
    mesh.faceNormals = {{0, 2, 0}, {0, 0.5f, 0}};
    Field field;
    field.connect(&d3d->textures(), d3d.get(), &lighting);
    ASSERT_TRUE(loadText(field, mesh));
    lighting.position = {0, 0.25f, 0};
    lighting.intensity = 0.75f;
    lighting.ambient = 0.25f;
    lighting.color[0] = 1.0f;
    lighting.color[1] = 0.5f;
    lighting.color[2] = 0.25f;
    lighting.tintColor[0] = 0.5f;
    lighting.matrix = render::translationMatrix(5, 5, 5);  // reset by the draw
    camera.target = {2, 0, 2};
    camera.eye = {2, 20, 1};
    drawFrame(field);
    EXPECT_EQ(lighting.matrix.m[3][0], 0.0f);
    const scene::FieldBatch& batch = field.node(2).batches[0];
    // Face 0: s = 2 x 0.25 = 0.5, v = 0.625; face 1: s = 0.125, v = 0.34375.
    EXPECT_EQ(batch.vertices[0].diffuse, render::makeArgb(127, 159, 79, 39));
    EXPECT_EQ(batch.vertices[3].diffuse, render::makeArgb(127, 87, 43, 21));
}

TEST_F(FieldFrames, TexturedLitFieldFromTwoCameras) {
    d3d = createDisplay(32, 160, 120);
    folder.write("fld\\checks.bmp", graphics_test::makeBmp24(8, 8, [](int x, int y) {
        return ((x / 2 + y / 2) & 1) ? 0xD0B070u : 0x508030u;
    }));
    MeshText mesh;
    mesh.materials = {Material{1, 1, 1, 1, "checks.bmp"}, Material{0.5f, 0.5f, 0.5f, 1, ""}};
    // A 200 x 200 field of 20-unit squares, hills where (i + j) is odd.
    for (int i = 0; i < 10; ++i) {
        for (int j = 0; j < 10; ++j) {
            const float x0 = i * 20.0f, z0 = j * 20.0f, h = (i + j) % 2 ? 4.0f : 0.0f;
            const int material = (i * 3 + j) % 4 == 0 ? 1 : 0;
            mesh.triangle({x0, 0, z0}, {x0 + 10, h, z0 + 20}, {x0 + 20, 0, z0 + 20}, material);
            mesh.triangle({x0, 0, z0}, {x0, 0, z0 + 20}, {x0 + 10, h, z0 + 20}, material);
            mesh.triangle({x0, 0, z0}, {x0 + 20, 0, z0 + 20}, {x0 + 20, 0, z0}, material);
        }
    }
    mesh.faceNormals.clear();
    for (size_t f = 0; f < mesh.faces.size(); ++f) {
        const Vec3& a = mesh.positions[size_t(mesh.faces[f][0])];
        const Vec3& b = mesh.positions[size_t(mesh.faces[f][1])];
        const Vec3& c = mesh.positions[size_t(mesh.faces[f][2])];
        mesh.faceNormals.push_back(render::normalize(render::cross(a - b, a - c)));
    }
    std::string text = mesh.text();
    // Texture coordinates from the positions: one checker per 10 units.
    text.insert(text.rfind('}'), " MeshTextureCoords {\r\n  " + std::to_string(mesh.positions.size()) + ";\r\n");
    std::string coords;
    for (size_t i = 0; i < mesh.positions.size(); ++i) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "  %.6f;%.6f;%s\r\n", mesh.positions[i].x / 10, mesh.positions[i].z / 10,
                      i + 1 < mesh.positions.size() ? "," : ";");
        coords += buf;
    }
    text.insert(text.rfind('}'), coords + " }\r\n");
    folder.write("fld\\hills.x", bytesOf(text));

    Field field;
    field.connect(&d3d->textures(), d3d.get(), &lighting);
    ASSERT_TRUE(field.load("fld\\hills.x"));
    lighting.position = {0.4f, 0.8f, -0.3f};
    camera.target = {100, 0, 100};
    camera.eye = {100, 420, -150};
    drawFrame(field);
    EXPECT_TRUE(render_test::matchesGolden(*d3d->backBufferSurface(), "field_whole"));
    // Looking at a corner: the quadrants beyond 90 units are left out.
    camera.target = {20, 0, 20};
    camera.eye = {20, 600, -500};
    drawFrame(field);
    EXPECT_TRUE(render_test::matchesGolden(*d3d->backBufferSurface(), "field_corner_culled"));
    field.unload();
}

}  // namespace
