// A game folder whose every file is damaged runs headless to its end: each
// broken file is refused, with the message box the host gives for it, and
// nothing crashes. The files are built here from the tests' own builders,
// then broken.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "../scene/field_files.h"
#include "../sound/sound_test_util.h"
#include "../support/test_game_copy.h"
#include "game_models.h"

namespace {

using model_test::Bytes;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void put32At(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

void writeImages(const std::string& dir) {
    auto rgb = [](int x, int y) { return uint32_t(x * 30 + y); };
    Bytes huge = graphics_test::makeBmp24(4, 4, rgb);
    put32At(huge, 18, 100000);  // width
    put32At(huge, 22, 100000);  // height
    app_test::writeBytes(dir + "huge.bmp", huge);
    Bytes cut = graphics_test::makeBmp24(8, 8, rgb);
    cut.resize(30);
    app_test::writeBytes(dir + "short.bmp", cut);
    Bytes g2 = graphics_test::makeG2(2, 2, rgb);
    put32At(g2, 2, 0x80000000u);  // height below zero
    app_test::writeBytes(dir + "bad.g2", g2);
    Bytes gp = graphics_test::makeG8(2, 2, [](int, int) { return uint8_t(1); }, [](int i) { return uint32_t(i); });
    put32At(gp, 6, 0xFFFFFFF0u);  // width
    app_test::writeBytes(dir + "bad.gp", gp);
    app_test::writeBytes(dir + "empty.bmp", {});
}

void writeSounds(const std::string& dir, const std::string& midiDir) {
    app_test::writeBytes(dir + "channels.wav", soundtest::makeWave(7, 22050, 16, Bytes(28, 0)));
    Bytes longData = soundtest::makeWave(1, 22050, 16, Bytes(8, 0));
    put32At(longData, longData.size() - 12, 0x7FFFFFF0u);  // "data" size far past the file
    app_test::writeBytes(dir + "long_data.wav", longData);
    app_test::writeBytes(dir + "empty.wav", {});
    Bytes noTracks = soundtest::heldNoteMidi(480, 0, 60, 0.0, 1.0);
    noTracks[10] = 0;
    noTracks[11] = 0;
    app_test::writeBytes(midiDir + "no_tracks.mid", noTracks);
    Bytes cut = soundtest::heldNoteMidi(480, 0, 60, 0.0, 1.0);
    cut.resize(cut.size() - 5);
    app_test::writeBytes(midiDir + "cut.mid", cut);
}

// NAME.x, a one-part NAME.mdl drawing it and NAME.cha naming the model;
// the part record is returned for further models.
model_test::PartRecord writeOnePartModel(const std::string& dir, const std::string& name,
                                         const model_test::MeshLayout& mesh) {
    app_test::writeText(dir + name + ".x", mesh.text());
    model_test::PartRecord part;
    part.kind = 1;
    part.name = "part";
    part.meshFile = name + ".x";
    app_test::writeBytes(dir + name + ".mdl", model_test::modelFile({part}));
    app_test::writeText(dir + name + ".cha", "MODEL:[" + name + ".mdl]\r\n");
    return part;
}

void writeModels(const std::string& dir) {
    model_test::MeshLayout mesh = model_test::quadMesh();
    mesh.faces = {{0, 1, 2, 900}};  // a corner past the positions
    model_test::PartRecord part = writeOnePartModel(dir, "bad_mesh", mesh);

    Bytes parts = model_test::modelFile({part, part});
    put32At(parts, 0, 5000);  // more parts than a model holds
    app_test::writeBytes(dir + "bad_model.mdl", parts);
    app_test::writeText(dir + "bad_model.cha", "MODEL:[bad_model.mdl]\r\n");

    app_test::writeText(dir + "good.x", model_test::quadMesh().text());
    part.meshFile = "good.x";
    app_test::writeBytes(dir + "good.mdl", model_test::modelFile({part}));
    model_test::KeyRecord key;
    key.frame = 0;
    key.meshSource = 7000;  // no such part
    Bytes anime = model_test::animeFile("good.mdl", {{key}}, 10);
    anime.resize(anime.size() - 9);
    app_test::writeBytes(dir + "bad.mot", anime);
    app_test::writeText(dir + "bad_anime.cha", "MODEL:[good.mdl]\r\nANIME:[0,bad.mot]\r\n");
    app_test::writeText(dir + "bad_slot.cha", "MODEL:[good.mdl]\r\nANIME:[4000,bad.mot]\r\nSCALE:[nan]\r\n");
    Bytes binary;
    for (int i = 0; i < 4096; ++i) binary.push_back(uint8_t(i * 37 + (i >> 3)));
    app_test::writeBytes(dir + "binary.cha", binary);
}

void writeField(const std::string& dir) {
    field_test::MeshText ground;
    ground.square(0, 0, 10, 10);
    ground.positions[1].y = std::nanf("");
    field_test::writeFile(dir + "nan.x", ground.bytes());
    std::string text = ground.text();
    field_test::writeFile(dir + "bad.x", model_test::bytesOf(text.substr(0, text.size() / 2)));
}

// /dev/zero would be read until memory runs out and a FIFO would block
// for ever: both, and links to them, where the game reads files.
void writeDevices(const std::string& folder) {
    const std::string dev = folder + "dev/", models = folder + "model/";
    ASSERT_EQ(mkfifo((dev + "fifo").c_str(), 0600), 0);
    for (const char* name : {"zero.bmp", "zero.x", "zero.dat", "zero.cha", "zero.mdl"})
        ASSERT_EQ(symlink("/dev/zero", (dev + name).c_str()), 0);
    for (const char* name : {"fifo.bmp", "fifo.x", "fifo.nut", "fifo.wav", "link.bmp"})
        ASSERT_EQ(symlink(name[0] == 'l' ? "fifo.bmp" : "fifo", (dev + name).c_str()), 0);
    app_test::writeText(models + "dev_model.cha", "MODEL:[..\\dev\\zero.mdl]\r\n");
    app_test::writeText(models + "dev_box.cha", "MODEL:[good.mdl]\r\nBOX:[..\\dev\\fifo.x]\r\n");
    model_test::MeshLayout mesh = model_test::quadMesh();
    // A mesh's texture loads from the model's folder by its base name.
    mesh.materials[0].texture = "..\\dev\\zero.bmp";
    ASSERT_EQ(symlink("../dev/zero.bmp", (models + "zero.bmp").c_str()), 0);
    writeOnePartModel(models, "dev_texture", mesh);
}

TEST(HostileGame, EveryDamagedFileIsRefusedAndTheRunEnds) {
    const std::string folder = test_support::copyTestGame(TESSERAE_TEST_GAMES, "hostile");
    ASSERT_FALSE(folder.empty());
    for (const char* sub : {"img", "wave", "midi", "model", "field", "dev"})
        std::filesystem::create_directories(folder + sub);
    writeImages(folder + "img/");
    writeSounds(folder + "wave/", folder + "midi/");
    writeModels(folder + "model/");
    writeField(folder + "field/");
    writeDevices(folder);
    app_test::writeBytes(folder + "save.dat", model_test::bytesOf(std::string("setData(\"a\",\x82\xa0\"\0after", 20)));
    app_test::writeBytes(folder + "init.dat", {1, 0, 0, 0, 0, 1, 7, 0});
    app_test::writeBytes(folder + "input.dat", {0x41, 0xC8, 0x42});

    // A reader that waits on the FIFO or reads /dev/zero never ends: the
    // time limit fails the run instead of the test hanging.
    const std::string command = "timeout -s KILL 120 " + std::string(TESSERAE_BINARY) + " --headless --virtual-clock --frames 200 '" + folder +
                                "' > '" + folder + "out.txt' 2>&1";
    EXPECT_EQ(system(command.c_str()), 0) << command;
    std::string printed = readAll(folder + "out.txt");
    for (size_t at; (at = printed.find(folder)) != std::string::npos;) printed.replace(at, folder.size(), "GAME/");
    EXPECT_EQ(printed,
              "MessageBox: エラーメッセージ: 指定されたピクセル フォーマットが無効である\n"
              "tesserae: cannot read the image 'img/huge.bmp'\n"
              "tesserae: cannot read the image 'img/short.bmp'\n"
              "tesserae: cannot read the image 'img/bad.g2'\n"
              "tesserae: cannot read the image 'img/bad.gp'\n"
              "tesserae: cannot read the image 'img/empty.bmp'\n"
              "tesserae: cannot play the wave 'GAME/wave/channels.wav' (format, rate or length)\n"
              "tesserae: cannot play the wave 'GAME/wave/long_data.wav' (format, rate or length)\n"
              "tesserae: cannot play the wave 'GAME/wave/empty.wav' (format, rate or length)\n"
              "tesserae: cannot play the MIDI file 'GAME/midi/no_tracks.mid'\n"
              "tesserae: cannot play the MIDI file 'GAME/midi/cut.mid'\n"
              "tesserae: cannot use the mesh 'model/bad_mesh.x': it is not a text mesh the host reads (a missing "
              "Mesh or MeshMaterialList block, a count or index past its data, a face of more than four corners)\n"
              "MessageBox: ファイルが読み込めませんでした。: model\\bad_mesh.xが見つかりませんでした。\n"
              "tesserae: cannot use the model 'model/bad_model.mdl': it is damaged (shorter than its parts, or a "
              "part number past 99)\n"
              "MessageBox: ファイルが読み込めませんでした。: bad_model.mdl\n"
              "tesserae: cannot use the animation 'model/bad.mot': it is damaged, or has more tracks or parts than "
              "its model allows\n"
              "tesserae: cannot use the description 'model/bad_slot.cha': an ANIME entry names a slot outside 0 "
              "to 29\n"
              "tesserae: cannot read the mesh 'model/'\n"
              "tesserae: cannot read 'dev/zero.bmp': it is a device, not a regular file\n"
              "tesserae: cannot read 'dev/fifo.bmp': it is a FIFO, not a regular file\n"
              "tesserae: cannot read 'dev/link.bmp': it is a FIFO, not a regular file\n"
              "tesserae: cannot read 'dev/zero.x': it is a device, not a regular file\n"
              "tesserae: cannot read 'dev/fifo.x': it is a FIFO, not a regular file\n"
              "tesserae: cannot read 'dev/zero.dat': it is a device, not a regular file\n"
              "tesserae: cannot read 'dev/fifo.nut': it is a FIFO, not a regular file\n"
              "tesserae: cannot read 'GAME/wave/../dev/fifo.wav': it is a FIFO, not a regular file\n"
              "tesserae: cannot read 'dev/zero.cha': it is a device, not a regular file\n"
              "tesserae: cannot read 'model/../dev/zero.mdl': it is a device, not a regular file\n"
              "MessageBox: ファイルが読み込めませんでした。: ..\\dev\\zero.mdl\n"
              "tesserae: cannot read 'model/../dev/fifo.x': it is a FIFO, not a regular file\n"
              "tesserae: cannot read 'model/zero.bmp': it is a device, not a regular file\n"
              "MessageBox: ファイルが読み込めませんでした。: zero.bmpが見つかりませんでした。\n"
              "tesserae: cannot read the MIDI file 'GAME/midi/'\n");
    std::string expected;
    std::istringstream script(readAll(folder + "script/init.nut"));
    for (std::string line; std::getline(script, line);)
        if (line.rfind("// expect: ", 0) == 0) expected += line.substr(11) + "\r\n";
    EXPECT_EQ(readAll(folder + "20000101_000000.log"), expected);
    if (!HasFailure()) std::filesystem::remove_all(folder);
}

}  // namespace
