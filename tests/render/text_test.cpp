// tests/render/text_test.cpp
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "golden.h"
#include "render/font.h"

using namespace render;
using render_test::matchesGolden;

namespace {

// The Gothic face the project installs; tests skip without it.
std::vector<uint8_t> readGothic() {
    std::vector<uint8_t> bytes;
    FILE* f = std::fopen("/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf", "rb");
    if (!f) return bytes;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    return bytes;
}

class TextDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        bytes = readGothic();
        if (bytes.empty()) GTEST_SKIP() << "Gothic font not installed (tools/install_deps.sh)";
        ASSERT_TRUE(face.load(bytes.data(), bytes.size()));
    }
    std::vector<uint8_t> bytes;
    FontFace face;
    Adapter adapter;
};

std::u32string_view kLines[] = {U"-Now Loading-", U"漢字かなカナ ABC 123", U"FPS 30 [bitTime 05]"};

}  // namespace

TEST_F(TextDrawing, CellHeightFourteenAndTwentyWithKanji) {
    for (int height : {14, 20}) {
        auto target = adapter.createSurface(SurfaceKind::BackBuffer, 200, 3 * height + 4, PixelFormat::X8R8G8B8);
        target->fill(nullptr, 0xFF102030u);
        Font font;
        ASSERT_TRUE(font.create(face, height, 0, 400));
        const uint32_t colours[3] = {0x00FFFFFFu, 0x0000FFFFu, 0x00FF8040u};  // 0x00BBGGRR
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(font.drawText(*target, 2, 2 + i * height, kLines[i].data(), kLines[i].size(), colours[i]));
        EXPECT_TRUE(matchesGolden(*target, "text_" + std::to_string(height)));
    }
}

TEST_F(TextDrawing, DrawsOneBitGlyphsInTheGdiColourWithoutBackground) {
    auto target = adapter.createSurface(SurfaceKind::BackBuffer, 64, 24, PixelFormat::R5G6B5);
    target->fill(nullptr, 0xFF0000FFu);
    Font font;
    ASSERT_TRUE(font.create(face, 20, 0, 400));
    const char32_t text[] = U"漢A";
    ASSERT_TRUE(font.drawText(*target, 0, 0, text, 2, 0x000000FFu));  // red
    int red = 0, other = 0;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 64; ++x) {
            uint32_t p = target->pixelArgb(x, y);
            red += p == 0xFFFF0000u;
            other += p != 0xFFFF0000u && p != 0xFF0000FFu;
        }
    }
    EXPECT_GT(red, 40);
    EXPECT_EQ(other, 0);
}

TEST_F(TextDrawing, MetricsFollowCellHeightAndWidth) {
    Font font;
    ASSERT_TRUE(font.create(face, 14, 0, 400));
    const char32_t half[] = U"ABCDEFG";
    // A 14-pixel cell has a 13-pixel em whose half-width advance rounds to 7.
    EXPECT_EQ(font.textWidth(half, 7), 49);
    const char32_t two[] = U"AB\nABCD";
    EXPECT_EQ(font.textWidth(two, 7), 28);
    ASSERT_TRUE(font.create(face, 20, 5, 400));
    EXPECT_EQ(font.textWidth(half, 1), 5);
    // Nothing lands above the cell top or below its bottom.
    auto target = adapter.createSurface(SurfaceKind::BackBuffer, 40, 60, PixelFormat::X8R8G8B8);
    const char32_t tall[] = U"gÅ漢";
    ASSERT_TRUE(font.drawText(*target, 0, 20, tall, 3, 0x00FFFFFFu));
    int top = 60, bottom = -1;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 40; ++x)
            if (target->pixelArgb(x, y) == 0xFFFFFFFFu) top = std::min(top, y), bottom = std::max(bottom, y);
    EXPECT_GE(top, 20);
    EXPECT_LT(bottom, 40);
}

TEST_F(TextDrawing, RefusesBadFontsAndTargets) {
    FontFace junk;
    const uint8_t garbage[16] = {1, 2, 3};
    EXPECT_FALSE(junk.load(garbage, sizeof garbage));
    Font font;
    EXPECT_FALSE(font.create(junk, 14, 0, 400));
    EXPECT_FALSE(font.create(face, 0, 0, 400));
    EXPECT_FALSE(font.create(face, kMaxFontCell + 1, 0, 400));
    EXPECT_FALSE(font.create(face, 14, kMaxFontCharWidth + 1, 400));
    Font largest;
    EXPECT_TRUE(largest.create(face, kMaxFontCell, kMaxFontCharWidth, 700));
    const char32_t text[] = U"A";
    auto target = adapter.createSurface(SurfaceKind::BackBuffer, 8, 8, PixelFormat::X8R8G8B8);
    EXPECT_FALSE(font.drawText(*target, 0, 0, text, 1, 0));
    ASSERT_TRUE(font.create(face, 14, 0, 400));
    // Text far outside the surface is cut at its edge, never written past it.
    EXPECT_TRUE(font.drawText(*target, -100000, 5, text, 1, 0x00FFFFFFu));
    const char32_t lines[] = U"A\nB\nC";
    for (int at : {INT32_MIN, INT32_MIN + 3, INT32_MAX - 3, INT32_MAX})
        EXPECT_TRUE(font.drawText(*target, at, at, lines, 5, 0x00FFFFFFu)) << at;
    EXPECT_TRUE(font.drawText(*target, 4, 4, text, 1, 0x00FFFFFFu));
    auto depth = adapter.createSurface(SurfaceKind::DepthBuffer, 8, 8, PixelFormat::Z16);
    EXPECT_FALSE(font.drawText(*depth, 0, 0, text, 1, 0));
    adapter.loseSurfaces();
    EXPECT_FALSE(font.drawText(*target, 0, 0, text, 1, 0));
}

TEST_F(TextDrawing, CachedGlyphsDrawAlikeAcrossFontsAndAfterTheCacheOverflows) {
    const char32_t text[] = U"漢字 Text";
    auto first = adapter.createSurface(SurfaceKind::BackBuffer, 80, 20, PixelFormat::X8R8G8B8);
    auto second = adapter.createSurface(SurfaceKind::BackBuffer, 80, 20, PixelFormat::X8R8G8B8);
    {
        Font font;
        ASSERT_TRUE(font.create(face, 14, 0, 400));
        ASSERT_TRUE(font.drawText(*first, 1, 1, text, 7, 0x00FFFFFFu));
    }
    // Thousands of other glyphs in several sizes push the text out of the cache.
    auto scratch = adapter.createSurface(SurfaceKind::BackBuffer, 64, 64, PixelFormat::X8R8G8B8);
    std::u32string many;
    for (char32_t c = 0x4E00; c < 0x4E00 + 3000; ++c) many.push_back(c);
    for (int height : {14, 20, 40}) {
        Font font;
        ASSERT_TRUE(font.create(face, height, 0, height == 40 ? 700 : 400));
        ASSERT_TRUE(font.drawText(*scratch, 0, 0, many.data(), many.size(), 0x00FFFFFFu));
    }
    Font font;
    ASSERT_TRUE(font.create(face, 14, 0, 400));
    ASSERT_TRUE(font.drawText(*second, 1, 1, text, 7, 0x00FFFFFFu));
    int lit = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 80; ++x) {
            ASSERT_EQ(first->pixelArgb(x, y), second->pixelArgb(x, y)) << x << "," << y;
            lit += first->pixelArgb(x, y) == 0xFFFFFFFFu;
        }
    }
    EXPECT_GT(lit, 30);
}
