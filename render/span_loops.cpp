// render/span_loops.cpp: the pixel loops, one per combination of target
// format, depth mode, texture addressing, alpha test and blend pair, so
// no state is tested per pixel.
#include <algorithm>
#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "render/device.h"
#include "render/render_local.h"

namespace render {

namespace {

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

// Texture addressing copied out of the state, so stores to the target,
// which may alias it, do not force reloads inside the loops.
struct TexAddress {
    int width, height;
    uint32_t biasU, biasV;
    int shiftU, shiftV, log2Width;

    explicit TexAddress(const RasterState& st)
        : width(st.texWidth), height(st.texHeight), biasU(st.texBiasU), biasV(st.texBiasV), shiftU(st.texShiftU),
          shiftV(st.texShiftV), log2Width(st.texLog2Width) {}
};

// The offset of the texel sampled at (u, v). With a size of 2^k (k <= 24)
// the product c 2^k + 2^24 equals 2^k (c + 2^(24 - k)), so the index is
// the top k bits of the 32-bit sum c + 2^(24 - k), which also wraps.
template <TexMode Tex>
inline uint32_t texelOffset(int64_t u, int64_t v, const TexAddress& t) {
    if constexpr (Tex == TexMode::WrapShift) {
        const uint64_t tx = static_cast<uint32_t>(static_cast<uint32_t>(u) + t.biasU);
        const uint64_t ty = static_cast<uint32_t>(static_cast<uint32_t>(v) + t.biasV);
        return static_cast<uint32_t>(tx >> t.shiftU | (ty >> t.shiftV) << t.log2Width);
    } else {
        return texelIndex<Tex>(v, t.height) * static_cast<uint32_t>(t.width) + texelIndex<Tex>(u, t.width);
    }
}

inline uint32_t genericFactor(const uint32_t* w, uint32_t sc, uint32_t sa) {
    return (w[0] & 255) + (w[1] & sc) + (w[2] & (255 - sc)) + (w[3] & sa) + (w[4] & (255 - sa));
}

template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode>
[[gnu::always_inline]] inline void scalarSpan(Span& s, const RasterState& st) {
    uint8_t* colour = s.colour;
    uint16_t* depth = s.depth;
    int64_t z = s.z;
    int32_t r = s.r, g = s.g, b = s.b, a = s.a;
    const int32_t dr = s.dr, dg = s.dg, db = s.db, da = s.da;
    int64_t u = s.u, v = s.v;
    const int count = s.count;
    const int64_t dz = s.dz, du = s.du, dv = s.dv;
    const uint32_t* texels = st.texels;
    const uint32_t force = st.texelForce, alphaRef = st.alphaRef;
    const TexAddress address(st);
    for (int i = 0; i < count; ++i) {
        do {
            uint32_t zv = static_cast<uint32_t>(z >> 16);
            if constexpr (Z != ZMode::Off) {
                if (zv > depth[i]) break;
            }
            uint32_t cr = static_cast<uint32_t>(r) >> 16, cg = static_cast<uint32_t>(g) >> 16;
            uint32_t cb = static_cast<uint32_t>(b) >> 16, ca = static_cast<uint32_t>(a) >> 16;
            if constexpr (Tex != TexMode::None) {
                uint32_t t = texels[texelOffset<Tex>(u, v, address)] | force;
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
[[gnu::always_inline]] inline void simdSpan(Span& s, const RasterState& st) {
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
    const uint32_t force = st.texelForce, alphaRef = st.alphaRef;
    const TexAddress address(st);
    for (int i = 0; i < count; ++i) {
        do {
            uint32_t zv = static_cast<uint32_t>(z >> 16);
            if constexpr (Z != ZMode::Off) {
                if (zv > depth[i]) break;
            }
            __m128i c = _mm_srli_epi32(acc, 16);
            c = _mm_packs_epi32(c, c);
            if constexpr (Tex != TexMode::None) {
                uint32_t t = texels[texelOffset<Tex>(u, v, address)] | force;
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

#endif

template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode>
[[gnu::always_inline]] inline void spanLoop(Span& s, const RasterState& st) {
#if defined(__SSE2__)
    if constexpr (Mode != BlendMode::Generic) {
        simdSpan<Is565, Z, Tex, AlphaTest, Mode>(s, st);
        return;
    }
#endif
    scalarSpan<Is565, Z, Tex, AlphaTest, Mode>(s, st);
}

template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode>
void drawSpan(Span& s, const RasterState& st) {
    spanLoop<Is565, Z, Tex, AlphaTest, Mode>(s, st);
}

template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode>
void drawRows(const TriangleRows& rows, const RasterState& st) {
    // Rows are drawn only where texture coordinates are affine, so the
    // stepper carries them whenever the loop samples a texture. The row
    // addresses and a flat colour are the same work for every row. A
    // triangle may hand its rows over in several calls; the stepper then
    // moves on from where the last call left it.
    constexpr bool kAffine = Tex != TexMode::None;
    constexpr int kBytes = Is565 ? 2 : 4;
    const Setup& s = *rows.setup;
    Stepper& at = *rows.stepper;
    if (rows.count == 0) return;
    uint8_t* const colour = st.colour;
    uint8_t* const depth = st.depth;
    const ptrdiff_t colourPitch = st.colourPitch, depthPitch = st.depthPitch;
    const bool flat = s.flatColour;
    if (!at.started) {
        at.start(s, kAffine, rows.x0[0], rows.y[0]);
    } else {
        at.moveTo(rows.x0[0], rows.y[0], !flat, kAffine);
    }
    Span span;
    span.u = span.v = span.du = span.dv = 0;
    if (flat) {
        span.r = s.fixedColour[0];
        span.g = s.fixedColour[1];
        span.b = s.fixedColour[2];
        span.a = s.fixedColour[3];
        span.dr = span.dg = span.db = span.da = 0;
    }
    for (int i = 0; i < rows.count; ++i) {
        const int y = rows.y[i], x0 = rows.x0[i], n = rows.x1[i] - x0;
        if (i > 0) at.moveTo(x0, y, !flat, kAffine);
        span.colour = colour + static_cast<ptrdiff_t>(y) * colourPitch + x0 * kBytes;
        span.depth = depth ? reinterpret_cast<uint16_t*>(depth + static_cast<ptrdiff_t>(y) * depthPitch) + x0 : nullptr;
        span.z = std::clamp<int64_t>(at.z, 0, kZMax);
        span.dz = at.zdx;
        if (!flat) gouraudSpan(span, at, n);
        span.count = n;
        if constexpr (kAffine) {
            span.u = at.u;
            span.v = at.v;
            span.du = at.udx;
            span.dv = at.vdx;
        }
        spanLoop<Is565, Z, Tex, AlphaTest, Mode>(span, st);
    }
}

struct Loops {
    SpanFunction span;
    RowsFunction rows;
};

// The table of span loops, indexed by the five state choices.
template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode>
constexpr Loops kLoops = {drawSpan<Is565, Z, Tex, AlphaTest, Mode>, drawRows<Is565, Z, Tex, AlphaTest, Mode>};

template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest>
constexpr Loops kByBlend[5] = {
    kLoops<Is565, Z, Tex, AlphaTest, BlendMode::Off>,
    kLoops<Is565, Z, Tex, AlphaTest, BlendMode::Alpha>,
    kLoops<Is565, Z, Tex, AlphaTest, BlendMode::Add>,
    kLoops<Is565, Z, Tex, AlphaTest, BlendMode::Multiply>,
    kLoops<Is565, Z, Tex, AlphaTest, BlendMode::Generic>,
};

template <bool Is565, ZMode Z, TexMode Tex>
Loops pickAlpha(bool alphaTest, BlendMode blend) {
    int i = static_cast<int>(blend);
    return alphaTest ? kByBlend<Is565, Z, Tex, true>[i] : kByBlend<Is565, Z, Tex, false>[i];
}

template <bool Is565, ZMode Z>
Loops pickTex(TexMode tex, bool alphaTest, BlendMode blend) {
    switch (tex) {
    case TexMode::None: return pickAlpha<Is565, Z, TexMode::None>(alphaTest, blend);
    case TexMode::Wrap: return pickAlpha<Is565, Z, TexMode::Wrap>(alphaTest, blend);
    case TexMode::WrapShift: return pickAlpha<Is565, Z, TexMode::WrapShift>(alphaTest, blend);
    default: return pickAlpha<Is565, Z, TexMode::Clamp>(alphaTest, blend);
    }
}

template <bool Is565>
Loops pickZ(ZMode z, TexMode tex, bool alphaTest, BlendMode blend) {
    switch (z) {
    case ZMode::Off: return pickTex<Is565, ZMode::Off>(tex, alphaTest, blend);
    case ZMode::Test: return pickTex<Is565, ZMode::Test>(tex, alphaTest, blend);
    default: return pickTex<Is565, ZMode::TestWrite>(tex, alphaTest, blend);
    }
}

}  // namespace

void selectLoops(RasterState& state, bool target565, ZMode z, TexMode tex, bool alphaTest, BlendMode blend) {
    constexpr int kShiftLimit = 1 << 16;
    if (tex == TexMode::Wrap && std::has_single_bit(static_cast<unsigned>(state.texWidth)) &&
        std::has_single_bit(static_cast<unsigned>(state.texHeight)) && state.texWidth <= kShiftLimit &&
        state.texHeight <= kShiftLimit) {
        const int kw = std::countr_zero(static_cast<unsigned>(state.texWidth));
        const int kh = std::countr_zero(static_cast<unsigned>(state.texHeight));
        state.texBiasU = static_cast<uint32_t>(kTexBias >> kw);
        state.texBiasV = static_cast<uint32_t>(kTexBias >> kh);
        state.texShiftU = 32 - kw;
        state.texShiftV = 32 - kh;
        state.texLog2Width = kw;
        tex = TexMode::WrapShift;
    }
    Loops loops = target565 ? pickZ<true>(z, tex, alphaTest, blend) : pickZ<false>(z, tex, alphaTest, blend);
    state.span = loops.span;
    state.rows = loops.rows;
}

}  // namespace render
