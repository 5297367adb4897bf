// tests/render/golden_test.cpp: whole scenes compared with reviewed images.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "golden.h"

using namespace render;
using render_test::makeChecker;
using render_test::makeTexture;
using render_test::matchesGolden;
using render_test::Scene;

namespace {

LVertex lv(float x, float y, float z, uint32_t diffuse, float u = 0, float v = 0) {
    LVertex p;
    p.x = x;
    p.y = y;
    p.z = z;
    p.diffuse = diffuse;
    p.specular = 0xFF000000u;
    p.tu = u;
    p.tv = v;
    return p;
}

void setCamera(Device& d, Vec3 eye, Vec3 target, float aspect) {
    Matrix view, proj;
    ASSERT_TRUE(buildLookAt(view, eye, target, {0, 1, 0}));
    ASSERT_TRUE(buildPerspective(proj, 0.9f, aspect, 1.0f, 100.0f));
    d.setTransform(Transform::View, view);
    d.setTransform(Transform::Projection, proj);
}

// The device states the game sets once after creation, in its order.
void setGameStates(Device& d) {
    d.setRenderState(RenderState::Lighting, 0u);
    d.setRenderState(RenderState::ZEnable, 1u);
    d.setRenderState(RenderState::Antialias, 0u);
    d.setRenderState(RenderState::ShadeMode, Shade::Gouraud);
    d.setStageState(0, StageState::Address, TextureAddress::Wrap);
    d.setStageState(0, StageState::ColorOp, TextureOp::Modulate);
    d.setStageState(0, StageState::ColorArg1, TextureArg::Texture);
    d.setStageState(0, StageState::ColorArg2, TextureArg::Current);
    d.setStageState(0, StageState::AlphaOp, TextureOp::Modulate);
    d.setStageState(0, StageState::AlphaArg1, TextureArg::Texture);
    d.setStageState(0, StageState::AlphaArg2, TextureArg::Current);
    d.setRenderState(RenderState::AlphaBlendEnable, 1u);
    d.setRenderState(RenderState::SrcBlend, Blend::SrcAlpha);
    d.setRenderState(RenderState::DestBlend, Blend::InvSrcAlpha);
    d.setRenderState(RenderState::AlphaFunc, Compare::Greater);
    d.setRenderState(RenderState::AlphaTestEnable, 1u);
}

// A Gouraud-shaded opaque triangle behind a tilted, wrapped, partly
// transparent checkerboard quad.
void drawTexturedScene(Scene& s) {
    Device& d = *s.device;
    s.device->clear(kClearTarget, 0xFF203040u, 1.0f);
    setGameStates(d);
    setCamera(d, {0, 1.5f, -6}, {0, 0, 0}, 0.75f);
    LVertex tri[3] = {lv(-2.5f, -1, 2, 0xFFFF0000u), lv(0, 2.5f, 2, 0xFF00FF00u), lv(2.5f, -1, 2, 0xFF0000FFu)};
    d.drawPrimitive(Primitive::TriangleList, tri, 3);
    std::vector<uint32_t> texels(64);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            uint32_t c = ((x / 2 + y / 2) & 1) ? 0xFFFFE040u : 0x80FFFFFFu;
            if (x == y) c = 0x00FF00FFu;  // cut out by the alpha test
            texels[y * 8 + x] = c;
        }
    }
    auto tex = makeTexture(s.adapter, 8, 8, PixelFormat::A8R8G8B8, texels.data());
    d.setTexture(0, tex.get());
    d.setTransform(Transform::World, multiply(rotationY(0.6f), rotationX(-0.5f)));
    LVertex quad[6] = {lv(-2, 1.5f, 0, 0xFFFFFFFFu, 0, 0), lv(2, 1.5f, 0, 0xFFFFFFFFu, 2, 0),
                       lv(2, -1.5f, 0, 0xFF8080FFu, 2, 2), lv(-2, 1.5f, 0, 0xFFFFFFFFu, 0, 0),
                       lv(2, -1.5f, 0, 0xFF8080FFu, 2, 2), lv(-2, -1.5f, 0, 0xC0FFFFFFu, 0, 2)};
    d.drawPrimitive(Primitive::TriangleList, quad, 6);
    d.setTexture(0, nullptr);
}

// Each scene is drawn with 1, 2, 3 and 8 threads; every count must give
// the reviewed image to the byte.
class GoldenScenes : public ::testing::TestWithParam<int> {};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Threads, GoldenScenes, ::testing::Values(1, 2, 3, 8));

TEST_P(GoldenScenes, TexturedAlphaTestedBlendedList32Bit) {
    Scene s(96, 72, PixelFormat::X8R8G8B8, GetParam());
    drawTexturedScene(s);
    EXPECT_TRUE(matchesGolden(*s.target, "textured_blend_32"));
}

TEST_P(GoldenScenes, TexturedAlphaTestedBlendedList16Bit) {
    Scene s(96, 72, PixelFormat::R5G6B5, GetParam());
    drawTexturedScene(s);
    EXPECT_TRUE(matchesGolden(*s.target, "textured_blend_16"));
}

TEST_P(GoldenScenes, CullingNoneCounterClockwiseClockwise) {
    // Left to right: cull none, CCW (default), CW; in each column a
    // clockwise triangle (top) and a counter-clockwise one (bottom).
    Scene s(96, 64, PixelFormat::X8R8G8B8, GetParam());
    Device& d = *s.device;
    setGameStates(d);
    setCamera(d, {0, 0, -10}, {0, 0, 0}, 0.6666667f);
    const Cull modes[3] = {Cull::None, Cull::CCW, Cull::CW};
    for (int col = 0; col < 3; ++col) {
        d.setRenderState(RenderState::CullMode, modes[col]);
        float cx = -2.3f + 2.3f * static_cast<float>(col);
        LVertex cw[3] = {lv(cx - 1, 0.3f, 0, 0xFFFF8000u), lv(cx, 2.0f, 0, 0xFFFFFF00u), lv(cx + 1, 0.3f, 0, 0xFFFF0000u)};
        LVertex ccw[3] = {lv(cx - 1, -0.3f, 0, 0xFF00FFFFu), lv(cx, -2.0f, 0, 0xFF00FF80u),
                          lv(cx + 1, -0.3f, 0, 0xFF0000FFu)};
        d.drawPrimitive(Primitive::TriangleList, cw, 3);
        d.drawPrimitive(Primitive::TriangleList, ccw, 3);
    }
    EXPECT_TRUE(matchesGolden(*s.target, "culling"));
}

TEST_P(GoldenScenes, IntersectingQuadsWithDepthTest) {
    Scene s(80, 60, PixelFormat::X8R8G8B8, GetParam());
    Device& d = *s.device;
    setGameStates(d);
    d.setRenderState(RenderState::CullMode, Cull::None);
    setCamera(d, {0, 2, -7}, {0, 0, 0}, 0.75f);
    LVertex a[4] = {lv(-2, -1.5f, -1.5f, 0xFFE04020u), lv(-2, 1.5f, 1.5f, 0xFFE04020u), lv(2, 1.5f, 1.5f, 0xFFFFC060u),
                    lv(2, -1.5f, -1.5f, 0xFFFFC060u)};
    LVertex b[4] = {lv(-2, 1.5f, -1.5f, 0xFF2040E0u), lv(2, 1.5f, -1.5f, 0xFF60C0FFu), lv(2, -1.5f, 1.5f, 0xFF60C0FFu),
                    lv(-2, -1.5f, 1.5f, 0xFF2040E0u)};
    d.drawPrimitive(Primitive::TriangleFan, a, 4);
    d.drawPrimitive(Primitive::TriangleFan, b, 4);
    EXPECT_TRUE(matchesGolden(*s.target, "depth_test"));
}

TEST_P(GoldenScenes, FloorCrossingTheNearPlane) {
    Scene s(96, 72, PixelFormat::X8R8G8B8, GetParam());
    Device& d = *s.device;
    setGameStates(d);
    setCamera(d, {0, 3, 0}, {0, 0, 8}, 0.75f);
    auto tex = makeChecker(s.adapter, 4, 0xFFF0F0F0u, 0xFF305080u);
    d.setTexture(0, tex.get());
    // Reaches 20 units behind the eye and 60 ahead; clockwise from above.
    LVertex floor[4] = {lv(-8, 0, -20, 0xFFFFFFFFu, 0, 0), lv(-8, 0, 60, 0xFFFFFFFFu, 0, 20),
                        lv(8, 0, 60, 0xFF808080u, 4, 20), lv(8, 0, -20, 0xFFFFFFFFu, 4, 0)};
    d.drawPrimitive(Primitive::TriangleFan, floor, 4);
    EXPECT_TRUE(matchesGolden(*s.target, "near_clip"));
}

TEST_P(GoldenScenes, RotatedTransformedQuads) {
    Scene s(96, 72, PixelFormat::X8R8G8B8, GetParam());
    Device& d = *s.device;
    setGameStates(d);
    d.setRenderState(RenderState::ZEnable, 0u);
    d.setStageState(0, StageState::Address, TextureAddress::Clamp);
    std::vector<uint32_t> texels(16 * 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            texels[y * 16 + x] = (x < 8 ? 0xFF000000u | static_cast<uint32_t>(x * 32) << 16 | static_cast<uint32_t>(y * 32) << 8
                                        : (((x + y) & 1) ? 0xFFFFFFFFu : 0x00000000u));
    auto tex = makeTexture(s.adapter, 16, 8, PixelFormat::A4R4G4B4, texels.data());
    d.setTexture(0, tex.get());
    struct Quad { float x, y, w, h, angle, px, py; int l, t, r, b; uint32_t colour; };
    const Quad quads[] = {
        {8, 8, 24, 24, 0, 0, 0, 0, 0, 8, 8, 0xFFFFFFFFu},
        {60, 20, 32, 16, 90, 0.5f, 0.5f, 0, 0, 16, 8, 0xFFFFFFFFu},
        {24, 52, 28, 14, 30, 0.5f, 0.5f, 8, 0, 16, 8, 0xFFFF8040u},
        {70, 56, 20, 20, -45, 0.5f, 0.5f, 0, 0, 8, 8, 0x80FFFFFFu},
    };
    for (const Quad& q : quads) {
        const float ox[4] = {-q.px * q.w, (1 - q.px) * q.w, (1 - q.px) * q.w, -q.px * q.w};
        const float oy[4] = {-q.py * q.h, -q.py * q.h, (1 - q.py) * q.h, (1 - q.py) * q.h};
        const float us[4] = {float(q.l), float(q.r), float(q.r), float(q.l)};
        const float vs[4] = {float(q.t), float(q.t), float(q.b), float(q.b)};
        float th = q.angle * 3.1415926f / 180.0f;
        TLVertex v[4];
        for (int i = 0; i < 4; ++i) {
            v[i].sx = ox[i] * std::cos(th) - oy[i] * std::sin(th) + q.x;
            v[i].sy = ox[i] * std::sin(th) + oy[i] * std::cos(th) + q.y;
            v[i].sz = 0;
            v[i].rhw = 1;
            v[i].color = q.colour;
            v[i].tu = us[i] / 16.0f;
            v[i].tv = vs[i] / 8.0f;
        }
        d.drawPrimitive(Primitive::TriangleFan, v, 4);
    }
    EXPECT_TRUE(matchesGolden(*s.target, "rotated_quads"));
}
