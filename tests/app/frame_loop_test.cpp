#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "app/g_app_2.h"
#include "platform/clock.h"
#include "platform/null/headless_window.h"

namespace {

using platform::EventType;

// A game frame on the virtual clock and a headless window whose hooks
// call the test's functions.
class LoopProbe : public app::G_APP_2 {
public:
    LoopProbe() { platform::setClock(&clock); }
    ~LoopProbe() override { platform::setClock(nullptr); }

    void onTick() override {
        ++ticks;
        if (tickHook) tickHook();
    }
    void onDraw3D() override {
        ticksPerFrame.push_back(ticks - ticksAtLastFrame);
        ticksAtLastFrame = ticks;
        accumulatorAtDraw.push_back(accumulator());
        if (drawHook) drawHook();
    }

    // Runs the whole sequence; `frames` 0 runs until the window closes.
    void runFrames(int frames, std::vector<platform::ScriptedInput> scripted = {}) {
        app::RunControl control;
        control.frameLimit = frames;
        control.headless = true;
        control.scripted = std::move(scripted);
        setRunControl(std::move(control));
        runSequence([this] {
            auto made = std::make_unique<platform::HeadlessWindow>();
            headless = made.get();
            return made;
        });
    }

    static platform::ScriptedInput at(int frame, platform::WindowEvent event) {
        platform::ScriptedInput input;
        input.frame = frame;
        input.event = event;
        return input;
    }

    platform::VirtualClock clock;
    platform::HeadlessWindow* headless = nullptr;
    std::function<void()> tickHook, drawHook;
    int ticks = 0;
    int ticksAtLastFrame = 0;
    std::vector<int> ticksPerFrame;
    std::vector<uint32_t> accumulatorAtDraw;
};

TEST(MainLoopRules, FirstPassTicksNothingAndSlowDrawingTicksLater) {
    LoopProbe probe;
    // The second frame's drawing takes 119 ms, the pump after it 1 ms.
    probe.drawHook = [&] {
        if (probe.ticksPerFrame.size() == 2) probe.clock.advance(119);
    };
    probe.runFrames(4);
    ASSERT_EQ(probe.ticksPerFrame.size(), 4u);
    EXPECT_EQ(probe.ticksPerFrame[0], 0);  // 20 ms accumulated: nothing before the first frame
    EXPECT_EQ(probe.ticksPerFrame[1], 1);  // 20 + 30 ms
    EXPECT_EQ(probe.accumulatorAtDraw[1], 0u);
    EXPECT_EQ(probe.ticksPerFrame[2], 2);  // 120 ms of drawing: two ticks
    EXPECT_EQ(probe.accumulatorAtDraw[2], 20u);  // and 20 ms kept
}

TEST(MainLoopRules, MinimisedWindowPausesWithoutABurst) {
    LoopProbe probe;
    // 495 passes of 1 ms each while minimised.
    probe.runFrames(10, {LoopProbe::at(5, {EventType::Minimise}), LoopProbe::at(500, {EventType::Restore})});
    ASSERT_EQ(probe.ticksPerFrame.size(), 10u);
    for (size_t i = 0; i < probe.ticksPerFrame.size(); ++i) EXPECT_LE(probe.ticksPerFrame[i], 1) << i;
    EXPECT_GE(probe.clock.now(), 1000u + 495u);
}

// Without a scripted event left to restore or activate it, a paused
// headless window would wait for ever: the run ends there, and the frames
// drawn before the pause are all that count.
TEST(MainLoopRules, PausedHeadlessWindowWithNothingLeftToResumeItEnds) {
    for (EventType pause : {EventType::Minimise, EventType::Deactivate}) {
        LoopProbe probe;
        testing::internal::CaptureStderr();
        probe.runFrames(10, {LoopProbe::at(5, {pause}), LoopProbe::at(6, {EventType::MouseMove})});
        std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(probe.ticksPerFrame.size(), 4u);
        EXPECT_EQ(probe.drawnFrames(), 4);
        EXPECT_NE(printed.find("no scripted event is left"), std::string::npos) << printed;
    }
}

TEST(MainLoopRules, CloseEndsTheLoopAfterTheCurrentPass) {
    LoopProbe probe;
    probe.runFrames(0, {LoopProbe::at(3, {EventType::Close})});
    EXPECT_EQ(probe.ticksPerFrame.size(), 3u);  // the pass that handled the close still drew
    EXPECT_FALSE(probe.headless->exists());
}

TEST(MainLoopRules, EyeOnTargetKeepsTheLastView) {
    LoopProbe probe;
    std::vector<render::Matrix> views;
    probe.tickHook = [&] {
        if (probe.ticks == 1) {
            probe.camera.eye = {0.0f, 5.0f, -20.0f};
            probe.camera.target = {0.0f, 0.0f, 0.0f};
        } else {
            probe.camera.eye = {1.0f, 1.0f, 1.0f};
            probe.camera.target = {1.0f, 1.0f, 1.0f};
        }
    };
    probe.drawHook = [&] { views.push_back(probe.camera.view()); };
    probe.runFrames(6);
    ASSERT_EQ(views.size(), 6u);
    const render::Matrix& last = views.back();
    EXPECT_NE(last.m[3][2], 0.0f);  // the look-at from (0, 5, -20)
    for (size_t i = 2; i < views.size(); ++i) EXPECT_EQ(memcmp(&views[i], &last, sizeof last), 0) << i;
}

TEST(MainLoopRules, PaintPresentsOnlyInAWindow) {
    for (bool fullScreen : {false, true}) {
        LoopProbe probe;
        probe.fullScreen = fullScreen;
        int presents = -1;
        probe.drawHook = [&] {
            if (presents >= 0) return;
            int before = probe.headless->presentCount();
            probe.handleMessage({EventType::Paint});
            presents = probe.headless->presentCount() - before;
        };
        probe.runFrames(1);
        EXPECT_EQ(presents, fullScreen ? 0 : 1);
    }
}

TEST(MainLoopRules, SamplerRunsAtExactVirtualInstantsAndRepeats) {
    auto stampsOfARun = [] {
        LoopProbe probe;
        std::vector<uint32_t> stamps;
        probe.tickHook = [&] {
            app::InputRing& ring = probe.inputRing();
            stamps.push_back(ring.entry(ring.readIndex()).time);
        };
        probe.runFrames(40);
        return stamps;
    };
    std::vector<uint32_t> first = stampsOfARun();
    ASSERT_GT(first.size(), 20u);
    EXPECT_EQ(first, stampsOfARun());
    uint32_t origin = 0;
    for (uint32_t t : first) {
        if (t == 0) continue;
        if (!origin) origin = t;
        EXPECT_EQ((t - origin) % 100, 0u);
    }
}

TEST(MainLoopRules, MouseMessagesSetTheMouseStateInClientPixels) {
    LoopProbe probe;
    probe.requestedWidth = 320;
    probe.requestedHeight = 240;
    int x = -1, y = -1;
    bool left = false;
    probe.drawHook = [&] {
        x = probe.mouse.x;
        y = probe.mouse.y;
        left = probe.mouse.left;
    };
    probe.runFrames(2, {LoopProbe::at(1, {EventType::MouseMove, 319, 239}), LoopProbe::at(1, {EventType::MouseDown})});
    EXPECT_EQ(x, 319);
    EXPECT_EQ(y, 239);
    EXPECT_TRUE(left);
}

}  // namespace
