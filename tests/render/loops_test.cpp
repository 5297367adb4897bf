// tests/render/loops_test.cpp: the grouped pixel loops (four and, where
// the processor has them, eight pixels at a time) against the
// pixel-by-pixel reference loops, over random scenes in every state
// combination the device draws. They must leave the same bytes in the
// target and the depth buffer, inside and outside the viewport.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "golden.h"

using namespace render;
using render_test::makeTexture;
using render_test::Scene;

namespace {

struct Combination {
    PixelFormat format;
    int z;          // 0 off, 1 test, 2 test and write
    int texture;    // 0 none, 1 8x8 wrap, 2 6x5 wrap, 3 8x8 clamp
    bool alphaTest;
    Blend src, dst;  // One/Zero: blending off
    bool flat;
};

std::string describe(const Combination& c) {
    return std::string(c.format == PixelFormat::R5G6B5 ? "565" : "32") + " z" + std::to_string(c.z) + " tex" +
           std::to_string(c.texture) + (c.alphaTest ? " alpha-test" : "") + " blend" +
           std::to_string(static_cast<int>(c.src)) + "/" + std::to_string(static_cast<int>(c.dst)) +
           (c.flat ? " flat" : " gouraud");
}

// Everything the scene draws, made once per combination from one seed so
// the two devices receive the same calls.
struct Batch {
    std::vector<LVertex> lists;     // triangle list in 3D
    std::vector<TLVertex> screen;   // transformed triangle list
};

Batch makeBatch(uint32_t seed, int width, int height) {
    std::mt19937 rng(seed);
    auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    auto colour = [&](bool wide) {
        // Wide colours put Gouraud channels at the ends of 0-255, where the
        // span loops clamp.
        uint32_t c = rng();
        if (wide) c = (rng() & 1 ? 0xFF000000u : 0u) | (c & 0x00FF00FFu) | (rng() & 1 ? 0xFF00u : 0u);
        return c;
    };
    Batch b;
    for (int t = 0; t < 300; ++t) {
        // Sizes from a fraction of a pixel to most of the screen.
        const float size = t % 3 == 0 ? uniform(0.02f, 0.15f) : t % 3 == 1 ? uniform(0.15f, 1.0f) : uniform(1.0f, 6.0f);
        const float cx = uniform(-4, 4), cy = uniform(-3, 3), cz = uniform(-0.5f, 12.0f);
        const bool wide = rng() % 4 == 0;
        for (int k = 0; k < 3; ++k) {
            LVertex v;
            v.x = cx + uniform(-size, size);
            v.y = cy + uniform(-size, size);
            v.z = cz + uniform(-size, size);
            v.diffuse = colour(wide);
            v.tu = uniform(-3, 3);
            v.tv = uniform(-3, 3);
            b.lists.push_back(v);
        }
    }
    for (int t = 0; t < 200; ++t) {
        const float size = t % 2 == 0 ? uniform(0.3f, 6.0f) : uniform(6.0f, 80.0f);
        const float cx = uniform(-10, static_cast<float>(width) + 10), cy = uniform(-10, static_cast<float>(height) + 10);
        const bool flatW = rng() % 2 == 0, wide = rng() % 4 == 0;
        const float w = uniform(0.2f, 2.0f);
        for (int k = 0; k < 3; ++k) {
            TLVertex v;
            v.sx = cx + uniform(-size, size);
            v.sy = cy + uniform(-size, size);
            // Depths at and past the ends of the range, where rounding can
            // step a span's depth out of it.
            const uint32_t pick = rng() % 4;
            v.sz = pick == 0 ? 0.0f : pick == 1 ? 1.0f : uniform(-0.05f, 1.05f);
            v.rhw = flatW ? w : uniform(0.2f, 2.0f);
            v.color = colour(wide);
            v.tu = uniform(-2, 2);
            v.tv = uniform(-2, 2);
            b.screen.push_back(v);
        }
    }
    return b;
}

void draw(Scene& s, const Combination& c, const Batch& batch, const Surface* texture, PixelLoops loops) {
    Device& d = *s.device;
    d.usePixelLoops(loops);
    d.setRenderState(RenderState::ZEnable, c.z != 0 ? 1u : 0u);
    d.setRenderState(RenderState::ZWriteEnable, c.z == 2 ? 1u : 0u);
    d.setRenderState(RenderState::AlphaTestEnable, c.alphaTest ? 1u : 0u);
    d.setRenderState(RenderState::AlphaFunc, Compare::Greater);
    d.setRenderState(RenderState::AlphaRef, 0x60u);
    const bool blend = !(c.src == Blend::One && c.dst == Blend::Zero);
    d.setRenderState(RenderState::AlphaBlendEnable, blend ? 1u : 0u);
    d.setRenderState(RenderState::SrcBlend, c.src);
    d.setRenderState(RenderState::DestBlend, c.dst);
    d.setRenderState(RenderState::ShadeMode, c.flat ? Shade::Flat : Shade::Gouraud);
    d.setRenderState(RenderState::CullMode, Cull::None);
    d.setStageState(0, StageState::AlphaOp, TextureOp::Modulate);
    d.setStageState(0, StageState::Address, c.texture == 3 ? TextureAddress::Clamp : TextureAddress::Wrap);
    d.setTexture(0, texture);

    // A viewport inside the target, so groups reaching past its right edge
    // meet pixels that must stay as they are.
    Viewport view = d.viewport();
    view.x = 3;
    view.y = 2;
    view.width = s.target->width() - 6;
    view.height = s.target->height() - 5;
    ASSERT_TRUE(d.setViewport(view));
    Matrix projection;
    buildPerspective(projection, 1.2f, 0.75f, 0.5f, 20.0f);
    d.setTransform(Transform::Projection, projection);
    d.setTransform(Transform::View, identityMatrix());
    d.setTransform(Transform::World, translationMatrix(0, 0, 4));

    ASSERT_TRUE(d.clear(kClearTarget | (c.z != 0 ? kClearZBuffer : 0u), 0x00405060u, 0.9f));
    d.endScene();  // a new Scene starts inside one
    ASSERT_TRUE(d.beginScene());
    // A first layer with depth written, so later tests find varied depths.
    d.setRenderState(RenderState::ZWriteEnable, 1u);
    d.drawPrimitive(Primitive::TriangleList, batch.screen.data(), 90);
    d.setRenderState(RenderState::ZWriteEnable, c.z == 2 ? 1u : 0u);
    d.drawPrimitive(Primitive::TriangleList, batch.lists.data(), static_cast<int>(batch.lists.size()));
    d.drawPrimitive(Primitive::TriangleList, batch.screen.data() + 90, static_cast<int>(batch.screen.size()) - 90);
    ASSERT_TRUE(d.endScene());
}

std::vector<uint8_t> bytes(Surface& s) {
    LockedRect lr;
    EXPECT_TRUE(s.lock(lr));
    std::vector<uint8_t> out(static_cast<size_t>(lr.pitch) * static_cast<size_t>(s.height()));
    std::memcpy(out.data(), lr.bits, out.size());
    s.unlock();
    return out;
}

}  // namespace

TEST(GroupedLoops, EqualTheReferenceLoopsInEveryCombination) {
    const Blend blends[][2] = {{Blend::One, Blend::Zero},          {Blend::SrcAlpha, Blend::InvSrcAlpha},
                               {Blend::SrcAlpha, Blend::One},      {Blend::Zero, Blend::SrcColor},
                               {Blend::SrcColor, Blend::InvSrcColor}};
    uint32_t seed = 1;
    int combinations = 0;
    for (PixelFormat format : {PixelFormat::X8R8G8B8, PixelFormat::R5G6B5}) {
        Scene best(61, 47, format), fourfold(61, 47, format), reference(61, 47, format);
        std::vector<uint32_t> texels(8 * 8);
        std::mt19937 rng(7);
        for (uint32_t& t : texels) {
            // Opaque, half-transparent and see-through texels mixed.
            t = (rng() & (rng() & 1 ? 0xFFFFFFFFu : 0x80FFFFFFu)) | (rng() % 3 == 0 ? 0xFF000000u : 0u);
        }
        auto square = makeTexture(best.adapter, 8, 8, PixelFormat::A8R8G8B8, texels.data());
        auto odd = makeTexture(best.adapter, 6, 5, PixelFormat::A8R8G8B8, texels.data());
        for (int z = 0; z < 3; ++z) {
            for (int texture = 0; texture < 4; ++texture) {
                for (bool alphaTest : {false, true}) {
                    for (const auto& blend : blends) {
                        for (bool flat : {false, true}) {
                            const Combination c{format, z, texture, alphaTest, blend[0], blend[1], flat};
                            const Surface* tex = texture == 0 ? nullptr : texture == 2 ? odd.get() : square.get();
                            const Batch batch = makeBatch(seed++, 61, 47);
                            draw(best, c, batch, tex, PixelLoops::Best);
                            draw(fourfold, c, batch, tex, PixelLoops::Fourfold);
                            draw(reference, c, batch, tex, PixelLoops::Reference);
                            const auto expected = bytes(*reference.target);
                            ASSERT_EQ(bytes(*best.target), expected) << describe(c);
                            ASSERT_EQ(bytes(*fourfold.target), expected) << describe(c);
                            if (z != 0) {
                                const auto expectedDepth = bytes(*reference.depth);
                                ASSERT_EQ(bytes(*best.depth), expectedDepth) << describe(c);
                                ASSERT_EQ(bytes(*fourfold.depth), expectedDepth) << describe(c);
                            }
                            ++combinations;
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(combinations, 2 * 3 * 4 * 2 * 5 * 2);
}

TEST(GroupedLoops, RandomScenesCoverMostOfTheTarget) {
    // Guards the comparison above against scenes that draw nothing.
    Scene s(61, 47);
    const Batch batch = makeBatch(3, 61, 47);
    draw(s, {PixelFormat::X8R8G8B8, 2, 0, false, Blend::One, Blend::Zero, false}, batch, nullptr, PixelLoops::Best);
    int changed = 0;
    for (int y = 0; y < 47; ++y)
        for (int x = 0; x < 61; ++x) changed += s.target->pixelArgb(x, y) != 0xFF405060u;
    EXPECT_GT(changed, 61 * 47 / 2);
    EXPECT_GT(s.device->stats().rasterised, 200);
}

TEST(TriangleLists, FourAtATimeEqualOneAtATime) {
    // Lists of four or more triangles are transformed and culled four at
    // a time and set up eight at a time; single triangles one at a time. Random triangles in
    // front of, across and behind the eye, past the guard band, with NaN
    // and with no area must give the same image, depth and counts both
    // ways, in every cull mode.
    std::mt19937 rng(11);
    auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    std::vector<LVertex> list;
    for (int t = 0; t < 400; ++t) {
        const float cx = uniform(-12, 12), cy = uniform(-9, 9), cz = uniform(-6, 30), size = uniform(0.05f, 8.0f);
        for (int k = 0; k < 3; ++k) {
            LVertex v;
            v.x = cx + uniform(-size, size);
            v.y = cy + uniform(-size, size);
            v.z = cz + uniform(-size, size);
            if (rng() % 300 == 0) v.y = std::numeric_limits<float>::quiet_NaN();
            v.diffuse = rng() | 0xFF000000u;
            v.tu = uniform(0, 1);
            v.tv = uniform(0, 1);
            list.push_back(v);
        }
        if (t % 16 == 0) list.back() = list[list.size() - 3];  // two corners in one place
    }
    for (Cull cull : {Cull::None, Cull::CW, Cull::CCW}) {
        Scene together(64, 48), alone(64, 48);
        for (Scene* s : {&together, &alone}) {
            Matrix projection;
            buildPerspective(projection, 1.0f, 0.75f, 1.0f, 25.0f);
            s->device->setTransform(Transform::Projection, projection);
            s->device->setTransform(Transform::World, translationMatrix(0, 0, 3));
            s->device->setRenderState(RenderState::CullMode, cull);
            s->device->resetStats();
        }
        ASSERT_TRUE(together.device->drawPrimitive(Primitive::TriangleList, list.data(), static_cast<int>(list.size())));
        for (size_t i = 0; i < list.size(); i += 3) {
            ASSERT_TRUE(alone.device->drawPrimitive(Primitive::TriangleList, &list[i], 3));
        }
        EXPECT_EQ(bytes(*together.target), bytes(*alone.target));
        EXPECT_EQ(bytes(*together.depth), bytes(*alone.depth));
        const DrawStats& a = together.device->stats();
        const DrawStats& b = alone.device->stats();
        EXPECT_EQ(a.trianglesIn, b.trianglesIn);
        EXPECT_EQ(a.culled, b.culled);
        EXPECT_EQ(a.rejected, b.rejected);
        EXPECT_EQ(a.clipped, b.clipped);
        EXPECT_EQ(a.rasterised, b.rasterised);
        EXPECT_GT(a.rasterised, 50);
        EXPECT_GT(a.culled, cull == Cull::None ? 10 : 50);
        EXPECT_GT(a.clipped, 10);
        EXPECT_GT(a.rejected, 10);
    }
}

TEST(RasterThreads, EveryCombinationDrawsTheBytesOfOneThread) {
    // The scenes above on a target of nine strips of rows, with triangles
    // crossing strips, the viewport's edges and the guard band, drawn by
    // one thread and by 2, 3 and 8; target and depth must match.
    const Blend blends[][2] = {{Blend::One, Blend::Zero},          {Blend::SrcAlpha, Blend::InvSrcAlpha},
                               {Blend::SrcAlpha, Blend::One},      {Blend::Zero, Blend::SrcColor},
                               {Blend::SrcColor, Blend::InvSrcColor}};
    constexpr int kWidth = 157, kHeight = 141;
    uint32_t seed = 101;
    for (PixelFormat format : {PixelFormat::X8R8G8B8, PixelFormat::R5G6B5}) {
        Scene one(kWidth, kHeight, format);
        Scene two(kWidth, kHeight, format, 2), three(kWidth, kHeight, format, 3), eight(kWidth, kHeight, format, 8);
        std::vector<uint32_t> texels(8 * 8);
        std::mt19937 rng(5);
        for (uint32_t& t : texels) {
            t = (rng() & (rng() & 1 ? 0xFFFFFFFFu : 0x80FFFFFFu)) | (rng() % 3 == 0 ? 0xFF000000u : 0u);
        }
        auto square = makeTexture(one.adapter, 8, 8, PixelFormat::A8R8G8B8, texels.data());
        auto odd = makeTexture(one.adapter, 6, 5, PixelFormat::A8R8G8B8, texels.data());
        for (int z = 0; z < 3; ++z) {
            for (int texture = 0; texture < 4; ++texture) {
                for (bool alphaTest : {false, true}) {
                    for (const auto& blend : blends) {
                        const Combination c{format, z, texture, alphaTest, blend[0], blend[1], (seed & 1) != 0};
                        const Surface* tex = texture == 0 ? nullptr : texture == 2 ? odd.get() : square.get();
                        const Batch batch = makeBatch(seed++, kWidth, kHeight);
                        // The reference loops (no hidden test) take one of the counts in turn.
                        const PixelLoops loops = seed % 5 == 0 ? PixelLoops::Reference : PixelLoops::Best;
                        draw(one, c, batch, tex, loops);
                        const auto expected = bytes(*one.target);
                        const auto expectedDepth = bytes(*one.depth);
                        for (Scene* many : {&two, &three, &eight}) {
                            draw(*many, c, batch, tex, loops);
                            ASSERT_EQ(bytes(*many->target), expected)
                                << describe(c) << ", " << many->device->rasterThreads() << " threads";
                            ASSERT_EQ(bytes(*many->depth), expectedDepth)
                                << describe(c) << ", " << many->device->rasterThreads() << " threads";
                        }
                    }
                }
            }
        }
    }
}
