#include <gtest/gtest.h>

#include <cstring>

#include "model/messages.h"
#include "model/objects.h"
#include "model_fixture.h"

using namespace model;
using namespace model_test;

namespace {

const std::string kNotRead = "ファイルが読み込めませんでした。";

PartSpec part(uint8_t kind, const std::string& name, const std::string& mesh = "") {
    PartSpec p;
    p.kind = kind;
    p.name = name;
    p.meshFile = mesh;
    return p;
}

// A two-part model: a textured body with a child arm without mesh.
Bytes twoParts() {
    PartSpec body = part(1, "body", "body.x");
    body.children = {1};
    body.vectors[6] = {1, 2, 3};
    body.vectors[4] = {9, 9, 9};  // the file's rotation is dropped
    PartSpec arm = part(2, "arm");
    arm.parent = 0;
    return modelFile({body, arm});
}

std::string texturedQuad(const std::string& texture) {
    MeshSpec m = quadMesh();
    m.materials[0].texture = texture;
    return m.text();
}

}  // namespace

using ModelFiles = ModelFixture;

TEST_F(ModelFiles, PartsMeshesShellsAndTexturesLoad) {
    write("chr\\body.x", texturedQuad("skin.bmp"));
    writeTexture("chr\\skin.bmp");
    write("chr\\pair.mdl", twoParts());
    setModelFolder("chr\\");
    MODEL_DATA model;
    ASSERT_TRUE(loadModelFile(model, "pair.mdl", true, 0.5f));
    EXPECT_STREQ(model.name, "pair.mdl");
    EXPECT_EQ(model.highestPart, 1);
    EXPECT_EQ(model.rootPart, 0);
    EXPECT_EQ(model.hasShell, 1);
    EXPECT_EQ(model.origin.y, 2.0f);
    EXPECT_EQ(model.scale, 1.0f);
    const MODEL_PART& body = model.parts[0];
    EXPECT_STREQ(body.name, "body");
    EXPECT_EQ(body.children[0], 1);
    EXPECT_EQ(body.children[1], -1);
    EXPECT_EQ(body.vectors[4].x, 0.0f);
    EXPECT_EQ(body.mesh.vertexCount, 6);
    EXPECT_EQ(body.shell.vertexCount, 6);
    EXPECT_EQ(body.shell.vertices[0].z, -0.5f);  // pushed out along -z
    EXPECT_STREQ(body.mesh.textureName, "skin.bmp");
    ASSERT_GE(body.mesh.textureSlot, 0);
    EXPECT_STREQ(store.textureFolderName(), "chr\\");
    EXPECT_EQ(store.textureSlot(body.mesh.textureSlot).refCount, 1);
    EXPECT_EQ(model.parts[1].parent, 0);
    EXPECT_EQ(model.parts[1].mesh.vertexCount, -1);
    EXPECT_EQ(model.parts[2].meshSource, 2);

    // Emptying the model gives the texture back.
    int slot = body.mesh.textureSlot;
    resetModel(model);
    EXPECT_EQ(store.textureSlot(slot).refCount, 0);
    EXPECT_EQ(model.rootPart, -1);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(ModelFiles, HighestPartZeroAndKindOneWithoutMesh) {
    write("one.mdl", modelFile({part(1, "solo")}, 0));
    MODEL_DATA model;
    ASSERT_TRUE(loadModelFile(model, "one.mdl", false, 0.0f));
    EXPECT_EQ(model.highestPart, 0);
    EXPECT_EQ(model.parts[0].kind, 1);
    EXPECT_EQ(model.parts[0].mesh.vertexCount, -1);
    EXPECT_EQ(model.parts[1].kind, 0);
    EXPECT_EQ(model.parts[0].shell.vertexCount, -1);
}

TEST_F(ModelFiles, FailuresShowTheirMessages) {
    MODEL_DATA model;
    EXPECT_FALSE(loadModelFile(model, "gone.mdl", true, 1.0f));
    write("m.mdl", modelFile({part(1, "p", "missing.x")}));
    EXPECT_FALSE(loadModelFile(model, "m.mdl", true, 1.0f));
    write("t.x", texturedQuad("nothere.bmp"));
    write("t.mdl", modelFile({part(1, "p", "t.x")}));
    EXPECT_FALSE(loadModelFile(model, "t.mdl", true, 1.0f));
    EXPECT_EQ(boxes(), (std::vector<std::string>{kNotRead + "|gone.mdl", kNotRead + "|missing.xが見つかりませんでした。",
                                                 kNotRead + "|nothere.bmpが見つかりませんでした。"}));
    // The part read before the failure stays.
    EXPECT_EQ(model.parts[0].mesh.vertexCount, 6);
}

TEST_F(ModelFiles, IndicesOutsideTheTablesFailTheLoad) {
    MODEL_DATA model;
    std::vector<PartSpec> parts(101, part(0, "p"));
    write("many.mdl", modelFile(parts));
    EXPECT_FALSE(loadModelFile(model, "many.mdl", false, 0.0f));
    PartSpec child = part(0, "c");
    child.children = {-1, 100};
    write("child.mdl", modelFile({child}));
    EXPECT_FALSE(loadModelFile(model, "child.mdl", false, 0.0f));
    PartSpec parent = part(0, "c");
    parent.parent = 250;
    write("parent.mdl", modelFile({parent}));
    EXPECT_FALSE(loadModelFile(model, "parent.mdl", false, 0.0f));
    write("root.mdl", modelFile({part(0, "r")}, 100));
    EXPECT_FALSE(loadModelFile(model, "root.mdl", false, 0.0f));
    EXPECT_EQ(boxes().size(), 4u);
    EXPECT_EQ(model.rootPart, -1);
    // No root part: the origin stays 0.
    write("noroot.mdl", modelFile({part(0, "r")}, -1));
    ASSERT_TRUE(loadModelFile(model, "noroot.mdl", false, 0.0f));
    EXPECT_EQ(model.origin.x, 0.0f);
}

using AnimationFiles = ModelFixture;

TEST_F(AnimationFiles, TracksTakeTheirPartsKind) {
    write("pair.mdl", modelFile({part(2, "a"), part(0, "b"), part(2, "c")}));
    MODEL_DATA model;
    ASSERT_TRUE(loadModelFile(model, "pair.mdl", false, 0.0f));
    ANIME_DATA anime;
    anime.tracks[5].enabled = 7;
    write("walk.ani", animeFile("PAIR.MDL", {{{0, 10, 20, 30, 1, -1, 1, 0.5f, 0, 0, 2}, {4}}, {{0}}}, 12));
    ASSERT_TRUE(loadAnimeFile(anime, model, "walk.ani"));
    EXPECT_EQ(anime.frameCount, 12);
    EXPECT_EQ(anime.tracks[0].enabled, 2);
    EXPECT_EQ(anime.tracks[1].enabled, 0);
    EXPECT_EQ(anime.tracks[0].part, 0);
    EXPECT_EQ(anime.tracks[0].keys[0].rotation[1], 20);
    EXPECT_EQ(anime.tracks[0].keys[0].direction[1], -1);
    EXPECT_EQ(anime.tracks[0].keys[0].translation[0], 0.5f);
    EXPECT_EQ(anime.tracks[0].keys[0].meshSource, 2);
    EXPECT_EQ(anime.tracks[0].keys[1].frame, 4);
    EXPECT_EQ(anime.tracks[0].keys[2].frame, -1);
    EXPECT_EQ(anime.tracks[5].enabled, 7);  // above the file's tracks: kept
}

TEST_F(AnimationFiles, VersionAndModelNameAreChecked) {
    write("pair.mdl", modelFile({part(2, "a")}));
    MODEL_DATA model;
    ASSERT_TRUE(loadModelFile(model, "pair.mdl", false, 0.0f));
    ANIME_DATA anime;
    write("v2.ani", animeFile("pair.mdl", {{{0}}}, 5, 2));
    EXPECT_FALSE(loadAnimeFile(anime, model, "v2.ani"));
    EXPECT_FALSE(loadAnimeFile(anime, model, "none.ani"));
    ASSERT_TRUE(loadAnimeFile(anime, model, (write("ok.ani", animeFile("pair.mdl", {{{0}}}, 5)), "ok.ani")));
    anime.tracks[50].enabled = 1;
    write("other.ani", animeFile("other.mdl", {{{0}}}, 5));
    EXPECT_FALSE(loadAnimeFile(anime, model, "other.ani"));
    EXPECT_EQ(anime.frameCount, 0);
    EXPECT_EQ(anime.tracks[0].enabled, 0);
    EXPECT_EQ(anime.tracks[50].enabled, 0);
    EXPECT_EQ(anime.tracks[0].keys[0].frame, 0);
    EXPECT_EQ(anime.tracks[0].keys[1].frame, -1);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(AnimationFiles, MalformedFilesLeaveTheAnimationAsItWas) {
    write("pair.mdl", modelFile({part(2, "a")}));
    MODEL_DATA model;
    ASSERT_TRUE(loadModelFile(model, "pair.mdl", false, 0.0f));
    ANIME_DATA anime;
    write("ok.ani", animeFile("pair.mdl", {{{0, 45}}}, 5));
    ASSERT_TRUE(loadAnimeFile(anime, model, "ok.ani"));
    std::vector<std::vector<KeySpec>> tracks(101, std::vector<KeySpec>{KeySpec{0}});
    write("many.ani", animeFile("pair.mdl", tracks, 5));
    EXPECT_FALSE(loadAnimeFile(anime, model, "many.ani"));
    write("mesh.ani", animeFile("pair.mdl", {{{0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 100}}}, 5));
    EXPECT_FALSE(loadAnimeFile(anime, model, "mesh.ani"));
    Bytes cut = animeFile("pair.mdl", {{{0, 90}}}, 5);
    cut.resize(cut.size() - 1);
    write("cut.ani", cut);
    EXPECT_FALSE(loadAnimeFile(anime, model, "cut.ani"));
    EXPECT_EQ(anime.tracks[0].keys[0].rotation[0], 45);
    EXPECT_EQ(anime.frameCount, 5);
}
