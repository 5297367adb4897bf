// tests/render/surface_test.cpp
#include <gtest/gtest.h>

#include <png.h>

#include <cstring>

#include "golden.h"
#include "render/png_writer.h"

using namespace render;
using render_test::makeTexture;

TEST(SurfaceFormats, PitchesRoundRowsUpToFourBytes) {
    Adapter adapter;
    struct Case { SurfaceKind kind; PixelFormat format; int width; int pitch; };
    const Case cases[] = {
        {SurfaceKind::BackBuffer, PixelFormat::R5G6B5, 3, 8},
        {SurfaceKind::BackBuffer, PixelFormat::R5G6B5, 640, 1280},
        {SurfaceKind::BackBuffer, PixelFormat::X8R8G8B8, 5, 20},
        {SurfaceKind::Texture, PixelFormat::A4R4G4B4, 1, 4},
        {SurfaceKind::Texture, PixelFormat::A8R8G8B8, 7, 28},
        {SurfaceKind::Texture, PixelFormat::P8, 5, 8},
        {SurfaceKind::DepthBuffer, PixelFormat::Z16, 3, 8},
    };
    for (const Case& c : cases) {
        auto s = adapter.createSurface(c.kind, c.width, 2, c.format);
        ASSERT_TRUE(s);
        EXPECT_EQ(s->pitch(), c.pitch) << static_cast<int>(c.format) << " width " << c.width;
        LockedRect lr;
        ASSERT_TRUE(s->lock(lr));
        EXPECT_EQ(lr.pitch, c.pitch);
        s->unlock();
    }
}

TEST(SurfaceLocking, WordReadAtTheLastPixelStaysInsideTheSurface) {
    // Colour keys are sampled as 32-bit reads at a pixel's address, also
    // on 8- and 16-bit surfaces.
    Adapter adapter;
    auto s = adapter.createSurface(SurfaceKind::Offscreen, 4, 3, PixelFormat::R5G6B5);
    s->fill(nullptr, 0xFFFFFFFFu);
    LockedRect lr;
    ASSERT_TRUE(s->lock(lr));
    uint32_t word;
    std::memcpy(&word, lr.bits + 2 * lr.pitch + 3 * 2, sizeof word);  // ASan checks the bounds
    EXPECT_EQ(word & 0xFFFF, 0xFFFFu);
    s->unlock();
}

TEST(SurfaceFormats, DescriptionsCarryTheChannelMasks) {
    const PixelFormatDesc& a4 = describeFormat(PixelFormat::A4R4G4B4);
    EXPECT_EQ(a4.bitCount, 16);
    EXPECT_EQ(a4.alphaMask, 0xF000u);
    EXPECT_EQ(a4.redMask, 0x0F00u);
    const PixelFormatDesc& a8 = describeFormat(PixelFormat::A8R8G8B8);
    EXPECT_EQ(a8.alphaMask, 0xFF000000u);
    EXPECT_EQ(a8.blueMask, 0xFFu);
    EXPECT_EQ(describeFormat(PixelFormat::R5G6B5).greenMask, 0x07E0u);
    EXPECT_TRUE(describeFormat(PixelFormat::P8).palettised);
    EXPECT_TRUE(describeFormat(PixelFormat::Z16).depth);
}

TEST(SurfaceFormats, PackingWidensNarrowChannelsToFullIntensity) {
    EXPECT_EQ(packPixel(PixelFormat::R5G6B5, 0xFFFF8000u), 0xFC00u);
    EXPECT_EQ(unpackPixel(PixelFormat::R5G6B5, 0xFFFF, nullptr), 0xFFFFFFFFu);
    EXPECT_EQ(unpackPixel(PixelFormat::R5G6B5, 0x0000, nullptr), 0xFF000000u);
    EXPECT_EQ(packPixel(PixelFormat::A4R4G4B4, 0x80FF4010u), 0x8F41u);
    EXPECT_EQ(unpackPixel(PixelFormat::A4R4G4B4, 0xF0A5, nullptr), 0xFF00AA55u);
    EXPECT_EQ(unpackPixel(PixelFormat::X8R8G8B8, 0x00123456, nullptr), 0xFF123456u);
}

TEST(SurfaceCreation, RefusesBadSizesAndFormatsForTheKind) {
    Adapter adapter;
    EXPECT_FALSE(adapter.createSurface(SurfaceKind::Offscreen, 0, 10, PixelFormat::X8R8G8B8));
    EXPECT_FALSE(adapter.createSurface(SurfaceKind::Offscreen, 10, -1, PixelFormat::X8R8G8B8));
    EXPECT_FALSE(adapter.createSurface(SurfaceKind::Offscreen, kMaxSurfaceSize + 1, 1, PixelFormat::X8R8G8B8));
    EXPECT_FALSE(adapter.createSurface(SurfaceKind::BackBuffer, 8, 8, PixelFormat::Z16));
    EXPECT_FALSE(adapter.createSurface(SurfaceKind::DepthBuffer, 8, 8, PixelFormat::R5G6B5));
    EXPECT_FALSE(adapter.createSurface(SurfaceKind::BackBuffer, 8, 8, PixelFormat::A8R8G8B8));
    EXPECT_FALSE(adapter.createSurface(SurfaceKind::Primary, 8, 8, PixelFormat::P8));
    EXPECT_TRUE(adapter.createSurface(SurfaceKind::Offscreen, kMaxSurfaceSize, 1, PixelFormat::R5G6B5));
}

TEST(SurfaceLocking, LockIsExclusiveAndTextureContentsArriveAtUnlock) {
    Adapter adapter;
    auto tex = adapter.createSurface(SurfaceKind::Texture, 2, 1, PixelFormat::A4R4G4B4);
    LockedRect lr, second;
    ASSERT_TRUE(tex->lock(lr));
    EXPECT_FALSE(tex->lock(second));
    EXPECT_FALSE(tex->fill(nullptr, 0));
    uint16_t texels[2] = {0xF00F, 0x8F00};
    std::memcpy(lr.bits, texels, sizeof texels);
    EXPECT_EQ(tex->texels()[0], 0u);
    tex->unlock();
    EXPECT_EQ(tex->texels()[0], 0xFF0000FFu);
    EXPECT_EQ(tex->texels()[1], 0x88FF0000u);
}

TEST(SurfaceFill, FillsAClippedRectangleInTheSurfaceFormat) {
    Adapter adapter;
    auto s = adapter.createSurface(SurfaceKind::Offscreen, 4, 3, PixelFormat::R5G6B5);
    Rect r{-2, 1, 2, 9};
    ASSERT_TRUE(s->fill(&r, 0xFF00FF00u));
    EXPECT_EQ(s->pixelArgb(0, 0), 0xFF000000u);
    EXPECT_EQ(s->pixelArgb(1, 1), 0xFF00FF00u);
    EXPECT_EQ(s->pixelArgb(1, 2), 0xFF00FF00u);
    EXPECT_EQ(s->pixelArgb(2, 1), 0xFF000000u);
    auto z = adapter.createSurface(SurfaceKind::DepthBuffer, 4, 3, PixelFormat::Z16);
    EXPECT_FALSE(z->fill(nullptr, 0));
    EXPECT_TRUE(z->fillDepth(nullptr, 0.5f));
    LockedRect lr;
    ASSERT_TRUE(z->lock(lr));
    EXPECT_EQ(reinterpret_cast<uint16_t*>(lr.bits)[5], 32768);
    z->unlock();
}

TEST(SurfaceBlit, SkipsSourceKeyPixelsAndClipsToBothSurfaces) {
    Adapter adapter;
    auto src = adapter.createSurface(SurfaceKind::Offscreen, 4, 4, PixelFormat::X8R8G8B8);
    auto dst = adapter.createSurface(SurfaceKind::BackBuffer, 4, 4, PixelFormat::X8R8G8B8);
    src->fill(nullptr, 0xFF0000FFu);
    Rect corner{0, 0, 1, 1};
    src->fill(&corner, 0xFFFF00FFu);
    src->setColorKey(packPixel(PixelFormat::X8R8G8B8, 0xFFFF00FFu));
    dst->fill(nullptr, 0xFF00FF00u);
    ASSERT_TRUE(dst->blit(2, 2, *src, nullptr, true));
    EXPECT_EQ(dst->pixelArgb(2, 2), 0xFF00FF00u);  // keyed out
    EXPECT_EQ(dst->pixelArgb(3, 2), 0xFF0000FFu);
    EXPECT_EQ(dst->pixelArgb(3, 3), 0xFF0000FFu);
    EXPECT_EQ(dst->pixelArgb(1, 1), 0xFF00FF00u);
    ASSERT_TRUE(dst->blit(0, 0, *src, nullptr, false));
    EXPECT_EQ(dst->pixelArgb(0, 0), 0xFFFF00FFu);
    // A source rectangle hanging off the source moves the destination along.
    Rect partial{-1, -1, 2, 2};
    dst->fill(nullptr, 0);
    ASSERT_TRUE(dst->blit(1, 1, *src, &partial, false));
    EXPECT_EQ(dst->pixelArgb(1, 1), 0xFF000000u);
    EXPECT_EQ(dst->pixelArgb(2, 2), 0xFFFF00FFu);
    EXPECT_EQ(dst->pixelArgb(3, 3), 0xFF0000FFu);
    auto other = adapter.createSurface(SurfaceKind::Offscreen, 4, 4, PixelFormat::R5G6B5);
    EXPECT_FALSE(dst->blit(0, 0, *other, nullptr, false));
    EXPECT_FALSE(dst->blit(0, 0, *dst, nullptr, false));
}

TEST(SurfaceBlit, PalettisedTexturesSampleThroughTheirPalette) {
    Adapter adapter;
    auto tex = adapter.createSurface(SurfaceKind::Texture, 2, 1, PixelFormat::P8);
    LockedRect lr;
    ASSERT_TRUE(tex->lock(lr));
    lr.bits[0] = 3;
    lr.bits[1] = 200;
    tex->unlock();
    uint32_t palette[256] = {};
    palette[3] = 0xFF112233u;
    palette[200] = 0xFFAABBCCu;
    ASSERT_TRUE(tex->setPalette(palette));
    EXPECT_EQ(tex->texels()[0], 0xFF112233u);
    EXPECT_EQ(tex->pixelArgb(1, 0), 0xFFAABBCCu);
}

TEST(LostSurfaces, LostSurfacesRefuseWorkUntilRestoredEmpty) {
    Adapter adapter;
    auto primary = adapter.createSurface(SurfaceKind::Primary, 4, 4, PixelFormat::X8R8G8B8);
    auto back = adapter.createSurface(SurfaceKind::BackBuffer, 4, 4, PixelFormat::X8R8G8B8);
    back->fill(nullptr, 0xFFFFFFFFu);
    adapter.loseSurfaces();
    EXPECT_TRUE(primary->isLost());
    EXPECT_TRUE(back->isLost());
    LockedRect lr;
    EXPECT_FALSE(back->lock(lr));
    EXPECT_FALSE(back->fill(nullptr, 0));
    EXPECT_FALSE(primary->blit(0, 0, *back, nullptr, false));
    auto later = adapter.createSurface(SurfaceKind::Offscreen, 4, 4, PixelFormat::X8R8G8B8);
    EXPECT_FALSE(later->isLost());
    ASSERT_TRUE(back->restore());
    EXPECT_FALSE(back->isLost());
    EXPECT_EQ(back->pixelArgb(1, 1), 0xFF000000u);
    EXPECT_TRUE(primary->isLost());
}

TEST(LostSurfaces, InjectedRestoreFailuresRunOut) {
    Adapter adapter;
    auto primary = adapter.createSurface(SurfaceKind::Primary, 4, 4, PixelFormat::R5G6B5);
    adapter.loseSurfaces();
    adapter.failRestores(10);
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(primary->restore());
    EXPECT_TRUE(primary->isLost());
    EXPECT_TRUE(primary->restore());
}

TEST(DeviceFaults, RefusedClassesAndInjectedCreationFailures) {
    Adapter adapter;
    auto back = adapter.createSurface(SurfaceKind::BackBuffer, 8, 8, PixelFormat::R5G6B5);
    EXPECT_STREQ(deviceClassName(DeviceClass::TnLHal), "TnLHal");
    EXPECT_STREQ(deviceClassName(DeviceClass::Rgb), "HEL");
    adapter.refuseDeviceClass(DeviceClass::TnLHal);
    adapter.refuseDeviceClass(DeviceClass::Hal);
    EXPECT_FALSE(adapter.createDevice(DeviceClass::TnLHal, *back, nullptr));
    EXPECT_FALSE(adapter.createDevice(DeviceClass::Hal, *back, nullptr));
    auto device = adapter.createDevice(DeviceClass::Mmx, *back, nullptr);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->deviceClass(), DeviceClass::Mmx);
    EXPECT_TRUE(isSoftwareClass(DeviceClass::Mmx));
    EXPECT_FALSE(isSoftwareClass(DeviceClass::Hal));
    adapter.failSurfaceCreations(1);
    EXPECT_FALSE(adapter.createSurface(SurfaceKind::DepthBuffer, 8, 8, PixelFormat::Z16));
    auto z = adapter.createSurface(SurfaceKind::DepthBuffer, 8, 8, PixelFormat::Z16);
    ASSERT_TRUE(z);
    auto wrongSize = adapter.createSurface(SurfaceKind::DepthBuffer, 4, 8, PixelFormat::Z16);
    EXPECT_FALSE(adapter.createDevice(DeviceClass::Mmx, *back, wrongSize.get()));
    auto tex = adapter.createSurface(SurfaceKind::Texture, 8, 8, PixelFormat::X8R8G8B8);
    EXPECT_FALSE(adapter.createDevice(DeviceClass::Mmx, *tex, nullptr));
}

TEST(DeviceFaults, OfferedFormatsFollowTheClassAndRefusals) {
    Adapter adapter;
    PixelFormat formats[8];
    ASSERT_EQ(adapter.depthFormats(DeviceClass::TnLHal, formats, 8), 1);
    EXPECT_EQ(formats[0], PixelFormat::Z16);
    int hw = adapter.textureFormats(DeviceClass::TnLHal, formats, 8);
    for (int i = 0; i < hw; ++i) EXPECT_NE(formats[i], PixelFormat::P8);
    ASSERT_GT(adapter.textureFormats(DeviceClass::Rgb, formats, 8), 0);
    EXPECT_EQ(formats[0], PixelFormat::P8);
    adapter.refuseFormat(PixelFormat::P8);
    adapter.refuseFormat(PixelFormat::A4R4G4B4);
    int sw = adapter.textureFormats(DeviceClass::Rgb, formats, 8);
    for (int i = 0; i < sw; ++i) {
        EXPECT_NE(formats[i], PixelFormat::P8);
        EXPECT_NE(formats[i], PixelFormat::A4R4G4B4);
    }
    EXPECT_EQ(adapter.textureFormats(DeviceClass::Rgb, formats, 2), 2);
    adapter.failFormatQueries();
    EXPECT_EQ(adapter.textureFormats(DeviceClass::Hal, formats, 8), -1);
    EXPECT_EQ(adapter.depthFormats(DeviceClass::Hal, formats, 8), -1);
    adapter.failFormatQueries(false);
    adapter.refuseFormat(PixelFormat::Z16);
    EXPECT_EQ(adapter.depthFormats(DeviceClass::Hal, formats, 8), 0);
    EXPECT_FALSE(adapter.createSurface(SurfaceKind::DepthBuffer, 8, 8, PixelFormat::Z16));
}

TEST(DeviceFaults, DisplayModesAcceptSixteenAndThirtyTwoBitsUnlessRefused) {
    Adapter adapter;
    EXPECT_TRUE(adapter.setDisplayMode(640, 480, 16));
    EXPECT_TRUE(adapter.setDisplayMode(640, 480, 32));
    EXPECT_FALSE(adapter.setDisplayMode(640, 480, 8));
    EXPECT_FALSE(adapter.setDisplayMode(640, 480, 24));
    EXPECT_FALSE(adapter.setDisplayMode(0, 480, 32));
    adapter.refuseFormat(PixelFormat::X8R8G8B8);
    EXPECT_FALSE(adapter.setDisplayMode(640, 480, 32));
    EXPECT_FALSE(adapter.createSurface(SurfaceKind::BackBuffer, 8, 8, PixelFormat::X8R8G8B8));
}

TEST(PngEncoding, EncodesPixelsThatDecodeBack) {
    Adapter adapter;
    uint32_t argb[6] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu, 0xFF000000u, 0xFF123456u};
    auto tex = makeTexture(adapter, 3, 2, PixelFormat::X8R8G8B8, argb);
    std::vector<uint8_t> png;
    ASSERT_TRUE(encodePng(*tex, png));
    ASSERT_GT(png.size(), 8u);
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size()));
    ASSERT_EQ(image.width, 3u);
    ASSERT_EQ(image.height, 2u);
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    EXPECT_EQ(rgb[0], 0xFF);
    EXPECT_EQ(rgb[1], 0x00);
    EXPECT_EQ(rgb[4], 0xFF);
    EXPECT_EQ(rgb[15], 0x12);
    EXPECT_EQ(rgb[16], 0x34);
    EXPECT_EQ(rgb[17], 0x56);
    adapter.loseSurfaces();
    EXPECT_FALSE(encodePng(*tex, png));
    EXPECT_TRUE(png.empty());
}
