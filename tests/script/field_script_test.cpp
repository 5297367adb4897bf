// The field, the collision tests and picking as a game's script uses them.
#include <gtest/gtest.h>

#include <filesystem>

#include "../scene/field_files.h"
#include "host_driver.h"
#include "model/model_data.h"
#include "scene/field.h"
#include "scene/scene_store.h"

namespace {

using testing_support::HostDriver;

// Flat ground over [0, 10] x [0, 10] and beside it, over x 10 to 14, a
// slope rising 45 degrees toward +x.
field_test::MeshText walkingGround() {
    field_test::MeshText mesh;
    mesh.square(0, 0, 10, 10);
    mesh.triangle({10, 0, 0}, {10, 0, 10}, {14, 4, 10});
    mesh.triangle({10, 0, 0}, {14, 4, 10}, {14, 4, 0});
    return mesh;
}

TEST(FieldScripts, CharacterWalksIntoABoxAndUpASlope) {
    HostDriver game("field_walk");
    std::filesystem::create_directories(game.path("field"));
    field_test::writeFile(game.path("field/ground.x"), walkingGround().bytes());
    field_test::writeBoxModel(game.path(""), "wall", 1, 1, 1);
    model::setModelFolder("");
    scene::SceneStore store;
    scene::Field field;
    script::ScriptSubsystems parts;
    parts.scene = &store;
    parts.field = &field;
    game.host.attach(parts);
    game.start();
    for (int i = 0; i < 12; ++i) game.tick();
    for (int i = 0; i < 2; ++i) game.frame();
    EXPECT_TRUE(game.services.boxes.empty());
    EXPECT_EQ(game.logLines(), game.expectedLines("script/init.nut"));
    game.host.attach({});
    store.reset();
}

}  // namespace
