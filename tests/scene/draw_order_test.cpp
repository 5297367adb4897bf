// The frame's draw step on a real device: lists in their order, the
// tinted and outline passes, posed part trees and boards, compared with
// reviewed frames under tests/data/scene.
#include <gtest/gtest.h>

#include "../render/golden.h"
#include "model/objects.h"
#include "scene_fixture.h"

namespace {

using namespace scene_test;
using scene::BoardRecord;
using scene::ObjectRecord;

class SceneFrames : public SceneFixture {
protected:
    void SetUp() override {
        SceneFixture::SetUp();
        openDisplay();
        camera.eye = {0.0f, 2.0f, -12.0f};
        camera.target = {0.0f, 0.0f, 0.0f};
    }

    // Attaches, registers and queues one object.
    void show(ObjectRecord o, const char* file) {
        ASSERT_TRUE(store.attachModel(o.index, file)) << file;
        store.registerObject(o);
        store.queueObject(o);
    }

    uint32_t pixel(int x, int y) { return d3d->backBufferSurface()->pixelArgb(x, y) & 0xFFFFFF; }
};

TEST_F(SceneFrames, OpaqueNearestFirstAndTransparentFarthestFirst) {
    writeModel("red", colouredCube(1, 0, 0));
    writeModel("blue", colouredCube(0, 0, 1));
    writeModel("glass", colouredCube(0, 1, 0, 0.5f));
    writeModel("smoke", colouredCube(1, 1, 1, 0.5f));
    // Queued far before near: the sort draws the near cube first.
    show(object(1, 1.0f, 0.6f, 4.0f), "blue.cha");
    show(object(0, 0.0f, 0.0f, 0.0f), "red.cha");
    ObjectRecord glass = object(2, -1.5f, -0.6f, -3.0f);
    glass.isAlpha = 1;
    ObjectRecord smoke = object(3, -2.2f, -0.9f, -1.0f);
    smoke.isAlpha = 1;
    show(glass, "glass.cha");
    show(smoke, "smoke.cha");
    ASSERT_EQ(store.transparentList().count, 2);
    drawFrame();
    EXPECT_TRUE(render_test::matchesGolden(*d3d->backBufferSurface(), "lists_in_order"));
}

TEST_F(SceneFrames, SortsAreExchangeSortsThatNeverSwapEqualDistances) {
    camera.eye = {0.0f, 0.0f, 0.0f};
    // Index -1 and above: no model, so nothing is drawn, but the lists are
    // sorted in place and keep their order once the frame empties them.
    const float opaqueZ[] = {9, 5, 5, 1, 7};
    const float glassZ[] = {1, 5, 5, 9, 3};
    for (int i = 0; i < 5; ++i) {
        store.queueObject(object(-1 - i, 0, 0, opaqueZ[i]));
        ObjectRecord glass = object(-10 - i, 0, 0, glassZ[i]);
        glass.isAlpha = 1;
        store.queueObject(glass);
    }
    drawFrame();
    const scene::DrawEntry* near = store.opaqueList().entries;
    const scene::DrawEntry* far = store.transparentList().entries;
    // 1, 5, 5, 7, 9 and 9, 5, 5, 3, 1: the exchange passes leave the two
    // entries at 5 in the reverse of their queue order.
    const int nearOrder[] = {-4, -3, -2, -5, -1};
    const int farOrder[] = {-13, -12, -11, -14, -10};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(near[i].index, nearOrder[i]) << i;
        EXPECT_EQ(far[i].index, farOrder[i]) << i;
    }
    EXPECT_EQ(near[0].distance, 1.0f);
    // A single entry is drawn without a distance.
    store.queueObject(object(-7, 3, 4, 0));
    drawFrame();
    EXPECT_EQ(store.opaqueList().entries[0].distance, 0.0f);
}

TEST_F(SceneFrames, TintOutlineAndBoth) {
    camera.eye = {0.0f, 3.0f, -16.0f};
    writeModel("white", colouredCube(1, 1, 1));
    ObjectRecord tinted = object(0, -2.5f, 0.0f, 0.0f);
    tinted.isSetColor = 1;
    tinted.colorR = 1.0f;
    tinted.colorG = 0.0f;
    tinted.colorB = 0.0f;
    tinted.colorA = 0.5f;
    ObjectRecord both = tinted;
    both.index = 1;
    both.x = 0.0f;
    both.isMask = 1;
    ObjectRecord outlined = object(2, 2.5f, 0.0f, 0.0f);
    outlined.isMask = 1;
    outlined.scaleX = outlined.scaleY = outlined.scaleZ = 0.8f;
    writeModel("grey", colouredCube(0.4f, 0.4f, 0.4f));
    show(tinted, "white.cha");
    show(both, "white.cha");
    show(outlined, "grey.cha");
    drawFrame();
    EXPECT_TRUE(render_test::matchesGolden(*d3d->backBufferSurface(), "tint_and_outline"));
    // The tinted cube's shell is 0x7FFF0000 blended over black.
    int x = 0, y = 0;
    ASSERT_TRUE(camera.worldToScreen({-2.5f, 0.0f, 0.0f}, x, y));
    x = x * d3d->displayWidth() / 640;
    y = y * d3d->displayHeight() / 480;
    const uint32_t c = pixel(x, y);
    EXPECT_NEAR(int(c >> 16), 127, 1) << std::hex << c;
    EXPECT_EQ(c & 0xFFFF, 0u) << std::hex << c;
    // The tint is put back for the next object.
    EXPECT_EQ(lighting.tintColor[0], 1.0f);
    EXPECT_EQ(lighting.tintColor[1], 1.0f);
    EXPECT_EQ(lighting.tintTextured, 1);
}

TEST_F(SceneFrames, PartTreePosedBetweenTwoKeys) {
    writeText("body.x", colouredCube(0.2f, 0.6f, 1.0f).text());
    writeText("arm.x", armMesh(2.0f, 0.3f, 1.0f, 0.8f, 0.1f).text());
    PartRecord body;
    body.kind = 1;
    body.name = "body";
    body.meshFile = "body.x";
    body.children = {1};
    PartRecord arm;
    arm.kind = 1;
    arm.name = "arm";
    arm.meshFile = "arm.x";
    arm.parent = 0;
    arm.vectors[6] = {1.0f, 0.5f, 0.0f};  // the shoulder
    folder.write("robot.mdl", model_test::modelFile({body, arm}));
    // The arm turns from 0 to 90 degrees about z over ten frames.
    KeyRecord still{0};
    still.meshSource = 0;
    KeyRecord down{0}, up{10};
    down.meshSource = up.meshSource = 1;
    up.rz = 90;
    folder.write("wave.ani", model_test::animeFile("robot.mdl", {{still}, {down, up}}, 10));
    writeText("robot.cha", "MODEL:[robot.mdl]\r\nANIME:[0,wave.ani]\r\n");
    ObjectRecord robot = object(0, -1.0f, -0.5f, 0.0f);
    robot.animeFrame = 5.0f;
    robot.ry = 20.0f;
    show(robot, "robot.cha");
    drawFrame();
    EXPECT_TRUE(render_test::matchesGolden(*d3d->backBufferSurface(), "part_tree_posed"));
    const model::CHARA* chara = store.modelOf(0);
    ASSERT_NE(chara, nullptr);
    EXPECT_EQ(chara->model.parts[1].vectors[4].z, 45.0f);
    // Frames beyond the animation draw its last frame, below 0 its first.
    robot.animeFrame = 99.0f;
    store.queueObject(robot);
    drawFrame();
    EXPECT_EQ(store.modelOf(0)->model.parts[1].vectors[4].z, 90.0f);
    robot.animeFrame = -5.0f;
    store.queueObject(robot);
    drawFrame();
    EXPECT_EQ(store.modelOf(0)->model.parts[1].vectors[4].z, 0.0f);
}

TEST_F(SceneFrames, BoardsByEffect) {
    writeBoardModel();
    ASSERT_TRUE(store.loadBoardModel("system\\board\\board.cha"));
    ASSERT_NE(store.boardModel(), nullptr);
    folder.write("spark.bmp", graphics_test::makeBmp24(8, 8, [](int x, int y) {
        return (x + y) % 2 ? 0xFFE040u : 0x4060FFu;
    }));
    ASSERT_TRUE(textures.loadTexture(d3d->textures(), 4, "spark.bmp"));
    writeModel("wall", colouredCube(0.5f, 0.5f, 0.5f));
    ObjectRecord wall = object(0, 0.0f, 0.0f, 0.0f);
    wall.scaleX = 2.2f;
    wall.scaleY = 1.0f;
    wall.scaleZ = 0.2f;
    show(wall, "wall.cha");

    BoardRecord b;
    b.ry = 180.0f;  // the board's face towards the eye
    b.scaleX = b.scaleY = b.scaleZ = 1.2f;
    b.z = 2.0f;  // behind the wall
    b.right = b.bottom = 8.0f;
    b.textureIndex = 4;
    b.x = -2.5f;
    b.effectType = 0;  // hidden by the wall
    store.queueBoard(b);
    b.x = -0.8f;
    b.effectType = 1;  // drawn over it
    store.queueBoard(b);
    b.x = 0.8f;
    b.effectType = 2;  // added over it
    b.colorG = 0.5f;
    store.queueBoard(b);
    BoardRecord plain;  // the 16 x 16 reference square, untextured, turned in its plane
    plain.ry = 180.0f;
    plain.scaleX = plain.scaleY = plain.scaleZ = 1.0f;
    plain.x = 2.5f;
    plain.y = 1.2f;
    plain.z = -1.0f;
    plain.right = plain.bottom = 16.0f;
    plain.rote = 30.0f;
    plain.rz = 45.0f;  // no effect
    plain.colorB = 0.0f;
    store.queueBoard(plain);
    drawFrame();
    EXPECT_TRUE(render_test::matchesGolden(*d3d->backBufferSurface(), "boards_by_effect"));
    const model::RENDER_MESH& quad = store.boardModel()->model.parts[0].mesh;
    EXPECT_EQ(quad.vertices[0].tu, 0.0f);
    EXPECT_EQ(quad.vertices[2].tu, 1.0f);
    EXPECT_EQ(quad.vertices[2].tv, 1.0f);
    EXPECT_EQ(quad.vertices[5].tv, 1.0f);
    EXPECT_EQ(quad.vertices[0].diffuse, 0xFFFF7FFFu);  // list 2 is drawn last
}

}  // namespace
