// The model, animation, board and image files of the test games with 3D
// objects, written into a game folder by the tests that run them.
#pragma once
#include <fstream>
#include <string>

#include "../graphics/test_images.h"
#include "../model/model_files.h"

namespace app_test {

inline void writeBytes(const std::string& path, const model_test::Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));
}
inline void writeText(const std::string& path, const std::string& text) {
    writeBytes(path, model_test::bytesOf(text));
}

// "DIR/NAME.cha" naming "NAME.mdl", one part drawing "NAME.x"; dir ends in '/'.
inline void writeOnePartModel(const std::string& dir, const std::string& name, const model_test::MeshLayout& mesh) {
    writeText(dir + name + ".x", mesh.text());
    model_test::PartRecord part;
    part.kind = 1;
    part.name = name;
    part.meshFile = name + ".x";
    writeBytes(dir + name + ".mdl", model_test::modelFile({part}));
    writeText(dir + name + ".cha", "MODEL:[" + name + ".mdl]\r\n");
}

// folder ends in '/'; makes model/, image/ and system/board/ in it.
inline void writeSceneAssets(const std::string& folder) {
    using model_test::KeyRecord;
    using model_test::MaterialRecord;
    using model_test::MeshLayout;
    using model_test::PartRecord;
    std::filesystem::create_directories(folder + "model");
    std::filesystem::create_directories(folder + "image");
    std::filesystem::create_directories(folder + "system/board");

    // A robot: a body with a head and two legs that swing in its walk.
    MeshLayout body = model_test::cubeMesh();
    body.materials = {MaterialRecord{0.2f, 0.5f, 0.9f, 1.0f, ""}};
    writeText(folder + "model/body.x", body.text());
    MeshLayout leg = model_test::cubeMesh();
    for (render::Vec3& p : leg.positions) {
        p.x *= 0.3f;
        p.y = p.y > 0 ? 0.0f : -1.6f;
        p.z *= 0.3f;
    }
    leg.materials = {MaterialRecord{0.9f, 0.8f, 0.2f, 1.0f, ""}};
    writeText(folder + "model/leg.x", leg.text());
    PartRecord torso;
    torso.kind = 1;
    torso.name = "body";
    torso.meshFile = "body.x";
    torso.children = {1, 2};
    PartRecord left;
    left.kind = 1;
    left.name = "left";
    left.meshFile = "leg.x";
    left.parent = 0;
    left.vectors[6] = {-0.5f, -1.0f, 0.0f};
    PartRecord right = left;
    right.name = "right";
    right.vectors[6] = {0.5f, -1.0f, 0.0f};
    writeBytes(folder + "model/robot.mdl", model_test::modelFile({torso, left, right}));
    auto swing = [](int part, int from) {
        KeyRecord a{0}, b{10}, c{20};
        a.meshSource = b.meshSource = c.meshSource = int16_t(part);
        a.rx = int16_t(from);
        b.rx = int16_t(360 - from);
        c.rx = int16_t(from);
        b.dx = -1;
        return std::vector<KeyRecord>{a, b, c};
    };
    KeyRecord still{0};
    still.meshSource = 0;
    writeBytes(folder + "model/walk.ani", model_test::animeFile("robot.mdl", {{still}, swing(1, 30), swing(2, 330)}, 20));
    writeText(folder + "model/robot.cha", "MODEL:[robot.mdl]\r\nANIME:[0,walk.ani]\r\n");

    MeshLayout crate = model_test::cubeMesh();
    crate.materials = {MaterialRecord{0.6f, 0.4f, 0.2f, 1.0f, ""}};
    writeOnePartModel(folder + "model/", "crate", crate);

    MeshLayout quad = model_test::quadMesh();
    // Facing +z, as lookAtCamera turns a board's +z side to the eye.
    quad.positions = {{0.5f, 0.5f, 0}, {-0.5f, 0.5f, 0}, {-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}};
    model_test::flatNormals(quad, {0.0f, 0.0f, 1.0f});
    writeOnePartModel(folder + "system/board/", "board", quad);

    writeBytes(folder + "image/spark.bmp", graphics_test::makeBmp24(8, 8, [](int x, int y) {
        int d = (x - 4) * (x - 4) + (y - 4) * (y - 4);
        return d < 6 ? 0xFFF0A0u : d < 14 ? 0xFF8020u : 0x000000u;
    }));
}

}  // namespace app_test
