// tests/render/threads_test.cpp: drawing with several threads gives the
// bytes of one thread, whatever the caller does between its calls.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "../../bench/render/bench_frame.h"
#include "golden.h"

using namespace render;
using render_test::makeTexture;
using render_test::Scene;

namespace {

std::vector<uint8_t> bytes(Surface& s) {
    LockedRect lr;
    EXPECT_TRUE(s.lock(lr));
    std::vector<uint8_t> out(static_cast<size_t>(lr.pitch) * static_cast<size_t>(s.height()));
    std::memcpy(out.data(), lr.bits, out.size());
    s.unlock();
    return out;
}

TLVertex tl(float x, float y, float z, uint32_t colour, float u = 0, float v = 0) {
    TLVertex p;
    p.sx = x;
    p.sy = y;
    p.sz = z;
    p.rhw = 1;
    p.color = colour;
    p.tu = u;
    p.tv = v;
    return p;
}

}  // namespace

TEST(RasterThreads, BenchmarkFrameIsTheSameAtEveryCount) {
    for (int scale : {1, 2}) {
        render_bench::BenchFrame one(scale, 1);
        one.draw();
        const auto expected = bytes(one.target());
        const auto expectedDepth = bytes(one.depth());
        for (int threads : {2, 3, 8}) {
            if (scale == 2 && threads != 3) continue;
            render_bench::BenchFrame many(scale, threads);
            ASSERT_EQ(many.device().rasterThreads(), threads);
            // Twice: the second frame starts from the first's queue state.
            many.draw();
            many.draw();
            EXPECT_TRUE(bytes(many.target()) == expected) << "scale " << scale << ", " << threads << " threads";
            EXPECT_TRUE(bytes(many.depth()) == expectedDepth) << "scale " << scale << ", " << threads << " threads";
        }
    }
}

TEST(RasterThreads, SurfacesUsedInsideASceneSeeEveryEarlierDraw) {
    // Between draws the caller reads the target, writes into it, rewrites
    // the bound texture and loses and restores nothing: each must act on
    // the frame as drawn so far, as with one thread.
    std::vector<uint32_t> first(16, 0xFF20C040u), second(16, 0x80F02020u);
    std::vector<std::vector<uint8_t>> frames;
    std::vector<uint32_t> readBack;
    for (int threads : {1, 3}) {
        Scene s(70, 60, PixelFormat::X8R8G8B8, threads);
        Device& d = *s.device;
        d.setRenderState(RenderState::CullMode, Cull::None);
        d.setRenderState(RenderState::AlphaBlendEnable, 1u);
        d.setRenderState(RenderState::SrcBlend, Blend::SrcAlpha);
        d.setRenderState(RenderState::DestBlend, Blend::InvSrcAlpha);
        auto tex = makeTexture(s.adapter, 4, 4, PixelFormat::A8R8G8B8, first.data());
        d.setTexture(0, tex.get());
        const TLVertex big[3] = {tl(2, 2, 0.5f, 0xFFFFFFFFu), tl(68, 5, 0.5f, 0xFFFFFFFFu, 1, 0),
                                 tl(30, 58, 0.5f, 0xFFFFFFFFu, 0, 1)};
        ASSERT_TRUE(d.drawPrimitive(Primitive::TriangleList, big, 3));
        readBack.push_back(s.target->pixelArgb(30, 20));
        LockedRect lr;
        ASSERT_TRUE(s.target->lock(lr));
        for (int y = 10; y < 40; ++y) std::memset(lr.bits + y * lr.pitch + 40 * 4, 0x7F, 20 * 4);
        s.target->unlock();
        ASSERT_TRUE(tex->lock(lr));
        for (int y = 0; y < 4; ++y) std::memcpy(lr.bits + y * lr.pitch, &second[static_cast<size_t>(y) * 4], 16);
        tex->unlock();
        const TLVertex over[3] = {tl(0, 30, 0.2f, 0xFFFFFFFFu), tl(70, 20, 0.2f, 0xFFFFFFFFu, 1, 1),
                                  tl(50, 60, 0.2f, 0xFFFFFFFFu, 0, 1)};
        ASSERT_TRUE(d.drawPrimitive(Primitive::TriangleList, over, 3));
        ASSERT_TRUE(d.clear(kClearZBuffer, 0, 0.3f));
        ASSERT_TRUE(d.drawPrimitive(Primitive::TriangleList, big, 3));  // behind the new depth: hidden
        ASSERT_TRUE(d.endScene());
        frames.push_back(bytes(*s.target));
    }
    EXPECT_EQ(readBack[0], 0xFF20C040u);
    EXPECT_EQ(readBack[1], readBack[0]);
    EXPECT_EQ(frames[1], frames[0]);
}

TEST(RasterThreads, AFrameOverflowingTheQueueIsDrawnWhole) {
    // 70,000 small triangles in one call fill the queue; it is drawn and
    // refilled in the middle of the call.
    std::mt19937 rng(3);
    auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    std::vector<TLVertex> list;
    for (int t = 0; t < 70000; ++t) {
        const float x = uniform(0, 200), y = uniform(0, 150), z = uniform(0, 1);
        const uint32_t colour = rng() | 0xFF000000u;
        list.push_back(tl(x, y, z, colour));
        list.push_back(tl(x + uniform(1, 6), y + uniform(-3, 3), z, colour));
        list.push_back(tl(x + uniform(-3, 3), y + uniform(1, 6), z, colour));
    }
    std::vector<uint8_t> expected;
    for (int threads : {1, 2}) {
        Scene s(200, 150, PixelFormat::R5G6B5, threads);
        s.device->setRenderState(RenderState::CullMode, Cull::None);
        ASSERT_TRUE(s.device->drawPrimitive(Primitive::TriangleList, list.data(), static_cast<int>(list.size())));
        ASSERT_TRUE(s.device->endScene());
        if (threads == 1) {
            expected = bytes(*s.target);
        } else {
            EXPECT_EQ(bytes(*s.target), expected);
        }
    }
}

TEST(RasterThreads, CountsOutsideOneToEightAreRefused) {
    Scene s(16, 16);
    EXPECT_FALSE(s.device->setRasterThreads(0));
    EXPECT_FALSE(s.device->setRasterThreads(kMaxRasterThreads + 1));
    EXPECT_EQ(s.device->rasterThreads(), 1);
    EXPECT_TRUE(s.device->setRasterThreads(kMaxRasterThreads));
    EXPECT_FALSE(s.device->setRasterThreads(-3));
    EXPECT_EQ(s.device->rasterThreads(), kMaxRasterThreads);
    EXPECT_TRUE(s.device->setRasterThreads(1));
    EXPECT_EQ(s.device->rasterThreads(), 1);
}

TEST(RasterThreads, SurfacesReleasedBeforeTheirDeviceTakeItsQueueFirst) {
    // Triangles queued for a target that is then destroyed are drawn while
    // it still exists; the device outliving it touches it no more.
    Scene s(40, 40, PixelFormat::X8R8G8B8, 2);
    const TLVertex tri[3] = {tl(1, 1, 0.5f, 0xFFFFFFFFu), tl(39, 1, 0.5f, 0xFFFFFFFFu), tl(1, 39, 0.5f, 0xFFFFFFFFu)};
    ASSERT_TRUE(s.device->drawPrimitive(Primitive::TriangleList, tri, 3));
    s.depth.reset();
    s.target.reset();
    EXPECT_TRUE(s.device->endScene());
    s.device.reset();
}
