// A running game's tick and frame allocate nothing once it has warmed up:
// the whole host (script calls, script functions, sound, 2D images, text,
// the frame-rate line, models and boards, presentation) runs on storage made
// at start and load.
#include <gtest/gtest.h>

#include <string>

#include "../graphics/test_images.h"
#include "../support/allocation_counter.h"
#include "game_models.h"
#include "app/game_main.h"
#include "platform/clock.h"
#include "platform/null/headless_window.h"

namespace {

using allocation_counter::allocations;
using allocation_counter::counting;

constexpr int kWarmFrames = 60;
constexpr int kCountedFrames = 140;

// 8-bit mono PCM at 11025 Hz.
std::string makeWave(int samples) {
    std::string data;
    for (int i = 0; i < samples; ++i) data += char(128 + ((i / 10) % 2 ? 40 : -40));
    auto u32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    auto u16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
    return "RIFF" + u32(uint32_t(36 + data.size())) + "WAVE" + "fmt " + u32(16) + u16(1) + u16(1) + u32(11025) +
           u32(11025) + u16(1) + u16(8) + "data" + u32(uint32_t(data.size())) + data;
}

// The game on a headless window and the virtual clock; counting starts in
// the draw step of frame kWarmFrames and covers every later tick and frame.
class CountingGame : public app::GAME_MAIN {
public:
    void onDraw3D() override {
        if (++frames == kWarmFrames) counting = true;
        app::GAME_MAIN::onDraw3D();
    }
    void onEnd() override {
        counting = false;
        app::GAME_MAIN::onEnd();
    }
    int frames = 0;
};

TEST(HostAllocation, RunningTicksAndFramesAllocateNothing) {
    graphics_test::ScratchFolder folder;  // the current folder: the game's
    std::string command =
        "cp -R '" + std::string(TESSERAE_TEST_GAMES) + "/steady_frames/.' '" + folder.root().string() + "'";
    ASSERT_EQ(system(command.c_str()), 0);
    folder.write("image\\tile.bmp", graphics_test::makeBmp24(8, 8, [](int x, int y) { return uint32_t(x * 30 + y); }));
    app_test::writeSceneAssets(folder.root().string() + "/");
    std::string wave = makeWave(2000);
    folder.write("wave\\beep.wav", graphics_test::Bytes(wave.begin(), wave.end()));

    platform::VirtualClock clock;
    platform::setClock(&clock);
    {
        CountingGame game;
        game.renderThreads = 3;  // the device's helper threads draw the frames too
        app::RunControl control;
        control.frameLimit = kWarmFrames + kCountedFrames;
        control.headless = true;
        platform::ScriptedInput move;
        move.frame = kWarmFrames + 10;
        move.event.type = platform::EventType::MouseMove;
        move.event.x = 100;
        move.event.y = 50;
        control.scripted.push_back(move);
        game.setRunControl(std::move(control));
        allocations = 0;
        game.runSequence([] { return std::make_unique<platform::HeadlessWindow>(); });
        EXPECT_EQ(game.frames, kWarmFrames + kCountedFrames);
        EXPECT_EQ(allocations.load(), 0);
    }
    platform::setClock(nullptr);
}

}  // namespace
