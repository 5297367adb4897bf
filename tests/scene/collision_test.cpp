// Collision volumes: checkHit, checkObst and the volume response.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "field_files.h"
#include "model/model_data.h"
#include "model/objects.h"
#include "scene/collision.h"
#include "scene/scene_store.h"

using namespace field_test;

namespace {

class Collision : public ::testing::Test {
protected:
    void SetUp() override { model::setModelFolder(""); }
    void TearDown() override { store.reset(); }

    // A box model in slot `index`, registered at (x, y, z) with the angles.
    void place(int index, const char* file, Vec3 at, Vec3 degrees = {}, bool obstacle = true) {
        ASSERT_TRUE(store.attachModel(index, file));
        scene::ObjectRecord o;
        o.index = index;
        o.x = at.x, o.y = at.y, o.z = at.z;
        o.rx = degrees.x, o.ry = degrees.y, o.rz = degrees.z;
        o.isObst = obstacle ? 1 : 0;
        store.registerObject(o);
    }

    // A mover without a model in slot `index`, updated at `from`, now at `to`.
    scene::ObjectRecord mover(int index, Vec3 from, Vec3 to) {
        scene::ObjectRecord o;
        o.index = index;
        o.x = from.x, o.y = from.y, o.z = from.z;
        store.registerObject(o);
        o.x = to.x, o.y = to.y, o.z = to.z;
        return o;
    }

    graphics_test::ScratchFolder folder;
    scene::SceneStore store;
};

TEST_F(Collision, CheckHitThroughTheTopEndsAtTheTopPlusTheMargin) {
    writeBoxModel(folder, "box", 1, 1, 1);
    place(0, "box.cha", {0, 0, 0});
    scene::ObjectRecord o;
    o.index = 0;
    o.x = 40;  // moved since its update: the test uses the slot's placement
    EXPECT_TRUE(scene::checkHit(store, o, {0, 5, 0}, {0, -5, 0}));
    EXPECT_FLOAT_EQ(o.hitX, 0.0f);
    EXPECT_FLOAT_EQ(o.hitY, 1.25f);
    EXPECT_FLOAT_EQ(o.hitZ, 0.0f);

    // A miss leaves the point of the last hit.
    EXPECT_FALSE(scene::checkHit(store, o, {3, 5, 0}, {3, -5, 0}));
    EXPECT_FLOAT_EQ(o.hitX, 0.0f);
    EXPECT_FLOAT_EQ(o.hitY, 1.25f);

    scene::ObjectRecord none;
    none.index = 7;
    none.hitY = 9;
    EXPECT_FALSE(scene::checkHit(store, none, {0, 5, 0}, {0, -5, 0}));
    EXPECT_FLOAT_EQ(none.hitY, 9.0f);
    none.index = -1;
    EXPECT_FALSE(scene::checkHit(store, none, {0, 5, 0}, {0, -5, 0}));
}

TEST_F(Collision, TheEntryTestScalesTheMarginTheResponseDoesNot) {
    writeBoxModel(folder, "big", 1, 1, 1, "SCALE:[2]\r\n");
    place(0, "big.cha", {0, 0, 0});
    scene::ObjectRecord o;
    o.index = 0;
    // Entered through the top pushed out by 0.5, lifted to 2 + 0.25.
    EXPECT_TRUE(scene::checkHit(store, o, {0, 5, 0}, {0, -5, 0}));
    EXPECT_FLOAT_EQ(o.hitY, 2.25f);
    // Between 2.25 and 2.5: inside the entry margin, above the lifted end.
    EXPECT_FALSE(scene::checkHit(store, o, {0, 5, 0}, {0, 2.4f, 0}));
}

TEST_F(Collision, SteepFloorPushesTheEndOff) {
    writeBoxModel(folder, "box", 1, 1, 1);
    ASSERT_TRUE(store.attachModel(0, "box.cha"));
    model::CHARA* box = store.modelOf(0);
    ASSERT_NE(box, nullptr);
    // Turned 50 degrees about z, the top faces (-sin 50, cos 50, 0): a
    // floor steeper than 43 degrees. Half the up vector turned half a
    // circle about it pushes the end down the slope.
    Vec3 a{-0.6f, 5, 0}, b{-0.6f, 0.5f, 0};
    EXPECT_EQ(scene::respondToVolume(*box, {0, 0, 0}, {0, 0, 50}, a, b, 0.25f), scene::kSteepFloor);
    const float s = std::sin(50 * 3.14159265f / 180), c = std::cos(50 * 3.14159265f / 180);
    const float x = -0.6f - c * s;
    EXPECT_NEAR(b.x, x, 1e-4);
    EXPECT_NEAR(b.y, 0.25f + (1 + s * x) / c, 1e-4);
    EXPECT_NEAR(b.z, 0.0f, 1e-5);
    // Turned 40 degrees the top is an ordinary floor.
    Vec3 a2{-0.6f, 5, 0}, b2{-0.6f, 0.5f, 0};
    EXPECT_EQ(scene::respondToVolume(*box, {0, 0, 0}, {0, 0, 40}, a2, b2, 0.25f), scene::kFloor);
    EXPECT_FLOAT_EQ(b2.x, -0.6f);
}

TEST_F(Collision, ObstacleStopsTheMoveAtItsWall) {
    writeBoxModel(folder, "box", 1, 1, 1);
    place(1, "box.cha", {5, 0, 0});
    scene::ObjectRecord o = mover(0, {0, 0, 0}, {10, 0, 0});
    EXPECT_EQ(scene::checkObst(store, o, -1), scene::kWall);
    // Onto the wall x = 4 pushed out by 0.025, then 0.125 off it.
    EXPECT_NEAR(o.x, 3.85f, 1e-5);
    EXPECT_FLOAT_EQ(o.y, 0.0f);
    EXPECT_FLOAT_EQ(o.z, 0.0f);
}

TEST_F(Collision, CorrectedEndCarriesToTheNextObstacle) {
    writeBoxModel(folder, "box", 1, 1, 1);
    place(1, "box.cha", {5, 0, 0});
    place(2, "box.cha", {8, 0, 0});  // in the way of the first end only
    scene::ObjectRecord o = mover(0, {0, 0, 0}, {10, 0, 0});
    EXPECT_EQ(scene::checkObst(store, o, -1), scene::kWall);
    EXPECT_NEAR(o.x, 3.85f, 1e-5);
}

TEST_F(Collision, ObstaclesLeftOutOfTheQuery) {
    writeBoxModel(folder, "box", 1, 1, 1);
    place(1, "box.cha", {5, 0, 0});
    place(2, "box.cha", {5, 0, 3}, {}, false);   // not an obstacle
    ASSERT_TRUE(store.attachModel(3, "box.cha"));  // never updated: inactive

    scene::ObjectRecord skipped = mover(0, {0, 0, 0}, {10, 0, 0});
    EXPECT_EQ(scene::checkObst(store, skipped, 1), -1);
    EXPECT_FLOAT_EQ(skipped.x, 10.0f);

    scene::ObjectRecord own = mover(1, {0, 0, 0}, {10, 0, 0});
    EXPECT_EQ(scene::checkObst(store, own, -1), -1);

    scene::ObjectRecord past = mover(0, {0, 0, 3}, {10, 0, 3});
    EXPECT_EQ(scene::checkObst(store, past, -1), -1);

    // update() before the query: a zero-length move, also inside the box.
    scene::ObjectRecord still = mover(0, {5, 0, 0}, {5, 0, 0});
    EXPECT_EQ(scene::checkObst(store, still, -1), -1);
    EXPECT_FLOAT_EQ(still.x, 5.0f);

    scene::ObjectRecord broken = mover(0, {0, 0, 0}, {std::nanf(""), 0, 0});
    EXPECT_EQ(scene::checkObst(store, broken, -1), -1);
}

TEST_F(Collision, LowStepIsClimbedByTheRetry) {
    // A slab whose top lies 0.02 below the mover's feet: its side stops the
    // move, the start lifted by 0.025 comes in over its top.
    writeBoxModel(folder, "slab", 1, 0.5f, 1);
    place(1, "slab.cha", {5, -0.52f, 0});
    scene::ObjectRecord o = mover(0, {3, 0, 0}, {4.5f, 0, 0});
    EXPECT_EQ(scene::checkObst(store, o, -1), scene::kFloor);
    EXPECT_FLOAT_EQ(o.x, 4.5f);
    EXPECT_NEAR(o.y, 0.005f, 1e-6);
}

// checkObst leaves out obstacles whose cube the movement misses and keeps
// the rotations of unmoved slots; the answers are those of testing every
// obstacle in full.
TEST_F(Collision, SkippingFarObstaclesChangesNoAnswer) {
    writeBoxModel(folder, "box", 1, 1, 1);
    writeBoxModel(folder, "rod", 3, 0.2f, 0.2f, "SCALE:[1.5]\r\n");
    std::mt19937 random(7);
    std::uniform_real_distribution<float> spot(-10.0f, 10.0f), angle(-400.0f, 400.0f);
    for (int i = 1; i < 60; ++i)
        place(i, i % 3 ? "box.cha" : "rod.cha", {spot(random), spot(random) * 0.2f, spot(random)},
              {angle(random), angle(random), angle(random)});
    int hits = 0;
    for (int n = 0; n < 400; ++n) {
        const Vec3 from{spot(random), spot(random) * 0.2f, spot(random)};
        const Vec3 to = from + Vec3{spot(random) * 0.3f, spot(random) * 0.05f, spot(random) * 0.3f};
        scene::ObjectRecord o = mover(0, from, to);
        const int code = scene::checkObst(store, o, -1);
        Vec3 a = from, b = to;
        int expected = -1;
        for (int j = 1; j < 60; ++j) {
            const scene::ObjectSlot& slot = store.objectSlot(j);
            expected = std::max(expected, scene::respondToVolume(*store.modelOf(j), {slot.x, slot.y, slot.z},
                                                                 {slot.rx, slot.ry, slot.rz}, a, b, 0.025f));
        }
        ASSERT_EQ(code, expected) << n;
        if (expected > 0) {
            ++hits;
            EXPECT_EQ(o.x, b.x) << n;
            EXPECT_EQ(o.y, b.y) << n;
            EXPECT_EQ(o.z, b.z) << n;
        }
        if (n == 200)  // a turned obstacle
            place(5, "box.cha", {0, 0, 0}, {10, 20, 30});
    }
    EXPECT_GT(hits, 20);
}

TEST_F(Collision, ShapeWithoutPlanesIsNeverEntered) {
    model::COLLISION_SHAPE shape;
    Vec3 a{0, 5, 0}, b{0, -5, 0};
    EXPECT_FALSE(scene::enterVolume(shape, a, b, 0.25f));
    EXPECT_FLOAT_EQ(a.y, 5.0f);
}

}  // namespace
