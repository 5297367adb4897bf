// bench/collision/collision_bench.cpp: one logic tick of ground and
// obstacle queries at the game's limits.
//
// A field of 20,000 triangles over 200 x 200 units of rolling ground; 600
// registered obstacles (boxes of one shared model, turned at random); 100
// of them are characters that move each tick and call checkObst and
// checkField, then update.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/model_data.h"
#include "platform/files.h"
#include "scene/collision.h"
#include "scene/field.h"
#include "scene/scene_store.h"

namespace {

constexpr int kCells = 100;  // 100 x 100 squares of two triangles
constexpr float kSize = 200.0f;
constexpr int kCharacters = 100;

float ground(float x, float z) { return 3.0f * std::sin(x * 0.05f) * std::cos(z * 0.07f); }

uint32_t hash(uint32_t i) {
    i = (i ^ 61u) ^ (i >> 16);
    i *= 9u;
    i ^= i >> 4;
    i *= 0x27d4eb2du;
    return i ^ (i >> 15);
}
float unit(uint32_t i) { return float(hash(i) & 0xFFFF) / 65535.0f; }

void write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string fieldText() {
    const int n = kCells + 1;
    const float step = kSize / kCells;
    std::string s = "xof 0303txt 0032\nMesh {\n" + std::to_string(n * n) + ";\n";
    char buf[96];
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            const float x = i * step, z = j * step;
            std::snprintf(buf, sizeof buf, "%.6f;%.6f;%.6f;%s\n", x, ground(x, z), z, j * n + i + 1 < n * n ? "," : ";");
            s += buf;
        }
    }
    s += std::to_string(kCells * kCells * 2) + ";\n";
    for (int j = 0; j < kCells; ++j) {
        for (int i = 0; i < kCells; ++i) {
            const int a = j * n + i, b = a + n, c = b + 1, d = a + 1;
            const bool last = j == kCells - 1 && i == kCells - 1;
            std::snprintf(buf, sizeof buf, "3;%d,%d,%d;,\n3;%d,%d,%d;%s\n", a, b, c, a, c, d, last ? ";" : ",");
            s += buf;
        }
    }
    s += "MeshMaterialList {\n1;\n1;\n0;\nMaterial {\n1.0;1.0;1.0;1.0;;\n5.0;\n0.0;0.0;0.0;;\n0.0;0.0;0.0;;\n}\n}\n}\n";
    return s;
}

std::string boxText() {
    return "xof 0303txt 0032\nMesh {\n8;\n"
           "-0.5;-0.5;-0.5;,0.5;-0.5;-0.5;,-0.5;0.5;-0.5;,0.5;0.5;-0.5;,"
           "-0.5;-0.5;0.5;,0.5;-0.5;0.5;,-0.5;0.5;0.5;,0.5;0.5;0.5;;\n"
           "6;\n4;2,3,1,0;,4;7,6,4,5;,4;6,2,0,4;,4;7,5,1,3;,4;1,5,4,0;,4;7,3,2,6;;\n"
           "MeshMaterialList {\n1;\n1;\n0;\nMaterial {\n1.0;1.0;1.0;1.0;;\n5.0;\n0.0;0.0;0.0;;\n0.0;0.0;0.0;;\n}\n}\n}\n";
}

// The model file of one part drawing "box.x".
std::string boxModel() {
    std::string b;
    auto u32 = [&](uint32_t v) {
        for (int k = 0; k < 4; ++k) b += char(v >> (8 * k) & 0xFF);
    };
    u32(0);
    u32(0);
    b += char(1);
    std::string name(model::kNameLength, '\0'), mesh(model::kNameLength, '\0');
    name.replace(0, 4, "body");
    mesh.replace(0, 5, "box.x");
    b += name + mesh;
    u32(uint32_t(-1));
    for (int i = 0; i < model::kPartChildren; ++i) u32(uint32_t(-1));
    const float vectors[24] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (float f : vectors) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        u32(bits);
    }
    return b;
}

struct World {
    std::filesystem::path folder;
    scene::Field field;
    scene::SceneStore store;
    scene::ObjectRecord characters[kCharacters];
    float heading[kCharacters] = {};

    World() {
        folder = std::filesystem::temp_directory_path() / "tesserae-collision-bench";
        std::filesystem::create_directories(folder);
        platform::setCurrentDir(folder.string() + "/");
        write("field.x", fieldText());
        write("box.x", boxText());
        write("box.mdl", boxModel());
        write("box.cha", "MODEL:[box.mdl]\r\nBOX:[box.x]\r\n");
        model::setModelFolder("");
        if (!field.load("field.x")) std::fprintf(stderr, "the field does not load\n");
        for (int i = 0; i < scene::kObjectSlots; ++i) {
            if (!store.attachModel(i, "box.cha")) std::fprintf(stderr, "slot %d does not load\n", i);
            scene::ObjectRecord o;
            o.index = i;
            o.x = 5 + unit(uint32_t(i) * 3) * (kSize - 10);
            o.z = 5 + unit(uint32_t(i) * 3 + 1) * (kSize - 10);
            o.y = ground(o.x, o.z) + 0.5f;
            o.ry = unit(uint32_t(i) * 3 + 2) * 360.0f;
            store.registerObject(o);
            if (i < kCharacters) {
                characters[i] = o;
                heading[i] = o.ry * 0.017453292f;
            }
        }
    }
    ~World() {
        store.reset();
        std::filesystem::remove_all(folder);
    }

    // One tick: every character steps 0.4 units ahead, is stopped by the
    // obstacles and set on the ground, and registers where it ended.
    int tick() {
        int codes = 0;
        for (int i = 0; i < kCharacters; ++i) {
            scene::ObjectRecord& c = characters[i];
            c.x += 0.4f * std::cos(heading[i]);
            c.z += 0.4f * std::sin(heading[i]);
            codes += scene::checkObst(store, c, -1);
            render::Vec3 p{c.x, c.y, c.z};
            const int ground = field.checkGround(p);
            if (ground > 0) c.x = p.x, c.y = p.y, c.z = p.z;
            codes += ground;
            if (c.x < 2 || c.x > kSize - 2 || c.z < 2 || c.z > kSize - 2) heading[i] += 3.14159265f;
            store.registerObject(c);
        }
        return codes;
    }
};

void BM_LogicTick(benchmark::State& state) {
    static World world;
    for (auto _ : state) benchmark::DoNotOptimize(world.tick());
}
BENCHMARK(BM_LogicTick)->Unit(benchmark::kMillisecond);

}  // namespace
