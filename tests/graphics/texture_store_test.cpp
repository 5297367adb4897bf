#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "graphics/messages.h"
#include "platform/file_report.h"
#include "test_display.h"

using namespace graphics;
using namespace graphics_test;

namespace {

uint32_t gradient(int x, int y) { return uint32_t(x * 40) << 16 | uint32_t(y * 40) << 8 | uint32_t(200 - x * 10); }

// "t7.bmp" for 7.
std::string numbered(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "t%d.bmp", i);
    return name;
}

using TextureSharing = DisplayFixture;

TEST_F(TextureSharing, SameNameSharesOneSlotUntilTheLastRelease) {
    folder.write("a.bmp", makeBmp24(4, 2, gradient));
    folder.write("b.g2", makeG2(2, 2, gradient));
    auto d3d = createDisplay();
    int a = d3d->textures().findOrLoadTexture("a.bmp");
    int b = d3d->textures().findOrLoadTexture("b.g2");
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(d3d->textures().findOrLoadTexture("a.bmp"), a);
    EXPECT_EQ(d3d->textures().textureSlot(a).refCount, 2);
    EXPECT_EQ(d3d->textures().textureSlot(a).size.right, 4);
    EXPECT_EQ(d3d->textures().textureSlot(a).size.bottom, 2);
    // Names compare byte for byte, even where the file system would match.
    EXPECT_EQ(d3d->textures().findOrLoadTexture("A.bmp"), 2);

    EXPECT_EQ(d3d->textures().releaseTexture(a), 1);
    EXPECT_EQ(d3d->textures().textureSlot(a).state, 1);
    d3d->textures().bindTexture(b);
    EXPECT_EQ(d3d->device()->texture(), d3d->textures().textureSlot(b).surface.get());
    EXPECT_EQ(d3d->textures().releaseTexture(a), 0);
    EXPECT_EQ(d3d->textures().textureSlot(a).state, 0);
    EXPECT_EQ(d3d->textures().textureSlot(a).index, -1);
    EXPECT_STREQ(d3d->textures().textureSlot(a).fileName, "");
    // Freeing any slot unbinds whatever was bound.
    EXPECT_EQ(d3d->textures().boundTexture(), -1);
    EXPECT_EQ(d3d->device()->texture(), nullptr);
    // The lowest free slot is reused.
    EXPECT_EQ(d3d->textures().findOrLoadTexture("b.g2"), b);
    EXPECT_EQ(d3d->textures().findOrLoadTexture("a.bmp"), 0);
}

TEST_F(TextureSharing, FullStoreAndUnreadableFilesReturnMinusOne) {
    for (int i = 0; i < kTextureSlots; ++i)
        folder.write(numbered(i), makeBmp24(1, 1, gradient));
    auto d3d = createDisplay();
    EXPECT_EQ(d3d->textures().findOrLoadTexture("missing.bmp"), -1);
    EXPECT_EQ(d3d->textures().textureSlot(0).state, 0);
    for (int i = 0; i < kTextureSlots; ++i)
        ASSERT_EQ(d3d->textures().findOrLoadTexture(numbered(i).c_str()), i);
    folder.write("extra.bmp", makeBmp24(1, 1, gradient));
    EXPECT_EQ(d3d->textures().findOrLoadTexture("extra.bmp"), -1);
    EXPECT_EQ(d3d->textures().findOrLoadTexture("t7.bmp"), 7);  // a match needs no free slot
    EXPECT_EQ(d3d->textures().findOrLoadTexture(std::string(300, 'x').c_str()), -1);
}

TEST_F(TextureSharing, FolderPrefixAndMaterialMatching) {
    folder.write("Model\\skin.bmp", makeBmp24(2, 2, gradient));
    folder.write("Other\\skin.bmp", makeBmp24(3, 3, gradient));
    auto d3d = createDisplay();
    d3d->textures().setTextureFolder("Model\\");
    int index = -1;
    ASSERT_TRUE(d3d->textures().findOrLoadMaterialTexture("skin.bmp", index));
    EXPECT_EQ(index, 0);
    EXPECT_STREQ(d3d->textures().textureSlot(0).folder, "Model\\");
    int none = 5;
    EXPECT_TRUE(d3d->textures().findOrLoadMaterialTexture("", none));
    EXPECT_EQ(none, 5);
    // Another folder: the material form misses, then the name alone matches.
    d3d->textures().setTextureFolder("Other\\");
    int other = -1;
    ASSERT_TRUE(d3d->textures().findOrLoadMaterialTexture("skin.bmp", other));
    EXPECT_EQ(other, 0);
    EXPECT_EQ(d3d->textures().textureSlot(0).refCount, 2);
}

using AlphaCompanions = DisplayFixture;

TEST_F(AlphaCompanions, AlphaComesFromTheCompanionImage) {
    folder.write("tree.bmp", makeBmp24(4, 2, gradient));
    folder.write("tree_a.bmp", makeBmp24(4, 2, [](int x, int y) { return uint32_t(x * 60 + y); }));
    folder.write("plain.bmp", makeBmp24(4, 2, gradient));
    folder.write("big.bmp", makeBmp24(4, 4, gradient));
    folder.write("big_a.bmp", makeBmp24(2, 2, [](int, int) { return 0x000010u; }));
    auto d3d = createDisplay(32);

    int tree = d3d->textures().findOrLoadTexture("tree.bmp");
    const render::Surface* s = d3d->textures().textureSlot(tree).surface.get();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->format(), render::PixelFormat::A8R8G8B8);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(s->pixelArgb(x, y), uint32_t(x * 60 + y) << 24 | gradient(x, y));

    int plain = d3d->textures().findOrLoadTexture("plain.bmp");
    EXPECT_EQ(d3d->textures().textureSlot(plain).surface->pixelArgb(2, 1), 0xFF000000u | gradient(2, 1));

    // A smaller companion covers the bottom-left texels; the rest stay opaque.
    int big = d3d->textures().findOrLoadTexture("big.bmp");
    const render::Surface* b = d3d->textures().textureSlot(big).surface.get();
    EXPECT_EQ(b->pixelArgb(1, 3) >> 24, 0x10u);
    EXPECT_EQ(b->pixelArgb(1, 1) >> 24, 0xFFu);
    EXPECT_EQ(b->pixelArgb(3, 3) >> 24, 0xFFu);
}

TEST_F(AlphaCompanions, EightBitCompanionsAndSixteenBitTexels) {
    auto index = [](int x, int) { return uint8_t(x); };
    auto palette = [](int i) { return uint32_t(i * 0x40) << 16 | 0x00FF00u; };
    // Raw images under .bmp names: the loader goes by the magic.
    folder.write("p.bmp", makeG8(4, 1, index, palette));
    folder.write("p_a.bmp", makeG8(4, 1, [](int x, int) { return uint8_t(3 - x); }, palette));
    folder.write("c.bmp", makeBmp24(2, 1, [](int, int) { return 0xF0A050u; }));
    auto d3d = createDisplay(16);
    int p = d3d->textures().findOrLoadTexture("p.bmp");
    const render::Surface* s = d3d->textures().textureSlot(p).surface.get();
    ASSERT_EQ(s->format(), render::PixelFormat::A4R4G4B4);
    render::LockedRect locked;
    render::Surface* writable = const_cast<render::Surface*>(s);
    ASSERT_TRUE(writable->lock(locked));
    auto texel = [&](int x) { return uint16_t(locked.bits[x * 2] | locked.bits[x * 2 + 1] << 8); };
    // Alpha from the red of the companion's entry 3 - x, colour from entry x.
    EXPECT_EQ(texel(0), uint16_t((0xC0 >> 4) << 12 | (0x00 >> 4) << 8 | 0xF << 4 | 0));
    EXPECT_EQ(texel(3), uint16_t(0 << 12 | (0xC0 >> 4) << 8 | 0xF << 4 | 0));
    writable->unlock();

    int c = d3d->textures().findOrLoadTexture("c.bmp");
    EXPECT_EQ(d3d->textures().textureSlot(c).surface->pixelArgb(1, 0), 0xFFFFAA55u);  // 4-bit channels widened
}

TEST_F(AlphaCompanions, SoftwareDevicesGetPalettisedTextures) {
    auto index = [](int x, int y) { return uint8_t(x + 4 * y); };
    auto palette = [](int i) { return uint32_t(i) << 16 | uint32_t(i * 2) << 8 | 7u; };
    folder.write("p.gp", makeG8(4, 2, index, palette));
    folder.write("t.bmp", makeBmp24(2, 1, [](int x, int) { return x ? 0xFFFFFFu : 0x000000u; }));
    auto d3d = makeDisplay(16);
    d3d->adapter().refuseDeviceClass(render::DeviceClass::TnLHal);
    d3d->adapter().refuseDeviceClass(render::DeviceClass::Hal);
    ASSERT_TRUE(d3d->createDisplay());
    d3d->textures().setTextureFolder("");
    int p = d3d->textures().findOrLoadTexture("p.gp");
    const render::Surface* s = d3d->textures().textureSlot(p).surface.get();
    ASSERT_EQ(s->format(), render::PixelFormat::P8);
    EXPECT_EQ(s->pixelArgb(1, 0), 0xFF000000u | palette(1));
    EXPECT_EQ(s->pixelArgb(2, 1), 0xFF000000u | palette(6));
    EXPECT_EQ(d3d->palette()[9], 0x01000000u | palette(9));
    // 24-bit images map onto the grey ramp of the missing palette file.
    int t = d3d->textures().findOrLoadTexture("t.bmp");
    EXPECT_EQ(d3d->textures().textureSlot(t).surface->pixelArgb(0, 0), 0xFF000000u);
    EXPECT_EQ(d3d->textures().textureSlot(t).surface->pixelArgb(1, 0), 0xFFFFFFFFu);
}

using FillTextureLight = DisplayFixture;

TEST_F(FillTextureLight, VerticesGetTheLightRamp) {
    folder.write("fill.bmp", makeBmp24(4, 4, [](int, int y) { return uint32_t(y * 60) * 0x010101u; }));
    auto d3d = createDisplay();
    graphics::Lighting light;
    light.fillTexture = d3d->textures().findOrLoadTexture("fill.bmp");
    light.position = {0.0f, 0.0f, 0.0f};
    light.color[0] = 0.5f;

    render::LVertex v[3];
    v[1].x = 5.0f;  // half the range away, along the normal
    v[2].x = -5.0f; // behind its normal
    render::Vec3 normals[3] = {{0, 0, 1}, {-1, 0, 0}, {-1, 0, 0}};
    MeshView mesh{3, v, normals};
    ASSERT_TRUE(d3d->beginScene());
    d3d->drawMesh(light.fillTexture, mesh, nullptr, light);
    d3d->endScene();
    // At the light itself the direction is undefined: s = 0, ambient only.
    EXPECT_FLOAT_EQ(v[0].tv, 1.0f - 0.25f);
    EXPECT_FLOAT_EQ(v[0].tu, 0.5f);
    EXPECT_FLOAT_EQ(v[1].tv, 1.0f - (0.5f * 0.75f + 0.25f));
    EXPECT_FLOAT_EQ(v[2].tv, 0.75f);
    EXPECT_EQ(v[0].diffuse, 0xFF7FFFFFu);
    // The blend states are back to normal blending afterwards.
    render::Device& d = *d3d->device();
    EXPECT_EQ(d.renderState(render::RenderState::SrcBlend), uint32_t(render::Blend::SrcAlpha));
    EXPECT_EQ(d.stageState(render::StageState::Address), uint32_t(render::TextureAddress::Wrap));

    // A world matrix moves the vertices before lighting.
    render::LVertex w[3];
    MeshView moved{3, w, normals};
    render::Matrix shift = render::translationMatrix(-5.0f, 0.0f, 0.0f);
    normals[0] = {1, 0, 0};
    ASSERT_TRUE(d3d->beginScene());
    d3d->drawMesh(light.fillTexture, moved, &shift, light);
    d3d->endScene();
    EXPECT_FLOAT_EQ(w[0].tv, 1.0f - (0.5f * 0.75f + 0.25f));

    // Untextured meshes are no light pass, even before the fill texture exists.
    light.fillTexture = -1;
    render::LVertex u[3];
    u[0].tv = 9.0f;
    MeshView plain{3, u, normals};
    ASSERT_TRUE(d3d->beginScene());
    d3d->drawMesh(-1, plain, nullptr, light);
    d3d->endScene();
    EXPECT_EQ(u[0].tv, 9.0f);
}

}  // namespace

namespace {

// The store needs no display: an adapter and the device's formats make
// its textures, and without a device nothing stays bound.
TEST(TextureStoreWithoutDisplay, LoadsSharesAndReleasesOnAnAdapterAlone) {
    ScratchFolder folder;
    folder.write("Model\\skin.bmp", makeBmp24(4, 2, gradient));
    render::Adapter adapter;
    TextureStore store(adapter);
    store.setFormats(render::PixelFormat::A8R8G8B8, render::PixelFormat::Unknown, false);
    store.setTextureFolder("Model\\");
    int index = -1;
    ASSERT_TRUE(store.findOrLoadMaterialTexture("skin.bmp", index));
    EXPECT_EQ(index, 0);
    EXPECT_EQ(store.textureSlot(0).surface->pixelArgb(1, 0), 0xFF000000u | gradient(1, 0));
    int again = -1;
    ASSERT_TRUE(store.findOrLoadMaterialTexture("skin.bmp", again));
    EXPECT_EQ(store.textureSlot(0).refCount, 2);
    store.bindTexture(0);
    EXPECT_EQ(store.boundTexture(), -1);
    EXPECT_EQ(store.releaseTexture(0), 1);
    EXPECT_EQ(store.releaseTexture(0), 0);
    EXPECT_EQ(store.textureSlot(0).state, 0);
}

TEST(TextureStoreWithoutDisplay, RefusedSurfaceIsReportedAndLoadsNothing) {
    ScratchFolder folder;
    folder.write("a.bmp", makeBmp24(2, 2, gradient));
    render::Adapter adapter;
    TextureStore store(adapter);
    int reports = 0;
    bool sawInvalidFormat = false;
    struct Seen {
        int* reports;
        bool* invalid;
    } seen{&reports, &sawInvalidFormat};
    store.setSurfaceFailureHandler(
        [](void* context, bool invalidFormat) {
            auto* s = static_cast<Seen*>(context);
            ++*s->reports;
            *s->invalid = invalidFormat;
        },
        &seen);
    store.setTextureFolder("");
    // No formats given yet: the surface cannot be made.
    EXPECT_EQ(store.findOrLoadTexture("a.bmp"), -1);
    EXPECT_EQ(reports, 1);
    EXPECT_TRUE(sawInvalidFormat);
    EXPECT_EQ(store.textureSlot(0).state, 0);
}

// An image header can claim any size a bitmap allows; a texture is held to
// the device's largest size and the store's budget, refused like an
// unreadable image, and what is released makes room again.
TEST(TextureStoreLimits, SizeAndTotalMemoryAreBounded) {
    ScratchFolder folder;
    auto grey = [](int i) { return uint32_t(i) * 0x010101u; };
    folder.write("wide.bmp", makeBmp8(kMaxTextureSize + 1, 1, grey, [](int, int) { return uint8_t(0); }));
    folder.write("high.bmp", makeBmp8(1, kMaxTextureSize + 1, grey, [](int, int) { return uint8_t(0); }));
    folder.write("edge.bmp", makeBmp8(kMaxTextureSize, 1, grey, [](int, int) { return uint8_t(0); }));
    folder.write("a.bmp", makeBmp24(4, 4, gradient));
    folder.write("b.bmp", makeBmp24(4, 4, gradient));
    render::Adapter adapter;
    TextureStore store(adapter);
    store.setFormats(render::PixelFormat::A8R8G8B8, render::PixelFormat::Unknown, false);
    store.setTextureFolder("");
    platform::clearFileReports();
    testing::internal::CaptureStderr();
    EXPECT_EQ(store.findOrLoadTexture("wide.bmp"), -1);
    EXPECT_EQ(store.findOrLoadTexture("wide.bmp"), -1);
    EXPECT_EQ(store.findOrLoadTexture("high.bmp"), -1);
    // Each refusal is said once, with the limit.
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "tesserae: the image 'wide.bmp' is larger than 4096 x 4096, the largest texture\n"
              "tesserae: the image 'high.bmp' is larger than 4096 x 4096, the largest texture\n");
    EXPECT_EQ(store.textureSlot(0).state, 0);
    EXPECT_EQ(store.findOrLoadTexture("edge.bmp"), 0);
    EXPECT_EQ(store.memoryInUse(), size_t(kMaxTextureSize) * 4);
    EXPECT_EQ(store.releaseTexture(0), 0);
    EXPECT_EQ(store.memoryInUse(), 0u);

    store.setMemoryBudget(4 * 4 * 4);  // one 4 x 4 texture
    EXPECT_EQ(store.findOrLoadTexture("a.bmp"), 0);
    EXPECT_EQ(store.findOrLoadTexture("b.bmp"), -1);
    EXPECT_EQ(store.releaseTexture(0), 0);
    EXPECT_EQ(store.findOrLoadTexture("b.bmp"), 0);
}

}  // namespace
