// render/device.cpp: states, transforms, clipping and primitive assembly.
#include "render/device.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "render/frame_queue.h"
#include "render/render_local.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace render {

namespace {

int idx(RenderState s) { return static_cast<int>(s); }
int idx(StageState s) { return static_cast<int>(s); }

bool isBool(uint32_t v) { return v <= 1; }

// The vertices of triangle `t`: three of their own in a list, the first
// vertex and two neighbours in a fan.
template <class V>
void triangleVertices(Primitive type, const V* vertices, int t, const V* (&in)[3]) {
    if (type == Primitive::TriangleList) {
        in[0] = &vertices[t * 3];
        in[1] = &vertices[t * 3 + 1];
        in[2] = &vertices[t * 3 + 2];
    } else {
        in[0] = &vertices[0];
        in[1] = &vertices[t + 1];
        in[2] = &vertices[t + 2];
    }
}

bool isBlend(uint32_t v) {
    switch (static_cast<Blend>(v)) {
    case Blend::Zero: case Blend::One: case Blend::SrcColor: case Blend::InvSrcColor:
    case Blend::SrcAlpha: case Blend::InvSrcAlpha: return true;
    default: return false;
    }
}

bool isOp(uint32_t v) { return v >= 1 && v <= 4; }
bool isArg(uint32_t v) { return v <= 2; }

// Masks for the generic blend: One, SrcColor, InvSrcColor, SrcAlpha, InvSrcAlpha.
void blendWeights(uint32_t blend, uint32_t* w) {
    for (int i = 0; i < 5; ++i) w[i] = 0;
    switch (static_cast<Blend>(blend)) {
    case Blend::One: w[0] = ~0u; break;
    case Blend::SrcColor: w[1] = ~0u; break;
    case Blend::InvSrcColor: w[2] = ~0u; break;
    case Blend::SrcAlpha: w[3] = ~0u; break;
    case Blend::InvSrcAlpha: w[4] = ~0u; break;
    default: break;
    }
}

// Which inputs one channel group (colour or alpha) of stage 0 reads.
struct StageUse {
    bool texture, diffuse;
};

StageUse stageUse(uint32_t op, uint32_t arg1, uint32_t arg2) {
    auto isTex = [](uint32_t a) { return a == static_cast<uint32_t>(TextureArg::Texture); };
    switch (static_cast<TextureOp>(op)) {
    case TextureOp::SelectArg1: return {isTex(arg1), !isTex(arg1)};
    case TextureOp::SelectArg2: return {isTex(arg2), !isTex(arg2)};
    case TextureOp::Modulate: return {isTex(arg1) || isTex(arg2), !isTex(arg1) || !isTex(arg2)};
    default: return {false, true};
    }
}

struct ClipVertex {
    float x, y, z, w, u, v;
    float c[4];
};

using Float4 = float __attribute__((vector_size(16)));

// Clip planes beyond the six of the view volume: the guard band, so that
// every projected vertex stays within kGuardBand pixels of the viewport.
// The first six follow the lanes (x, y, z) of the vector compares below.
enum : unsigned {
    kOutRight = 1, kOutTop = 2, kOutFar = 4, kOutLeft = 8, kOutBottom = 16, kOutNear = 32,
    kOutGuardLeft = 64, kOutGuardRight = 128, kOutGuardBottom = 256, kOutGuardTop = 512,
};
constexpr unsigned kViewBits = 63;
constexpr unsigned kClipBits = kOutNear | kOutFar | kOutGuardLeft | kOutGuardRight | kOutGuardBottom | kOutGuardTop;

unsigned outcode(Float4 c, float gx, float gy) {
    const float x = c[0], y = c[1], w = c[3];
#if defined(__SSE2__)
    // Lanes x, y, z against w, and x, y against -w with z against 0. A NaN
    // compares false everywhere; the rasteriser drops what it produces.
    const __m128 v = reinterpret_cast<__m128&>(c);
    const __m128 wv = _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3));
    const __m128 lowLimits = _mm_and_ps(_mm_sub_ps(_mm_setzero_ps(), wv),
                                        _mm_castsi128_ps(_mm_set_epi32(-1, 0, -1, -1)));
    unsigned code = static_cast<unsigned>(_mm_movemask_ps(_mm_cmpgt_ps(v, wv)) & 7) |
                    static_cast<unsigned>(_mm_movemask_ps(_mm_cmplt_ps(v, lowLimits)) & 7) << 3;
#else
    const float z = c[2];
    if (!(x == x && y == y && z == z && w == w)) return kOutNear | kOutFar;  // NaN: rejected whole
    unsigned code = (z < 0.0f) * kOutNear | (z > w) * kOutFar | (x < -w) * kOutLeft | (x > w) * kOutRight |
                    (y < -w) * kOutBottom | (y > w) * kOutTop;
#endif
    if (code & (kOutLeft | kOutRight | kOutBottom | kOutTop)) {
        code |= (x < -gx * w) * kOutGuardLeft | (x > gx * w) * kOutGuardRight | (y < -gy * w) * kOutGuardBottom |
                (y > gy * w) * kOutGuardTop;
    }
    return code;
}

float planeDistance(const ClipVertex& v, unsigned plane, float gx, float gy) {
    switch (plane) {
    case kOutNear: return v.z;
    case kOutFar: return v.w - v.z;
    case kOutGuardLeft: return v.x + gx * v.w;
    case kOutGuardRight: return gx * v.w - v.x;
    case kOutGuardBottom: return v.y + gy * v.w;
    default: return gy * v.w - v.y;
    }
}

ClipVertex lerp(const ClipVertex& a, const ClipVertex& b, float t) {
    ClipVertex r;
    r.x = a.x + (b.x - a.x) * t;
    r.y = a.y + (b.y - a.y) * t;
    r.z = a.z + (b.z - a.z) * t;
    r.w = a.w + (b.w - a.w) * t;
    r.u = a.u + (b.u - a.u) * t;
    r.v = a.v + (b.v - a.v) * t;
    for (int i = 0; i < 4; ++i) r.c[i] = a.c[i] + (b.c[i] - a.c[i]) * t;
    return r;
}

constexpr int kMaxClipVertices = 16;


// Sutherland-Hodgman against one plane; returns the new vertex count.
int clipPolygon(const ClipVertex* in, int count, ClipVertex* out, unsigned plane, float gx, float gy) {
    int n = 0;
    for (int i = 0; i < count; ++i) {
        const ClipVertex& a = in[i];
        const ClipVertex& b = in[(i + 1) % count];
        float da = planeDistance(a, plane, gx, gy), db = planeDistance(b, plane, gx, gy);
        if (da >= 0.0f) out[n++] = a;
        if ((da >= 0.0f) != (db >= 0.0f) && n < kMaxClipVertices) out[n++] = lerp(a, b, da / (da - db));
        if (n >= kMaxClipVertices - 1) break;
    }
    return n;
}

uint32_t packColour(const float* c) {
    auto byte = [](float f) { return static_cast<uint32_t>(std::clamp(f, 0.0f, 255.0f) + 0.5f); };
    return byte(c[3]) << 24 | byte(c[0]) << 16 | byte(c[1]) << 8 | byte(c[2]);
}

// Screen rectangle that transformed vertices are clipped to: the viewport
// grown by the guard band, kept a little inside the rasteriser's limit.
struct GuardBand {
    float left, top, right, bottom;
};

GuardBand guardBand(const Viewport& v) {
    const float margin = kGuardBand - 64.0f;
    return {static_cast<float>(v.x) - margin, static_cast<float>(v.y) - margin,
            static_cast<float>(v.x + v.width) + margin, static_cast<float>(v.y + v.height) + margin};
}

// Screen-space clipping of a transformed triangle reaching past the guard
// band. Depth, 1/w, u/w, v/w and colour are linear on screen, so they are
// interpolated in that form. NaN positions drop the triangle.
void clipScreenTriangle(const RasterState& st, const RasterVertex* tri, const GuardBand& g, DrawStats& stats) {
    struct Clip {
        float x, y, z, w, uw, vw, c[4];
    };
    Clip poly[2][kMaxClipVertices];
    for (int i = 0; i < 3; ++i) {
        const RasterVertex& v = tri[i];
        if (!(v.x == v.x && v.y == v.y)) {
            ++stats.rejected;
            return;
        }
        poly[0][i] = {v.x, v.y, v.z, v.rhw, v.u * v.rhw, v.v * v.rhw,
                      {static_cast<float>(v.colour >> 16 & 0xFF), static_cast<float>(v.colour >> 8 & 0xFF),
                       static_cast<float>(v.colour & 0xFF), static_cast<float>(v.colour >> 24)}};
    }
    int n = 3, cur = 0;
    for (int plane = 0; plane < 4 && n >= 3; ++plane) {
        auto dist = [&](const Clip& c) {
            switch (plane) {
            case 0: return c.x - g.left;
            case 1: return g.right - c.x;
            case 2: return c.y - g.top;
            default: return g.bottom - c.y;
            }
        };
        int m = 0;
        for (int i = 0; i < n && m < kMaxClipVertices - 1; ++i) {
            const Clip& a = poly[cur][i];
            const Clip& b = poly[cur][(i + 1) % n];
            float da = dist(a), db = dist(b);
            if (da >= 0.0f) poly[cur ^ 1][m++] = a;
            if ((da >= 0.0f) != (db >= 0.0f)) {
                float t = da / (da - db);
                Clip& o = poly[cur ^ 1][m++];
                o.x = a.x + (b.x - a.x) * t;
                o.y = a.y + (b.y - a.y) * t;
                o.z = a.z + (b.z - a.z) * t;
                o.w = a.w + (b.w - a.w) * t;
                o.uw = a.uw + (b.uw - a.uw) * t;
                o.vw = a.vw + (b.vw - a.vw) * t;
                for (int k = 0; k < 4; ++k) o.c[k] = a.c[k] + (b.c[k] - a.c[k]) * t;
            }
        }
        n = m;
        cur ^= 1;
    }
    if (n < 3) {
        ++stats.rejected;
        return;
    }
    RasterVertex out[kMaxClipVertices];
    for (int i = 0; i < n; ++i) {
        const Clip& c = poly[cur][i];
        float w = c.w > 0.0f ? c.w : 1.0f;
        out[i] = {c.x, c.y, c.z, w, c.uw / w, c.vw / w, packColour(c.c)};
    }
    for (int i = 1; i + 1 < n; ++i) rasteriseTriangle(st, out[0], out[i], out[i + 1], stats);
}

}  // namespace

Device::Device(DeviceClass deviceClass, Surface& renderTarget, Surface* depthBuffer)
    : target(renderTarget), depth(depthBuffer), cls(deviceClass), adapterState(renderTarget.adapter) {
    states[idx(RenderState::ZEnable)] = depthBuffer ? 1 : 0;
    states[idx(RenderState::ZWriteEnable)] = 1;
    states[idx(RenderState::ZFunc)] = static_cast<uint32_t>(Compare::LessEqual);
    states[idx(RenderState::AlphaFunc)] = static_cast<uint32_t>(Compare::Always);
    states[idx(RenderState::SrcBlend)] = static_cast<uint32_t>(Blend::One);
    states[idx(RenderState::DestBlend)] = static_cast<uint32_t>(Blend::Zero);
    states[idx(RenderState::CullMode)] = static_cast<uint32_t>(Cull::CCW);
    states[idx(RenderState::ShadeMode)] = static_cast<uint32_t>(Shade::Gouraud);
    states[idx(RenderState::FogEnd)] = floatBits(1.0f);
    stageStates[idx(StageState::ColorOp)] = static_cast<uint32_t>(TextureOp::Modulate);
    stageStates[idx(StageState::ColorArg1)] = static_cast<uint32_t>(TextureArg::Texture);
    stageStates[idx(StageState::ColorArg2)] = static_cast<uint32_t>(TextureArg::Current);
    stageStates[idx(StageState::AlphaOp)] = static_cast<uint32_t>(TextureOp::SelectArg1);
    stageStates[idx(StageState::AlphaArg1)] = static_cast<uint32_t>(TextureArg::Texture);
    stageStates[idx(StageState::AlphaArg2)] = static_cast<uint32_t>(TextureArg::Current);
    stageStates[idx(StageState::Address)] = static_cast<uint32_t>(TextureAddress::Wrap);
    stageStates[idx(StageState::MagFilter)] = static_cast<uint32_t>(TextureFilter::Point);
    stageStates[idx(StageState::MinFilter)] = static_cast<uint32_t>(TextureFilter::Point);
    stageStates[idx(StageState::MipFilter)] = static_cast<uint32_t>(TextureFilter::None);
    for (Matrix& m : transforms) m = identityMatrix();
    view.width = renderTarget.width();
    view.height = renderTarget.height();
}

Device::~Device() { drawQueued(); }

bool Device::setRasterThreads(int threads) {
    if (threads < 1 || threads > kMaxRasterThreads) return false;
    if (threads == rasterThreads()) return true;
    drawQueued();
    queue.reset();
    if (threads == 1) return true;
    try {
        queue = std::make_unique<FrameQueue>(threads);
    } catch (const std::exception&) {  // no memory, or no thread to be had
        queue.reset();
        return false;
    }
    return true;
}

int Device::rasterThreads() const { return queue ? queue->threads() : 1; }

void Device::drawQueued() {
    if (adapterState->queuedDevice == this) adapterState->queuedDevice = nullptr;
    if (queue) queue->flush();
}

bool Device::setRenderState(RenderState state, uint32_t value) {
    bool ok = false;
    switch (state) {
    case RenderState::ZEnable:
    case RenderState::ZWriteEnable:
    case RenderState::AlphaTestEnable:
    case RenderState::AlphaBlendEnable: ok = isBool(value); break;
    case RenderState::ZFunc: ok = value == static_cast<uint32_t>(Compare::LessEqual); break;
    case RenderState::AlphaFunc:
        ok = value == static_cast<uint32_t>(Compare::Greater) || value == static_cast<uint32_t>(Compare::Always);
        break;
    case RenderState::AlphaRef: ok = value <= 255; break;
    case RenderState::SrcBlend:
    case RenderState::DestBlend: ok = isBlend(value); break;
    case RenderState::CullMode: ok = value >= 1 && value <= 3; break;
    case RenderState::Lighting:
    case RenderState::Antialias:
    case RenderState::FogEnable: ok = value == 0; break;
    case RenderState::ShadeMode: ok = value == 1 || value == 2; break;
    case RenderState::FogVertexMode: ok = value <= 3; break;
    case RenderState::FogColor:
    case RenderState::FogStart:
    case RenderState::FogEnd: ok = true; break;
    case RenderState::Count: ok = false; break;
    }
    if (ok) states[idx(state)] = value;
    return ok;
}

bool Device::setStageState(int stage, StageState state, uint32_t value) {
    if (stage != 0) return false;
    bool ok = false;
    switch (state) {
    case StageState::ColorOp:
    case StageState::AlphaOp: ok = isOp(value); break;
    case StageState::ColorArg1:
    case StageState::ColorArg2:
    case StageState::AlphaArg1:
    case StageState::AlphaArg2: ok = isArg(value); break;
    case StageState::Address:
        ok = value == static_cast<uint32_t>(TextureAddress::Wrap) || value == static_cast<uint32_t>(TextureAddress::Clamp);
        break;
    case StageState::MagFilter:
    case StageState::MinFilter:
    case StageState::MipFilter: ok = value == static_cast<uint32_t>(TextureFilter::Point); break;
    case StageState::Count: ok = false; break;
    }
    if (ok) stageStates[idx(state)] = value;
    return ok;
}

bool Device::setTexture(int stage, const Surface* texture) {
    if (stage != 0 || (texture && texture->kind() != SurfaceKind::Texture)) return false;
    boundTexture = texture;
    return true;
}

void Device::setTransform(Transform which, const Matrix& matrix) {
    transforms[static_cast<int>(which)] = matrix;
    combinedDirty = true;
}

bool Device::setViewport(const Viewport& v) {
    if (v.width <= 0 || v.height <= 0 || v.x < 0 || v.y < 0 || v.x + v.width > target.width() ||
        v.y + v.height > target.height()) {
        return false;
    }
    if (!(v.minZ >= 0.0f && v.maxZ <= 1.0f && v.minZ <= v.maxZ)) return false;
    view = v;
    return true;
}

bool Device::clear(uint32_t flags, uint32_t argb, float z) {
    drawQueued();
    Rect r{view.x, view.y, view.x + view.width, view.y + view.height};
    if ((flags & kClearZBuffer) && !depth) return false;
    if ((flags & kClearTarget) && (target.isLost() || target.isLocked())) return false;
    if ((flags & kClearZBuffer) && (depth->isLost() || depth->isLocked())) return false;
    if (flags & kClearTarget) target.fill(&r, argb);
    if (flags & kClearZBuffer) depth->fillDepth(&r, z);
    return true;
}

bool Device::beginScene() {
    if (inScene) return false;
    inScene = true;
    return true;
}

bool Device::endScene() {
    if (!inScene) return false;
    drawQueued();
    inScene = false;
    return true;
}

bool Device::prepareDraw(RasterState& st, bool perspective) {
    if (!inScene || target.isLost() || target.isLocked()) return false;
    bool zOn = states[idx(RenderState::ZEnable)] && depth;
    if (zOn && (depth->isLost() || depth->isLocked())) return false;
    st.colour = target.memory.data();
    st.colourPitch = target.pitch();
    st.colourBytes = bytesPerPixel(target.format());
    ZMode z = !zOn ? ZMode::Off : states[idx(RenderState::ZWriteEnable)] ? ZMode::TestWrite : ZMode::Test;
    if (zOn) {
        st.depth = depth->memory.data();
        st.depthPitch = depth->pitch();
    }
    st.clipLeft = view.x;
    st.clipTop = view.y;
    st.clipRight = view.x + view.width;
    st.clipBottom = view.y + view.height;

    StageUse colourUse = stageUse(stageStates[idx(StageState::ColorOp)], stageStates[idx(StageState::ColorArg1)],
                                  stageStates[idx(StageState::ColorArg2)]);
    StageUse alphaUse = stageUse(stageStates[idx(StageState::AlphaOp)], stageStates[idx(StageState::AlphaArg1)],
                                 stageStates[idx(StageState::AlphaArg2)]);
    TexMode tex = TexMode::None;
    if (boundTexture && (colourUse.texture || alphaUse.texture)) {
        if (boundTexture->isLost() || boundTexture->isLocked()) return false;
        tex = stageStates[idx(StageState::Address)] == static_cast<uint32_t>(TextureAddress::Clamp) ? TexMode::Clamp
                                                                                                 : TexMode::Wrap;
        st.texels = boundTexture->texels();
        st.texWidth = boundTexture->width();
        st.texHeight = boundTexture->height();
        st.texelForce = (colourUse.texture ? 0u : 0x00FFFFFFu) | (alphaUse.texture ? 0u : 0xFF000000u);
        diffuseForce = (colourUse.diffuse ? 0u : 0x00FFFFFFu) | (alphaUse.diffuse ? 0u : 0xFF000000u);
    } else {
        diffuseForce = 0;
    }
    st.textured = tex != TexMode::None;
    st.perspective = perspective;

    bool alphaTest = states[idx(RenderState::AlphaTestEnable)] &&
                     states[idx(RenderState::AlphaFunc)] == static_cast<uint32_t>(Compare::Greater);
    st.alphaRef = states[idx(RenderState::AlphaRef)];
    BlendMode blend = BlendMode::Off;
    if (states[idx(RenderState::AlphaBlendEnable)]) {
        auto src = static_cast<Blend>(states[idx(RenderState::SrcBlend)]);
        auto dst = static_cast<Blend>(states[idx(RenderState::DestBlend)]);
        if (src == Blend::One && dst == Blend::Zero) blend = BlendMode::Off;
        else if (src == Blend::SrcAlpha && dst == Blend::InvSrcAlpha) blend = BlendMode::Alpha;
        else if (src == Blend::SrcAlpha && dst == Blend::One) blend = BlendMode::Add;
        else if (src == Blend::Zero && dst == Blend::SrcColor) blend = BlendMode::Multiply;
        else blend = BlendMode::Generic;
        blendWeights(states[idx(RenderState::SrcBlend)], st.srcWeights);
        blendWeights(states[idx(RenderState::DestBlend)], st.dstWeights);
    }
    st.cull = static_cast<Cull>(states[idx(RenderState::CullMode)]);
    st.hiddenTest = zOn && pixelLoops != PixelLoops::Reference;
    flatShade = states[idx(RenderState::ShadeMode)] == static_cast<uint32_t>(Shade::Flat);
    selectLoops(st, target.format() == PixelFormat::R5G6B5, z, tex, alphaTest, blend, pixelLoops);
    if (queue) {
        // Another device's queue on the same surfaces is drawn first.
        Device*& queued = adapterState->queuedDevice;
        if (queued && queued != this) queued->drawQueued();
        queued = this;
        st.queue = queue.get();
        st.serial = ++drawSerial == 0 ? ++drawSerial : drawSerial;
        st.batch = rasteriseBatch;  // setup of one triangle at a time, each queued
    }
    return true;
}

bool Device::drawPrimitive(Primitive type, const LVertex* vertices, int count) {
    RasterState st;
    if (!vertices || count < 3 || !prepareDraw(st, true)) return false;
    if (combinedDirty) {
        combined = multiply(multiply(transforms[0], transforms[1]), transforms[2]);
        combinedDirty = false;
    }
    const Matrix& m = combined;
    const Float4 rows[4] = {{m.m[0][0], m.m[0][1], m.m[0][2], m.m[0][3]},
                            {m.m[1][0], m.m[1][1], m.m[1][2], m.m[1][3]},
                            {m.m[2][0], m.m[2][1], m.m[2][2], m.m[2][3]},
                            {m.m[3][0], m.m[3][1], m.m[3][2], m.m[3][3]}};
    const float halfW = static_cast<float>(view.width) * 0.5f, halfH = static_cast<float>(view.height) * 0.5f;
    const float centreX = static_cast<float>(view.x) + halfW, centreY = static_cast<float>(view.y) + halfH;
    const float zScale = view.maxZ - view.minZ;
    // Slightly inside the rasteriser's limit, so clipped vertices pass it.
    const float gx = 1.0f + (kGuardBand - 64.0f) / halfW, gy = 1.0f + (kGuardBand - 64.0f) / halfH;
    const int triangles = type == Primitive::TriangleList ? count / 3 : count - 2;

    auto project = [&](float x, float y, float z, float w, float u, float v, uint32_t colour) {
        float rhw = 1.0f / w;
        return RasterVertex{centreX + x * rhw * halfW, centreY - y * rhw * halfH, view.minZ + z * rhw * zScale,
                            rhw, u, v, colour};
    };

    // What follows a triangle's transform and culling: colours, projection,
    // and clipping where a vertex leaves the guard band or the depth range.
    auto finish = [&](const LVertex* const* in, const float* cx, const float* cy, const float* cz, const float* cw,
                      const unsigned* codes, bool unclipped) {
        uint32_t colours[3];
        for (int i = 0; i < 3; ++i) colours[i] = in[i]->diffuse | diffuseForce;
        if (flatShade) colours[1] = colours[2] = colours[0];
        if (unclipped) {
            RasterVertex r[3];
            for (int i = 0; i < 3; ++i) r[i] = project(cx[i], cy[i], cz[i], cw[i], in[i]->tu, in[i]->tv, colours[i]);
            rasteriseTriangle(st, r[0], r[1], r[2], drawStats);
            return;
        }
        ++drawStats.clipped;
        ClipVertex poly[2][kMaxClipVertices];
        int n = 3;
        for (int i = 0; i < 3; ++i) {
            ClipVertex& c = poly[0][i];
            c = {cx[i], cy[i], cz[i], cw[i], in[i]->tu, in[i]->tv, {}};
            c.c[0] = static_cast<float>(colours[i] >> 16 & 0xFF);
            c.c[1] = static_cast<float>(colours[i] >> 8 & 0xFF);
            c.c[2] = static_cast<float>(colours[i] & 0xFF);
            c.c[3] = static_cast<float>(colours[i] >> 24);
        }
        int cur = 0;
        unsigned planes = (codes[0] | codes[1] | codes[2]) & kClipBits;
        for (unsigned plane = 1; plane <= kOutGuardTop && n >= 3; plane <<= 1) {
            if (!(planes & plane)) continue;
            n = clipPolygon(poly[cur], n, poly[cur ^ 1], plane, gx, gy);
            cur ^= 1;
        }
        if (n < 3) {
            ++drawStats.rejected;
            return;
        }
        RasterVertex r[kMaxClipVertices];
        for (int i = 0; i < n; ++i) {
            const ClipVertex& c = poly[cur][i];
            r[i] = project(c.x, c.y, c.z, std::max(c.w, 1e-30f), c.u, c.v, packColour(c.c));
        }
        for (int i = 1; i + 1 < n; ++i) rasteriseTriangle(st, r[0], r[i], r[i + 1], drawStats);
    };

    int t = 0;
#if defined(__SSE2__)
    if (type == Primitive::TriangleList) {
        // Four triangles at a time, one per lane: the same float operations
        // as the single triangles below, so the same values and decisions.
        const __m128 m0[4] = {_mm_set1_ps(m.m[0][0]), _mm_set1_ps(m.m[0][1]), _mm_set1_ps(m.m[0][2]), _mm_set1_ps(m.m[0][3])};
        const __m128 m1[4] = {_mm_set1_ps(m.m[1][0]), _mm_set1_ps(m.m[1][1]), _mm_set1_ps(m.m[1][2]), _mm_set1_ps(m.m[1][3])};
        const __m128 m2[4] = {_mm_set1_ps(m.m[2][0]), _mm_set1_ps(m.m[2][1]), _mm_set1_ps(m.m[2][2]), _mm_set1_ps(m.m[2][3])};
        const __m128 m3[4] = {_mm_set1_ps(m.m[3][0]), _mm_set1_ps(m.m[3][1]), _mm_set1_ps(m.m[3][2]), _mm_set1_ps(m.m[3][3])};
        const __m128 zero = _mm_setzero_ps(), guardX = _mm_set1_ps(gx), guardY = _mm_set1_ps(gy);
        const __m128 signBit = _mm_set1_ps(-0.0f);
        TriangleBatch batch;
        for (; t + 4 <= triangles; t += 4) {
            alignas(16) float lx[3][4], ly[3][4], lz[3][4], lw[3][4];
            __m128 clip = zero;
            __m128 rejectBits[6];
            for (int i = 0; i < 3; ++i) {
                __m128 px = _mm_loadu_ps(&vertices[(t + 0) * 3 + i].x), py = _mm_loadu_ps(&vertices[(t + 1) * 3 + i].x);
                __m128 pz = _mm_loadu_ps(&vertices[(t + 2) * 3 + i].x), pr = _mm_loadu_ps(&vertices[(t + 3) * 3 + i].x);
                _MM_TRANSPOSE4_PS(px, py, pz, pr);
                // rows[0] * x + rows[1] * y + rows[2] * z + rows[3], per component.
                const __m128 x = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(m0[0], px), _mm_mul_ps(m1[0], py)), _mm_mul_ps(m2[0], pz)), m3[0]);
                const __m128 y = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(m0[1], px), _mm_mul_ps(m1[1], py)), _mm_mul_ps(m2[1], pz)), m3[1]);
                const __m128 z = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(m0[2], px), _mm_mul_ps(m1[2], py)), _mm_mul_ps(m2[2], pz)), m3[2]);
                const __m128 w = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(m0[3], px), _mm_mul_ps(m1[3], py)), _mm_mul_ps(m2[3], pz)), m3[3]);
                _mm_store_ps(lx[i], x);
                _mm_store_ps(ly[i], y);
                _mm_store_ps(lz[i], z);
                _mm_store_ps(lw[i], w);
                const __m128 minusW = _mm_sub_ps(zero, w);
                const __m128 bits[6] = {_mm_cmpgt_ps(x, w), _mm_cmpgt_ps(y, w), _mm_cmpgt_ps(z, w),
                                        _mm_cmplt_ps(x, minusW), _mm_cmplt_ps(y, minusW), _mm_cmplt_ps(z, zero)};
                for (int k = 0; k < 6; ++k) rejectBits[k] = i == 0 ? bits[k] : _mm_and_ps(rejectBits[k], bits[k]);
                // Guard-band bits count only where a side bit is set, as in outcode.
                const __m128 side = _mm_or_ps(_mm_or_ps(bits[0], bits[1]), _mm_or_ps(bits[3], bits[4]));
                // x < -gx w or x > gx w is |x| > gx w for every w (NaN false).
                const __m128 guard = _mm_or_ps(_mm_cmpgt_ps(_mm_andnot_ps(signBit, x), _mm_mul_ps(guardX, w)),
                                               _mm_cmpgt_ps(_mm_andnot_ps(signBit, y), _mm_mul_ps(guardY, w)));
                clip = _mm_or_ps(clip, _mm_or_ps(_mm_or_ps(bits[2], bits[5]), _mm_and_ps(side, guard)));
            }
            const __m128 reject =
                _mm_or_ps(_mm_or_ps(_mm_or_ps(rejectBits[0], rejectBits[1]), _mm_or_ps(rejectBits[2], rejectBits[3])),
                          _mm_or_ps(rejectBits[4], rejectBits[5]));
            const int rejected = _mm_movemask_ps(reject), clipped = _mm_movemask_ps(clip);
            int culled = 0;
            if (st.cull != Cull::None) {
                const __m128 x0 = _mm_load_ps(lx[0]), x1 = _mm_load_ps(lx[1]), x2 = _mm_load_ps(lx[2]);
                const __m128 y0 = _mm_load_ps(ly[0]), y1 = _mm_load_ps(ly[1]), y2 = _mm_load_ps(ly[2]);
                const __m128 w0 = _mm_load_ps(lw[0]), w1 = _mm_load_ps(lw[1]), w2 = _mm_load_ps(lw[2]);
                const __m128 det = _mm_add_ps(
                    _mm_sub_ps(_mm_mul_ps(x0, _mm_sub_ps(_mm_mul_ps(y1, w2), _mm_mul_ps(y2, w1))),
                               _mm_mul_ps(y0, _mm_sub_ps(_mm_mul_ps(x1, w2), _mm_mul_ps(x2, w1)))),
                    _mm_mul_ps(w0, _mm_sub_ps(_mm_mul_ps(x1, y2), _mm_mul_ps(x2, y1))));
                culled = _mm_movemask_ps(st.cull == Cull::CCW ? _mm_cmpgt_ps(det, zero) : _mm_cmplt_ps(det, zero)) &
                         ~clipped;
            }
            // Counted in bulk; only the remaining lanes are visited.
            static constexpr uint8_t kCount[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
            drawStats.trianglesIn += 4;
            drawStats.rejected += kCount[rejected];
            drawStats.culled += kCount[culled & ~rejected];
            const unsigned remaining = 15u & ~static_cast<unsigned>(rejected | culled);
            if (remaining == 0) continue;
            // Projection of all lanes (unused where a lane is clipped or
            // dropped): the divisions of four triangles at once. Lanes drawn
            // without clipping wait in `batch` to be set up together; a
            // clipped one first draws those before it.
            alignas(16) float px[3][4], py[3][4], pz[3][4], prhw[3][4];
            for (int i = 0; i < 3; ++i) {
                const __m128 rhw = _mm_div_ps(_mm_set1_ps(1.0f), _mm_load_ps(lw[i]));
                _mm_store_ps(prhw[i], rhw);
                _mm_store_ps(px[i], _mm_add_ps(_mm_set1_ps(centreX),
                                               _mm_mul_ps(_mm_mul_ps(_mm_load_ps(lx[i]), rhw), _mm_set1_ps(halfW))));
                _mm_store_ps(py[i], _mm_sub_ps(_mm_set1_ps(centreY),
                                               _mm_mul_ps(_mm_mul_ps(_mm_load_ps(ly[i]), rhw), _mm_set1_ps(halfH))));
                _mm_store_ps(pz[i], _mm_add_ps(_mm_set1_ps(view.minZ),
                                               _mm_mul_ps(_mm_mul_ps(_mm_load_ps(lz[i]), rhw), _mm_set1_ps(zScale))));
            }
            for (unsigned left = remaining; left != 0; left &= left - 1) {
                const int k = std::countr_zero(left);
                const LVertex* in[3];
                triangleVertices(type, vertices, t + k, in);
                if (!(clipped >> k & 1)) {
                    const int slot = batch.count;
                    for (int i = 0; i < 3; ++i) {
                        batch.x[i][slot] = px[i][k];
                        batch.y[i][slot] = py[i][k];
                        batch.z[i][slot] = pz[i][k];
                        batch.rhw[i][slot] = prhw[i][k];
                        batch.u[i][slot] = in[i]->tu;
                        batch.v[i][slot] = in[i]->tv;
                        batch.colour[i][slot] = in[flatShade ? 0 : i]->diffuse | diffuseForce;
                    }
                    if (++batch.count == TriangleBatch::kSize) st.batch(batch, st, drawStats);
                    continue;
                }
                if (batch.count > 0) st.batch(batch, st, drawStats);
                const float cx[3] = {lx[0][k], lx[1][k], lx[2][k]}, cy[3] = {ly[0][k], ly[1][k], ly[2][k]};
                const float cz[3] = {lz[0][k], lz[1][k], lz[2][k]}, cw[3] = {lw[0][k], lw[1][k], lw[2][k]};
                unsigned codes[3];
                for (int i = 0; i < 3; ++i) codes[i] = outcode(Float4{cx[i], cy[i], cz[i], cw[i]}, gx, gy);
                finish(in, cx, cy, cz, cw, codes, false);
            }
        }
        if (batch.count > 0) st.batch(batch, st, drawStats);
    }
#endif
    for (; t < triangles; ++t) {
        const LVertex* in[3];
        triangleVertices(type, vertices, t, in);
        ++drawStats.trianglesIn;
        float cx[3], cy[3], cz[3], cw[3];
        unsigned codes[3];
        for (int i = 0; i < 3; ++i) {
            const LVertex& p = *in[i];
            Float4 c = rows[0] * p.x + rows[1] * p.y + rows[2] * p.z + rows[3];
            cx[i] = c[0];
            cy[i] = c[1];
            cz[i] = c[2];
            cw[i] = c[3];
            codes[i] = outcode(c, gx, gy);
        }
        if (codes[0] & codes[1] & codes[2] & kViewBits) {
            ++drawStats.rejected;
            continue;
        }
        const bool unclipped = ((codes[0] | codes[1] | codes[2]) & kClipBits) == 0;
        if (unclipped && st.cull != Cull::None) {
            // With every w positive the determinant of the rows (x, y, w)
            // has the opposite sign of the screen area (y grows downwards),
            // so back faces leave before any division.
            float det = cx[0] * (cy[1] * cw[2] - cy[2] * cw[1]) - cy[0] * (cx[1] * cw[2] - cx[2] * cw[1]) +
                        cw[0] * (cx[1] * cy[2] - cx[2] * cy[1]);
            if ((st.cull == Cull::CCW && det > 0.0f) || (st.cull == Cull::CW && det < 0.0f)) {
                ++drawStats.culled;
                continue;
            }
        }
        finish(in, cx, cy, cz, cw, codes, unclipped);
    }
    return true;
}

bool Device::drawPrimitive(Primitive type, const TLVertex* vertices, int count) {
    if (!vertices || count < 3) return false;
    const int triangles = type == Primitive::TriangleList ? count / 3 : count - 2;
    // Equal 1/w everywhere (flat 2D drawing) needs no perspective division.
    bool perspective = false;
    for (int i = 1; i < count; ++i) perspective |= vertices[i].rhw != vertices[0].rhw;
    RasterState st;
    if (!prepareDraw(st, perspective)) return false;
    const GuardBand guard = guardBand(view);
    for (int t = 0; t < triangles; ++t) {
        const TLVertex* in[3];
        triangleVertices(type, vertices, t, in);
        ++drawStats.trianglesIn;
        RasterVertex r[3];
        bool inside = true;
        for (int i = 0; i < 3; ++i) {
            const TLVertex& p = *in[i];
            float z = std::fmin(std::fmax(p.sz, 0.0f), 1.0f);
            float rhw = p.rhw > 0.0f ? p.rhw : 1.0f;
            r[i] = {p.sx, p.sy, z, rhw, p.tu, p.tv, p.color | diffuseForce};
            inside = inside && p.sx >= guard.left && p.sx <= guard.right && p.sy >= guard.top && p.sy <= guard.bottom;
        }
        if (flatShade) r[1].colour = r[2].colour = r[0].colour;
        if (inside) {
            rasteriseTriangle(st, r[0], r[1], r[2], drawStats);
        } else {
            clipScreenTriangle(st, r, guard, drawStats);
        }
    }
    return true;
}

}  // namespace render
