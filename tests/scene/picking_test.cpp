// findNearMousePos: the nearest model along the line under the mouse.
#include <gtest/gtest.h>

#include "field_files.h"
#include "graphics/camera.h"
#include "model/model_data.h"
#include "scene/picking.h"
#include "scene/scene_store.h"

using namespace field_test;

namespace {

class Picking : public ::testing::Test {
protected:
    void SetUp() override {
        model::setModelFolder("");
        writeBoxModel(folder, "box", 1, 1, 1);
        camera.eye = {0, 0, -20};
        camera.target = {0, 0, 0};
    }
    void TearDown() override { store.reset(); }

    void place(int index, Vec3 at, bool update = true) {
        ASSERT_TRUE(store.attachModel(index, "box.cha"));
        if (!update) return;
        scene::ObjectRecord o;
        o.index = index;
        o.x = at.x, o.y = at.y, o.z = at.z;
        store.registerObject(o);
    }
    scene::PickResult pickAt(int x, int y) {
        return scene::pickObject(store, camera.eye, camera.screenToWorld(x, y, scene::kPickNearDepth),
                                 camera.screenToWorld(x, y, scene::kPickFarDepth));
    }

    graphics_test::ScratchFolder folder;
    scene::SceneStore store;
    graphics::Camera camera;
};

TEST_F(Picking, NearerOfTwoOnOneLineOfSightWinsWithOffsetAndDistance) {
    place(1, {0, 0, 5});
    place(3, {0, 0, 0});
    const scene::PickResult r = pickAt(320, 240);
    EXPECT_EQ(r.slot, 3);
    // Hit on the front face z = -1: the offset leads from there to the box.
    EXPECT_NEAR(r.offset.x, 0.0f, 1e-5);
    EXPECT_NEAR(r.offset.y, 0.0f, 1e-5);
    EXPECT_NEAR(r.offset.z, 1.0f, 1e-4);
    EXPECT_NEAR(r.distance, 19.0f, 1e-4);
}

TEST_F(Picking, EqualDistancesKeepTheFirstSlotAndInactiveSlotsCount) {
    place(4, {0, 0, 0});
    place(2, {0, 0, 0}, false);  // never updated: still at the origin
    EXPECT_EQ(pickAt(320, 240).slot, 2);
}

TEST_F(Picking, EmptySpaceGivesNoSlotAndTheFarDistance) {
    place(1, {0, 0, 0});
    const scene::PickResult r = pickAt(10, 10);
    EXPECT_EQ(r.slot, -1);
    EXPECT_EQ(r.distance, 1000.0f);
    EXPECT_EQ(r.offset.x, 0.0f);
    EXPECT_EQ(r.offset.y, 0.0f);
    EXPECT_EQ(r.offset.z, 0.0f);
    store.reset();
    EXPECT_EQ(pickAt(320, 240).slot, -1);
}

}  // namespace
