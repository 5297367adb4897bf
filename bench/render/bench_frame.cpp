// bench/render/bench_frame.cpp: the renderer benchmark's frame.
//
// 640 x 480 at 32 bits with a Z buffer, drawn with the states the game
// keeps (blending and alpha test always on):
// - a field of 20,000 textured, lit triangles over 180 x 180 units in 16
//   batches, most of it outside the view as in play;
// - 600 textured objects of 200 triangles (closed, so half face away);
// - 1,800 textured boards: 600 depth-tested, 600 over everything, 600
//   additive;
// - 200 rotated, tinted 2D quads of 32 x 32 pixels.
#include "bench_frame.h"

#include <cmath>

using namespace render;

namespace render_bench {

namespace {

constexpr int kFieldCells = 100;  // 100 x 100 quads = 20,000 triangles
constexpr float kFieldSize = 180.0f;
constexpr int kObjects = 600;
constexpr int kRings = 10, kSegments = 10;  // 200 triangles per object
constexpr int kBoardsPerList = 600;
constexpr int kQuads = 200;

uint32_t hashColour(uint32_t i) {
    i = (i ^ 61u) ^ (i >> 16);
    i *= 9u;
    i ^= i >> 4;
    i *= 0x27d4eb2du;
    return i ^ (i >> 15);
}

std::unique_ptr<Surface> makeTexture(Adapter& adapter, int size, uint32_t seed, bool holes) {
    auto tex = adapter.createSurface(SurfaceKind::Texture, size, size, PixelFormat::A8R8G8B8);
    LockedRect lr;
    tex->lock(lr);
    for (int y = 0; y < size; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(lr.bits + y * lr.pitch);
        for (int x = 0; x < size; ++x) {
            uint32_t c = hashColour(seed + static_cast<uint32_t>(y * size + x)) | 0xFF000000u;
            if (holes) {
                int dx = 2 * x - size + 1, dy = 2 * y - size + 1;
                int r2 = dx * dx + dy * dy;
                c = (c & 0xFFFFFF) | (r2 > size * size ? 0u : r2 > size * size / 2 ? 0x80000000u : 0xFF000000u);
            }
            row[x] = c;
        }
    }
    tex->unlock();
    return tex;
}

struct FrameParts {
    Adapter adapter;
    std::unique_ptr<Surface> back, depth;
    std::unique_ptr<Device> device;
    std::unique_ptr<Surface> fieldTexture, objectTexture, boardTexture, quadTexture;
    std::vector<LVertex> field;        // 16 batches, one after another
    std::vector<LVertex> object;       // one mesh shared by every object
    std::vector<Matrix> objectWorlds;
    std::vector<Matrix> boardWorlds;
    LVertex board[6];
    std::vector<TLVertex> quads;

    FrameParts(int scale, int threads) {
        back = adapter.createSurface(SurfaceKind::BackBuffer, 640 * scale, 480 * scale, PixelFormat::X8R8G8B8);
        depth = adapter.createSurface(SurfaceKind::DepthBuffer, 640 * scale, 480 * scale, PixelFormat::Z16);
        device = adapter.createDevice(DeviceClass::TnLHal, *back, depth.get());
        device->setRasterThreads(threads);
        fieldTexture = makeTexture(adapter, 64, 1, false);
        objectTexture = makeTexture(adapter, 32, 2, false);
        boardTexture = makeTexture(adapter, 16, 3, true);
        quadTexture = makeTexture(adapter, 32, 4, true);
        buildField();
        buildObjects();
        buildBoards();
        buildQuads(static_cast<float>(scale));
        setGameStates();
        Matrix view, projection;
        buildLookAt(view, {0, 40, -80}, {0, 0, 0}, {0, 1, 0});
        buildPerspective(projection, 0.3490658f, 0.75f, 1.0f, 1000.0f);
        device->setTransform(Transform::View, view);
        device->setTransform(Transform::Projection, projection);
    }

    void setGameStates() {
        Device& d = *device;
        d.setRenderState(RenderState::Lighting, 0u);
        d.setRenderState(RenderState::ZEnable, 1u);
        d.setRenderState(RenderState::ShadeMode, Shade::Gouraud);
        d.setStageState(0, StageState::AlphaOp, TextureOp::Modulate);
        d.setRenderState(RenderState::AlphaBlendEnable, 1u);
        d.setRenderState(RenderState::SrcBlend, Blend::SrcAlpha);
        d.setRenderState(RenderState::DestBlend, Blend::InvSrcAlpha);
        d.setRenderState(RenderState::AlphaFunc, Compare::Greater);
        d.setRenderState(RenderState::AlphaTestEnable, 1u);
    }

    void buildField() {
        const float step = kFieldSize / kFieldCells, origin = -kFieldSize / 2;
        auto vertex = [&](int i, int j) {
            LVertex v;
            v.x = origin + static_cast<float>(i) * step;
            v.z = origin + static_cast<float>(j) * step;
            v.y = 0.6f * std::sin(v.x * 0.3f) * std::cos(v.z * 0.25f);
            uint32_t light = 150 + (hashColour(static_cast<uint32_t>(i * 131 + j)) & 63);
            v.diffuse = 0xFF000000u | light << 16 | light << 8 | light;
            v.tu = static_cast<float>(i) * 0.25f;
            v.tv = static_cast<float>(j) * 0.25f;
            return v;
        };
        // Leaves of 25 x 25 cells, as the field's quad tree batches them.
        for (int leaf = 0; leaf < 16; ++leaf) {
            int i0 = (leaf % 4) * 25, j0 = (leaf / 4) * 25;
            for (int i = i0; i < i0 + 25; ++i) {
                for (int j = j0; j < j0 + 25; ++j) {
                    LVertex a = vertex(i, j), b = vertex(i, j + 1), c = vertex(i + 1, j + 1), e = vertex(i + 1, j);
                    for (const LVertex& v : {a, b, c, a, c, e}) field.push_back(v);
                }
            }
        }
    }

    void buildObjects() {
        auto at = [](int ring, int seg) {
            float theta = 3.1415926f * static_cast<float>(ring) / kRings;
            float phi = 6.2831853f * static_cast<float>(seg) / kSegments;
            LVertex v;
            v.x = 0.8f * std::sin(theta) * std::cos(phi);
            v.y = 0.8f * std::cos(theta);
            v.z = 0.8f * std::sin(theta) * std::sin(phi);
            v.diffuse = 0xFFFFFFFFu;
            v.tu = static_cast<float>(seg) / kSegments;
            v.tv = static_cast<float>(ring) / kRings;
            return v;
        };
        for (int r = 0; r < kRings; ++r) {
            for (int s = 0; s < kSegments; ++s) {
                LVertex a = at(r, s), b = at(r, s + 1), c = at(r + 1, s + 1), e = at(r + 1, s);
                for (const LVertex& v : {a, b, c, a, c, e}) object.push_back(v);
            }
        }
        for (int i = 0; i < kObjects; ++i) {
            float x = -20.0f + static_cast<float>(i % 30) * 1.4f;
            float z = -14.0f + static_cast<float>(i / 30) * 1.5f;
            objectWorlds.push_back(multiply(rotationY(static_cast<float>(i) * 0.1f), translationMatrix(x, 0.9f, z)));
        }
    }

    void buildBoards() {
        const float h = 0.4f;
        const float p[6][2] = {{-h, h}, {h, h}, {h, -h}, {-h, h}, {h, -h}, {-h, -h}};
        const float uv[6][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}};
        for (int i = 0; i < 6; ++i) {
            board[i].x = p[i][0];
            board[i].y = p[i][1];
            board[i].diffuse = 0xFFFFFFFFu;
            board[i].tu = uv[i][0];
            board[i].tv = uv[i][1];
        }
        for (int i = 0; i < 3 * kBoardsPerList; ++i) {
            float x = -20.0f + static_cast<float>(hashColour(static_cast<uint32_t>(i)) % 4000) / 100.0f;
            float z = -14.0f + static_cast<float>(hashColour(static_cast<uint32_t>(i + 9999)) % 2800) / 100.0f;
            // Facing the camera: turned about X by the camera's pitch.
            boardWorlds.push_back(multiply(rotationX(0.4636f), translationMatrix(x, 2.0f, z)));
        }
    }

    // Corners on whole logical pixels, multiplied by the scale, cover the
    // same texels at every scale.
    void buildQuads(float scale) {
        for (int i = 0; i < kQuads; ++i) {
            float cx = static_cast<float>(hashColour(static_cast<uint32_t>(i)) % 600) + 20;
            float cy = static_cast<float>(hashColour(static_cast<uint32_t>(i + 500)) % 440) + 20;
            float angle = static_cast<float>(i) * 0.37f;
            float c = std::cos(angle), s = std::sin(angle);
            const float ox[4] = {-16, 16, 16, -16}, oy[4] = {-16, -16, 16, 16};
            const float u[4] = {0, 1, 1, 0}, v[4] = {0, 0, 1, 1};
            for (int k = 0; k < 4; ++k) {
                TLVertex t;
                t.sx = (cx + ox[k] * c - oy[k] * s) * scale;
                t.sy = (cy + ox[k] * s + oy[k] * c) * scale;
                t.color = 0xC0FFFFFFu - static_cast<uint32_t>(i) * 0x00010203u;
                t.tu = u[k];
                t.tv = v[k];
                quads.push_back(t);
            }
        }
    }

    void drawQuads(int from, int to) {
        for (int i = from; i < to; ++i) device->drawPrimitive(Primitive::TriangleFan, &quads[i * 4], 4);
    }

    void draw() {
        Device& d = *device;
        d.clear(kClearTarget | kClearZBuffer, 0, 1.0f);
        d.beginScene();
        d.setRenderState(RenderState::ZEnable, 0u);
        d.setTexture(0, quadTexture.get());
        drawQuads(0, kQuads / 2);
        d.setRenderState(RenderState::ZEnable, 1u);

        d.setTexture(0, fieldTexture.get());
        d.setTransform(Transform::World, identityMatrix());
        const int batch = static_cast<int>(field.size()) / 16;
        for (int leaf = 0; leaf < 16; ++leaf)
            d.drawPrimitive(Primitive::TriangleList, &field[static_cast<size_t>(leaf) * batch], batch);

        d.setTexture(0, objectTexture.get());
        for (const Matrix& world : objectWorlds) {
            d.setTransform(Transform::World, world);
            d.drawPrimitive(Primitive::TriangleList, object.data(), static_cast<int>(object.size()));
        }

        d.setTexture(0, boardTexture.get());
        for (int list = 0; list < 3; ++list) {
            if (list == 1) d.setRenderState(RenderState::ZEnable, 0u);
            if (list == 2) d.setRenderState(RenderState::DestBlend, Blend::One);
            for (int i = 0; i < kBoardsPerList; ++i) {
                d.setTransform(Transform::World, boardWorlds[static_cast<size_t>(list * kBoardsPerList + i)]);
                d.drawPrimitive(Primitive::TriangleList, board, 6);
            }
        }
        d.setRenderState(RenderState::DestBlend, Blend::InvSrcAlpha);

        d.setTexture(0, quadTexture.get());
        drawQuads(kQuads / 2, kQuads);
        d.setRenderState(RenderState::ZEnable, 1u);
        d.endScene();
    }
};

}  // namespace

struct BenchFrame::Parts : FrameParts {
    Parts(int scale, int threads) : FrameParts(scale, threads) {}
};

BenchFrame::BenchFrame(int scale, int threads) : parts(std::make_unique<Parts>(scale, threads)) {}
BenchFrame::~BenchFrame() = default;
void BenchFrame::draw() { parts->draw(); }
Device& BenchFrame::device() { return *parts->device; }
Surface& BenchFrame::target() { return *parts->back; }
Surface& BenchFrame::depth() { return *parts->depth; }

}  // namespace render_bench
