#include <gtest/gtest.h>

#include "graphics/messages.h"
#include "test_display.h"

using namespace graphics;
using namespace graphics_test;
namespace msg = graphics::messages;

namespace {

std::string box(const char* caption, const char* text) { return std::string(caption) + "|" + text; }

using DeviceFallback = DisplayFixture;

TEST_F(DeviceFallback, HardwareTransformClassIsChosenFirst) {
    auto d3d = createDisplay(32);
    ASSERT_TRUE(d3d->isReady());
    EXPECT_STREQ(d3d->deviceName(), "TnLHal");
    EXPECT_FALSE(d3d->isSoftwareDevice());
    EXPECT_EQ(d3d->textureFormat(), render::PixelFormat::A8R8G8B8);
    EXPECT_EQ(d3d->paletteTextureFormat(), render::PixelFormat::Unknown);
    ASSERT_NE(d3d->zBufferSurface(), nullptr);
    EXPECT_EQ(d3d->zBufferSurface()->format(), render::PixelFormat::Z16);
    EXPECT_TRUE(boxes().empty());

    // The projection of device creation: 20 degrees, aspect 0.75, 1-1000.
    const render::Matrix& p = d3d->device()->transform(render::Transform::Projection);
    EXPECT_NEAR(p.m[0][0], 4.2534618f, 1e-5f);
    EXPECT_NEAR(p.m[1][1], 5.6712825f, 1e-5f);
    EXPECT_NEAR(p.m[2][2], 1.001001f, 1e-6f);
    EXPECT_NEAR(p.m[3][2], -1.001001f, 1e-6f);
    EXPECT_EQ(p.m[2][3], 1.0f);

    // Render states as left by device creation.
    render::Device& d = *d3d->device();
    EXPECT_EQ(d.renderState(render::RenderState::ZEnable), 1u);
    EXPECT_EQ(d.renderState(render::RenderState::AlphaBlendEnable), 1u);
    EXPECT_EQ(d.renderState(render::RenderState::SrcBlend), uint32_t(render::Blend::One));
    EXPECT_EQ(d.renderState(render::RenderState::DestBlend), uint32_t(render::Blend::Zero));
    EXPECT_EQ(d.renderState(render::RenderState::AlphaFunc), uint32_t(render::Compare::Greater));
    EXPECT_EQ(d.stageState(render::StageState::AlphaOp), uint32_t(render::TextureOp::Modulate));
    EXPECT_EQ(d.renderState(render::RenderState::FogColor), 0xFF4C9CCCu);
    d3d->setAlphaMode();
    EXPECT_EQ(d.renderState(render::RenderState::AlphaTestEnable), 1u);
    EXPECT_EQ(d.renderState(render::RenderState::SrcBlend), uint32_t(render::Blend::SrcAlpha));
    EXPECT_EQ(d.renderState(render::RenderState::DestBlend), uint32_t(render::Blend::InvSrcAlpha));
    d3d->alphaBlending = 0;
    d3d->setAlphaMode();
    EXPECT_EQ(d.renderState(render::RenderState::AlphaTestEnable), 0u);
    EXPECT_EQ(d.renderState(render::RenderState::DestBlend), uint32_t(render::Blend::Zero));
}

TEST_F(DeviceFallback, RefusedClassesFallBackInOrder) {
    auto d3d = makeDisplay(16);
    d3d->adapter().refuseDeviceClass(render::DeviceClass::TnLHal);
    ASSERT_TRUE(d3d->createDisplay());
    EXPECT_STREQ(d3d->deviceName(), "Hal");
    EXPECT_EQ(d3d->textureFormat(), render::PixelFormat::A4R4G4B4);
    EXPECT_EQ(d3d->backBufferSurface()->format(), render::PixelFormat::R5G6B5);

    d3d = makeDisplay(16);
    d3d->adapter().refuseDeviceClass(render::DeviceClass::TnLHal);
    d3d->adapter().refuseDeviceClass(render::DeviceClass::Hal);
    ASSERT_TRUE(d3d->createDisplay());
    EXPECT_STREQ(d3d->deviceName(), "MMX");
    EXPECT_TRUE(d3d->isSoftwareDevice());
    EXPECT_EQ(d3d->paletteTextureFormat(), render::PixelFormat::P8);

    d3d = makeDisplay(32);
    d3d->adapter().refuseDeviceClass(render::DeviceClass::TnLHal);
    d3d->adapter().refuseDeviceClass(render::DeviceClass::Hal);
    d3d->adapter().refuseDeviceClass(render::DeviceClass::Mmx);
    ASSERT_TRUE(d3d->createDisplay());
    EXPECT_STREQ(d3d->deviceName(), "HEL");
    EXPECT_TRUE(boxes().empty());
}

TEST_F(DeviceFallback, NoClassLeftFailsWithItsMessages) {
    auto d3d = makeDisplay();
    for (int i = 0; i < render::kDeviceClasses; ++i)
        d3d->adapter().refuseDeviceClass(render::DeviceClass(i));
    EXPECT_FALSE(d3d->createDisplay());
    EXPECT_FALSE(d3d->isReady());
    EXPECT_EQ(boxes(), (std::vector<std::string>{box(msg::kError, msg::kNoDeviceClass),
                                                 box(msg::kCreateFailedCaption, msg::kCreateFailed)}));
    EXPECT_FALSE(d3d->hasDisplay());
    // Not ready stays not ready: nothing runs, nothing is shown.
    EXPECT_FALSE(d3d->createDisplay());
    EXPECT_FALSE(d3d->beginFrame());
    EXPECT_EQ(d3d->restoreSurfaces(), -2);
    EXPECT_EQ(boxes().size(), 2u);
}

using DisplayCreation = DisplayFixture;

TEST_F(DisplayCreation, EachFailingStepShowsItsTexts) {
    auto d3d = makeDisplay();
    d3d->setWindow(nullptr);
    EXPECT_FALSE(d3d->createDisplay());
    EXPECT_EQ(boxes(), std::vector<std::string>{box(msg::kError, msg::kNoWindow)});

    platform::clearShownMessageBoxes();
    d3d = createDisplay();
    EXPECT_FALSE(d3d->createDisplay());
    EXPECT_EQ(boxes(), std::vector<std::string>{box(msg::kError, msg::kAlreadyCreated)});
    EXPECT_FALSE(d3d->isReady());

    // Full screen: exactly one mode is tried.
    platform::clearShownMessageBoxes();
    d3d = makeDisplay(16);
    d3d->setWindowed(false);
    d3d->adapter().refuseFormat(render::PixelFormat::R5G6B5);
    EXPECT_FALSE(d3d->createDisplay());
    EXPECT_EQ(boxes(), (std::vector<std::string>{box(msg::kFullScreenError1, msg::kModeRefused),
                                                 box(msg::kCreateFailedCaption, msg::kCreateFailed)}));

    platform::clearShownMessageBoxes();
    d3d = makeDisplay();
    d3d->adapter().failSurfaceCreations(1);
    EXPECT_FALSE(d3d->createDisplay());
    EXPECT_EQ(boxes(), (std::vector<std::string>{box(msg::kError, msg::kPrimaryFailed),
                                                 box(msg::kCreateFailedCaption, msg::kCreateFailed)}));

    platform::clearShownMessageBoxes();
    d3d = makeDisplay();
    d3d->adapter().refuseFormat(render::PixelFormat::Z16);
    EXPECT_FALSE(d3d->createDisplay());
    EXPECT_EQ(boxes(), (std::vector<std::string>{
                           box(msg::kError, msg::kZBufferFailed),
                           box(msg::kErrorMessageCaption, "指定されたピクセル フォーマットが無効である"),
                           box(msg::kCreateFailedCaption, msg::kCreateFailed)}));
    EXPECT_EQ(d3d->device(), nullptr);
}

TEST_F(DisplayCreation, FullScreenAndOffscreenSurfaces) {
    folder.write("img\\key.bmp", makeBmp24(6, 4, [](int x, int) { return x < 3 ? 0x00FF00u : 0x123456u; }));
    auto d3d = makeDisplay(16);
    d3d->setWindowed(false);
    ASSERT_TRUE(d3d->createDisplay());
    EXPECT_EQ(d3d->offscreenSurface(0), nullptr);  // zero-sized records make no surface
    EXPECT_EQ(d3d->offscreenSurface(1), nullptr);
    EXPECT_TRUE(boxes().empty());

    ASSERT_TRUE(d3d->loadSurface(1, "img\\key.bmp"));
    render::Surface* s = d3d->offscreenSurface(1);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->pixelArgb(4, 2), render::unpackPixel(render::PixelFormat::R5G6B5,
                                                 render::packPixel(render::PixelFormat::R5G6B5, 0xFF123456u), nullptr));
    // The key is one pixel's raw value, never its neighbour's bytes too.
    EXPECT_EQ(d3d->sampleColorKey(1, 5, 3), render::packPixel(render::PixelFormat::R5G6B5, 0xFF123456u));
    EXPECT_EQ(d3d->sampleColorKey(1, 6, 0), render::packPixel(render::PixelFormat::R5G6B5, 0xFF00FF00u));
    int x, y;
    d3d->keySamplePoint(1, x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);

    ASSERT_TRUE(d3d->createBlankSurface(0, 8, 8));
    EXPECT_EQ(d3d->offscreenSurface(0)->pixelArgb(7, 7), 0xFFFFFFFFu);

    d3d->adapter().failSurfaceCreations(1);
    EXPECT_FALSE(d3d->createBlankSurface(0, 8, 8));
    EXPECT_EQ(boxes(), (std::vector<std::string>{box(msg::kError, "オフスクリーンサーフェス0番の生成に失敗しました。"),
                                                 box(msg::kErrorMessageCaption, "その他")}));
    EXPECT_FALSE(d3d->isReady());
}

TEST_F(DisplayCreation, MissingSurfaceImageNamesTheFile) {
    auto d3d = createDisplay();
    EXPECT_FALSE(d3d->loadSurface(0, "img\\none.bmp"));
    EXPECT_EQ(boxes(), std::vector<std::string>{box("img\\none.bmp", msg::kFileOpenFailed)});
    EXPECT_FALSE(d3d->isReady());
}

TEST_F(DisplayCreation, EightBitDisplayNeedsThePaletteFile) {
    auto d3d = makeDisplay(8);
    EXPECT_FALSE(d3d->isReady());
    EXPECT_EQ(boxes(), (std::vector<std::string>{box(msg::kError, msg::kPaletteFileFailed),
                                                 box(msg::kPaletteNotSetCaption, msg::kPaletteLoadFailed)}));

    platform::clearShownMessageBoxes();
    Bytes pdt(768);
    for (int i = 0; i < 768; ++i) pdt[i] = uint8_t(i / 3);
    folder.write("pal.pdt", pdt);
    d3d = makeDisplay(8);
    EXPECT_TRUE(d3d->isReady());
    EXPECT_EQ(d3d->palette()[200], 0x01C8C8C8u);
    EXPECT_TRUE(boxes().empty());
}

using LostSurfaces = DisplayFixture;

uint32_t gradient(int x, int y) { return uint32_t(x * 30) << 16 | uint32_t(y * 30) << 8 | 0x40; }

// Every height a Windows game can pass makes a font, as GDI makes one;
// the failure box is only for a font file that cannot be read.
TEST_F(DisplayCreation, FontsForEveryHeightAsGdiMakesThem) {
    auto d3d = createDisplay();
    struct Case {
        int height, width, cell;
    };
    const Case cases[] = {
        {0, 0, kDefaultFontCell},  // the default height
        {-20, -10, 22},            // a character height of 20: round(20 x 2203 / 2048)
        {-1, 0, 1},
        {300, 150, 300},
        {100000, 50000, render::kMaxFontCell},
        {INT32_MIN, INT32_MIN, render::kMaxFontCell},
        {INT32_MAX, INT32_MAX, render::kMaxFontCell},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(d3d->createFont(c.height, c.width, 400)) << c.height;
        EXPECT_EQ(d3d->fontCellHeight(), c.cell) << c.height;
        d3d->drawText(-1, {INT32_MAX - 3, INT32_MAX - 3, INT32_MAX, INT32_MAX}, "A&b", 0xFFFFFF);
        d3d->drawText(-1, {INT32_MIN, INT32_MIN, INT32_MIN + 640, INT32_MIN + 480}, "A&b\n&c", 0xFFFFFF);
    }
    EXPECT_TRUE(boxes().empty());
}

TEST_F(LostSurfaces, RestoredDisplaySkipsOneFrameAndReloadsTextures) {
    folder.write("t.bmp", makeBmp24(4, 4, gradient));
    folder.write("img\\s.bmp", makeBmp24(4, 4, [](int, int) { return 0x808080u; }));
    auto d3d = createDisplay();
    int slot = d3d->textures().findOrLoadTexture("t.bmp");
    ASSERT_GE(slot, 0);
    ASSERT_TRUE(d3d->loadSurface(0, "img\\s.bmp"));
    ASSERT_TRUE(d3d->beginFrame());

    d3d->adapter().loseSurfaces();
    d3d->adapter().failRestores(3);
    EXPECT_FALSE(d3d->beginFrame());
    const render::Surface* texture = d3d->textures().textureSlot(slot).surface.get();
    ASSERT_NE(texture, nullptr);
    EXPECT_FALSE(texture->isLost());
    EXPECT_EQ(texture->pixelArgb(3, 1), 0xFF000000u | gradient(3, 1));
    EXPECT_EQ(d3d->textures().textureSlot(slot).refCount, 1);
    EXPECT_EQ(d3d->offscreenSurface(0)->pixelArgb(1, 1), 0xFF808080u);
    EXPECT_TRUE(d3d->beginFrame());
    ASSERT_TRUE(d3d->beginScene());
    d3d->endScene();
}

TEST_F(LostSurfaces, UnrestorablePrimaryRebuildsTheDisplayWhileActive) {
    folder.write("t.bmp", makeBmp24(2, 2, gradient));
    auto d3d = createDisplay();
    int slot = d3d->textures().findOrLoadTexture("t.bmp");
    d3d->textures().findOrLoadTexture("t.bmp");

    window.post({platform::EventType::Minimise});
    d3d->adapter().loseSurfaces();
    d3d->adapter().failRestores(10);
    EXPECT_FALSE(d3d->beginFrame());
    EXPECT_TRUE(d3d->backBufferSurface()->isLost());  // minimised: no rebuild

    window.post({platform::EventType::Restore});
    d3d->adapter().failRestores(10);
    EXPECT_FALSE(d3d->beginFrame());
    EXPECT_TRUE(d3d->isReady());
    EXPECT_FALSE(d3d->backBufferSurface()->isLost());
    ASSERT_NE(d3d->textures().textureSlot(slot).surface, nullptr);
    EXPECT_EQ(d3d->textures().textureSlot(slot).refCount, 2);
    EXPECT_TRUE(d3d->beginFrame());
    EXPECT_TRUE(boxes().empty());
}

TEST_F(LostSurfaces, PresentShowsTheBackBufferInItsFormat) {
    auto d3d = createDisplay(16, 8, 4);
    ASSERT_TRUE(d3d->beginFrame());
    d3d->fillWhite(render::Rect{2, 1, 3, 2}, -1);
    d3d->present(true);
    ASSERT_EQ(window.lastFrameWidth(), 8);
    EXPECT_EQ(window.lastFrame()[1 * 8 + 2], 0xFFFFFFFFu);
    EXPECT_EQ(window.lastFrame()[0], 0xFF000000u);
    EXPECT_EQ(window.presentCount(), 1);

    ASSERT_TRUE(d3d->writeScreenshot("shot.png"));
    Bytes png = folder.read("shot.png");
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png[1], 'P');

    d3d->adapter().loseSurfaces();
    d3d->present(true);  // a lost back buffer is not shown
    EXPECT_EQ(window.presentCount(), 1);
    EXPECT_FALSE(d3d->writeScreenshot("lost.png"));
    EXPECT_FALSE(std::filesystem::exists(folder.root() / "lost.png"));
}

TEST(MatrixResults, BuildersReportInvalidArguments) {
    render::Matrix m = render::identityMatrix();
    EXPECT_EQ(G_D3D::setProjection(m, 0.3490658f, 0.75f, 5.0f, 5.0f), kResultInvalidArg);
    EXPECT_EQ(m.m[0][0], 1.0f);
    EXPECT_EQ(G_D3D::setLookAt(m, {1, 2, 3}, {1, 2, 3}, {0, 1, 0}), kResultInvalidArg);
    EXPECT_EQ(m.m[3][3], 1.0f);
    // Looking straight up with up (0, 1, 0) falls back to (0, 0, 1).
    ASSERT_EQ(G_D3D::setLookAt(m, {0, 0, 0}, {0, 5, 0}, {0, 1, 0}), kResultOk);
    EXPECT_NEAR(m.m[2][1], 1.0f, 1e-6f);
    EXPECT_NEAR(m.m[1][2], 1.0f, 1e-6f);
}

}  // namespace
