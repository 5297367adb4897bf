// Drawing the field and every query run without allocating: their storage
// is made at load.
#include <gtest/gtest.h>

#include "../graphics/test_display.h"
#include "../support/allocation_counter.h"
#include "field_files.h"
#include "graphics/camera.h"
#include "graphics/lighting.h"
#include "model/model_data.h"
#include "scene/collision.h"
#include "scene/field.h"
#include "scene/picking.h"
#include "scene/scene_store.h"

using namespace field_test;

namespace {

using QueryAllocation = graphics_test::DisplayFixture;

TEST_F(QueryAllocation, FieldDrawAndQueriesAllocateNothing) {
    auto d3d = createDisplay(32, 64, 48);
    model::setModelFolder("");
    writeBoxModel(folder, "box", 1, 1, 1);
    MeshText mesh;
    for (int i = 0; i < 8; ++i) mesh.square(float(i * 10), 0, float(i * 10 + 10), 30, float(i));
    graphics::Lighting lighting;
    graphics::Camera camera;
    camera.target = {40, 0, 15};
    camera.eye = {40, 60, -40};
    scene::Field field;
    field.connect(&d3d->textures(), d3d.get(), &lighting);
    const Bytes bytes = mesh.bytes();
    ASSERT_TRUE(field.loadMemory("field.x", bytes.data(), bytes.size()));
    scene::SceneStore store;
    for (int i = 1; i < 4; ++i) {
        ASSERT_TRUE(store.attachModel(i, "box.cha"));
        scene::ObjectRecord o;
        o.index = i;
        o.x = float(i * 5);
        store.registerObject(o);
    }
    auto run = [&] {
        ASSERT_TRUE(d3d->beginFrame());
        ASSERT_TRUE(d3d->beginScene());
        field.draw(camera);
        d3d->endScene();
        for (int k = 0; k < 20; ++k) {
            render::Vec3 p{float(k * 3), -1.0f, 10.0f};
            field.checkGround(p);
        }
        scene::ObjectRecord mover;
        mover.index = 0;
        store.registerObject(mover);
        mover.x = 30;
        scene::checkObst(store, mover, -1);
        scene::ObjectRecord own;
        own.index = 2;
        scene::checkHit(store, own, {10, 5, 0}, {10, -5, 0});
        scene::pickObject(store, camera.eye, camera.screenToWorld(320, 240, 0.25f),
                          camera.screenToWorld(320, 240, 1000.0f));
    };
    run();
    allocation_counter::allocations = 0;
    allocation_counter::counting = true;
    run();
    allocation_counter::counting = false;
    EXPECT_EQ(allocation_counter::allocations, 0);
    store.reset();
    field.unload();
}

}  // namespace
