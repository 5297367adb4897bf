// A game on a field run by the program: its logged positions and its last
// frame compared with reviewed ones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "../scene/field_files.h"
#include "../support/test_game_copy.h"

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The field of the walk: flat ground over [0, 10] x [0, 10], a 45-degree
// slope beside it over x 10 to 14, and a lighter material on the slope.
field_test::MeshText walkingGround() {
    field_test::MeshText mesh;
    mesh.materials = {field_test::Material{}, field_test::Material{}};
    mesh.square(0, 0, 10, 10);
    mesh.triangle({10, 0, 0}, {10, 0, 10}, {14, 4, 10}, 1);
    mesh.triangle({10, 0, 0}, {14, 4, 10}, {14, 4, 0}, 1);
    const float s = 0.70710677f;
    mesh.faceNormals = {{0, 1, 0}, {0, 1, 0}, {-s, s, 0}, {-s, s, 0}};
    return mesh;
}

TEST(HeadlessRun, CharacterWalksOverAFieldAsLoggedAndShown) {
    const std::string folder = test_support::copyTestGame(TESSERAE_TEST_GAMES, "field_walk");
    ASSERT_FALSE(folder.empty());
    std::filesystem::create_directories(folder + "field");
    field_test::writeFile(folder + "field/ground.x", walkingGround().bytes());
    field_test::writeBoxModel(folder, "wall", 1, 1, 1);

    const std::string shot = folder + "shot.png";
    const std::string command = std::string(TESSERAE_BINARY) + " --headless --virtual-clock --frames 60 --screenshot '" +
                                shot + "' '" + folder + "' 2>&1";
    ASSERT_EQ(system(command.c_str()), 0) << command;

    std::string expected;
    std::istringstream script(readText(folder + "script/init.nut"));
    for (std::string line; std::getline(script, line);)
        if (line.rfind("// expect: ", 0) == 0) expected += line.substr(11) + "\r\n";
    EXPECT_EQ(readText(folder + "20000101_000000.log"), expected);

    const std::string golden = std::string(TESSERAE_TEST_DATA) + "/app/field_walk.png";
    if (getenv("TESSERAE_UPDATE_GOLDEN")) {
        std::ofstream(golden, std::ios::binary) << readText(shot);
    } else {
        EXPECT_EQ(readText(shot), readText(golden)) << "differs from " << golden << "; the frame is " << shot;
    }
    if (!HasFailure()) std::filesystem::remove_all(folder);
}

}  // namespace
