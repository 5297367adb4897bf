// A frame of the main loop allocates nothing once the first has run.
#include <gtest/gtest.h>

#include "../support/allocation_counter.h"
#include "graphics/script_textures.h"
#include "test_display.h"

namespace {

using allocation_counter::allocations;
using allocation_counter::counting;

using namespace graphics;
using namespace graphics_test;

using FrameAllocation = DisplayFixture;

TEST_F(FrameAllocation, SecondFrameAllocatesNothing) {
    folder.write("a.bmp", makeBmp24(4, 4, [](int x, int y) { return uint32_t(x * 50 + y); }));
    auto d3d = createDisplay(32, 64, 48);
    ASSERT_TRUE(d3d->setRasterThreads(3));  // counted on every thread
    d3d->setAlphaMode();
    ScriptTextures textures;
    ASSERT_TRUE(textures.loadTexture(d3d->textures(), 0, "a.bmp"));
    graphics::Lighting light;
    light.fillTexture = d3d->textures().findOrLoadTexture("a.bmp");
    render::LVertex vertices[3];
    vertices[1].x = 1.0f;
    vertices[2].y = -1.0f;
    render::Vec3 normals[3] = {{0, 0, -1}, {0, 0, -1}, {0, 0, -1}};
    MeshView mesh{3, vertices, normals};

    auto frame = [&] {
        ASSERT_TRUE(d3d->beginFrame());
        ASSERT_TRUE(d3d->beginScene());
        textures.drawTextureFirst(0, 5, 5, 10, 10, 30, 0, 0, 4, 4, 1, 1, 1, 1, 0.5f, 0.5f);
        textures.drawTextureLast(0, 20, 5, 10, 10, 0, 0, 0, 4, 4, 1, 1, 1, 1, 0, 0);
        textures.drawPass(*d3d, 0);
        d3d->drawMesh(light.fillTexture, mesh, nullptr, light);
        d3d->drawMesh(-1, mesh, nullptr, light);
        textures.drawPass(*d3d, 1);
        textures.clearQueue();
        d3d->drawText(-1, render::Rect{0, 30, 64, 48}, "FPS 60", 0xFFFFFF);
        d3d->endScene();
        d3d->present(true);
    };
    frame();
    allocations = 0;
    counting = true;
    frame();
    counting = false;
    EXPECT_EQ(allocations, 0);
}

}  // namespace
