// Truncated, garbled and oversized files of every format: each is read or
// refused, never read past its arrays (run under the sanitiser build).
#include <gtest/gtest.h>

#include <random>

#include "model/collision_shape.h"
#include "model/objects.h"
#include "model/render_mesh.h"
#include "model_fixture.h"

using namespace model;
using namespace model_test;

namespace {

// Every prefix of short files; a spread of them for longer ones.
std::vector<Bytes> truncations(const Bytes& whole) {
    std::vector<Bytes> out;
    size_t step = whole.size() > 1500 ? whole.size() / 700 : 1;
    for (size_t n = 0; n < whole.size(); n += step) out.emplace_back(whole.begin(), whole.begin() + long(n));
    return out;
}

// Copies with bytes overwritten at random, some by the format's own
// separators and digits so that garbling reaches the numbers.
std::vector<Bytes> garblings(const Bytes& whole, int count, uint32_t seed) {
    static const char kPool[] = "0123456789-;,{} \r\n\"\\.e\t\xFF";
    std::mt19937 random(seed);
    std::vector<Bytes> out;
    for (int i = 0; i < count; ++i) {
        Bytes b = whole;
        int flips = 1 + int(random() % 8);
        for (int k = 0; k < flips && !b.empty(); ++k) {
            size_t at = random() % b.size();
            b[at] = random() % 2 ? uint8_t(random()) : uint8_t(kPool[random() % (sizeof kPool - 1)]);
        }
        out.push_back(b);
    }
    return out;
}

void checkMesh(const MESH_DATA& mesh, const RENDER_MESH& out) {
    ASSERT_EQ(out.vertexCount, mesh.triangleVertexCount);
    ASSERT_EQ(out.vertices.size(), size_t(out.vertexCount));
    ASSERT_EQ(mesh.vertices.size(), size_t(mesh.vertexCount));
    ASSERT_EQ(mesh.faces.size(), size_t(mesh.faceCount));
}

void walkMesh(const Bytes& b) {
    MESH_DATA mesh;
    RENDER_MESH out, shell;
    if (loadMeshWithShellMemory(mesh, b.data(), b.size(), out, shell, 0.1f, 1.0f)) {
        checkMesh(mesh, out);
        ASSERT_EQ(shell.vertexCount, out.vertexCount);
    } else {
        ASSERT_EQ(out.vertexCount, -1);
        ASSERT_EQ(mesh.vertexCount, -1);
    }
    COLLISION_SHAPE shape;
    loadCollisionShapeMemory(shape, b.data(), b.size(), 1.5f);
    ASSERT_LE(shape.planeCount, kCollisionPlanes);
}

Bytes richMesh() {
    MeshSpec m = cubeMesh();
    m.materials = {{1, 0, 0, 1, "dir\\a.bmp"}, {0, 1, 0, 0.5f, ""}};
    m.faceMaterials = {0, 1, 0, 1, 0, 1};
    m.texCoords.assign(8, TexCoord{0.25f, 0.75f});
    return bytesOf(m.text());
}

}  // namespace

TEST(MalformedMeshFiles, TruncatedGarbledAndOversized) {
    Bytes whole = richMesh();
    for (const Bytes& b : truncations(whole)) walkMesh(b);
    for (const Bytes& b : garblings(whole, 1500, 1)) walkMesh(b);

    std::string head = "Mesh {\r\n";
    std::string list = "MeshMaterialList {\r\n1;1;0;;\r\nMaterial {\r\n1;1;1;1;;0;0;0;0;;0;0;0;;\r\n";
    std::vector<std::string> oversized = {
        head + "2147483647;\r\n" + list,
        head + "3;0;0;0;,1;0;0;,0;1;0;;\r\n1;\r\n3;0,1,99999;;\r\n" + list,
        head + "3;0;0;0;,1;0;0;,0;1;0;;\r\n1;\r\n1000;0,1,2;;\r\n" + list,
        head + "0;0;\r\nMeshMaterialList {\r\n99999999;0;\r\n",
        head + "3;0;0;0;,1;0;0;,0;1;0;;\r\n1;\r\n3;0,1,2;;\r\n" + list + "TextureFilename {\r\n\"" +
            std::string(5000, 'n') + "\";\r\n}\r\nMeshNormals {\r\n1;0;0;1;;\r\n1;3;0,0,7;;\r\n",
        head + "3;" + std::string(100000, '1') + ";\r\n" + list,
        head + "3;0;0;0;,1;0;0;,0;1;0;;\r\n1;\r\n3;0,1,2;;\r\n" + list +
            "MeshNormals {\r\n1;0;0;1;;\r\n2000000;\r\n",
        std::string(70000, '\n') + head + "0;0;\r\nMeshMaterialList {\r\n0;0;\r\n",
        std::string("Mesh {\0\r\n1;\0;", 14),
    };
    for (const std::string& s : oversized) {
        Bytes b = bytesOf(s);
        MESH_DATA mesh;
        RENDER_MESH out;
        bool loaded = loadMeshMemory(mesh, b.data(), b.size(), out, 1.0f);
        if (loaded) checkMesh(mesh, out);
        walkMesh(b);
    }
    // The texture name keeps at most 255 characters.
    MESH_DATA mesh;
    RENDER_MESH out;
    Bytes named = bytesOf(oversized[4]);
    EXPECT_FALSE(loadMeshMemory(mesh, named.data(), named.size(), out, 1.0f));  // normal index 7 of 1
}

using MalformedModelFiles = ModelFixture;

TEST_F(MalformedModelFiles, TruncatedGarbledAndOversized) {
    write("body.x", bytesOf(quadMesh().text()));
    PartSpec a;
    a.kind = 1;
    a.name = "a";
    a.meshFile = "body.x";
    a.children = {1, 2};
    PartSpec b = a;
    b.kind = 2;
    b.parent = 0;
    b.children = {};
    Bytes whole = modelFile({a, b, b});
    auto walk = [](const Bytes& bytes) {
        MODEL_DATA model;
        if (loadModelMemory(model, "m.mdl", bytes.data(), bytes.size(), true, 0.1f)) {
            ASSERT_LT(model.highestPart, kModelParts);
            ASSERT_LT(model.rootPart, kModelParts);
            for (const MODEL_PART& p : model.parts) {
                ASSERT_LT(p.parent, kModelParts);
                for (int32_t c : p.children) ASSERT_LT(c, kModelParts);
                ASSERT_EQ(p.name[kNameLength - 1], 0);
            }
        }
    };
    for (const Bytes& t : truncations(whole)) walk(t);
    for (const Bytes& g : garblings(whole, 400, 2)) walk(g);
    Bytes huge = whole;
    huge[0] = 0xFF;
    huge[3] = 0x7F;
    walk(huge);
    Bytes noNul = whole;
    std::fill(noNul.begin() + 9, noNul.begin() + 9 + 2 * kNameLength, uint8_t('x'));
    walk(noNul);
    platform::clearShownMessageBoxes();
}

TEST_F(MalformedModelFiles, AnimationFilesTruncatedGarbledAndOversized) {
    PartSpec p;
    p.kind = 2;
    write("m.mdl", modelFile({p, p}));
    MODEL_DATA model;
    ASSERT_TRUE(loadModelFile(model, "m.mdl", false, 0.0f));
    Bytes whole = animeFile("m.mdl", {{{0, 10}, {5, 350, -1}}, {{0, 1, 2, 3}}}, 5);
    CHARA chara;
    auto walk = [&](const Bytes& bytes) {
        ANIME_DATA& anime = chara.animations[0];
        if (loadAnimeMemory(anime, model, bytes.data(), bytes.size())) {
            for (const ANIME_TRACK& t : anime.tracks) ASSERT_LT(t.part, kModelParts);
        }
        for (float frame : {-3.0f, 0.0f, 2.0f, 4.9f, 1e9f, -1e30f}) {
            chara.animeIndex = 0;
            chara.animeFrame = frame;
            chara.applyAnimation(0.5f);
        }
    };
    for (const Bytes& t : truncations(whole)) walk(t);
    for (const Bytes& g : garblings(whole, 400, 3)) walk(g);
    Bytes wild = whole;
    wild[4 + kNameLength] = 0xFF;  // highest track 0x...FF
    walk(wild);
}

using MalformedDescriptions = ModelFixture;

TEST_F(MalformedDescriptions, TruncatedGarbledAndOversized) {
    write("q.x", bytesOf(quadMesh().text()));
    PartSpec p;
    p.kind = 1;
    p.meshFile = "q.x";
    write("q.mdl", modelFile({p}));
    write("w.ani", animeFile("q.mdl", {{{0, 5}}}, 3));
    std::string text = "MODEL:[q.mdl]\r\nSCALE:[1.5]\r\nBOX:[q.x,1,2,3]\r\nANIME:[0,w.ani]\r\n";
    Bytes whole = bytesOf(text);
    auto walk = [](const Bytes& bytes) {
        CHARA chara;
        loadDescriptionMemory(chara, "d.cha", bytes.data(), bytes.size());
        chara.applyAnimation(1.0f);
    };
    for (const Bytes& t : truncations(whole)) walk(t);
    for (const Bytes& g : garblings(whole, 300, 4)) walk(g);
    walk(bytesOf("MODEL:[" + std::string(100000, 'x') + "]ANIME:[99999999999999,a]SCALE:[nan]"));
    walk(bytesOf("ANIME:[" + std::string(5000, ',') + "]BOX:[" + std::string(3000, 'b') + "]"));
    CHARA chara;
    std::string longPath = std::string(300, 'd') + "\\x.cha";
    EXPECT_FALSE(loadDescriptionMemory(chara, longPath.c_str(), whole.data(), whole.size()));
    platform::clearShownMessageBoxes();
}
