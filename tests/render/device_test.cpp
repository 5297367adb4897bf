// tests/render/device_test.cpp: rasteriser rules checked pixel by pixel.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "golden.h"

using namespace render;
using render_test::makeChecker;
using render_test::makeTexture;
using render_test::Scene;

namespace {

TLVertex tl(float x, float y, uint32_t colour, float u = 0, float v = 0, float z = 0.5f) {
    TLVertex t;
    t.sx = x;
    t.sy = y;
    t.sz = z;
    t.rhw = 1.0f;
    t.color = colour;
    t.tu = u;
    t.tv = v;
    return t;
}

// Fan of a screen rectangle, clockwise on screen.
void drawRect(Device& d, float x0, float y0, float x1, float y1, uint32_t colour, float z = 0.5f) {
    TLVertex q[4] = {tl(x0, y0, colour, 0, 0, z), tl(x1, y0, colour, 1, 0, z), tl(x1, y1, colour, 1, 1, z),
                     tl(x0, y1, colour, 0, 1, z)};
    d.drawPrimitive(Primitive::TriangleFan, q, 4);
}

int countPixels(const Surface& s, uint32_t argb) {
    int n = 0;
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x) n += s.pixelArgb(x, y) == argb;
    return n;
}

void setAdditive(Device& d) {
    d.setRenderState(RenderState::AlphaBlendEnable, 1u);
    d.setRenderState(RenderState::SrcBlend, Blend::One);
    d.setRenderState(RenderState::DestBlend, Blend::One);
}

}  // namespace

TEST(FillRule, RectangleWithIntegerCornersCoversExactlyItsPixels) {
    Scene s(32, 32);
    s.device->setRenderState(RenderState::ZEnable, 0u);
    drawRect(*s.device, 10, 10, 20, 15, 0xFFFFFFFFu);
    EXPECT_EQ(countPixels(*s.target, 0xFFFFFFFFu), 50);
    EXPECT_EQ(s.target->pixelArgb(10, 10), 0xFFFFFFFFu);
    EXPECT_EQ(s.target->pixelArgb(19, 14), 0xFFFFFFFFu);
    EXPECT_EQ(s.target->pixelArgb(20, 14), 0xFF000000u);
    EXPECT_EQ(s.target->pixelArgb(19, 15), 0xFF000000u);
    EXPECT_EQ(s.target->pixelArgb(9, 10), 0xFF000000u);
}

TEST(FillRule, SharedEdgesAreDrawnExactlyOnce) {
    Scene s(48, 48);
    s.device->setRenderState(RenderState::ZEnable, 0u);
    s.device->setRenderState(RenderState::CullMode, Cull::None);
    setAdditive(*s.device);
    // A fan of twelve slices with a subpixel centre and odd angles: every
    // covered pixel gets exactly one slice's colour.
    std::vector<TLVertex> fan;
    fan.push_back(tl(23.3f, 24.7f, 0xFF404040u));
    for (int i = 0; i <= 12; ++i) {
        float a = 0.37f + static_cast<float>(i) * 6.2831853f / 12.0f;
        fan.push_back(tl(23.3f + 19.0f * std::cos(a), 24.7f + 17.5f * std::sin(a), 0xFF404040u));
    }
    fan.back() = fan[1];
    s.device->drawPrimitive(Primitive::TriangleFan, fan.data(), static_cast<int>(fan.size()));
    int covered = 0;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 48; ++x) {
            uint32_t p = s.target->pixelArgb(x, y);
            ASSERT_TRUE(p == 0xFF000000u || p == 0xFF404040u) << x << "," << y << " " << std::hex << p;
            covered += p == 0xFF404040u;
        }
    }
    EXPECT_GT(covered, 900);
}

TEST(Culling, DefaultCullsCounterClockwiseAndModesSwitch) {
    Scene s(16, 16);
    s.device->setRenderState(RenderState::ZEnable, 0u);
    TLVertex cw[3] = {tl(2, 2, 0xFFFF0000u), tl(14, 2, 0xFFFF0000u), tl(2, 14, 0xFFFF0000u)};
    TLVertex ccw[3] = {cw[0], cw[2], cw[1]};
    s.device->drawPrimitive(Primitive::TriangleList, ccw, 3);
    EXPECT_EQ(countPixels(*s.target, 0xFFFF0000u), 0);
    EXPECT_EQ(s.device->stats().culled, 1);
    s.device->drawPrimitive(Primitive::TriangleList, cw, 3);
    int area = countPixels(*s.target, 0xFFFF0000u);
    EXPECT_GT(area, 60);
    s.device->clear(kClearTarget, 0, 1);
    ASSERT_TRUE(s.device->setRenderState(RenderState::CullMode, Cull::CW));
    s.device->drawPrimitive(Primitive::TriangleList, cw, 3);
    EXPECT_EQ(countPixels(*s.target, 0xFFFF0000u), 0);
    s.device->drawPrimitive(Primitive::TriangleList, ccw, 3);
    EXPECT_EQ(countPixels(*s.target, 0xFFFF0000u), area);
}

TEST(DepthTest, LessOrEqualPassesEqualDepthAndZWriteCanBeOff) {
    Scene s(16, 16);
    drawRect(*s.device, 0, 0, 16, 16, 0xFF0000FFu, 0.5f);
    drawRect(*s.device, 0, 0, 8, 16, 0xFF00FF00u, 0.5f);   // equal: passes
    drawRect(*s.device, 0, 0, 16, 8, 0xFFFF0000u, 0.75f);  // behind: fails
    EXPECT_EQ(s.target->pixelArgb(2, 2), 0xFF00FF00u);
    EXPECT_EQ(s.target->pixelArgb(12, 2), 0xFF0000FFu);
    s.device->setRenderState(RenderState::ZWriteEnable, 0u);
    drawRect(*s.device, 0, 0, 16, 16, 0xFFFFFFFFu, 0.25f);
    s.device->setRenderState(RenderState::ZWriteEnable, 1u);
    drawRect(*s.device, 0, 0, 16, 16, 0xFF808080u, 0.4f);  // still in front of 0.5
    EXPECT_EQ(s.target->pixelArgb(5, 5), 0xFF808080u);
    s.device->setRenderState(RenderState::ZEnable, 0u);
    drawRect(*s.device, 0, 0, 4, 4, 0xFFFF0000u, 0.9f);
    EXPECT_EQ(s.target->pixelArgb(1, 1), 0xFFFF0000u);
}

TEST(TextureSampling, OneTexelPerPixelReproducesOddSizedTexturesExactly) {
    for (int w : {3, 5, 7, 16}) {
        Scene s(24, 24);
        s.device->setRenderState(RenderState::ZEnable, 0u);
        std::vector<uint32_t> texels(static_cast<size_t>(w) * 3);
        for (size_t i = 0; i < texels.size(); ++i) texels[i] = 0xFF000000u | static_cast<uint32_t>(i * 0x0A0B0C + 0x10);
        auto tex = makeTexture(s.adapter, w, 3, PixelFormat::A8R8G8B8, texels.data());
        s.device->setTexture(0, tex.get());
        drawRect(*s.device, 4, 5, static_cast<float>(4 + w), 8, 0xFFFFFFFFu);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(s.target->pixelArgb(4 + x, 5 + y), texels[y * w + x]) << "w " << w << " at " << x << "," << y;
    }
}

TEST(TextureSampling, WrapRepeatsAndClampHoldsTheEdgeTexel) {
    Scene s(16, 8);
    s.device->setRenderState(RenderState::ZEnable, 0u);
    uint32_t texels[2] = {0xFFFF0000u, 0xFF0000FFu};
    auto tex = makeTexture(s.adapter, 2, 1, PixelFormat::A8R8G8B8, texels);
    s.device->setTexture(0, tex.get());
    TLVertex q[4] = {tl(0, 0, 0xFFFFFFFFu, 0, 0), tl(8, 0, 0xFFFFFFFFu, 4, 0), tl(8, 4, 0xFFFFFFFFu, 4, 1),
                     tl(0, 4, 0xFFFFFFFFu, 0, 1)};
    s.device->drawPrimitive(Primitive::TriangleFan, q, 4);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(s.target->pixelArgb(x, 1), texels[x & 1]) << x;
    s.device->setStageState(0, StageState::Address, TextureAddress::Clamp);
    for (TLVertex& v : q) v.sy += 4;
    s.device->drawPrimitive(Primitive::TriangleFan, q, 4);
    EXPECT_EQ(s.target->pixelArgb(0, 5), texels[0]);
    EXPECT_EQ(s.target->pixelArgb(1, 5), texels[1]);
    for (int x = 2; x < 8; ++x) EXPECT_EQ(s.target->pixelArgb(x, 5), texels[1]) << x;
}

TEST(TextureStage, ModulatesTextureByDiffuseAndSelectsArguments) {
    Scene s(8, 8);
    s.device->setRenderState(RenderState::ZEnable, 0u);
    uint32_t texel = 0xFF80FF40u;
    auto tex = makeTexture(s.adapter, 1, 1, PixelFormat::A8R8G8B8, &texel);
    s.device->setTexture(0, tex.get());
    drawRect(*s.device, 0, 0, 2, 2, 0xFF8080FFu);
    EXPECT_EQ(s.target->pixelArgb(0, 0), 0xFF408040u);
    s.device->setStageState(0, StageState::ColorOp, TextureOp::SelectArg2);
    drawRect(*s.device, 2, 0, 4, 2, 0xFF8080FFu);
    EXPECT_EQ(s.target->pixelArgb(2, 0), 0xFF8080FFu);
    s.device->setStageState(0, StageState::ColorOp, TextureOp::SelectArg1);
    drawRect(*s.device, 4, 0, 6, 2, 0xFF8080FFu);
    EXPECT_EQ(s.target->pixelArgb(4, 0), 0xFF80FF40u);
    // Without a texture the stage passes the diffuse colour through.
    s.device->setStageState(0, StageState::ColorOp, TextureOp::Modulate);
    s.device->setTexture(0, nullptr);
    drawRect(*s.device, 6, 0, 8, 2, 0xFF8080FFu);
    EXPECT_EQ(s.target->pixelArgb(6, 0), 0xFF8080FFu);
}

TEST(AlphaTest, TransparentTexelsDrawNothingAndWriteNoDepth) {
    Scene s(8, 8);
    s.device->setRenderState(RenderState::AlphaTestEnable, 1u);
    s.device->setRenderState(RenderState::AlphaFunc, Compare::Greater);
    s.device->setStageState(0, StageState::AlphaOp, TextureOp::Modulate);
    uint32_t texels[2] = {0x00FF0000u, 0x01FF0000u};
    auto tex = makeTexture(s.adapter, 2, 1, PixelFormat::A8R8G8B8, texels);
    s.device->setTexture(0, tex.get());
    drawRect(*s.device, 0, 0, 2, 1, 0xFFFFFFFFu, 0.1f);
    EXPECT_EQ(s.target->pixelArgb(0, 0), 0xFF000000u);
    EXPECT_EQ(s.target->pixelArgb(1, 0), 0xFFFF0000u);
    s.device->setTexture(0, nullptr);
    drawRect(*s.device, 0, 0, 2, 1, 0xFF00FF00u, 0.5f);
    EXPECT_EQ(s.target->pixelArgb(0, 0), 0xFF00FF00u);  // no depth was written there
    EXPECT_EQ(s.target->pixelArgb(1, 0), 0xFFFF0000u);
    // Diffuse alpha 0 fails too, so untextured fully transparent boards vanish.
    drawRect(*s.device, 0, 2, 2, 3, 0x00FFFFFFu, 0.0f);
    EXPECT_EQ(s.target->pixelArgb(0, 2), 0xFF000000u);
}

TEST(Blending, FactorsCombineAsTheStatesSay) {
    Scene s(8, 8);
    s.device->setRenderState(RenderState::ZEnable, 0u);
    Device& d = *s.device;
    drawRect(d, 0, 0, 8, 8, 0xFF808080u);
    d.setRenderState(RenderState::AlphaBlendEnable, 1u);
    d.setRenderState(RenderState::SrcBlend, Blend::SrcAlpha);
    d.setRenderState(RenderState::DestBlend, Blend::InvSrcAlpha);
    drawRect(d, 0, 0, 2, 2, 0x80FFFFFFu);
    EXPECT_EQ(s.target->pixelArgb(0, 0), 0xFFC0C0C0u);
    d.setRenderState(RenderState::DestBlend, Blend::One);
    drawRect(d, 2, 0, 4, 2, 0xFFFF4000u);  // additive saturates
    EXPECT_EQ(s.target->pixelArgb(2, 0), 0xFFFFC080u);
    d.setRenderState(RenderState::SrcBlend, Blend::Zero);
    d.setRenderState(RenderState::DestBlend, Blend::SrcColor);
    drawRect(d, 4, 0, 6, 2, 0xFF80FF00u);  // multiply
    EXPECT_EQ(s.target->pixelArgb(4, 0), 0xFF408000u);
    d.setRenderState(RenderState::SrcBlend, Blend::One);
    d.setRenderState(RenderState::DestBlend, Blend::One);  // generic loop
    drawRect(d, 6, 0, 8, 2, 0xFF102030u);
    EXPECT_EQ(s.target->pixelArgb(6, 0), 0xFF90A0B0u);
    d.setRenderState(RenderState::SrcBlend, Blend::InvSrcAlpha);
    d.setRenderState(RenderState::DestBlend, Blend::SrcAlpha);
    drawRect(d, 0, 4, 2, 6, 0x40FFFFFFu);  // 0xFF*0xBF/255 + 0x80*0x40/255
    EXPECT_EQ(s.target->pixelArgb(0, 4), 0xFFDFDFDFu);
}

TEST(RenderStates, RefusesWhatTheDeviceDoesNotDo) {
    Scene s(8, 8);
    Device& d = *s.device;
    EXPECT_FALSE(d.setRenderState(RenderState::Lighting, 1u));
    EXPECT_TRUE(d.setRenderState(RenderState::Lighting, 0u));
    EXPECT_FALSE(d.setRenderState(RenderState::ZFunc, Compare::Less));
    EXPECT_FALSE(d.setRenderState(RenderState::AlphaFunc, Compare::Less));
    EXPECT_FALSE(d.setRenderState(RenderState::SrcBlend, 0u));
    EXPECT_FALSE(d.setRenderState(RenderState::CullMode, 4u));
    EXPECT_FALSE(d.setRenderState(RenderState::FogEnable, 1u));
    EXPECT_FALSE(d.setRenderState(RenderState::AlphaRef, 256u));
    EXPECT_EQ(d.renderState(RenderState::CullMode), static_cast<uint32_t>(Cull::CCW));
    EXPECT_TRUE(d.setRenderState(RenderState::FogStart, floatBits(20.0f)));
    EXPECT_EQ(d.renderState(RenderState::FogStart), floatBits(20.0f));
    EXPECT_FALSE(d.setStageState(1, StageState::ColorOp, TextureOp::Modulate));
    EXPECT_FALSE(d.setStageState(0, StageState::MagFilter, 2u));
    EXPECT_FALSE(d.setStageState(0, StageState::Address, 2u));
    auto offscreen = s.adapter.createSurface(SurfaceKind::Offscreen, 4, 4, PixelFormat::X8R8G8B8);
    EXPECT_FALSE(d.setTexture(0, offscreen.get()));
    Viewport v{4, 4, 8, 4, 0, 1};
    EXPECT_FALSE(d.setViewport(v));
    v.width = 4;
    EXPECT_TRUE(d.setViewport(v));
}

TEST(DrawFaults, LostOrLockedSurfacesRefuseDrawingAndBadVerticesAreHarmless) {
    Scene s(8, 8);
    TLVertex q[3] = {tl(0, 0, 0xFFFFFFFFu), tl(8, 0, 0xFFFFFFFFu), tl(0, 8, 0xFFFFFFFFu)};
    LockedRect lr;
    ASSERT_TRUE(s.target->lock(lr));
    EXPECT_FALSE(s.device->drawPrimitive(Primitive::TriangleList, q, 3));
    s.target->unlock();
    EXPECT_FALSE(s.device->drawPrimitive(Primitive::TriangleList, q, 2));
    s.device->endScene();
    EXPECT_FALSE(s.device->drawPrimitive(Primitive::TriangleList, q, 3));
    s.device->beginScene();
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    TLVertex bad[6] = {tl(nan, 0, 1), tl(8, 0, 1), tl(0, 8, 1), tl(0, 0, 1, nan, inf, nan), tl(1e30f, 0, 1),
                       tl(0, 8, 1)};
    EXPECT_TRUE(s.device->drawPrimitive(Primitive::TriangleList, bad, 6));
    LVertex lbad[3];
    lbad[0].x = nan;
    lbad[1].x = inf;
    lbad[2].y = 1;
    EXPECT_TRUE(s.device->drawPrimitive(Primitive::TriangleList, lbad, 3));
    s.adapter.loseSurfaces();
    EXPECT_FALSE(s.device->drawPrimitive(Primitive::TriangleList, q, 3));
    EXPECT_FALSE(s.device->clear(kClearTarget, 0, 1));
}

TEST(Clipping, TrianglesBehindTheEyeAreRejectedAndCrossingOnesClipped) {
    Scene s(32, 32);
    Matrix proj;
    ASSERT_TRUE(buildPerspective(proj, 1.0f, 1.0f, 1.0f, 100.0f));
    s.device->setTransform(Transform::Projection, proj);
    s.device->setRenderState(RenderState::CullMode, Cull::None);
    LVertex behind[3];
    behind[0] = {-1, -1, -5, 0, 0xFFFFFFFFu, 0, 0, 0};
    behind[1] = {1, -1, -5, 0, 0xFFFFFFFFu, 0, 0, 0};
    behind[2] = {0, 1, -5, 0, 0xFFFFFFFFu, 0, 0, 0};
    s.device->drawPrimitive(Primitive::TriangleList, behind, 3);
    EXPECT_EQ(s.device->stats().rejected, 1);
    EXPECT_EQ(countPixels(*s.target, 0xFFFFFFFFu), 0);
    // A floor reaching from behind the eye into the distance.
    LVertex floor[3];
    floor[0] = {-5, -1, -10, 0, 0xFFFFFFFFu, 0, 0, 0};
    floor[1] = {5, -1, -10, 0, 0xFFFFFFFFu, 0, 0, 0};
    floor[2] = {0, -1, 50, 0, 0xFFFFFFFFu, 0, 0, 0};
    s.device->drawPrimitive(Primitive::TriangleList, floor, 3);
    EXPECT_EQ(s.device->stats().clipped, 1);
    EXPECT_GT(countPixels(*s.target, 0xFFFFFFFFu), 50);
    EXPECT_EQ(s.target->pixelArgb(16, 2), 0xFF000000u);   // above the horizon
    EXPECT_EQ(s.target->pixelArgb(16, 31), 0xFFFFFFFFu);  // at the viewer's feet
}

TEST(FillRule, JitteredMeshesOfSmallAndLargeTrianglesCoverEachPixelOnce) {
    // Cells of 5 and 40 pixels exercise both scan conversion paths.
    for (float cell : {5.0f, 40.0f}) {
        Scene s(96, 96);
        s.device->setRenderState(RenderState::ZEnable, 0u);
        s.device->setRenderState(RenderState::CullMode, Cull::None);
        setAdditive(*s.device);
        const int n = static_cast<int>(160.0f / cell) + 1;
        std::vector<TLVertex> grid;
        uint32_t seed = 12345;
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < n; ++i) {
                seed = seed * 1664525u + 1013904223u;
                float jx = (static_cast<float>(seed >> 8 & 0xFF) / 255.0f - 0.5f) * cell * 0.6f;
                float jy = (static_cast<float>(seed >> 16 & 0xFF) / 255.0f - 0.5f) * cell * 0.6f;
                grid.push_back(tl(-32.0f + static_cast<float>(i) * cell + jx, -32.0f + static_cast<float>(j) * cell + jy,
                                  0xFF404040u));
            }
        }
        std::vector<TLVertex> list;
        for (int j = 0; j + 1 < n; ++j) {
            for (int i = 0; i + 1 < n; ++i) {
                const TLVertex& a = grid[j * n + i];
                const TLVertex& b = grid[j * n + i + 1];
                const TLVertex& c = grid[(j + 1) * n + i + 1];
                const TLVertex& d = grid[(j + 1) * n + i];
                for (const TLVertex& v : {a, b, c, a, c, d}) list.push_back(v);
            }
        }
        s.device->drawPrimitive(Primitive::TriangleList, list.data(), static_cast<int>(list.size()));
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 96; ++x)
                ASSERT_EQ(s.target->pixelArgb(x, y), 0xFF404040u) << "cell " << cell << " at " << x << "," << y;
    }
}

TEST(Clipping, TransformedTrianglesReachingFarOffScreenAreClippedNotDropped) {
    Scene s(32, 32);
    s.device->setRenderState(RenderState::ZEnable, 0u);
    uint32_t texels[2] = {0xFFFF0000u, 0xFF0000FFu};
    auto tex = makeTexture(s.adapter, 2, 1, PixelFormat::A8R8G8B8, texels);
    s.device->setTexture(0, tex.get());
    // 200,032 pixels wide with u = x / 32: texel 1 starts at x = 16.
    TLVertex wide[4] = {tl(-100000, 0, 0xFFFFFFFFu, -3125, 0), tl(100032, 0, 0xFFFFFFFFu, 3126, 0),
                        tl(100032, 32, 0xFFFFFFFFu, 3126, 1), tl(-100000, 32, 0xFFFFFFFFu, -3125, 1)};
    ASSERT_TRUE(s.device->drawPrimitive(Primitive::TriangleFan, wide, 4));
    EXPECT_EQ(s.device->stats().rejected, 0);
    for (int y : {0, 31}) {
        EXPECT_EQ(s.target->pixelArgb(0, y), 0xFFFF0000u);
        EXPECT_EQ(s.target->pixelArgb(15, y), 0xFFFF0000u);
        EXPECT_EQ(s.target->pixelArgb(16, y), 0xFF0000FFu);
        EXPECT_EQ(s.target->pixelArgb(31, y), 0xFF0000FFu);
    }
}

TEST(Viewport, ClearAndDrawingStayInsideTheViewport) {
    Scene s(16, 16);
    Viewport v{4, 2, 8, 6, 0.0f, 1.0f};
    ASSERT_TRUE(s.device->setViewport(v));
    s.device->clear(kClearTarget, 0xFF0000FFu, 1.0f);
    EXPECT_EQ(s.target->pixelArgb(3, 2), 0xFF000000u);
    EXPECT_EQ(s.target->pixelArgb(4, 2), 0xFF0000FFu);
    EXPECT_EQ(s.target->pixelArgb(11, 7), 0xFF0000FFu);
    EXPECT_EQ(s.target->pixelArgb(12, 7), 0xFF000000u);
    s.device->setRenderState(RenderState::ZEnable, 0u);
    drawRect(*s.device, -10, -10, 30, 30, 0xFFFFFFFFu);
    EXPECT_EQ(countPixels(*s.target, 0xFFFFFFFFu), 48);
    EXPECT_EQ(s.target->pixelArgb(0, 0), 0xFF000000u);
    // Clip space maps onto the viewport: a full-screen triangle pair in
    // clip coordinates covers exactly the viewport.
    s.device->clear(kClearTarget, 0, 1.0f);
    LVertex quad[4];
    const float xy[4][2] = {{-1, 1}, {1, 1}, {1, -1}, {-1, -1}};
    for (int i = 0; i < 4; ++i) {
        quad[i].x = xy[i][0];
        quad[i].y = xy[i][1];
        quad[i].z = 0.5f;
        quad[i].diffuse = 0xFF00FF00u;
    }
    ASSERT_TRUE(s.device->drawPrimitive(Primitive::TriangleFan, quad, 4));
    EXPECT_EQ(countPixels(*s.target, 0xFF00FF00u), 48);
    EXPECT_EQ(s.target->pixelArgb(4, 2), 0xFF00FF00u);
    EXPECT_EQ(s.target->pixelArgb(11, 7), 0xFF00FF00u);
}

TEST(TextureSampling, PalettisedAndSixteenBitTexturesDrawThroughTheirFormats) {
    Scene s(8, 4, PixelFormat::R5G6B5);
    s.device->setRenderState(RenderState::ZEnable, 0u);
    auto p8 = s.adapter.createSurface(SurfaceKind::Texture, 2, 1, PixelFormat::P8);
    LockedRect lr;
    ASSERT_TRUE(p8->lock(lr));
    lr.bits[0] = 1;
    lr.bits[1] = 2;
    p8->unlock();
    uint32_t palette[256] = {};
    palette[1] = 0xFFFF0000u;
    palette[2] = 0xFF00FF00u;
    p8->setPalette(palette);
    s.device->setTexture(0, p8.get());
    drawRect(*s.device, 0, 0, 2, 2, 0xFFFFFFFFu);
    EXPECT_EQ(s.target->pixelArgb(0, 0), 0xFFFF0000u);
    EXPECT_EQ(s.target->pixelArgb(1, 1), 0xFF00FF00u);
    uint32_t texel = 0xFF0000FFu;
    auto a4 = makeTexture(s.adapter, 1, 1, PixelFormat::A4R4G4B4, &texel);
    s.device->setTexture(0, a4.get());
    drawRect(*s.device, 2, 0, 4, 2, 0xFFFFFFFFu);
    EXPECT_EQ(s.target->pixelArgb(3, 1), 0xFF0000FFu);
}
