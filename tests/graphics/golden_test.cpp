// Whole frames compared pixel for pixel with reviewed images under
// tests/data/graphics. TESSERAE_UPDATE_GOLDEN=1 rewrites them instead.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "graphics/script_textures.h"
#include "platform/text_codec.h"
#include "render/png_writer.h"
#include "test_display.h"

using namespace graphics;
using namespace graphics_test;

namespace {

bool updating() {
    const char* flag = std::getenv("TESSERAE_UPDATE_GOLDEN");
    return flag && std::string(flag) == "1";
}

bool writePng(const render::Surface& surface, const std::filesystem::path& path) {
    std::vector<uint8_t> bytes;
    if (!render::encodePng(surface, bytes)) return false;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));
    return true;
}

void expectGolden(const render::Surface& surface, const std::string& name) {
    const std::filesystem::path golden = std::filesystem::path(TESSERAE_GRAPHICS_DATA) / (name + ".png");
    if (updating()) {
        ASSERT_TRUE(writePng(surface, golden)) << golden;
        return;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, golden.c_str()))
        << golden << ": missing; run with TESSERAE_UPDATE_GOLDEN=1 to write it";
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << golden;
    ASSERT_EQ(int(image.width), surface.width()) << golden;
    ASSERT_EQ(int(image.height), surface.height()) << golden;

    int differences = 0;
    std::string first;
    for (int y = 0; y < surface.height(); ++y) {
        for (int x = 0; x < surface.width(); ++x) {
            const uint8_t* p = &rgb[(size_t(y) * image.width + x) * 3];
            uint32_t expected = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
            uint32_t actual = surface.pixelArgb(x, y) & 0xFFFFFF;
            if (expected != actual && differences++ == 0) {
                char text[96];
                std::snprintf(text, sizeof text, "first at (%d, %d): %06X, golden %06X", x, y, actual, expected);
                first = text;
            }
        }
    }
    if (differences) {
        std::filesystem::path actual = std::filesystem::temp_directory_path() / (name + ".actual.png");
        writePng(surface, actual);
        ADD_FAILURE() << name << ": " << differences << " pixels differ, " << first << "; frame written to "
                      << actual;
    }
}

// 8 x 8 texture: four coloured quadrants and a white diagonal, so that
// rotation, mirroring and source rectangles all show.
uint32_t quadrants(int x, int y) {
    if (x == y) return 0xFFFFFF;
    if (y < 4) return x < 4 ? 0xE02020 : 0x20C020;
    return x < 4 ? 0x2040E0 : 0xE0C020;
}

// Every frame is drawn with 1, 2, 3 and 8 threads; each count must give
// the reviewed image to the byte.
class GoldenFrames : public DisplayFixture, public ::testing::WithParamInterface<int> {
protected:
    std::unique_ptr<G_D3D> createThreadedDisplay(int depth, int width, int height) {
        auto d3d = createDisplay(depth, width, height);
        EXPECT_TRUE(d3d->setRasterThreads(GetParam()));
        return d3d;
    }
};

void drawQuadScene(G_D3D& d3d, ScriptTextures& textures) {
    ASSERT_TRUE(textures.loadTexture(d3d.textures(), 0, "quad.bmp"));
    d3d.setAlphaMode();
    ASSERT_TRUE(d3d.beginFrame());
    ASSERT_TRUE(d3d.beginScene());
    // Pivot (0, 0), angle 0: top-left corner at (4, 4).
    textures.drawTextureFirst(0, 4, 4, 24, 24, 0, 0, 0, 8, 8, 1, 1, 1, 1, 0, 0);
    // Pivot (0.5, 0.5), rotated 30 degrees about (64, 20).
    textures.drawTextureFirst(0, 64, 20, 32, 16, 30, 0, 0, 8, 8, 1, 1, 1, 1, 0.5f, 0.5f);
    // Source rectangle: the top-right quadrant only, tinted orange.
    textures.drawTextureFirst(0, 4, 40, 24, 24, 0, 4, 0, 8, 4, 1, 0.5f, 0.25f, 1, 0, 0);
    // A grey bar, then the texture a quarter turn about (64, 64), half transparent.
    textures.drawTextureFirst(-1, 40, 60, 48, 8, 0, 0, 0, 0, 0, 0.5f, 0.5f, 0.5f, 1, 0, 0);
    textures.drawTextureLast(0, 64, 64, 30, 12, 90, 0, 0, 8, 8, 0.5f, 1, 1, 0.5f, 0.5f, 0.5f);
    // Pivot (0.5, 0.5) with angle -45 and a mirrored source rectangle.
    textures.drawTextureLast(0, 20, 84, 16, 16, -45, 8, 0, 0, 8, 1, 1, 1, 1, 0.5f, 0.5f);
    textures.drawPass(d3d, 0);
    textures.drawPass(d3d, 1);
    d3d.endScene();
    d3d.present(true);
}

TEST_P(GoldenFrames, RotatedQuadsWithPivotsSourceRectanglesAndColours) {
    folder.write("quad.bmp", makeBmp24(8, 8, quadrants));
    auto d3d = createThreadedDisplay(32, 96, 96);
    ScriptTextures textures;
    drawQuadScene(*d3d, textures);
    expectGolden(*d3d->backBufferSurface(), "quads_32");
}

TEST_P(GoldenFrames, SixteenBitBackBuffer) {
    folder.write("quad.bmp", makeBmp24(8, 8, quadrants));
    auto d3d = createThreadedDisplay(16, 96, 96);
    ScriptTextures textures;
    drawQuadScene(*d3d, textures);
    expectGolden(*d3d->backBufferSurface(), "quads_16");
}

TEST_P(GoldenFrames, AlphaCompanionImages) {
    folder.write("glass.bmp", makeBmp24(16, 8, [](int x, int y) { return (x + y) % 4 ? 0xF0F0FFu : 0x4080FFu; }));
    // Alpha rises left to right and is zero (alpha-tested away) in column 0.
    folder.write("glass_a.bmp", makeBmp24(16, 8, [](int x, int) { return uint32_t(x * 17); }));
    auto d3d = createThreadedDisplay(32, 64, 32);
    d3d->setAlphaMode();
    ScriptTextures textures;
    ASSERT_TRUE(textures.loadTexture(d3d->textures(), 3, "glass.bmp"));
    ASSERT_TRUE(d3d->beginFrame());
    ASSERT_TRUE(d3d->beginScene());
    textures.drawTextureFirst(-1, 0, 8, 64, 16, 0, 0, 0, 0, 0, 0.8f, 0.1f, 0.1f, 1, 0, 0);
    textures.drawTextureFirst(3, 0, 0, 64, 32, 0, 0, 0, 16, 8, 1, 1, 1, 1, 0, 0);
    textures.drawPass(*d3d, 0);
    d3d->endScene();
    expectGolden(*d3d->backBufferSurface(), "alpha_companion");
}

TEST_P(GoldenFrames, FillTextureLightPass) {
    // The light ramp: dark at the bottom row, fully lit at the top.
    folder.write("system\\texure\\fill.bmp",
                 makeBmp24(4, 16, [](int, int y) { return uint32_t(255 - y * 12) * 0x010101u; }));
    auto d3d = createThreadedDisplay(32, 64, 64);
    graphics::Lighting light;
    light.fillTexture = d3d->textures().findOrLoadTexture("system\\texure\\fill.bmp");
    ASSERT_GE(light.fillTexture, 0);
    light.position = {-1.0f, 1.0f, -2.0f};
    light.range = 6.0f;
    d3d->setAlphaMode();

    render::Matrix view;
    ASSERT_EQ(G_D3D::setLookAt(view, {0, 0, -10}, {0, 0, 0}, {0, 1, 0}), kResultOk);
    const float s = 1.5f;
    const render::Vec3 corners[6] = {{-s, s, 0}, {s, s, 0}, {s, -s, 0}, {-s, s, 0}, {s, -s, 0}, {-s, -s, 0}};
    render::Vec3 normals[6];
    render::LVertex base[6], lit[6];
    for (int i = 0; i < 6; ++i) {
        base[i].x = lit[i].x = corners[i].x;
        base[i].y = lit[i].y = corners[i].y;
        base[i].z = lit[i].z = corners[i].z;
        base[i].diffuse = 0xFFE08040;
        // Normals lean outwards, so each corner faces the light differently.
        normals[i] = render::normalize(render::Vec3{corners[i].x * 0.5f, corners[i].y * 0.5f, -1.0f});
    }
    MeshView baseMesh{6, base, normals};
    MeshView lightMesh{6, lit, normals};
    ASSERT_TRUE(d3d->beginFrame());
    ASSERT_TRUE(d3d->beginScene());
    d3d->device()->setTransform(render::Transform::View, view);
    d3d->drawMesh(-1, baseMesh, nullptr, light);
    render::Matrix raised = render::translationMatrix(0.0f, 0.0f, -0.01f);
    d3d->drawMesh(light.fillTexture, lightMesh, &raised, light);
    d3d->endScene();
    expectGolden(*d3d->backBufferSurface(), "light_pass");
}

TEST_P(GoldenFrames, TextAtHeightsFourteenAndTwentyWithKanji) {
    auto d3d = createThreadedDisplay(32, 260, 72);
    // "漢字かなカナ" in code page 932, as a script file holds it.
    const char kanji[] = "\x8A\xBF\x8E\x9A\x82\xA9\x82\xC8\x83\x4A\x83\x69 ABC";
    ASSERT_EQ(platform::cp932ToUtf8(kanji), "漢字かなカナ ABC");
    ASSERT_TRUE(d3d->beginFrame());
    ASSERT_TRUE(d3d->createFont(20, 0, 400));
    d3d->drawText(-1, render::Rect{0, 0, 260, 72}, "-Now Loading-", 0xFFFFFF);
    d3d->drawText(-1, render::Rect{100, 0, 110, 10}, kanji, 0x0080FF);  // never clipped to the rectangle
    ASSERT_TRUE(d3d->createFont(14, 0, 400));
    d3d->drawText(-1, render::Rect{0, 24, 200, 72}, kanji, 0x00FFFF);
    d3d->drawText(-1, render::Rect{0, 42, 200, 72}, "TESSERAE-LIB 1.00\r\n2nd line", 0xFFFFFF);
    expectGolden(*d3d->backBufferSurface(), "text");
}

// '&' is a prefix: "&&" draws one '&', "&x" underlines x, a lone '&' at
// the end draws nothing.
TEST_P(GoldenFrames, AmpersandPrefixes) {
    auto d3d = createThreadedDisplay(32, 64, 24);
    auto frameOf = [&](const char* text) {
        EXPECT_TRUE(d3d->beginFrame());
        EXPECT_TRUE(d3d->createFont(14, 0, 400));
        d3d->drawText(-1, render::Rect{2, 2, 64, 24}, text, 0xFFFFFF);
        std::vector<uint32_t> pixels;
        const render::Surface& s = *d3d->backBufferSurface();
        for (int y = 0; y < s.height(); ++y)
            for (int x = 0; x < s.width(); ++x) pixels.push_back(s.pixelArgb(x, y) & 0xFFFFFF);
        return pixels;
    };
    const std::vector<uint32_t> blank = frameOf("");
    EXPECT_EQ(frameOf("&"), blank);
    EXPECT_NE(frameOf("&&"), blank);
    EXPECT_EQ(frameOf("A&"), frameOf("A"));

    const std::vector<uint32_t> plain = frameOf("A");
    const std::vector<uint32_t> underlined = frameOf("&A");
    std::set<int> rows;
    int added = 0;
    for (size_t i = 0; i < plain.size(); ++i) {
        if (plain[i] == underlined[i]) continue;
        EXPECT_EQ(underlined[i], 0xFFFFFFu);
        rows.insert(int(i / 64));
        ++added;
    }
    EXPECT_EQ(rows.size(), 1u);  // one line of pixels
    EXPECT_GE(added, 5);         // about as wide as the letter
    EXPECT_EQ(*rows.begin(), 2 + 12);  // below the baseline at 11 of a 14-pixel cell
}

INSTANTIATE_TEST_SUITE_P(Threads, GoldenFrames, ::testing::Values(1, 2, 3, 8));

}  // namespace
