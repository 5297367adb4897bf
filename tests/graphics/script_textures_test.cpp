#include <gtest/gtest.h>

#include "graphics/script_textures.h"
#include "test_display.h"

using namespace graphics;
using namespace graphics_test;

namespace {

uint32_t solid(int, int) { return 0x2040C0u; }

using ScriptTextureTable = DisplayFixture;

TEST_F(ScriptTextureTable, EntriesShareStoreSlotsAndReleaseThem) {
    folder.write("img\\a.bmp", makeBmp24(2, 2, solid));
    folder.write("img\\b.bmp", makeBmp24(2, 2, solid));
    auto d3d = createDisplay();
    d3d->textures().setTextureFolder("Tex\\");
    ScriptTextures textures;
    ASSERT_TRUE(textures.loadTexture(d3d->textures(), 0, "img\\a.bmp"));
    EXPECT_STREQ(d3d->textures().textureFolderName(), "");  // names are relative to the game folder
    ASSERT_TRUE(textures.loadTexture(d3d->textures(), 5, "img\\a.bmp"));
    int shared = textures.storeSlot(0);
    EXPECT_EQ(textures.storeSlot(5), shared);
    EXPECT_EQ(d3d->textures().textureSlot(shared).refCount, 2);

    textures.unloadTexture(d3d->textures(), 0);
    EXPECT_EQ(textures.storeSlot(0), -1);
    EXPECT_NE(d3d->textures().textureSlot(shared).surface, nullptr);  // entry 5 still draws it

    // Loading over an occupied entry releases its first texture.
    ASSERT_TRUE(textures.loadTexture(d3d->textures(), 5, "img\\b.bmp"));
    // The freed slot is the lowest free one, so b lands in it.
    EXPECT_EQ(textures.storeSlot(5), shared);
    EXPECT_STREQ(d3d->textures().textureSlot(shared).fileName, "img\\b.bmp");
    EXPECT_EQ(d3d->textures().textureSlot(shared).refCount, 1);

    EXPECT_FALSE(textures.loadTexture(d3d->textures(), 7, "img\\none.bmp"));
    EXPECT_EQ(textures.storeSlot(7), -1);
    EXPECT_FALSE(textures.loadTexture(d3d->textures(), 100, "img\\a.bmp"));
    EXPECT_FALSE(textures.loadTexture(d3d->textures(), -1, "img\\a.bmp"));
    textures.unloadTexture(d3d->textures(), -3);
    textures.unloadTexture(d3d->textures(), 100);
    EXPECT_EQ(textures.storeSlot(-1), -1);

    textures.drawTextureFirst(5, 0, 0, 2, 2, 0, 0, 0, 2, 2, 1, 1, 1, 1, 0, 0);
    textures.releaseAllScriptTextures(d3d->textures());
    EXPECT_EQ(textures.storeSlot(5), -1);
    EXPECT_EQ(textures.queuedCount(), 0);
    EXPECT_EQ(textures.queued(0).tableIndex, -1);
    for (int i = 0; i < kTextureSlots; ++i) EXPECT_EQ(d3d->textures().textureSlot(i).state, 0);
}

TEST(ScriptTextureQueue, ColoursArePackedAndAFullQueueIgnoresCalls) {
    ScriptTextures textures;
    textures.drawTextureLast(3, 10, 20, 30, 40, 45, 1, 2, 3, 4, 1.0f, 0.5f, 0.25f, 0.75f, 0.5f, 0.25f);
    const QueuedQuad& q = textures.queued(0);
    EXPECT_EQ(q.color, 0xBFFF7F3Fu);
    EXPECT_EQ(q.last, 1);
    EXPECT_EQ(q.angle, 45);
    EXPECT_EQ(q.bottom, 4);
    EXPECT_EQ(q.pivotY, 0.25f);
    // Out-of-range components are not clamped: they spill into the
    // neighbouring bytes, as scripts have always seen.
    textures.drawTextureFirst(3, 0, 0, 1, 1, 0, 0, 0, 1, 1, 2.0f, -1.0f, 0.0f, 1.5f, 0, 0);
    EXPECT_EQ(textures.queued(1).color, 0xFFFF0100u);
    EXPECT_EQ(packQuadColour(0.0f, 0.5f, 1.0f, 1.0f), 0xFF007FFFu);
    EXPECT_EQ(textures.queued(1).last, 0);
    for (int i = 0; i < 150; ++i) textures.drawTextureFirst(i, 0, 0, 1, 1, 0, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0);
    EXPECT_EQ(textures.queuedCount(), kQueuedQuads);
    EXPECT_EQ(textures.queued(kQueuedQuads - 1).tableIndex, 97);
    textures.clearQueue();
    EXPECT_EQ(textures.queuedCount(), 0);
}

using TwoDimensionalPasses = DisplayFixture;

TEST_F(TwoDimensionalPasses, QuadsLandWhereThePivotAndAngleSay) {
    folder.write("w.bmp", makeBmp24(4, 4, [](int, int) { return 0xFFFFFFu; }));
    auto d3d = createDisplay(32, 40, 40);
    d3d->setAlphaMode();
    ScriptTextures textures;
    ASSERT_TRUE(textures.loadTexture(d3d->textures(), 0, "w.bmp"));
    render::Surface& back = *d3d->backBufferSurface();

    // Pivot (0, 0), angle 0: the top-left corner sits at (x, y).
    ASSERT_TRUE(d3d->beginFrame());
    ASSERT_TRUE(d3d->beginScene());
    textures.drawTextureFirst(0, 10, 12, 8, 4, 0, 0, 0, 4, 4, 1, 0, 0, 1, 0, 0);
    textures.drawPass(*d3d, 0);
    d3d->endScene();
    EXPECT_EQ(back.pixelArgb(10, 12), 0xFFFF0000u);
    EXPECT_EQ(back.pixelArgb(17, 15), 0xFFFF0000u);
    EXPECT_EQ(back.pixelArgb(18, 12), 0xFF000000u);
    EXPECT_EQ(back.pixelArgb(10, 16), 0xFF000000u);
    EXPECT_EQ(back.pixelArgb(9, 12), 0xFF000000u);
    textures.clearQueue();

    // Pivot (0.5, 0.5), angle 90: a 16 x 4 bar about (20, 20) stands upright.
    ASSERT_TRUE(d3d->beginFrame());
    ASSERT_TRUE(d3d->beginScene());
    textures.drawTextureFirst(0, 20, 20, 16, 4, 90, 0, 0, 4, 4, 0, 1, 0, 1, 0.5f, 0.5f);
    textures.drawPass(*d3d, 0);
    d3d->endScene();
    EXPECT_EQ(back.pixelArgb(19, 13), 0xFF00FF00u);
    EXPECT_EQ(back.pixelArgb(20, 27), 0xFF00FF00u);
    EXPECT_EQ(back.pixelArgb(14, 20), 0xFF000000u);
    EXPECT_EQ(back.pixelArgb(26, 20), 0xFF000000u);
}

TEST_F(TwoDimensionalPasses, EachPassDrawsOnlyItsEntriesInQueueOrder) {
    auto d3d = createDisplay(32, 16, 16);
    d3d->setAlphaMode();
    ScriptTextures textures;
    // Untextured: the colour alone. Queued "last" first, yet drawn second.
    textures.drawTextureLast(-1, 0, 0, 8, 8, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0);
    textures.drawTextureFirst(-1, 0, 0, 8, 8, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0);
    textures.drawTextureFirst(250, 4, 4, 8, 8, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0);  // outside the table: untextured
    render::Surface& back = *d3d->backBufferSurface();
    ASSERT_TRUE(d3d->beginFrame());
    ASSERT_TRUE(d3d->beginScene());
    textures.drawPass(*d3d, 0);
    EXPECT_EQ(back.pixelArgb(1, 1), 0xFFFF0000u);
    EXPECT_EQ(back.pixelArgb(5, 5), 0xFF00FF00u);
    textures.drawPass(*d3d, 1);
    d3d->endScene();
    EXPECT_EQ(back.pixelArgb(1, 1), 0xFF0000FFu);
    EXPECT_EQ(back.pixelArgb(9, 9), 0xFF00FF00u);
    EXPECT_EQ(d3d->device()->renderState(render::RenderState::ZEnable), 1u);
}

}  // namespace
