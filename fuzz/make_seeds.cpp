// Writes the seed files of the harnesses into OUT/<name>/ from the builders
// the tests use, so every seed is a file the tests already know to be
// valid (or to be refused for one reason): fuzz_make_seeds OUT
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "../tests/model/model_files.h"
#include "../tests/scene/field_files.h"
#include "../tests/sound/sound_test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::filesystem::path outRoot;
int written = 0;

void seed(const std::string& harness, const std::string& name, const Bytes& bytes) {
    const std::filesystem::path folder = outRoot / harness;
    std::filesystem::create_directories(folder);
    field_test::writeFile((folder / name).string(), bytes);
    ++written;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

void imageSeeds() {
    auto rgb = [](int x, int y) { return uint32_t(x * 40) << 16 | uint32_t(y * 60) << 8 | 0x80; };
    auto grey = [](int i) { return uint32_t(i) * 0x010101u; };
    auto index = [](int x, int y) { return uint8_t(x + y * 4); };
    seed("image", "bmp24.bmp", graphics_test::makeBmp24(5, 3, rgb));
    seed("image", "bmp8.bmp", graphics_test::makeBmp8(4, 3, grey, index));
    seed("image", "g2.g2", graphics_test::makeG2(3, 2, rgb));
    seed("image", "gp.gp", graphics_test::makeG8(4, 2, index, grey));
    seed("image", "gz.gz", graphics_test::makeG8(4, 2, index, nullptr));
    Bytes palette;
    for (int i = 0; i < 256; ++i) palette.insert(palette.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
    seed("palette", "pal.pdt", palette);
    seed("palette", "short.pdt", Bytes(palette.begin(), palette.begin() + 100));
}

void soundSeeds() {
    seed("wave", "mono8.wav", soundtest::makeWave(1, 11025, 8, {0x80, 0x90, 0x70, 0x80}));
    seed("wave", "stereo16.wav", soundtest::makeWave(2, 22050, 16, Bytes(16, 0x11)));
    Bytes body = soundtest::chunk("LIST", text("INFOjunk"));
    const Bytes fmt = soundtest::chunk("fmt ", soundtest::fmtBody(1, 8000, 16, 0));
    const Bytes samples = soundtest::chunk("data", Bytes(6, 0x22));
    body.insert(body.end(), fmt.begin(), fmt.end());
    body.insert(body.end(), samples.begin(), samples.end());
    seed("wave", "chunks.wav", soundtest::riff(body));

    seed("midi", "note.mid", soundtest::heldNoteMidi(480, 0, 60, 0.5, 2.0));
    const std::vector<soundtest::MidiEvent> conductor = {
        {0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}}, {0, {0xFF, 0x58, 0x04, 4, 2, 24, 8}},
        {96, {0xF0, 0x03, 0x7E, 0x7F, 0xF7}}, {0, {0xFF, 0x2F, 0x00}}};
    const std::vector<soundtest::MidiEvent> notes = {
        {0, {0xC0, 5}}, {0, {0x90, 60, 100}}, {48, {64, 90}}, {48, {0x80, 60, 0}},
        {0, {0xB0, 7, 100}}, {0, {0xE0, 0, 0x40}}, {96, {0x80, 64, 0}}, {0, {0xFF, 0x2F, 0x00}}};
    seed("midi", "two_tracks.mid", soundtest::makeMidi(1, 96, {conductor, notes}));
    seed("midi", "format0.mid", soundtest::makeMidi(0, 768, {notes}));
}

void settingSeeds() {
    seed("startup", "init_window.dat", {1, 0, 0, 0, 0, 0, 16, 0});
    seed("startup", "init_pad.dat", {1, 0, 0, 0, 1, 1, 32, 1});
    seed("startup", "short.dat", {1, 0, 0});
    seed("startup", "input.dat", {0x5A, 0, 0x58, 1, 0x43, 2, 0x53, 3, 0x71, 4, 0x71, 5, 0x71, 6, 0x71, 7, 0x71, 8, 0x71, 9});
    seed("input_script", "every_event.txt",
         text("# every kind of line\n1 mouse move 320 240\n2 mouse down left\n3 mouse up left\n"
              "3 mouse down right   # same frame\n4 key down LEFT\n5 key up 0x25\n6 key down F12\n"
              "7 pad 0 -1 10000001\n8 minimise\n9 restore\n\n12 key down Z\n40 close\n"));
    seed("datastore", "entries.bin",
         text(std::string("score\0" "120\0" "name\0" "quote \" and \\ back\0" "lines\0" "a\r\nb\0", 55) +
              "\x83\x5c\x83\x8c\x81\x5b"));
}

void modelSeeds() {
    seed("mesh", "quad.x", model_test::bytesOf(model_test::quadMesh().text()));
    model_test::MeshLayout cube = model_test::cubeMesh();
    cube.materials = {model_test::MaterialRecord{1, 0, 0, 1, "tex\\red.bmp"}, model_test::MaterialRecord{}};
    cube.faceMaterials = {0, 0, 1, 1, 0, 1};
    seed("mesh", "cube_lf.x", model_test::bytesOf(cube.text("\n")));
    seed("mesh", "box.x", field_test::boxMesh(1, 2, 3).bytes());

    seed("model", "box.mdl", field_test::onePartModel("box.x"));
    model_test::PartRecord root, arm, hand;
    root.name = "root";
    root.children = {1};
    arm.kind = 1;
    arm.name = "arm";
    arm.meshFile = "box.x";
    arm.parent = 0;
    arm.children = {2};
    hand.kind = 2;
    hand.name = "hand";
    hand.parent = 1;
    seed("model", "tree.mdl", model_test::modelFile({root, arm, hand}));

    model_test::KeyRecord first, last;
    first.frame = 0;
    last.frame = 20;
    last.rx = 45;
    last.dx = -1;
    last.ty = 2.0f;
    last.meshSource = 0;
    seed("anime", "box.mot", model_test::animeFile("box.mdl", {{first, last}}, 20));
    seed("anime", "other.mot", model_test::animeFile("other.mdl", {{first}}, 5));

    seed("description", "box.cha",
         text("MODEL:[box.mdl]\r\nSCALE:[2.0]\r\nBOX:[box_box.x,0.0,1.0,0.0]\r\nANIME:[0,box.mot]\r\n"));
    seed("description", "mesh.cha", text("MODEL:[box.x]\r\nANIME:[29,box.mot]\r\nUNKNOWN:[1,2,3,4,5,6]\r\n"));
}

void fieldSeeds() {
    field_test::MeshText ground;
    ground.materials = {field_test::Material{}, field_test::Material{0.5f, 0.5f, 0.5f, 1.0f, "grass.bmp"}};
    ground.square(0, 0, 10, 10);
    ground.triangle({10, 0, 0}, {10, 0, 10}, {14, 4, 10}, 1);
    ground.triangle({10, 0, 0}, {14, 4, 10}, {14, 4, 0}, 1);
    const float s = 0.70710677f;
    ground.faceNormals = {{0, 1, 0}, {0, 1, 0}, {-s, s, 0}, {-s, s, 0}};
    seed("field", "slope.x", ground.bytes());
    field_test::MeshText steps;
    for (int i = 0; i < 6; ++i) steps.square(float(i), 0, float(i + 1), 3, float(i) * 0.5f);
    seed("field", "steps.x", steps.bytes());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUT_FOLDER\n", argv[0]);
        return 2;
    }
    outRoot = argv[1];
    imageSeeds();
    soundSeeds();
    settingSeeds();
    modelSeeds();
    fieldSeeds();
    printf("%d seeds written under %s\n", written, argv[1]);
    return 0;
}
