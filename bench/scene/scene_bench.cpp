// The worst scene the game's limits allow, driven by a script through the
// whole host on the virtual clock: 600 animated objects of 200 triangles on
// 50 shared models with part trees, 1,800 boards in the three lists and
// 100 2D images, 640 x 480 at 32 bits. Reports the median CPU time of one
// frame's draw step and of one logic tick.
//
//     scene_bench [FRAMES]
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../../tests/graphics/test_images.h"
#include "../../tests/model/model_files.h"
#include "app/game_main.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/null/headless_window.h"

namespace {

constexpr int kModels = 50;
constexpr int kPartsPerModel = 4;
constexpr int kSlices = 5;  // a part: 5 x 5 quads, 50 triangles

double cpuMilliseconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void writeBytes(const std::filesystem::path& path, const model_test::Bytes& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));
}

// A ball of kSlices x kSlices quads, closed, wound to face outwards.
model_test::MeshLayout ball(float radius, float r, float g, float b) {
    model_test::MeshLayout m;
    for (int i = 0; i <= kSlices; ++i) {
        float v = float(M_PI) * float(i) / kSlices;
        for (int j = 0; j < kSlices; ++j) {
            float u = 2.0f * float(M_PI) * float(j) / kSlices;
            m.positions.push_back({radius * std::sin(v) * std::cos(u), radius * std::cos(v),
                                   radius * std::sin(v) * std::sin(u)});
        }
    }
    for (int i = 0; i < kSlices; ++i) {
        for (int j = 0; j < kSlices; ++j) {
            int a = i * kSlices + j, bb = i * kSlices + (j + 1) % kSlices;
            m.faces.push_back({a, bb, bb + kSlices, a + kSlices});
        }
    }
    m.materials = {model_test::MaterialRecord{r, g, b, 1.0f, "skin.bmp"}};
    m.normals = m.positions;
    m.normalFaces = m.faces;
    for (size_t i = 0; i < m.positions.size(); ++i) m.texCoords.push_back({float(i % 5) / 4, float(i / 5) / 5});
    return m;
}

void writeGame(const std::filesystem::path& root) {
    using model_test::KeyRecord;
    using model_test::PartRecord;
    writeBytes(root / "model" / "skin.bmp", graphics_test::makeBmp24(16, 16, [](int x, int y) {
        return (x / 4 + y / 4) % 2 ? 0xC0C0C0u : 0x606060u;
    }));
    writeBytes(root / "image" / "spark.bmp", graphics_test::makeBmp24(16, 16, [](int x, int y) {
        return uint32_t(x * 16) << 16 | uint32_t(y * 16) << 8 | 0x40u;
    }));
    for (int m = 0; m < kModels; ++m) {
        std::string name = "m" + std::to_string(m);
        model_test::MeshLayout mesh = ball(0.5f, float(m % 5) / 4, float(m % 7) / 6, 0.8f);
        std::ofstream(root / "model" / (name + ".x"), std::ios::binary) << mesh.text();
        std::vector<PartRecord> parts(kPartsPerModel);
        for (int p = 0; p < kPartsPerModel; ++p) {
            parts[p].kind = 1;
            parts[p].name = "part" + std::to_string(p);
            parts[p].meshFile = name + ".x";
            parts[p].parent = p == 0 ? -1 : 0;
            parts[p].vectors[6] = {p == 0 ? 0.0f : float(p) - 2.0f, p == 0 ? 0.0f : -0.8f, 0.0f};
        }
        parts[0].children = {1, 2, 3};
        writeBytes(root / "model" / (name + ".mdl"), model_test::modelFile(parts));
        std::vector<std::vector<KeyRecord>> tracks(kPartsPerModel);
        for (int p = 0; p < kPartsPerModel; ++p) {
            KeyRecord a{0}, b{10}, c{20};
            a.meshSource = b.meshSource = c.meshSource = int16_t(p);
            b.rx = 40;
            b.ty = 0.2f;
            tracks[p] = {a, b, c};
        }
        writeBytes(root / "model" / (name + ".ani"), model_test::animeFile(name + ".mdl", tracks, 20));
        std::ofstream(root / "model" / (name + ".cha"), std::ios::binary)
            << "MODEL:[" << name << ".mdl]\r\nANIME:[0," << name << ".ani]\r\n";
    }
    std::filesystem::create_directories(root / "system" / "board");
    model_test::MeshLayout quad = model_test::quadMesh();
    quad.positions = {{0.5f, 0.5f, 0}, {-0.5f, 0.5f, 0}, {-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}};
    std::ofstream(root / "system" / "board" / "board.x", std::ios::binary) << quad.text();
    PartRecord board;
    board.kind = 1;
    board.name = "board";
    board.meshFile = "board.x";
    writeBytes(root / "system" / "board" / "board.mdl", model_test::modelFile({board}));
    std::ofstream(root / "system" / "board" / "board.cha", std::ios::binary) << "MODEL:[board.mdl]\r\n";
    std::filesystem::create_directories(root / "script");
    std::ofstream(root / "script" / "init.nut", std::ios::binary) << R"(
function onLoad()
{
	setCameraIti(0.0, 70.0, -120.0);
	setCameraSiten(0.0, 0.0, 18.0);
	loadTexture(0, "image\\spark.bmp");
	::objects <- [];
	for (local i = 0; i < 600; i += 1) {
		local o = PorigonManager();
		o.index = i;
		if (!o.load("model\\m" + (i % 50) + ".cha")) throw "model " + i;
		o.x = (i % 30) * 3.0 - 45.0;
		o.z = (i / 30) * 3.0 - 10.0;
		o.isAlpha = i % 10 == 0;
		objects.append(o);
	}
	::boards <- [];
	for (local i = 0; i < 1800; i += 1) {
		local b = BoardManager();
		b.textureIndex = 0;
		b.right = 16.0; b.bottom = 16.0;
		b.scaleX = 1.0; b.scaleY = 1.0; b.scaleZ = 1.0;
		b.x = (i % 60) * 1.5 - 45.0; b.y = 3.0 + (i / 600); b.z = (i / 60 % 10) * 6.0 - 10.0;
		b.effectType = i / 600;
		b.lookAtCamera();
		boards.append(b);
	}
	::tick <- 0;
}

function onProc()
{
	tick += 1;
	foreach (i, o in objects) {
		o.animeFrame = (tick + i) % 20;
		o.ry = (tick * 3 + i) % 360;
		o.update();
	}
}

function onDraw()
{
	foreach (o in objects) o.draw();
	foreach (b in boards) b.draw();
	for (local i = 0; i < 100; i += 1)
		drawTextureLast(0, (i % 10) * 64, (i / 10) * 48, 32, 32, i * 7, 0, 0, 16, 16, 1.0, 1.0, 1.0, 0.5, 0.5, 0.5);
}

function onUnload()
{
}
)";
}

class TimedGame : public app::GAME_MAIN {
public:
    void onTick() override {
        double start = cpuMilliseconds();
        app::GAME_MAIN::onTick();
        if (++ticks > kWarmTicks) tickTimes.push_back(cpuMilliseconds() - start);
    }
    void drawScene() override {
        render::Device* device = display() ? display()->device() : nullptr;
        if (device) device->resetStats();
        double start = cpuMilliseconds();
        app::GAME_MAIN::drawScene();
        if (++frames > kWarmFrames) drawTimes.push_back(cpuMilliseconds() - start);
        if (device) stats = device->stats();
    }

    static constexpr int kWarmTicks = 3;
    static constexpr int kWarmFrames = 3;
    int ticks = 0, frames = 0;
    std::vector<double> tickTimes, drawTimes;
    render::DrawStats stats;
};

}  // namespace

int main(int argc, char** argv) {
    int frames = argc > 1 ? std::atoi(argv[1]) : 60;
    if (frames < 8) frames = 8;
    std::filesystem::path root = std::filesystem::temp_directory_path() / ("tesserae-scene-bench-" + std::to_string(getpid()));
    std::filesystem::remove_all(root);
    writeGame(root);
    std::string previous = platform::currentDir();
    platform::setCurrentDir(root.string() + "/");

    platform::VirtualClock clock;
    platform::setClock(&clock);
    TimedGame game;
    game.colourDepth = 32;
    app::RunControl control;
    control.frameLimit = frames;
    control.headless = true;
    game.setRunControl(std::move(control));
    game.runSequence([] { return std::make_unique<platform::HeadlessWindow>(); });
    platform::setClock(nullptr);
    platform::setCurrentDir(previous);
    std::filesystem::remove_all(root);

    if (game.drawTimes.empty() || game.tickTimes.empty()) {
        std::fprintf(stderr, "scene_bench: the scene did not run (see the messages above)\n");
        return 1;
    }
    std::printf("frames %zu, ticks %zu\n", game.drawTimes.size(), game.tickTimes.size());
    const render::DrawStats& s = game.stats;
    std::printf("per frame: %d triangles in, %d culled, %d rejected, %d rasterised\n", s.trianglesIn, s.culled,
                s.rejected, s.rasterised);
    std::printf("draw step median %.2f ms (CPU)\n", median(game.drawTimes));
    std::printf("logic tick median %.2f ms (CPU)\n", median(game.tickTimes));
    return 0;
}
