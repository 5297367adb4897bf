// render/render_local.h: shared inside render/ only.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "render/adapter.h"
#include "render/device.h"

namespace render {

// State the adapter shares with its surfaces, so surfaces outliving the
// adapter stay safe to use.
struct AdapterState {
    // The device whose queued triangles are not yet drawn; every surface
    // operation draws them first, so callers never see a frame half done.
    Device* queuedDevice = nullptr;
    uint32_t lossEpoch = 0;
    int failingRestores = 0;
    int failingCreations = 0;
    bool failingQueries = false;
    bool refusedFormats[8] = {};
    bool refusedClasses[kDeviceClasses] = {};
};

}  // namespace render

namespace render {

struct DrawStats;
class FrameQueue;

// A vertex on the way to scan conversion: screen position (pixel centres
// on integers), depth 0-1, 1/w, texture coordinates and ARGB colour.
struct RasterVertex {
    float x, y, z, rhw;
    float u, v;
    uint32_t colour;
};

enum class ZMode : uint8_t { Off, Test, TestWrite };
// WrapShift is Wrap on power-of-two sizes, where texel indices come from
// shifts instead of products; selectLoops picks it, callers ask for Wrap.
enum class TexMode : uint8_t { None, Wrap, Clamp, WrapShift };
// The blend pairs drawn by dedicated loops; Generic covers the rest.
enum class BlendMode : uint8_t { Off, Alpha, Add, Multiply, Generic };

// One run of pixels on a row. Values are fixed point and advance as the
// span function walks, so a span may be drawn in several calls.
struct Span {
    uint8_t* colour;
    uint16_t* depth;
    int count;
    int64_t z;                 // 16.16 in Z16 units
    int64_t dz;
    int32_t r, g, b, a;        // 16.16, 0-255
    int32_t dr, dg, db, da;
    int64_t u, v;              // 32.32 texture coordinates (1.0 = one repeat)
    int64_t du, dv;
};

struct RasterState;
struct TriangleRows;
struct TriangleCells;
struct TriangleBatch;
using SpanFunction = void (*)(Span& span, const RasterState& state);
// Rows of a small triangle without perspective division.
using RowsFunction = void (*)(const TriangleRows& rows, const RasterState& state);
// A small triangle without perspective division, from its coverage.
using CellsFunction = void (*)(const TriangleCells& cells, const RasterState& state);
// The triangles of a batch in drawing order; empties the batch.
using BatchFunction = void (*)(TriangleBatch& batch, const RasterState& state, DrawStats& stats);

struct RasterState {
    uint8_t* colour = nullptr;
    int colourPitch = 0;
    int colourBytes = 4;
    uint8_t* depth = nullptr;
    int depthPitch = 0;
    int clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;
    const uint32_t* texels = nullptr;
    int texWidth = 0, texHeight = 0;
    uint32_t texelForce = 0;     // OR-ed into every texel sample
    // WrapShift: index = (uint32(u) + biasU) >> shiftU | ((uint32(v) + biasV) >> shiftV) << log2Width.
    uint32_t texBiasU = 0, texBiasV = 0;
    int texShiftU = 0, texShiftV = 0, texLog2Width = 0;
    uint32_t alphaRef = 0;
    uint32_t srcWeights[5] = {}; // Generic blend: masks for One, SrcColor,
    uint32_t dstWeights[5] = {}; // InvSrcColor, SrcAlpha, InvSrcAlpha
    Cull cull = Cull::CCW;
    bool textured = false;
    bool perspective = true;
    // Small triangles lying wholly behind the depth buffer may be dropped
    // before setup (depth test on, and not drawing with the reference loops).
    bool hiddenTest = false;
    // Set when the device draws with several threads: triangles are set up
    // and queued there instead of drawn. `serial` tells draw calls apart.
    FrameQueue* queue = nullptr;
    uint32_t serial = 0;
    SpanFunction span = nullptr;
    RowsFunction rows = nullptr;
    CellsFunction cells = nullptr;
    BatchFunction batch = nullptr;
};

// Sets the loops of `state` for the combination (and the texture
// addressing they use).
void selectLoops(RasterState& state, bool target565, ZMode z, TexMode tex, bool alphaTest, BlendMode blend,
                 PixelLoops loops = PixelLoops::Best);

struct LoopSet {
    SpanFunction span;
    RowsFunction rows;
    CellsFunction cells;
};

constexpr uint64_t kTexBias = 1ull << 24;  // 1/256 texel: exact texel edges sample inward

// The two copies of the loops: groups of four pixels on every x86-64
// processor (and the plain loops elsewhere), groups of eight with AVX2.
namespace fourfold {
LoopSet pickLoopSet(bool target565, ZMode z, TexMode tex, bool alphaTest, BlendMode blend, bool reference);
}
namespace eightfold {
LoopSet pickLoopSet(bool target565, ZMode z, TexMode tex, bool alphaTest, BlendMode blend, bool reference);
}

// Culls by winding, then scan-converts with the top-left rule. Vertices
// must lie within kGuardBand pixels of the clip rectangle; farther ones are
// dropped.
void rasteriseTriangle(const RasterState& state, const RasterVertex& v0, const RasterVertex& v1,
                       const RasterVertex& v2, DrawStats& stats);

constexpr float kGuardBand = 4096.0f;

// Screen positions are snapped to 1/kSubPixel pixel; triangles whose
// bounding box is at most kSmallTriangle sub-pixels each way are drawn
// from their coverage.
constexpr int kSubPixel = 16;
constexpr int64_t kSmallTriangle = 24 * kSubPixel;

// Triangles waiting for setup, one per lane, in drawing order: vertex i
// of triangle k is x[i][k], y[i][k] and so on, as rasteriseTriangle takes
// them.
struct TriangleBatch {
    static constexpr int kSize = 8;
    alignas(32) float x[3][kSize], y[3][kSize], z[3][kSize], rhw[3][kSize], u[3][kSize], v[3][kSize];
    alignas(32) uint32_t colour[3][kSize];
    int count = 0;

    RasterVertex vertex(int i, int k) const {
        return {x[i][k], y[i][k], z[i][k], rhw[i][k], u[i][k], v[i][k], colour[i][k]};
    }
};

// rasteriseTriangle on each triangle of the batch in turn.
void rasteriseBatch(TriangleBatch& batch, const RasterState& state, DrawStats& stats);

#if defined(TESSERAE_EIGHTFOLD_LOOPS)
// The same with the setup of the small triangles done for all of them at
// once (AVX2).
void rasteriseBatchAvx2(TriangleBatch& batch, const RasterState& state, DrawStats& stats);
#endif

// Shared by triangle setup (rasteriser.cpp) and the pixel loops
// (span_loops.cpp).

constexpr float kZScale = 4294901760.0f;    // 0xFFFF0000: 1.0 in 16.16 Z16 units
constexpr int64_t kZMax = 0xFFFF8000ll;     // 1.0 plus the rounding half step
constexpr float kColourScale = 65536.0f;
constexpr float kTexScale = 4294967296.0f;  // 2^32
constexpr float kTexLimit = 1048576.0f;     // |u|, |v| beyond this are clamped

// Clamps with NaN going to `lo`, so every float reaching an integer
// conversion is finite and in range.
inline float clampf(float x, float lo, float hi) {
    const float low = x > lo ? x : lo;  // the shapes of the SSE max and min
    return low < hi ? low : hi;
}

inline int64_t toFixedTex(float t) { return static_cast<int64_t>(clampf(t, -kTexLimit, kTexLimit) * kTexScale); }

// 1 / n from a table for the usual span lengths.
float reciprocal(int n);

// An attribute as a plane over the screen: value = origin + x * dx + y * dy.
struct Plane {
    float origin, dx, dy;
    float at(float x, float y) const { return origin + x * dx + y * dy; }
};

// Planes are set only where the triangle needs them: colours unless flat,
// u and v when textured, w when perspective.
struct Setup {
    Plane z, r, g, b, a, u, v, w;  // w: 1/w; u, v: u/w, v/w when perspective
    bool flatColour;               // all three colours equal: fixedColour holds them
    bool perspective;
    int32_t fixedColour[4];

    void setFlatColour(uint32_t argb) {
        flatColour = true;
        fixedColour[0] = static_cast<int32_t>(argb >> 16 & 0xFF) << 16;
        fixedColour[1] = static_cast<int32_t>(argb >> 8 & 0xFF) << 16;
        fixedColour[2] = static_cast<int32_t>(argb & 0xFF) << 16;
        fixedColour[3] = static_cast<int32_t>(argb >> 24) << 16;
    }
};

#if defined(__SSE2__)
// The deepest of the eight stored depths from `firstCol` on the rows
// firstRow to endRow - 1 (which a triangle's hidden test reads as its box:
// a wider box only makes the test stricter). Unsigned maxima through a
// sign flip.
inline int deepestStored(const RasterState& st, int firstRow, int endRow, int firstCol) {
    const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
    __m128i deepest = flip;
    for (int y = firstRow; y < endRow; ++y) {
        const auto* row = reinterpret_cast<const __m128i*>(st.depth + static_cast<ptrdiff_t>(y) * st.depthPitch +
                                                          static_cast<ptrdiff_t>(firstCol) * 2);
        deepest = _mm_max_epi16(deepest, _mm_xor_si128(_mm_loadu_si128(row), flip));
    }
    deepest = _mm_max_epi16(deepest, _mm_shuffle_epi32(deepest, _MM_SHUFFLE(1, 0, 3, 2)));
    deepest = _mm_max_epi16(deepest, _mm_shuffle_epi32(deepest, _MM_SHUFFLE(2, 3, 0, 1)));
    deepest = _mm_max_epi16(deepest, _mm_shufflelo_epi16(deepest, _MM_SHUFFLE(2, 3, 0, 1)));
    return (_mm_cvtsi128_si32(deepest) & 0xFFFF) ^ 0x8000;
}
#endif

// Depth, colour and affine texture coordinates in fixed point at a point
// (x, y), moved from row to row with integer steps instead of evaluating
// the planes anew.
struct Stepper {
    // Members other than `started` are set by start before any use.
    int64_t z, zdx, zdy;
    int64_t u, udx, udy;
    int64_t v, vdx, vdy;
    int32_t c[4], cdx[4], cdy[4];
    int x, y;
    bool started = false;

    [[gnu::always_inline]] void start(const Setup& s, bool affineTexture, int atX, int atY) {
        const float fx = static_cast<float>(atX), fy = static_cast<float>(atY);
        x = atX;
        y = atY;
        started = true;
        z = static_cast<int64_t>(clampf(s.z.at(fx, fy), -4.0f, 4.0f) * kZScale) + 0x8000;
        zdx = static_cast<int64_t>(clampf(s.z.dx, -4.0f, 4.0f) * kZScale);
        zdy = static_cast<int64_t>(clampf(s.z.dy, -4.0f, 4.0f) * kZScale);
        if (!s.flatColour) {
            const Plane* planes[4] = {&s.r, &s.g, &s.b, &s.a};
            for (int i = 0; i < 4; ++i) {
                c[i] = static_cast<int32_t>(clampf(planes[i]->at(fx, fy), -4096.0f, 4096.0f) * kColourScale);
                cdx[i] = static_cast<int32_t>(clampf(planes[i]->dx, -4096.0f, 4096.0f) * kColourScale);
                cdy[i] = static_cast<int32_t>(clampf(planes[i]->dy, -4096.0f, 4096.0f) * kColourScale);
            }
        }
        if (affineTexture) {
            u = toFixedTex(s.u.at(fx, fy));
            v = toFixedTex(s.v.at(fx, fy));
            udx = toFixedTex(s.u.dx);
            udy = toFixedTex(s.u.dy);
            vdx = toFixedTex(s.v.dx);
            vdy = toFixedTex(s.v.dy);
        }
    }

    void moveTo(int nx, int ny, bool gouraud, bool affineTexture) {
        const int64_t dx = nx - x, dy = ny - y;
        x = nx;
        y = ny;
        z += dx * zdx + dy * zdy;
        // Colours move modulo 2^32, so the place reached does not depend
        // on the way there (a thread drawing some rows of a triangle moves
        // further at once).
        if (gouraud) {
            for (int i = 0; i < 4; ++i) {
                c[i] = static_cast<int32_t>(static_cast<uint32_t>(c[i]) +
                                            static_cast<uint32_t>(dx * cdx[i] + dy * cdy[i]));
            }
        }
        if (affineTexture) {
            u += dx * udx + dy * udy;
            v += dx * vdx + dy * vdy;
        }
    }
};


// Colour starts and steps of a Gouraud span of n pixels from the stepper.
// No pixel may leave 0-255: rounding can carry the ends just past it, and
// then both ends are clamped and the step recomputed.
inline void gouraudSpan(Span& span, const Stepper& at, int n) {
    int32_t* starts[4] = {&span.r, &span.g, &span.b, &span.a};
    int32_t* steps[4] = {&span.dr, &span.dg, &span.db, &span.da};
    constexpr int32_t kMax = 255 << 16;
    for (int i = 0; i < 4; ++i) {
        int32_t c0 = at.c[i], d = at.cdx[i];
        int64_t c1 = c0 + static_cast<int64_t>(d) * (n - 1);
        if (c0 < 0 || c0 > kMax || c1 < 0 || c1 > kMax) {
            int32_t lo = std::clamp<int32_t>(c0, 0, kMax);
            int32_t hi = static_cast<int32_t>(std::clamp<int64_t>(c1, 0, kMax));
            c0 = lo;
            d = static_cast<int32_t>(static_cast<float>(hi - lo) * reciprocal(n - 1));
        }
        *starts[i] = c0;
        *steps[i] = d;
    }
}

// Fills `span` for the row y, x0 <= x < x1, moving `at` there; texture
// coordinates are set only for affine mapping.
[[gnu::always_inline]] inline void prepareSpan(Span& span, const RasterState& st, const Setup& s, Stepper& at, int y,
                                               int x0, int x1) {
    const int n = x1 - x0;
    const bool affine = st.textured && !s.perspective;
    if (!at.started) {
        at.start(s, affine, x0, y);
    } else {
        at.moveTo(x0, y, !s.flatColour, affine);
    }
    span.colour = st.colour + static_cast<ptrdiff_t>(y) * st.colourPitch + x0 * st.colourBytes;
    span.depth = st.depth ? reinterpret_cast<uint16_t*>(st.depth + static_cast<ptrdiff_t>(y) * st.depthPitch) + x0
                          : nullptr;
    // Depth may step past 0 or 1 at the far end of a span only where the
    // triangle touches the near or far plane; such values fail the depth
    // test and are never written.
    span.z = std::clamp<int64_t>(at.z, 0, kZMax);
    span.dz = at.zdx;
    if (s.flatColour) {
        span.r = s.fixedColour[0];
        span.g = s.fixedColour[1];
        span.b = s.fixedColour[2];
        span.a = s.fixedColour[3];
        span.dr = span.dg = span.db = span.da = 0;
    } else {
        gouraudSpan(span, at, n);
    }
    span.count = n;
    span.u = span.v = span.du = span.dv = 0;
    if (affine) {
        span.u = at.u;
        span.v = at.v;
        span.du = at.udx;
        span.dv = at.vdx;
    }
}

// Rows of a triangle, drawn by one call.
constexpr int kMaxTriangleRows = 26;
struct TriangleRows {
    const Setup* setup;
    Stepper* stepper;
    int count;
    int y[kMaxTriangleRows], x0[kMaxTriangleRows], x1[kMaxTriangleRows];
};

// A small triangle's bounding box (at most 25 x 25 pixels) walked row by
// row with its three edge functions; the covered columns of a row are
// contiguous. Inside such a box the edge functions fit 32 bits.
struct Coverage {
    int firstRow, endRow, firstCol, width;
    uint32_t widthMask;
    int32_t edge[3];  // at (firstCol, the current row)
    int32_t stepX[3], stepY[3];
#if defined(__SSE2__)
    __m128i lane[3], step4[3];
#endif

    void setSteps() {
        widthMask = width >= 32 ? ~0u : (1u << std::max(width, 0)) - 1;
#if defined(__SSE2__)
        for (int i = 0; i < 3; ++i) {
            lane[i] = _mm_set_epi32(3 * stepX[i], 2 * stepX[i], stepX[i], 0);
            step4[i] = _mm_set1_epi32(4 * stepX[i]);
        }
#endif
    }

    // The current row's coverage: bit k is column firstCol + k.
    [[gnu::always_inline]] uint32_t rowMask() const {
        uint32_t mask = 0;
#if defined(__SSE2__)
        __m128i e0 = _mm_add_epi32(_mm_set1_epi32(edge[0]), lane[0]);
        __m128i e1 = _mm_add_epi32(_mm_set1_epi32(edge[1]), lane[1]);
        __m128i e2 = _mm_add_epi32(_mm_set1_epi32(edge[2]), lane[2]);
        int k = 0;
        do {
            const __m128i any = _mm_or_si128(_mm_or_si128(e0, e1), e2);
            const uint32_t outside = static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(any)));
            mask |= (outside ^ 15u) << k;
            e0 = _mm_add_epi32(e0, step4[0]);
            e1 = _mm_add_epi32(e1, step4[1]);
            e2 = _mm_add_epi32(e2, step4[2]);
            k += 4;
        } while (k < width);
#else
        int32_t e0 = edge[0], e1 = edge[1], e2 = edge[2];
        for (int k = 0; k < width; ++k) {
            mask |= static_cast<uint32_t>((e0 | e1 | e2) >= 0) << k;
            e0 += stepX[0];
            e1 += stepX[1];
            e2 += stepX[2];
        }
#endif
        return mask & widthMask;
    }

    void nextRow() {
        for (int i = 0; i < 3; ++i) edge[i] += stepY[i];
    }
};

// The stepper starts at (startX, startY), the triangle's first covered
// pixel; startY -1 says that is the coverage's own first covered pixel.
// A worker drawing some rows of a triangle passes the whole triangle's, so
// every value is the one drawing it whole reaches.
struct TriangleCells {
    const Setup* setup;
    Coverage coverage;  // at its first row
    int startX = 0, startY = -1;
};

// Rows of the target in strips of kStripRows. Strips are drawn in two
// phases, even strips then odd ones, each shared among the workers, so two
// threads never draw neighbouring rows at once: the pixel groups may read
// and rewrite a few pixels past a row's end, which are the next row's first.
constexpr int kStripRows = 16;

struct RowOwner {
    int worker = 0, workers = 1, phase = 0;
    bool ownsStrip(int strip) const { return (strip & 1) == phase && (strip >> 1) % workers == worker; }
    bool owns(int y) const { return ownsStrip(y / kStripRows); }
};

// A triangle set up on the device's thread, waiting to be drawn by the
// workers. Small triangles keep their coverage, larger ones their snapped
// corners sorted top, middle, bottom.
struct QueuedTriangle {
    Setup setup;
    int64_t px[3], py[3];
    int state;              // index into the queue's states
    int firstRow, endRow;   // clipped rows
    int rowMid, rowBottom;  // large triangles
    int firstCol, width;    // small triangles: the coverage box
    int32_t edge[3], stepX[3], stepY[3];
    int hiddenLowest;       // -1, or the hidden test's bound (small boxes)
    int hiddenCol;
    uint8_t top, mid, bottom;
    bool small;
};

// Draws the rows of `q` that `owner` owns.
void drawQueuedTriangle(const QueuedTriangle& q, const RasterState& st, const RowOwner& owner);

}  // namespace render
