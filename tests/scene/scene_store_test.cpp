// The scene store's rules: shared models with reference counts, the fixed
// tables and their limits, the draw lists of one frame, and resets.
#include <gtest/gtest.h>

#include <string>

#include "model/objects.h"
#include "scene_fixture.h"

namespace {

using namespace scene_test;
using scene::ObjectRecord;
using scene::SceneStore;

using SceneModels = SceneFixture;

TEST_F(SceneModels, SharedFileCountsItsUsersAndGoesWithTheLast) {
    openDisplay();
    writeModel("cube", colouredCube(1, 0, 0));
    ASSERT_TRUE(store.attachModel(3, "cube.cha"));
    ASSERT_TRUE(store.attachModel(7, "cube.cha"));
    const int slot = store.objectSlot(3).model;
    ASSERT_GE(slot, 0);
    EXPECT_EQ(store.objectSlot(7).model, slot);
    EXPECT_EQ(store.modelSlot(slot).refCount, 2);
    EXPECT_STREQ(store.modelSlot(slot).name, "cube.cha");

    store.detachModel(3);
    EXPECT_EQ(store.modelSlot(slot).refCount, 1);
    EXPECT_EQ(store.objectSlot(3).model, slot);  // still names the model
    EXPECT_EQ(store.objectSlot(7).model, slot);
    store.detachModel(7);
    EXPECT_EQ(store.modelSlot(slot).refCount, 0);
    EXPECT_STREQ(store.modelSlot(slot).name, "");
    EXPECT_EQ(store.objectSlot(7).model, -1);
    EXPECT_FALSE(store.modelSlot(slot).chara->hasModel());
    // Detaching a slot without a model, or outside the table, does nothing.
    store.detachModel(7);
    store.detachModel(-1);
    store.detachModel(600);
    EXPECT_EQ(store.modelSlot(slot).refCount, 0);
}

TEST_F(SceneModels, SecondLoadOfASlotKeepsTheFirstModelsCount) {
    openDisplay();
    writeModel("a", colouredCube(1, 0, 0));
    writeModel("b", colouredCube(0, 0, 1));
    ASSERT_TRUE(store.attachModel(0, "a.cha"));
    const int first = store.objectSlot(0).model;
    ASSERT_TRUE(store.attachModel(0, "b.cha"));
    EXPECT_NE(store.objectSlot(0).model, first);
    EXPECT_EQ(store.modelSlot(first).refCount, 1);
}

TEST_F(SceneModels, LimitsRefuseWithoutChangingTheStore) {
    openDisplay();
    writeModel("cube", colouredCube(1, 0, 0));
    EXPECT_FALSE(store.attachModel(-1, "cube.cha"));
    EXPECT_FALSE(store.attachModel(600, "cube.cha"));
    EXPECT_FALSE(store.attachModel(0, "missing.cha"));
    EXPECT_EQ(store.objectSlot(0).model, -1);
    EXPECT_STREQ(store.modelSlot(0).name, "");

    // 50 distinct files fill the model table; the 51st is refused, a file
    // already held still attaches.
    for (int i = 0; i < scene::kModelSlots; ++i) {
        std::string name = "m" + std::to_string(i) + ".cha";
        writeText(name, "MODEL:[cube.mdl]\r\n");
        ASSERT_TRUE(store.attachModel(i, name.c_str())) << name;
    }
    writeText("extra.cha", "MODEL:[cube.mdl]\r\n");
    EXPECT_FALSE(store.attachModel(60, "extra.cha"));
    EXPECT_EQ(store.objectSlot(60).model, -1);
    EXPECT_TRUE(store.attachModel(61, "m7.cha"));
    EXPECT_EQ(store.modelSlot(7).refCount, 2);
}

TEST_F(SceneModels, UpdateRegistersOnlySlotsWithAModel) {
    openDisplay();
    writeModel("cube", colouredCube(1, 0, 0));
    ObjectRecord o = object(5, 1, 2, 3);
    o.rx = 10;
    o.isObst = 0;
    store.registerObject(o);
    EXPECT_EQ(o.lastX, 1.0f);  // the instance's own copy is always made
    EXPECT_EQ(o.lastRx, 10.0f);
    EXPECT_EQ(store.objectSlot(5).active, 0);

    ASSERT_TRUE(store.attachModel(5, "cube.cha"));
    store.registerObject(o);
    EXPECT_EQ(store.objectSlot(5).active, 1);
    EXPECT_EQ(store.objectSlot(5).z, 3.0f);
    EXPECT_EQ(store.objectSlot(5).rx, 10.0f);
    EXPECT_EQ(store.objectSlot(5).obstacle, 0);
    // Attaching again clears the active flag until the next update.
    ASSERT_TRUE(store.attachModel(5, "cube.cha"));
    EXPECT_EQ(store.objectSlot(5).active, 0);
}

TEST_F(SceneModels, AnimationLengthsAnswerForSlotAndAnimation) {
    openDisplay();
    MeshLayout cube = colouredCube(1, 0, 0);
    writeModel("walker", cube, "ANIME:[2,walk.ani]\r\n");
    folder.write("walk.ani", model_test::animeFile("walker.mdl", {{KeyRecord{0}, KeyRecord{12}}}, 24));
    EXPECT_EQ(store.maxAnimeFrame(4, 2), -1.0f);   // no model yet
    EXPECT_EQ(store.maxAnimeFrame(-1, 2), -1.0f);
    ASSERT_TRUE(store.attachModel(4, "walker.cha"));
    EXPECT_EQ(store.maxAnimeFrame(4, 2), 24.0f);
    EXPECT_EQ(store.maxAnimeFrame(4, 0), 0.0f);    // an animation never loaded
    EXPECT_EQ(store.maxAnimeFrame(4, 30), 0.0f);
    EXPECT_EQ(store.maxAnimeFrame(4, -1), 0.0f);
}

TEST_F(SceneModels, ResetEmptiesEverySlotButKeepsTheBoardModel) {
    openDisplay();
    writeModel("cube", colouredCube(1, 0, 0));
    writeBoardModel();
    ASSERT_TRUE(store.loadBoardModel("system\\board\\board.cha"));
    ASSERT_TRUE(store.attachModel(1, "cube.cha"));
    ObjectRecord o = object(1, 0, 0, 0);
    store.registerObject(o);
    store.queueObject(o);
    store.reset();
    EXPECT_EQ(store.objectSlot(1).model, -1);
    EXPECT_EQ(store.objectSlot(1).active, 0);
    EXPECT_STREQ(store.modelSlot(0).name, "");
    EXPECT_EQ(store.opaqueList().count, 0);
    EXPECT_NE(store.boardModel(), nullptr);
}

using SceneLists = SceneFixture;

TEST_F(SceneLists, ObjectsGoToTheirListAndAFullListDrops) {
    ObjectRecord plain = object(0, 0, 0, 0);
    ObjectRecord glass = plain;
    glass.isAlpha = 1;
    ObjectRecord tinted = plain;
    tinted.isSetColor = 1;
    tinted.isMask = 1;
    store.queueObject(plain);
    store.queueObject(glass);
    store.queueObject(tinted);
    EXPECT_EQ(store.opaqueList().count, 1);
    ASSERT_EQ(store.transparentList().count, 2);
    EXPECT_EQ(store.transparentList().entries[1].isSetColor, 1.0f);
    EXPECT_EQ(store.transparentList().entries[1].isMask, 1);
    // The index is not checked when queuing.
    ObjectRecord stray = object(-5, 0, 0, 0);
    for (int i = 1; i < 601; ++i) store.queueObject(stray);
    EXPECT_EQ(store.opaqueList().count, scene::kDrawListEntries);
    EXPECT_EQ(store.opaqueList().entries[0].index, 0);
}

TEST_F(SceneLists, BoardsGoToTheListOfTheirEffect) {
    scene::BoardRecord b;
    for (int effect : {0, 1, 2, 2, 3, -1}) {
        b.effectType = effect;
        store.queueBoard(b);
    }
    EXPECT_EQ(store.boardList(0).count, 1);
    EXPECT_EQ(store.boardList(1).count, 1);
    EXPECT_EQ(store.boardList(2).count, 2);
}

TEST_F(SceneLists, DrawStepEmptiesEveryListAndTheNextFrameStartsEmpty) {
    openDisplay();
    ObjectRecord o = object(0, 0, 0, 0);
    for (int i = 0; i < 601; ++i) store.queueObject(o);
    scene::BoardRecord b;
    b.effectType = 1;
    store.queueBoard(b);
    textures.drawTextureFirst(-1, 0, 0, 4, 4, 0, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0);
    drawFrame();
    EXPECT_EQ(store.opaqueList().count, 0);
    EXPECT_EQ(store.boardList(1).count, 0);
    EXPECT_EQ(textures.queuedCount(), 0);
}

}  // namespace
