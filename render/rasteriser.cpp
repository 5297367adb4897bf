// render/rasteriser.cpp: triangle setup and the per-state span loops.
//
// Positions are snapped to 1/16 pixel. Rows and columns whose centre lies
// on a left or top edge are drawn, on a right or bottom edge not, so
// triangles sharing an edge never draw a pixel twice. Edge positions come
// from exact integer stepping; attributes from plane equations evaluated
// in floats at both ends of each span, clamped to their ranges and stepped
// in fixed point, so no pixel ever leaves the range of its endpoints.
#include <algorithm>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "render/device.h"
#include "render/render_local.h"

namespace render {

namespace {

constexpr int kSubPixel = 16;
constexpr int kPerspectiveRun = 16;
constexpr int64_t kSmallTriangle = 24 * kSubPixel;  // bounding box limit of the edge-function path
constexpr float kZScale = 4294901760.0f;   // 0xFFFF0000: 1.0 in 16.16 Z16 units
constexpr float kColourScale = 65536.0f;
constexpr float kTexScale = 4294967296.0f; // 2^32
constexpr float kTexLimit = 1048576.0f;    // |u|, |v| beyond this are clamped
constexpr uint64_t kTexBias = 1ull << 24;  // 1/256 texel: exact texel edges sample inward

inline uint32_t div255(uint32_t x) {
    x += 128;
    return (x + (x >> 8)) >> 8;
}

template <TexMode Tex>
inline uint32_t texelIndex(int64_t coord, int size) {
    uint64_t c;
    if constexpr (Tex == TexMode::Wrap) {
        c = static_cast<uint32_t>(coord);
    } else {
        c = static_cast<uint64_t>(std::clamp<int64_t>(coord, 0, 0xFFFFFFFFll));
    }
    uint32_t i = static_cast<uint32_t>((c * static_cast<uint64_t>(size) + kTexBias) >> 32);
    const uint32_t n = static_cast<uint32_t>(size);
    // The bias can carry the last fraction of a repeat into the next one.
    if constexpr (Tex == TexMode::Wrap) return i >= n ? i - n : i;
    return std::min(i, n - 1);
}

inline uint32_t genericFactor(const uint32_t* w, uint32_t sc, uint32_t sa) {
    return (w[0] & 255) + (w[1] & sc) + (w[2] & (255 - sc)) + (w[3] & sa) + (w[4] & (255 - sa));
}

template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode>
void drawSpan(Span& s, const RasterState& st) {
    uint8_t* colour = s.colour;
    uint16_t* depth = s.depth;
    int64_t z = s.z;
    int32_t r = s.r, g = s.g, b = s.b, a = s.a;
    const int32_t dr = s.dr, dg = s.dg, db = s.db, da = s.da;
    int64_t u = s.u, v = s.v;
    const int count = s.count;
    const int64_t dz = s.dz, du = s.du, dv = s.dv;
    const uint32_t* texels = st.texels;
    const int texWidth = st.texWidth, texHeight = st.texHeight;
    const uint32_t force = st.texelForce, alphaRef = st.alphaRef;
    for (int i = 0; i < count; ++i) {
        do {
            uint32_t zv = static_cast<uint32_t>(z >> 16);
            if constexpr (Z != ZMode::Off) {
                if (zv > depth[i]) break;
            }
            uint32_t cr = static_cast<uint32_t>(r) >> 16, cg = static_cast<uint32_t>(g) >> 16;
            uint32_t cb = static_cast<uint32_t>(b) >> 16, ca = static_cast<uint32_t>(a) >> 16;
            if constexpr (Tex != TexMode::None) {
                uint32_t tx = texelIndex<Tex>(u, texWidth);
                uint32_t ty = texelIndex<Tex>(v, texHeight);
                uint32_t t = texels[ty * static_cast<uint32_t>(texWidth) + tx] | force;
                cr = div255(cr * (t >> 16 & 0xFF));
                cg = div255(cg * (t >> 8 & 0xFF));
                cb = div255(cb * (t & 0xFF));
                ca = div255(ca * (t >> 24));
            }
            if constexpr (AlphaTest) {
                if (ca <= alphaRef) break;
            }
            if constexpr (Z == ZMode::TestWrite) depth[i] = static_cast<uint16_t>(zv);
            // Opaque pixels of the usual blend replace the target unread.
            if (Mode != BlendMode::Off && !(Mode == BlendMode::Alpha && ca == 255)) {
                uint32_t dr, dg, db;
                if constexpr (Is565) {
                    uint32_t p = reinterpret_cast<uint16_t*>(colour)[i];
                    dr = p >> 11 & 0x1F;
                    dg = p >> 5 & 0x3F;
                    db = p & 0x1F;
                    dr = dr << 3 | dr >> 2;
                    dg = dg << 2 | dg >> 4;
                    db = db << 3 | db >> 2;
                } else {
                    uint32_t p = reinterpret_cast<uint32_t*>(colour)[i];
                    dr = p >> 16 & 0xFF;
                    dg = p >> 8 & 0xFF;
                    db = p & 0xFF;
                }
                if constexpr (Mode == BlendMode::Alpha) {
                    uint32_t ia = 255 - ca;
                    cr = div255(cr * ca + dr * ia);
                    cg = div255(cg * ca + dg * ia);
                    cb = div255(cb * ca + db * ia);
                } else if constexpr (Mode == BlendMode::Add) {
                    cr = std::min(255u, dr + div255(cr * ca));
                    cg = std::min(255u, dg + div255(cg * ca));
                    cb = std::min(255u, db + div255(cb * ca));
                } else if constexpr (Mode == BlendMode::Multiply) {
                    cr = div255(dr * cr);
                    cg = div255(dg * cg);
                    cb = div255(db * cb);
                } else {
                    const uint32_t* sw = st.srcWeights;
                    const uint32_t* dw = st.dstWeights;
                    uint32_t nr = div255(cr * genericFactor(sw, cr, ca) + dr * genericFactor(dw, cr, ca));
                    uint32_t ng = div255(cg * genericFactor(sw, cg, ca) + dg * genericFactor(dw, cg, ca));
                    uint32_t nb = div255(cb * genericFactor(sw, cb, ca) + db * genericFactor(dw, cb, ca));
                    cr = std::min(255u, nr);
                    cg = std::min(255u, ng);
                    cb = std::min(255u, nb);
                }
            }
            if constexpr (Is565) {
                reinterpret_cast<uint16_t*>(colour)[i] =
                    static_cast<uint16_t>((cr >> 3) << 11 | (cg >> 2) << 5 | cb >> 3);
            } else {
                reinterpret_cast<uint32_t*>(colour)[i] = cr << 16 | cg << 8 | cb;
            }
        } while (false);
        if constexpr (Z != ZMode::Off) z += dz;
        r += dr;
        g += dg;
        b += db;
        a += da;
        if constexpr (Tex != TexMode::None) {
            u += du;
            v += dv;
        }
    }
    s.colour = colour + count * (Is565 ? 2 : 4);
    s.depth = depth + count;
    s.z = z;
    s.r = r;
    s.g = g;
    s.b = b;
    s.a = a;
    s.u = u;
    s.v = v;
}

#if defined(__SSE2__)
// The same arithmetic as drawSpan, four channels at a time in 16-bit
// lanes (b, g, r, a: the byte order of an ARGB word in memory). Products
// stay below 65536 in every lane, so results equal the scalar loop's.
inline __m128i div255x(__m128i x) {
    x = _mm_add_epi16(x, _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(x, _mm_srli_epi16(x, 8)), 8);
}

inline __m128i expand(uint32_t argb) { return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(argb)), _mm_setzero_si128()); }

template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode>
void drawSpanSimd(Span& s, const RasterState& st) {
    uint8_t* colour = s.colour;
    uint16_t* depth = s.depth;
    int64_t z = s.z;
    int64_t u = s.u, v = s.v;
    const int count = s.count;
    const int64_t dz = s.dz, du = s.du, dv = s.dv;
    __m128i acc = _mm_set_epi32(s.a, s.r, s.g, s.b);
    const __m128i step = _mm_set_epi32(s.da, s.dr, s.dg, s.db);
    const __m128i full = _mm_set1_epi16(255);
    const uint32_t* texels = st.texels;
    const int texWidth = st.texWidth, texHeight = st.texHeight;
    const uint32_t force = st.texelForce, alphaRef = st.alphaRef;
    for (int i = 0; i < count; ++i) {
        do {
            uint32_t zv = static_cast<uint32_t>(z >> 16);
            if constexpr (Z != ZMode::Off) {
                if (zv > depth[i]) break;
            }
            __m128i c = _mm_srli_epi32(acc, 16);
            c = _mm_packs_epi32(c, c);
            if constexpr (Tex != TexMode::None) {
                uint32_t tx = texelIndex<Tex>(u, texWidth);
                uint32_t ty = texelIndex<Tex>(v, texHeight);
                uint32_t t = texels[ty * static_cast<uint32_t>(texWidth) + tx] | force;
                c = div255x(_mm_mullo_epi16(c, expand(t)));
            }
            const uint32_t ca = static_cast<uint32_t>(_mm_extract_epi16(c, 3));
            if constexpr (AlphaTest) {
                if (ca <= alphaRef) break;
            }
            if constexpr (Z == ZMode::TestWrite) depth[i] = static_cast<uint16_t>(zv);
            if (Mode != BlendMode::Off && !(Mode == BlendMode::Alpha && ca == 255)) {
                uint32_t dst;
                if constexpr (Is565) {
                    uint32_t p = reinterpret_cast<uint16_t*>(colour)[i];
                    uint32_t dr = p >> 11 & 0x1F, dg = p >> 5 & 0x3F, db = p & 0x1F;
                    dst = (dr << 3 | dr >> 2) << 16 | (dg << 2 | dg >> 4) << 8 | (db << 3 | db >> 2);
                } else {
                    dst = reinterpret_cast<uint32_t*>(colour)[i];
                }
                const __m128i d = expand(dst);
                if constexpr (Mode == BlendMode::Alpha) {
                    const __m128i alpha = _mm_shufflelo_epi16(c, _MM_SHUFFLE(3, 3, 3, 3));
                    c = div255x(_mm_add_epi16(_mm_mullo_epi16(c, alpha),
                                              _mm_mullo_epi16(d, _mm_sub_epi16(full, alpha))));
                } else if constexpr (Mode == BlendMode::Add) {
                    const __m128i alpha = _mm_shufflelo_epi16(c, _MM_SHUFFLE(3, 3, 3, 3));
                    c = _mm_add_epi16(d, div255x(_mm_mullo_epi16(c, alpha)));
                } else {
                    c = div255x(_mm_mullo_epi16(d, c));
                }
            }
            const uint32_t out = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(c, c)));
            if constexpr (Is565) {
                reinterpret_cast<uint16_t*>(colour)[i] =
                    static_cast<uint16_t>((out >> 19 & 0x1F) << 11 | (out >> 10 & 0x3F) << 5 | (out >> 3 & 0x1F));
            } else {
                reinterpret_cast<uint32_t*>(colour)[i] = out & 0xFFFFFF;
            }
        } while (false);
        if constexpr (Z != ZMode::Off) z += dz;
        acc = _mm_add_epi32(acc, step);
        if constexpr (Tex != TexMode::None) {
            u += du;
            v += dv;
        }
    }
    s.colour = colour + count * (Is565 ? 2 : 4);
    s.depth = depth + count;
    s.z = z;
    alignas(16) int32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), acc);
    s.b = lanes[0];
    s.g = lanes[1];
    s.r = lanes[2];
    s.a = lanes[3];
    s.u = u;
    s.v = v;
}

template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode>
constexpr SpanFunction kSpan = Mode == BlendMode::Generic ? drawSpan<Is565, Z, Tex, AlphaTest, Mode>
                                                          : drawSpanSimd<Is565, Z, Tex, AlphaTest, Mode>;
#else
template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode>
constexpr SpanFunction kSpan = drawSpan<Is565, Z, Tex, AlphaTest, Mode>;
#endif

// The table of span loops, indexed by the five state choices.
template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest>
constexpr SpanFunction kByBlend[5] = {
    kSpan<Is565, Z, Tex, AlphaTest, BlendMode::Off>,
    kSpan<Is565, Z, Tex, AlphaTest, BlendMode::Alpha>,
    kSpan<Is565, Z, Tex, AlphaTest, BlendMode::Add>,
    kSpan<Is565, Z, Tex, AlphaTest, BlendMode::Multiply>,
    kSpan<Is565, Z, Tex, AlphaTest, BlendMode::Generic>,
};

template <bool Is565, ZMode Z, TexMode Tex>
SpanFunction pickAlpha(bool alphaTest, BlendMode blend) {
    int i = static_cast<int>(blend);
    return alphaTest ? kByBlend<Is565, Z, Tex, true>[i] : kByBlend<Is565, Z, Tex, false>[i];
}

template <bool Is565, ZMode Z>
SpanFunction pickTex(TexMode tex, bool alphaTest, BlendMode blend) {
    switch (tex) {
    case TexMode::None: return pickAlpha<Is565, Z, TexMode::None>(alphaTest, blend);
    case TexMode::Wrap: return pickAlpha<Is565, Z, TexMode::Wrap>(alphaTest, blend);
    default: return pickAlpha<Is565, Z, TexMode::Clamp>(alphaTest, blend);
    }
}

template <bool Is565>
SpanFunction pickZ(ZMode z, TexMode tex, bool alphaTest, BlendMode blend) {
    switch (z) {
    case ZMode::Off: return pickTex<Is565, ZMode::Off>(tex, alphaTest, blend);
    case ZMode::Test: return pickTex<Is565, ZMode::Test>(tex, alphaTest, blend);
    default: return pickTex<Is565, ZMode::TestWrite>(tex, alphaTest, blend);
    }
}

// Nearest 1/16 pixel, halves rounding up. The offset keeps the truncating
// conversion a floor for every coordinate inside the guard band.
inline int64_t snap(float x) {
    constexpr double kOffset = 1048576.0;
    return static_cast<int64_t>(static_cast<double>(x) * kSubPixel + (0.5 + kOffset)) - static_cast<int64_t>(kOffset);
}

int ceilDiv16(int64_t a) { return static_cast<int>((a + kSubPixel - 1) >> 4); }

// Floor division with remainder in [0, d), d > 0: a double estimate
// corrected to the exact integer result (operands stay below 2^50).
inline void divide(int64_t n, int64_t d, int64_t& q, int64_t& r) {
    q = static_cast<int64_t>(static_cast<double>(n) / static_cast<double>(d));
    r = n - q * d;
    while (r < 0) {
        --q;
        r += d;
    }
    while (r >= d) {
        ++q;
        r -= d;
    }
}

// Walks the first pixel column at or right of an edge, row by row.
struct EdgeWalk {
    int64_t x, rem, stepX, stepRem, den;

    void init(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int firstRow) {
        int64_t dy = y1 - y0, dx = x1 - x0;
        den = kSubPixel * dy;
        int64_t n = x0 * dy + (firstRow * int64_t{kSubPixel} - y0) * dx + den - 1;
        divide(n, den, x, rem);
        divide(kSubPixel * dx, den, stepX, stepRem);
    }
    void step() {
        x += stepX;
        rem += stepRem;
        if (rem >= den) {
            ++x;
            rem -= den;
        }
    }
};

// An attribute as a plane over the screen: value = origin + x * dx + y * dy.
struct Plane {
    float origin = 0.0f, dx = 0.0f, dy = 0.0f;
    float at(float x, float y) const { return origin + x * dx + y * dy; }
};

struct Setup {
    Plane z, r, g, b, a, u, v, w;  // w: 1/w; u, v: u/w, v/w when perspective
    bool flatColour = false;       // all three colours equal: r, g, b, a hold them
    bool perspective = false;
    int32_t fixedColour[4] = {};
};

Plane makePlane(float a0, float a1, float a2, float x0, float y0, float ex1, float ey1, float ex2,
                float ey2, float invArea) {
    float d1 = a1 - a0, d2 = a2 - a0;
    Plane p;
    p.dx = (d1 * ey2 - d2 * ey1) * invArea;
    p.dy = (d2 * ex1 - d1 * ex2) * invArea;
    p.origin = a0 - x0 * p.dx - y0 * p.dy;
    return p;
}

void unpackColour(uint32_t argb, float out[4]) {
    out[0] = static_cast<float>(argb >> 16 & 0xFF);
    out[1] = static_cast<float>(argb >> 8 & 0xFF);
    out[2] = static_cast<float>(argb & 0xFF);
    out[3] = static_cast<float>(argb >> 24);
}

// Affine texture coordinates are used where 1/w varies so little over the
// triangle that the largest error stays below a quarter texel; the error of
// affine mapping is at most about (max w / min w - 1) / 4 of the texel
// extent covered.
bool needsPerspective(const RasterState& st, const RasterVertex& a, const RasterVertex& b, const RasterVertex& c) {
    float lo = std::min({a.rhw, b.rhw, c.rhw}), hi = std::max({a.rhw, b.rhw, c.rhw});
    float extentU = (std::max({a.u, b.u, c.u}) - std::min({a.u, b.u, c.u})) * static_cast<float>(st.texWidth);
    float extentV = (std::max({a.v, b.v, c.v}) - std::min({a.v, b.v, c.v})) * static_cast<float>(st.texHeight);
    return !((hi - lo) * std::max(extentU, extentV) < lo);
}

float reciprocal(int n) {
    static const auto table = [] {
        struct Table { float values[2048]; } t{};
        t.values[0] = 1.0f;
        for (int i = 1; i < 2048; ++i) t.values[i] = 1.0f / static_cast<float>(i);
        return t;
    }();
    return n < 2048 ? table.values[n] : 1.0f / static_cast<float>(n);
}

// Clamps with NaN going to `lo`, so every float reaching an integer
// conversion is finite and in range.
inline float clampf(float x, float lo, float hi) { return x > lo ? (x < hi ? x : hi) : lo; }

inline int64_t toFixedTex(float t) { return static_cast<int64_t>(clampf(t, -kTexLimit, kTexLimit) * kTexScale); }

// Depth, colour and affine texture coordinates in fixed point at a point
// (x, y), moved from row to row with integer steps instead of evaluating
// the planes anew.
struct Stepper {
    int64_t z = 0, zdx = 0, zdy = 0;
    int64_t u = 0, udx = 0, udy = 0;
    int64_t v = 0, vdx = 0, vdy = 0;
    int32_t c[4] = {}, cdx[4] = {}, cdy[4] = {};
    int x = 0, y = 0;
    bool started = false;

    void start(const Setup& s, bool affineTexture, int atX, int atY) {
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
        if (gouraud) {
            for (int i = 0; i < 4; ++i) c[i] += static_cast<int32_t>(dx * cdx[i] + dy * cdy[i]);
        }
        if (affineTexture) {
            u += dx * udx + dy * udy;
            v += dx * vdx + dy * vdy;
        }
    }
};

constexpr int64_t kZMax = 0xFFFF8000ll;  // 1.0 plus the rounding half step

[[gnu::always_inline]] inline void drawRow(const RasterState& st, const Setup& s, Stepper& at, int y, int x0, int x1) {
    const int n = x1 - x0;
    const bool affine = st.textured && !s.perspective;
    if (!at.started) {
        at.start(s, affine, x0, y);
    } else {
        at.moveTo(x0, y, !s.flatColour, affine);
    }
    Span span;
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
        // No pixel may leave 0-255: rounding can carry the ends just past
        // it, and then both ends are clamped and the step recomputed.
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
    span.u = span.v = span.du = span.dv = 0;
    if (!st.textured) {
        span.count = n;
        st.span(span, st);
        return;
    }
    if (affine) {
        span.u = at.u;
        span.v = at.v;
        span.du = at.udx;
        span.dv = at.vdx;
        span.count = n;
        st.span(span, st);
        return;
    }
    // Exact texture coordinates every kPerspectiveRun pixels, linear between.
    const float fy = static_cast<float>(y);
    float fx = static_cast<float>(x0);
    float w = 1.0f / clampf(s.w.at(fx, fy), 1e-20f, 1e20f);
    float u = s.u.at(fx, fy) * w, v = s.v.at(fx, fy) * w;
    for (int done = 0; done < n;) {
        int run = std::min(kPerspectiveRun, n - done);
        float nx = fx + static_cast<float>(run);
        float nw = 1.0f / clampf(s.w.at(nx, fy), 1e-20f, 1e20f);
        float nu = s.u.at(nx, fy) * nw, nv = s.v.at(nx, fy) * nw;
        float inv = reciprocal(run);
        span.u = toFixedTex(u);
        span.v = toFixedTex(v);
        span.du = toFixedTex((nu - u) * inv);
        span.dv = toFixedTex((nv - v) * inv);
        span.count = run;
        st.span(span, st);
        done += run;
        fx = nx;
        u = nu;
        v = nv;
    }
}

}  // namespace

SpanFunction selectSpan(bool target565, ZMode z, TexMode tex, bool alphaTest, BlendMode blend) {
    return target565 ? pickZ<true>(z, tex, alphaTest, blend) : pickZ<false>(z, tex, alphaTest, blend);
}

void rasteriseTriangle(const RasterState& st, const RasterVertex& v0, const RasterVertex& v1,
                       const RasterVertex& v2, DrawStats& stats) {
    const RasterVertex* v[3] = {&v0, &v1, &v2};
    int64_t px[3], py[3];
    const float limitLeft = static_cast<float>(st.clipLeft) - kGuardBand;
    const float limitRight = static_cast<float>(st.clipRight) + kGuardBand;
    const float limitTop = static_cast<float>(st.clipTop) - kGuardBand;
    const float limitBottom = static_cast<float>(st.clipBottom) + kGuardBand;
    for (int i = 0; i < 3; ++i) {
        // Written so that NaN fails too.
        if (!(v[i]->x >= limitLeft && v[i]->x <= limitRight && v[i]->y >= limitTop &&
              v[i]->y <= limitBottom)) {
            ++stats.rejected;
            return;
        }
        px[i] = snap(v[i]->x);
        py[i] = snap(v[i]->y);
    }
    int64_t area = (px[1] - px[0]) * (py[2] - py[0]) - (px[2] - px[0]) * (py[1] - py[0]);
    // On screen (y down) a positive area runs clockwise.
    if (area == 0 || (st.cull == Cull::CCW && area < 0) || (st.cull == Cull::CW && area > 0)) {
        ++stats.culled;
        return;
    }
    int64_t minX = std::min({px[0], px[1], px[2]}), maxX = std::max({px[0], px[1], px[2]});
    int top = 0, mid = 1, bottom = 2;
    if (py[mid] < py[top]) std::swap(mid, top);
    if (py[bottom] < py[top]) std::swap(bottom, top);
    if (py[bottom] < py[mid]) std::swap(bottom, mid);
    int rowTop = ceilDiv16(py[top]), rowMid = ceilDiv16(py[mid]), rowBottom = ceilDiv16(py[bottom]);
    int firstRow = std::max(rowTop, st.clipTop), endRow = std::min(rowBottom, st.clipBottom);
    if (firstRow >= endRow || ceilDiv16(maxX) <= st.clipLeft || ceilDiv16(minX) >= st.clipRight) {
        ++stats.rejected;
        return;
    }
    ++stats.rasterised;

    const RasterVertex& a = *v[top];
    const RasterVertex& b = *v[mid];
    const RasterVertex& c = *v[bottom];
    float ax = static_cast<float>(px[top]) / kSubPixel, ay = static_cast<float>(py[top]) / kSubPixel;
    float ex1 = static_cast<float>(px[mid] - px[top]) / kSubPixel;
    float ey1 = static_cast<float>(py[mid] - py[top]) / kSubPixel;
    float ex2 = static_cast<float>(px[bottom] - px[top]) / kSubPixel;
    float ey2 = static_cast<float>(py[bottom] - py[top]) / kSubPixel;
    float invArea = 1.0f / (ex1 * ey2 - ex2 * ey1);
    Setup s;
    s.z = makePlane(a.z, b.z, c.z, ax, ay, ex1, ey1, ex2, ey2, invArea);
    s.flatColour = a.colour == b.colour && a.colour == c.colour;
    if (s.flatColour) {
        s.fixedColour[0] = static_cast<int32_t>(a.colour >> 16 & 0xFF) << 16;
        s.fixedColour[1] = static_cast<int32_t>(a.colour >> 8 & 0xFF) << 16;
        s.fixedColour[2] = static_cast<int32_t>(a.colour & 0xFF) << 16;
        s.fixedColour[3] = static_cast<int32_t>(a.colour >> 24) << 16;
    } else {
        float ca[4], cb[4], cc[4];
        unpackColour(a.colour, ca);
        unpackColour(b.colour, cb);
        unpackColour(c.colour, cc);
        s.r = makePlane(ca[0], cb[0], cc[0], ax, ay, ex1, ey1, ex2, ey2, invArea);
        s.g = makePlane(ca[1], cb[1], cc[1], ax, ay, ex1, ey1, ex2, ey2, invArea);
        s.b = makePlane(ca[2], cb[2], cc[2], ax, ay, ex1, ey1, ex2, ey2, invArea);
        s.a = makePlane(ca[3], cb[3], cc[3], ax, ay, ex1, ey1, ex2, ey2, invArea);
    }
    if (st.textured) {
        s.perspective = st.perspective && needsPerspective(st, a, b, c);
        if (s.perspective) {
            s.w = makePlane(a.rhw, b.rhw, c.rhw, ax, ay, ex1, ey1, ex2, ey2, invArea);
            s.u = makePlane(a.u * a.rhw, b.u * b.rhw, c.u * c.rhw, ax, ay, ex1, ey1, ex2, ey2, invArea);
            s.v = makePlane(a.v * a.rhw, b.v * b.rhw, c.v * c.rhw, ax, ay, ex1, ey1, ex2, ey2, invArea);
        } else {
            s.u = makePlane(a.u, b.u, c.u, ax, ay, ex1, ey1, ex2, ey2, invArea);
            s.v = makePlane(a.v, b.v, c.v, ax, ay, ex1, ey1, ex2, ey2, invArea);
        }
    }

    Stepper stepper;
    if (maxX - minX <= kSmallTriangle && py[bottom] - py[top] <= kSmallTriangle) {
        // Small triangles: edge functions over the bounding box find each
        // row's run without the divisions of edge walking.
        int64_t ex[3] = {px[0], px[1], px[2]}, ey[3] = {py[0], py[1], py[2]};
        if (area < 0) {
            std::swap(ex[1], ex[2]);
            std::swap(ey[1], ey[2]);
        }
        const int firstCol = std::max(ceilDiv16(minX), st.clipLeft);
        const int endCol = std::min(ceilDiv16(maxX), st.clipRight);
        int64_t rowStart[3], stepX[3], stepY[3];
        for (int i = 0; i < 3; ++i) {
            int j = i == 2 ? 0 : i + 1;
            int64_t dx = ex[j] - ex[i], dy = ey[j] - ey[i];
            bool topLeft = dy < 0 || (dy == 0 && dx > 0);
            rowStart[i] = dx * (firstRow * int64_t{kSubPixel} - ey[i]) - dy * (firstCol * int64_t{kSubPixel} - ex[i]) -
                          (topLeft ? 0 : 1);
            stepX[i] = -dy * kSubPixel;
            stepY[i] = dx * kSubPixel;
        }
        for (int y = firstRow; y < endRow; ++y) {
            int64_t e0 = rowStart[0], e1 = rowStart[1], e2 = rowStart[2];
            int x = firstCol;
            while (x < endCol && (e0 | e1 | e2) < 0) {
                e0 += stepX[0];
                e1 += stepX[1];
                e2 += stepX[2];
                ++x;
            }
            int left = x;
            while (x < endCol && (e0 | e1 | e2) >= 0) {
                e0 += stepX[0];
                e1 += stepX[1];
                e2 += stepX[2];
                ++x;
            }
            if (left < x) drawRow(st, s, stepper, y, left, x);
            for (int i = 0; i < 3; ++i) rowStart[i] += stepY[i];
        }
        return;
    }

    // The long edge runs from top to bottom; the middle vertex lies left of
    // it when the sorted triangle turns one way, right of it otherwise.
    int64_t side = (px[mid] - px[top]) * (py[bottom] - py[top]) - (px[bottom] - px[top]) * (py[mid] - py[top]);
    bool longIsLeft = side > 0;
    EdgeWalk longEdge, shortEdge;
    longEdge.init(px[top], py[top], px[bottom], py[bottom], firstRow);
    int y = firstRow;
    for (int half = 0; half < 2; ++half) {
        int from = half == 0 ? top : mid, to = half == 0 ? mid : bottom;
        int halfEnd = std::min(half == 0 ? rowMid : rowBottom, endRow);
        if (y >= halfEnd) continue;
        shortEdge.init(px[from], py[from], px[to], py[to], y);
        for (; y < halfEnd; ++y) {
            int left = static_cast<int>(longIsLeft ? longEdge.x : shortEdge.x);
            int right = static_cast<int>(longIsLeft ? shortEdge.x : longEdge.x);
            left = std::max(left, st.clipLeft);
            right = std::min(right, st.clipRight);
            if (left < right) drawRow(st, s, stepper, y, left, right);
            longEdge.step();
            shortEdge.step();
        }
    }
}

}  // namespace render
