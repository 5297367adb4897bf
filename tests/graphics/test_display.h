// A display on a headless window, in a scratch game folder.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "graphics/g_d3d.h"
#include "platform/message_box.h"
#include "platform/null/headless_window.h"
#include "test_images.h"

namespace graphics_test {

class DisplayFixture : public ::testing::Test {
protected:
    void SetUp() override {
        platform::clearShownMessageBoxes();
        platform::WindowDesc desc;
        ASSERT_TRUE(window.create(desc));
    }

    // An initialised display of the given depth and size, not yet created.
    std::unique_ptr<graphics::G_D3D> makeDisplay(int depth = 32, int width = 64, int height = 48) {
        auto d3d = std::make_unique<graphics::G_D3D>();
        d3d->init(depth);
        d3d->setWindow(&window);
        d3d->setSize(width, height);
        return d3d;
    }

    std::unique_ptr<graphics::G_D3D> createDisplay(int depth = 32, int width = 64, int height = 48) {
        auto d3d = makeDisplay(depth, width, height);
        EXPECT_TRUE(d3d->createDisplay());
        d3d->textures().setTextureFolder("");
        return d3d;
    }

    // Captions and texts of the boxes shown since SetUp, "caption|text".
    static std::vector<std::string> boxes() {
        std::vector<std::string> out;
        for (const auto& box : platform::shownMessageBoxes()) out.push_back(box.caption + "|" + box.text);
        return out;
    }

    ScratchFolder folder;  // first: the display reads "pal.pdt" from the current folder
    platform::HeadlessWindow window;
};

}  // namespace graphics_test
