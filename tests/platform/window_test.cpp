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
