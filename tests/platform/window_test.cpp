#include <gtest/gtest.h>

#include <vector>

#include "platform/keyboard.h"
#include "platform/null/headless_window.h"
#include "platform/shared_library.h"

namespace {

using platform::EventType;
using platform::WindowEvent;

struct Recorder : platform::EventHandler {
    bool handleWindowEvent(const WindowEvent& event) override {
        events.push_back(event);
        return handleClose && event.type == EventType::Close;
    }
    std::vector<WindowEvent> events;
    bool handleClose = false;
};

TEST(HeadlessWindowEvents, CloseNotHandledDestroysTheWindow) {
    platform::HeadlessWindow window;
    Recorder recorder;
    window.setEventHandler(&recorder);
    ASSERT_TRUE(window.create({}));
    window.post({EventType::Close});
    EXPECT_TRUE(window.pumpEvent());
    EXPECT_FALSE(window.exists());
    ASSERT_EQ(recorder.events.size(), 2u);
    EXPECT_EQ(recorder.events[0].type, EventType::Close);
    EXPECT_EQ(recorder.events[1].type, EventType::Destroy);
    EXPECT_FALSE(window.pumpEvent());
}

TEST(HeadlessWindowEvents, HandledCloseKeepsTheWindow) {
    platform::HeadlessWindow window;
    Recorder recorder;
    recorder.handleClose = true;
    window.setEventHandler(&recorder);
    ASSERT_TRUE(window.create({}));
    window.post({EventType::Close});
    window.pumpEvent();
    EXPECT_TRUE(window.exists());
}

TEST(HeadlessWindowEvents, StateEventsAndMousePositions) {
    platform::HeadlessWindow window;
    Recorder recorder;
    window.setEventHandler(&recorder);
    ASSERT_TRUE(window.create({}));
    window.post({EventType::Minimise});
    EXPECT_TRUE(window.isMinimised());
    window.post({EventType::Restore});
    EXPECT_FALSE(window.isMinimised());
    WindowEvent move{EventType::MouseMove, 319, 239};
    window.post(move);
    window.post({EventType::MouseDown});
    while (window.pumpEvent()) {
    }
    ASSERT_EQ(recorder.events.size(), 4u);
    EXPECT_EQ(recorder.events[3].type, EventType::MouseDown);
    EXPECT_EQ(recorder.events[3].x, 319);
    EXPECT_EQ(recorder.events[3].y, 239);
}

TEST(HeadlessWindowEvents, KeyEventsReachTheKeyTable) {
    platform::HeadlessWindow window;
    ASSERT_TRUE(window.create({}));
    platform::keyboard().query(platform::vk::kF1);
    WindowEvent down{EventType::KeyDown};
    down.key = platform::vk::kF1;
    WindowEvent up{EventType::KeyUp};
    up.key = platform::vk::kF1;
    window.post(down);
    window.post(up);
    while (window.pumpEvent()) {
    }
    EXPECT_NE(platform::keyboard().query(platform::vk::kF1), 0);
    EXPECT_EQ(platform::keyboard().query(platform::vk::kF1), 0);
}

WindowEvent keyEvent(EventType type, int key, bool repeat = false) {
    WindowEvent event{type};
    event.key = key;
    event.repeat = repeat;
    return event;
}

// Alt+Enter and Alt+S belong to the host: the handler gets one Command per
// press and the key table never sees the key go down.
TEST(WindowKeys, AltCombinationsBecomeCommandsAndSkipTheKeyTable) {
    using platform::vk::kMenu;
    using platform::vk::kReturn;
    platform::HeadlessWindow window;
    Recorder recorder;
    window.setEventHandler(&recorder);
    ASSERT_TRUE(window.create({}));
    platform::KeyTable& keys = platform::keyboard();
    keys.query(kReturn);
    keys.query('S');
    for (WindowEvent e : {keyEvent(EventType::KeyDown, kMenu), keyEvent(EventType::KeyDown, kReturn),
                          keyEvent(EventType::KeyDown, kReturn, true), keyEvent(EventType::KeyUp, kReturn),
                          keyEvent(EventType::KeyDown, 'S'), keyEvent(EventType::KeyUp, 'S'),
                          keyEvent(EventType::KeyUp, kMenu)})
        window.post(e);
    while (window.pumpEvent()) {
    }
    std::vector<platform::HostCommand> commands;
    for (const WindowEvent& e : recorder.events) {
        if (e.type == EventType::Command) commands.push_back(e.command);
        EXPECT_NE(e.type == EventType::KeyDown ? e.key : 0, kReturn);
    }
    EXPECT_EQ(commands, (std::vector{platform::HostCommand::ToggleFullScreen, platform::HostCommand::Screenshot}));
    EXPECT_EQ(keys.query(kReturn), 0);
    EXPECT_EQ(keys.query('S'), 0);
    EXPECT_NE(keys.query(kMenu), 0);  // Alt itself is a key like any other

    // Without Alt the same keys are the game's.
    window.post(keyEvent(EventType::KeyDown, 'S'));
    window.post(keyEvent(EventType::KeyUp, 'S'));
    while (window.pumpEvent()) {
    }
    EXPECT_NE(keys.query('S'), 0);
    EXPECT_EQ(recorder.events.back().type, EventType::KeyUp);
}

// The window system's own Alt flag counts as well as the key table's, and
// a key held before Alt is released normally.
TEST(WindowKeys, ModifierFlagAndKeysHeldBeforeAlt) {
    platform::HeadlessWindow window;
    Recorder recorder;
    window.setEventHandler(&recorder);
    ASSERT_TRUE(window.create({}));
    platform::KeyTable& keys = platform::keyboard();
    WindowEvent altReturn = keyEvent(EventType::KeyDown, platform::vk::kReturn);
    altReturn.alt = true;
    window.post(altReturn);
    window.pumpEvent();
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].command, platform::HostCommand::ToggleFullScreen);
    EXPECT_FALSE(keys.isDown(platform::vk::kReturn));

    window.post(keyEvent(EventType::KeyDown, 'S'));
    window.post(keyEvent(EventType::KeyDown, platform::vk::kMenu));
    window.post(keyEvent(EventType::KeyUp, 'S'));
    window.post(keyEvent(EventType::KeyUp, platform::vk::kMenu));
    while (window.pumpEvent()) {
    }
    EXPECT_FALSE(keys.isDown('S'));
    // Other keys with Alt are the game's.
    EXPECT_EQ(platform::hostCommandForKey('A'), platform::HostCommand::None);
}

TEST(WindowZoom, LargestZoomThatFitsTheDesktop) {
    EXPECT_EQ(platform::fitZoom(8, 640, 480, 1920, 1080), 2);
    EXPECT_EQ(platform::fitZoom(3, 320, 240, 1920, 1080), 3);
    EXPECT_EQ(platform::fitZoom(2, 640, 480, 1024, 768), 1);
    EXPECT_EQ(platform::fitZoom(4, 640, 480, 320, 200), 1);  // even 1 is too large: it stays 1
    EXPECT_EQ(platform::fitZoom(5, 640, 480, 0, 0), 5);      // desktop unknown
    EXPECT_EQ(platform::fitZoom(0, 640, 480, 1920, 1080), 1);
}

TEST(FramePresentation, SixteenBitFramesWidenToFullRange) {
    platform::HeadlessWindow window;
    ASSERT_TRUE(window.create({}));
    const uint16_t pixels[4] = {0xFFFF, 0xF800, 0x07E0, 0x001F};
    window.present({pixels, 2, 2, 4, platform::PixelFormat::Rgb565});
    ASSERT_EQ(window.lastFrameWidth(), 2);
    EXPECT_EQ(window.lastFrame(),
              (std::vector<uint32_t>{0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF}));
    const uint32_t wide[3] = {0x00123456, 0, 0x00ABCDEF};  // pitch skips one pixel
    window.present({wide, 1, 2, 8, platform::PixelFormat::Xrgb8888});
    EXPECT_EQ(window.lastFrame(), (std::vector<uint32_t>{0xFF123456, 0xFFABCDEF}));
}

TEST(PluginLibrary, FindsExportedFunctionsAndReportsMissingFiles) {
    platform::SharedLibrary library;
    EXPECT_FALSE(library.open("no_such_plugin.so"));
    EXPECT_FALSE(library.error().empty());
    EXPECT_EQ(library.symbol("GetInput"), nullptr);

    ASSERT_TRUE(library.open(TESSERAE_TEST_PLUGIN)) << library.error();
    using GetInput = unsigned char (*)(void*);
    auto getInput = reinterpret_cast<GetInput>(library.symbol("GetInput"));
    ASSERT_NE(getInput, nullptr);
    int32_t reading[4] = {};
    EXPECT_EQ(getInput(reading), 1);
    EXPECT_EQ(reading[1], -1);
    EXPECT_EQ(library.symbol("NoSuchFunction"), nullptr);
}

}  // namespace
