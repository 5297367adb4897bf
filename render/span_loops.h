// render/span_loops.h: the pixel loops, one per combination of target
// format, depth mode, texture addressing, alpha test and blend pair, so
// no state is tested per pixel. Included by span_loops.cpp (groups of four
// pixels, SSE2) and span_loops_avx2.cpp (groups of eight, AVX2), each
// naming its own namespace in RENDER_LOOPS_NAMESPACE; the reference loops
// work pixel by pixel in both.
#include <algorithm>
#include <bit>
#include <cstdint>

#if defined(__AVX2__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "render/device.h"
#include "render/render_local.h"

#ifndef RENDER_LOOPS_NAMESPACE
#error "RENDER_LOOPS_NAMESPACE names the namespace of this copy of the loops"
#endif

namespace render {
namespace RENDER_LOOPS_NAMESPACE {

namespace {

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

#if defined(__SSE2__)
// Four neighbouring pixels of a row at a time, without a branch per pixel:
// every test gives a lane mask, and masked lanes write back what they
// read. Lanes past the end of a row may read and rewrite pixels after it
// (the next row, or the surface's slack bytes); they never change them.
// Results equal the per-pixel loops bit for bit: each lane does the same
// integer arithmetic, and depth, colour and texture coordinates at a pixel
// are the same exact fixed-point values the stepping loops reach.

// Lane operations under one name for both group widths, so the colour
// arithmetic below is written once.
inline __m128i mul16(__m128i a, __m128i b) { return _mm_mullo_epi16(a, b); }
inline __m128i add16(__m128i a, __m128i b) { return _mm_add_epi16(a, b); }
inline __m128i sub16(__m128i a, __m128i b) { return _mm_sub_epi16(a, b); }
inline __m128i and32(__m128i a, uint32_t m) { return _mm_and_si128(a, _mm_set1_epi32(static_cast<int>(m))); }
inline __m128i or32(__m128i a, __m128i b) { return _mm_or_si128(a, b); }
inline __m128i shr32(__m128i a, int n) { return _mm_srli_epi32(a, n); }
inline __m128i shl32(__m128i a, int n) { return _mm_slli_epi32(a, n); }
inline __m128i lowBytes(__m128i a) { return _mm_unpacklo_epi8(a, _mm_setzero_si128()); }
inline __m128i highBytes(__m128i a) { return _mm_unpackhi_epi8(a, _mm_setzero_si128()); }
inline __m128i packBytes(__m128i lo, __m128i hi) { return _mm_packus_epi16(lo, hi); }
inline __m128i alphas(__m128i a) {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(a, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
}
inline __m128i splat16(short v, __m128i) { return _mm_set1_epi16(v); }
#if defined(__AVX2__)
inline __m256i div255x(__m256i x) {
    x = _mm256_add_epi16(x, _mm256_set1_epi16(128));
    return _mm256_srli_epi16(_mm256_add_epi16(x, _mm256_srli_epi16(x, 8)), 8);
}
inline __m256i mul16(__m256i a, __m256i b) { return _mm256_mullo_epi16(a, b); }
inline __m256i add16(__m256i a, __m256i b) { return _mm256_add_epi16(a, b); }
inline __m256i sub16(__m256i a, __m256i b) { return _mm256_sub_epi16(a, b); }
inline __m256i and32(__m256i a, uint32_t m) { return _mm256_and_si256(a, _mm256_set1_epi32(static_cast<int>(m))); }
inline __m256i or32(__m256i a, __m256i b) { return _mm256_or_si256(a, b); }
inline __m256i shr32(__m256i a, int n) { return _mm256_srli_epi32(a, n); }
inline __m256i shl32(__m256i a, int n) { return _mm256_slli_epi32(a, n); }
inline __m256i lowBytes(__m256i a) { return _mm256_unpacklo_epi8(a, _mm256_setzero_si256()); }
inline __m256i highBytes(__m256i a) { return _mm256_unpackhi_epi8(a, _mm256_setzero_si256()); }
inline __m256i packBytes(__m256i lo, __m256i hi) { return _mm256_packus_epi16(lo, hi); }
inline __m256i alphas(__m256i a) {
    return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(a, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
}
inline __m256i splat16(short v, __m256i) { return _mm256_set1_epi16(v); }
#endif

// 5-6-5 words in 32-bit lanes to ARGB with the low bits repeated, and back.
template <class V>
inline V from565(V raw) {
    const V r5 = and32(shr32(raw, 11), 0x1F), g6 = and32(shr32(raw, 5), 0x3F), b5 = and32(raw, 0x1F);
    const V r8 = or32(shl32(r5, 3), shr32(r5, 2)), g8 = or32(shl32(g6, 2), shr32(g6, 4));
    const V b8 = or32(shl32(b5, 3), shr32(b5, 2));
    return or32(or32(shl32(r8, 16), shl32(g8, 8)), b8);
}

template <class V>
inline V to565(V argb) {
    return or32(or32(and32(shr32(argb, 8), 0xF800), and32(shr32(argb, 5), 0x07E0)), and32(shr32(argb, 3), 0x001F));
}

// The blend of the source colours lo/hi (16-bit lanes, pixels as the
// groups lay them out) over the target's ARGB pixels `dst`.
template <BlendMode Mode, class V>
[[gnu::always_inline]] inline void blendOver(V& lo, V& hi, V dst) {
    const V dlo = lowBytes(dst), dhi = highBytes(dst);
    if constexpr (Mode == BlendMode::Multiply) {
        lo = div255x(mul16(dlo, lo));
        hi = div255x(mul16(dhi, hi));
    } else {
        const V alo = alphas(lo), ahi = alphas(hi);
        if constexpr (Mode == BlendMode::Alpha) {
            const V full = splat16(255, lo);
            lo = div255x(add16(mul16(lo, alo), mul16(dlo, sub16(full, alo))));
            hi = div255x(add16(mul16(hi, ahi), mul16(dhi, sub16(full, ahi))));
        } else {
            lo = add16(dlo, div255x(mul16(lo, alo)));
            hi = add16(dhi, div255x(mul16(hi, ahi)));
        }
    }
}

#if defined(__AVX2__)
constexpr int kGroup = 8;
using Lanes = __m256i;

// Constants of one triangle or span for the grouped loops.
struct GroupState {
    const uint32_t* texels;
    TexAddress address;
    __m256i force, alphaRef;
    __m256i zLanes, uLanes, vLanes;  // 0 to 7 steps, modulo 2^32
    __m256i biasU, biasV;
    __m128i shiftU, shiftV, log2Width;
    int64_t du, dv;
    int64_t du4, dv4;  // from lane k to lane k + 4: four steps, or one row in a block

    static __m256i lanes(int64_t step) {
        const uint32_t d = static_cast<uint32_t>(step);
        return _mm256_mullo_epi32(_mm256_set1_epi32(static_cast<int>(d)), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    }

    // Lanes of a block of four columns by two rows: lane k is column k % 4
    // of row k / 4.
    static __m256i blockLanes(int64_t step, int64_t rowStep) {
        const uint32_t d = static_cast<uint32_t>(step), r = static_cast<uint32_t>(rowStep);
        return _mm256_add_epi32(_mm256_mullo_epi32(_mm256_set1_epi32(static_cast<int>(d)),
                                                   _mm256_setr_epi32(0, 1, 2, 3, 0, 1, 2, 3)),
                                _mm256_setr_epi32(0, 0, 0, 0, static_cast<int>(r), static_cast<int>(r),
                                                  static_cast<int>(r), static_cast<int>(r)));
    }

    // For blocks of two rows (dzRow and the like are the steps down a row).
    GroupState(const RasterState& st, int64_t dz, int64_t stepU, int64_t stepV, int64_t dzRow, int64_t rowU,
               int64_t rowV)
        : GroupState(st, blockLanes(dz, dzRow), blockLanes(stepU, rowU), blockLanes(stepV, rowV), stepU, stepV,
                     rowU, rowV) {}

    GroupState(const RasterState& st, int64_t dz, int64_t stepU, int64_t stepV)
        : GroupState(st, lanes(dz), lanes(stepU), lanes(stepV), stepU, stepV, 4 * stepU, 4 * stepV) {}

private:
    GroupState(const RasterState& st, __m256i z, __m256i u, __m256i v, int64_t stepU, int64_t stepV, int64_t lane4U,
               int64_t lane4V)
        : texels(st.texels), address(st), force(_mm256_set1_epi32(static_cast<int>(st.texelForce))),
          alphaRef(_mm256_set1_epi32(static_cast<int>(st.alphaRef))), zLanes(z), uLanes(u), vLanes(v),
          biasU(_mm256_set1_epi32(static_cast<int>(st.texBiasU))),
          biasV(_mm256_set1_epi32(static_cast<int>(st.texBiasV))), shiftU(_mm_cvtsi32_si128(st.texShiftU)),
          shiftV(_mm_cvtsi32_si128(st.texShiftV)), log2Width(_mm_cvtsi32_si128(st.texLog2Width)), du(stepU),
          dv(stepV), du4(lane4U), dv4(lane4V) {}
};

// Diffuse colours of eight pixels in 16-bit lanes b, g, r, a, in the order
// the 128-bit halves unpack: pixels 0, 1 | 4, 5 in `lo`, 2, 3 | 6, 7 in `hi`.
struct GroupColour {
    __m256i lo, hi;
};

inline GroupColour flatLanes(const int32_t* fixed) {
    const __m128i c = _mm_set_epi32(fixed[3] >> 16, fixed[0] >> 16, fixed[1] >> 16, fixed[2] >> 16);
    const __m256i pair = _mm256_broadcastsi128_si256(_mm_packs_epi32(c, c));
    return {pair, pair};
}

// The colours at `acc` and the next seven steps; `acc` moves eight steps.
inline GroupColour gouraudLanes(__m128i& acc, __m128i step) {
    const __m256i s = _mm256_broadcastsi128_si256(step);
    const __m256i p04 = _mm256_set_m128i(_mm_add_epi32(acc, _mm_slli_epi32(step, 2)), acc);
    const __m256i p15 = _mm256_add_epi32(p04, s), p26 = _mm256_add_epi32(p15, s), p37 = _mm256_add_epi32(p26, s);
    acc = _mm_add_epi32(acc, _mm_slli_epi32(step, 3));
    return {_mm256_packs_epi32(_mm256_srli_epi32(p04, 16), _mm256_srli_epi32(p15, 16)),
            _mm256_packs_epi32(_mm256_srli_epi32(p26, 16), _mm256_srli_epi32(p37, 16))};
}

// The colours of a block: `acc` at its first pixel, `step` along a row,
// `down` to the next row.
inline GroupColour gouraudBlockLanes(__m128i acc, __m128i step, __m128i down) {
    const __m256i s = _mm256_broadcastsi128_si256(step);
    const __m256i p0 = _mm256_set_m128i(_mm_add_epi32(acc, down), acc);
    const __m256i p1 = _mm256_add_epi32(p0, s), p2 = _mm256_add_epi32(p1, s), p3 = _mm256_add_epi32(p2, s);
    return {_mm256_packs_epi32(_mm256_srli_epi32(p0, 16), _mm256_srli_epi32(p1, 16)),
            _mm256_packs_epi32(_mm256_srli_epi32(p2, 16), _mm256_srli_epi32(p3, 16))};
}

inline __m256i liveFromCount(int remaining) {
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(remaining), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

inline __m256i liveFromBits(uint32_t bits) {
    const __m256i bit = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
    return _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(static_cast<int>(bits)), bit), bit);
}

// Eight 32-bit lanes holding values up to 0xFFFF, as eight 16-bit values.
inline __m128i pack16(__m256i x) {
    return _mm_packus_epi32(_mm256_castsi256_si128(x), _mm256_extracti128_si256(x, 1));
}

template <TexMode Tex>
[[gnu::always_inline]] inline __m256i fetchTexels(int64_t u, int64_t v, const GroupState& g) {
    __m256i offsets;
    if constexpr (Tex == TexMode::WrapShift) {
        const __m256i us = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(static_cast<uint32_t>(u))), g.uLanes);
        const __m256i vs = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(static_cast<uint32_t>(v))), g.vLanes);
        const __m256i tx = _mm256_srl_epi32(_mm256_add_epi32(us, g.biasU), g.shiftU);
        const __m256i ty = _mm256_srl_epi32(_mm256_add_epi32(vs, g.biasV), g.shiftV);
        offsets = _mm256_or_si256(tx, _mm256_sll_epi32(ty, g.log2Width));
    } else {
        alignas(32) uint32_t o[8];
        for (int k = 0; k < 8; ++k) {
            o[k] = texelOffset<Tex>(u + (k & 3) * g.du + (k >> 2) * g.du4, v + (k & 3) * g.dv + (k >> 2) * g.dv4,
                                    g.address);
        }
        offsets = _mm256_load_si256(reinterpret_cast<const __m256i*>(o));
    }
    // Offsets stay below the texel count (wrapped or clamped), which the
    // surface size limit keeps below 2^31, so every lane reads inside the
    // texture.
    static_assert(static_cast<int64_t>(kMaxSurfaceSize) * kMaxSurfaceSize < (int64_t{1} << 31));
    return _mm256_i32gather_epi32(reinterpret_cast<const int*>(g.texels), offsets, 4);
}

// Draws the lanes of `live` of the eight pixels from `colour`/`depth`, as
// the four-pixel version below does; with Split, lanes 4-7 are the four
// pixels from `colour2`/`depth2` (a block of two rows).
template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode, bool Split = false>
[[gnu::always_inline]] inline void drawGroup(uint8_t* colour, uint16_t* depth, __m256i live, uint32_t z, int64_t u,
                                             int64_t v, GroupColour c, const GroupState& g,
                                             uint8_t* colour2 = nullptr, uint16_t* depth2 = nullptr) {
    constexpr int kHalf = Is565 ? 8 : 16;  // bytes of four pixels
    if constexpr (!Split) {
        colour2 = colour + kHalf;
        depth2 = depth + 4;
    }
    auto loadColour = [&]() -> __m256i {
        if constexpr (Is565) {
            if constexpr (Split) {
                return _mm256_cvtepu16_epi32(_mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(colour)),
                                                                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(colour2))));
            }
            return _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(colour)));
        } else {
            if constexpr (Split) {
                return _mm256_set_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(colour2)),
                                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(colour)));
            }
            return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(colour));
        }
    };
    // Stores eight 16-bit values (depths or 5-6-5 pixels) at a and b. The
    // second half goes first: where a block has no second row, b is a and
    // its lanes are all masked.
    auto store16 = [&](void* a, void* b, __m128i packed) {
        if constexpr (Split) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(b), _mm_unpackhi_epi64(packed, packed));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(a), packed);
        } else {
            (void)b;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(a), packed);
        }
    };
    const __m256i zero = _mm256_setzero_si256();
    __m256i zv = zero, oldDepth = zero;
    if constexpr (Z != ZMode::Off) {
        zv = _mm256_srli_epi32(_mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(z)), g.zLanes), 16);
        if constexpr (Split) {
            oldDepth = _mm256_cvtepu16_epi32(_mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(depth)),
                                                                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(depth2))));
        } else {
            oldDepth = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(depth)));
        }
        live = _mm256_andnot_si256(_mm256_cmpgt_epi32(zv, oldDepth), live);
        if (_mm256_testz_si256(live, live)) return;
    }
    __m256i lo = c.lo, hi = c.hi;
    if constexpr (Tex != TexMode::None) {
        const __m256i t = _mm256_or_si256(fetchTexels<Tex>(u, v, g), g.force);
        lo = div255x(_mm256_mullo_epi16(lo, _mm256_unpacklo_epi8(t, zero)));
        hi = div255x(_mm256_mullo_epi16(hi, _mm256_unpackhi_epi8(t, zero)));
    }
    bool opaque = false;
    if constexpr (AlphaTest || Mode == BlendMode::Alpha) {
        const __m256i alpha = _mm256_srli_epi32(_mm256_packus_epi16(lo, hi), 24);
        if constexpr (AlphaTest) live = _mm256_and_si256(live, _mm256_cmpgt_epi32(alpha, g.alphaRef));
        if constexpr (Mode == BlendMode::Alpha) {
            opaque = _mm256_movemask_epi8(_mm256_cmpeq_epi32(alpha, _mm256_set1_epi32(255))) == -1;
        }
    }
    __m256i raw, dst;
    if constexpr (Is565) {
        raw = loadColour();
        if constexpr (Mode != BlendMode::Off) {
            dst = from565(raw);
        } else {
            dst = zero;
        }
    } else {
        raw = loadColour();
        dst = raw;
    }
    if (Mode != BlendMode::Off && !opaque) blendOver<Mode>(lo, hi, dst);
    __m256i out = and32(packBytes(lo, hi), 0x00FFFFFF);
    if constexpr (Is565) {
        out = _mm256_blendv_epi8(raw, to565(out), live);
        store16(colour, colour2, pack16(out));
    } else {
        out = _mm256_blendv_epi8(raw, out, live);
        if constexpr (Split) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(colour2), _mm256_extracti128_si256(out, 1));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(colour), _mm256_castsi256_si128(out));
        } else {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(colour), out);
        }
    }
    if constexpr (Z == ZMode::TestWrite) store16(depth, depth2, pack16(_mm256_blendv_epi8(oldDepth, zv, live)));
}

#else
constexpr int kGroup = 4;
using Lanes = __m128i;

// Constants of one triangle or span for the grouped loops.
struct GroupState {
    const uint32_t* texels;
    TexAddress address;
    __m128i force, alphaRef;
    __m128i zLanes, uLanes, vLanes;  // 0, 1, 2 and 3 steps, modulo 2^32
    __m128i biasU, biasV, shiftU, shiftV, log2Width;
    int64_t du, dv;

    static __m128i lanes(int64_t step) {
        const uint32_t d = static_cast<uint32_t>(step);
        return _mm_set_epi32(static_cast<int>(3 * d), static_cast<int>(2 * d), static_cast<int>(d), 0);
    }

    GroupState(const RasterState& st, int64_t dz, int64_t stepU, int64_t stepV)
        : texels(st.texels), address(st), force(_mm_set1_epi32(static_cast<int>(st.texelForce))),
          alphaRef(_mm_set1_epi32(static_cast<int>(st.alphaRef))), zLanes(lanes(dz)), uLanes(lanes(stepU)),
          vLanes(lanes(stepV)), biasU(_mm_set1_epi32(static_cast<int>(st.texBiasU))),
          biasV(_mm_set1_epi32(static_cast<int>(st.texBiasV))), shiftU(_mm_cvtsi32_si128(st.texShiftU)),
          shiftV(_mm_cvtsi32_si128(st.texShiftV)), log2Width(_mm_cvtsi32_si128(st.texLog2Width)), du(stepU),
          dv(stepV) {}
};

// Diffuse colours of four pixels in 16-bit lanes b, g, r, a: pixels 0
// and 1 in `lo`, 2 and 3 in `hi`.
struct GroupColour {
    __m128i lo, hi;
};

inline GroupColour flatLanes(const int32_t* fixed) {
    const __m128i c = _mm_set_epi32(fixed[3] >> 16, fixed[0] >> 16, fixed[1] >> 16, fixed[2] >> 16);
    const __m128i pair = _mm_packs_epi32(c, c);
    return {pair, pair};
}

// The colours at `acc` and the next three steps; `acc` moves four steps.
inline GroupColour gouraudLanes(__m128i& acc, __m128i step) {
    const __m128i p0 = acc, p1 = _mm_add_epi32(p0, step), p2 = _mm_add_epi32(p1, step),
                  p3 = _mm_add_epi32(p2, step);
    acc = _mm_add_epi32(p3, step);
    return {_mm_packs_epi32(_mm_srli_epi32(p0, 16), _mm_srli_epi32(p1, 16)),
            _mm_packs_epi32(_mm_srli_epi32(p2, 16), _mm_srli_epi32(p3, 16))};
}

inline __m128i liveFromCount(int remaining) {
    return _mm_cmpgt_epi32(_mm_set1_epi32(remaining), _mm_set_epi32(3, 2, 1, 0));
}

alignas(16) constexpr uint32_t kLaneMasks[16][4] = {
    {0, 0, 0, 0}, {~0u, 0, 0, 0}, {0, ~0u, 0, 0}, {~0u, ~0u, 0, 0},
    {0, 0, ~0u, 0}, {~0u, 0, ~0u, 0}, {0, ~0u, ~0u, 0}, {~0u, ~0u, ~0u, 0},
    {0, 0, 0, ~0u}, {~0u, 0, 0, ~0u}, {0, ~0u, 0, ~0u}, {~0u, ~0u, 0, ~0u},
    {0, 0, ~0u, ~0u}, {~0u, 0, ~0u, ~0u}, {0, ~0u, ~0u, ~0u}, {~0u, ~0u, ~0u, ~0u},
};

inline __m128i liveFromBits(uint32_t bits) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kLaneMasks[bits]));
}

// 32-bit lanes holding values up to 0xFFFF, packed to four 16-bit values.
inline __m128i pack16(__m128i x) {
    x = _mm_srai_epi32(_mm_slli_epi32(x, 16), 16);
    return _mm_packs_epi32(x, x);
}

template <TexMode Tex>
[[gnu::always_inline]] inline __m128i fetchTexels(int64_t u, int64_t v, const GroupState& g) {
    uint32_t o0, o1, o2, o3;
    if constexpr (Tex == TexMode::WrapShift) {
        const __m128i us = _mm_add_epi32(_mm_set1_epi32(static_cast<int>(static_cast<uint32_t>(u))), g.uLanes);
        const __m128i vs = _mm_add_epi32(_mm_set1_epi32(static_cast<int>(static_cast<uint32_t>(v))), g.vLanes);
        const __m128i tx = _mm_srl_epi32(_mm_add_epi32(us, g.biasU), g.shiftU);
        const __m128i ty = _mm_srl_epi32(_mm_add_epi32(vs, g.biasV), g.shiftV);
        const __m128i off = _mm_or_si128(tx, _mm_sll_epi32(ty, g.log2Width));
        o0 = static_cast<uint32_t>(_mm_cvtsi128_si32(off));
        o1 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(off, 1)));
        o2 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(off, 2)));
        o3 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(off, 3)));
    } else {
        o0 = texelOffset<Tex>(u, v, g.address);
        o1 = texelOffset<Tex>(u + g.du, v + g.dv, g.address);
        o2 = texelOffset<Tex>(u + 2 * g.du, v + 2 * g.dv, g.address);
        o3 = texelOffset<Tex>(u + 3 * g.du, v + 3 * g.dv, g.address);
    }
    const uint32_t* t = g.texels;
    const __m128i t01 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(t[o0])),
                                           _mm_cvtsi32_si128(static_cast<int>(t[o1])));
    const __m128i t23 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(t[o2])),
                                           _mm_cvtsi32_si128(static_cast<int>(t[o3])));
    return _mm_unpacklo_epi64(t01, t23);
}

// Draws the lanes of `live` of the four pixels from `colour`/`depth`.
// `z` is the depth of lane 0 in 16.16 Z16 units; every lane's depth must
// lie in 0-2^32 (callers check), so the low 32 bits hold it exactly.
template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode>
[[gnu::always_inline]] inline void drawGroup(uint8_t* colour, uint16_t* depth, __m128i live, uint32_t z, int64_t u,
                                             int64_t v, GroupColour c, const GroupState& g) {
    const __m128i zero = _mm_setzero_si128();
    __m128i zv = zero, oldDepth = zero;
    if constexpr (Z != ZMode::Off) {
        zv = _mm_srli_epi32(_mm_add_epi32(_mm_set1_epi32(static_cast<int>(z)), g.zLanes), 16);
        oldDepth = _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(depth)), zero);
        live = _mm_andnot_si128(_mm_cmpgt_epi32(zv, oldDepth), live);
        // Hidden groups are common where objects overlap.
        if (_mm_movemask_epi8(live) == 0) return;
    }
    __m128i lo = c.lo, hi = c.hi;
    if constexpr (Tex != TexMode::None) {
        const __m128i t = _mm_or_si128(fetchTexels<Tex>(u, v, g), g.force);
        lo = div255x(_mm_mullo_epi16(lo, _mm_unpacklo_epi8(t, zero)));
        hi = div255x(_mm_mullo_epi16(hi, _mm_unpackhi_epi8(t, zero)));
    }
    // Pixels of alpha 255 come out of the usual blend as they went in
    // (div255(c * 255) == c), so groups of opaque pixels skip it.
    bool opaque = false;
    if constexpr (AlphaTest || Mode == BlendMode::Alpha) {
        const __m128i alpha = _mm_srli_epi32(_mm_packus_epi16(lo, hi), 24);
        if constexpr (AlphaTest) live = _mm_and_si128(live, _mm_cmpgt_epi32(alpha, g.alphaRef));
        if constexpr (Mode == BlendMode::Alpha) {
            opaque = _mm_movemask_epi8(_mm_cmpeq_epi32(alpha, _mm_set1_epi32(255))) == 0xFFFF;
        }
    }
    // The target as 32-bit ARGB (raw 5-6-5 words kept for the masked store).
    __m128i raw, dst;
    if constexpr (Is565) {
        raw = _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(colour)), zero);
        if constexpr (Mode != BlendMode::Off) {
            dst = from565(raw);
        } else {
            dst = zero;
        }
    } else {
        raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(colour));
        dst = raw;
    }
    if (Mode != BlendMode::Off && !opaque) blendOver<Mode>(lo, hi, dst);
    __m128i out = and32(packBytes(lo, hi), 0x00FFFFFF);
    if constexpr (Is565) {
        out = _mm_or_si128(_mm_and_si128(live, to565(out)), _mm_andnot_si128(live, raw));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(colour), pack16(out));
    } else {
        out = _mm_or_si128(_mm_and_si128(live, out), _mm_andnot_si128(live, raw));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(colour), out);
    }
    if constexpr (Z == ZMode::TestWrite) {
        const __m128i written = _mm_or_si128(_mm_and_si128(live, zv), _mm_andnot_si128(live, oldDepth));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(depth), pack16(written));
    }
}

#endif

// A row of `s.count` pixels in groups. Depth leaving 0-2^32 within
// the row (only where a triangle meets the near or far plane) takes the
// per-pixel loop.
template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode>
[[gnu::always_inline]] inline void groupRow(Span& s, const RasterState& st, const GroupState& g, bool flat) {
    const int n = s.count;
    if constexpr (Z != ZMode::Off) {
        const int64_t zEnd = s.z + static_cast<int64_t>(n - 1) * s.dz;
        if ((static_cast<uint64_t>(s.z) | static_cast<uint64_t>(zEnd)) > 0xFFFFFFFFu) {
            spanLoop<Is565, Z, Tex, AlphaTest, Mode>(s, st);
            return;
        }
    }
    constexpr int kBytes = Is565 ? 2 : 4;
    uint8_t* colour = s.colour;
    uint16_t* depth = s.depth;
    int64_t z = s.z, u = s.u, v = s.v;
    const int64_t dzGroup = kGroup * s.dz, duGroup = kGroup * s.du, dvGroup = kGroup * s.dv;
    if (flat) {
        const int32_t fixed[4] = {s.r, s.g, s.b, s.a};
        const GroupColour c = flatLanes(fixed);
        for (int k = 0; k < n; k += kGroup) {
            const Lanes live = liveFromCount(n - k);
            drawGroup<Is565, Z, Tex, AlphaTest, Mode>(colour, depth, live, static_cast<uint32_t>(z), u, v, c, g);
            colour += kGroup * kBytes;
            if constexpr (Z != ZMode::Off) depth += kGroup;
            z += dzGroup;
            u += duGroup;
            v += dvGroup;
        }
    } else {
        __m128i acc = _mm_set_epi32(s.a, s.r, s.g, s.b);
        const __m128i step = _mm_set_epi32(s.da, s.dr, s.dg, s.db);
        for (int k = 0; k < n; k += kGroup) {
            const Lanes live = liveFromCount(n - k);
            const GroupColour c = gouraudLanes(acc, step);
            drawGroup<Is565, Z, Tex, AlphaTest, Mode>(colour, depth, live, static_cast<uint32_t>(z), u, v, c, g);
            colour += kGroup * kBytes;
            if constexpr (Z != ZMode::Off) depth += kGroup;
            z += dzGroup;
            u += duGroup;
            v += dvGroup;
        }
    }
    // Where the per-pixel loop would leave the span.
    s.colour += n * kBytes;
    if constexpr (Z != ZMode::Off) s.depth += n;
    s.z += n * s.dz;
    s.r = static_cast<int32_t>(s.r + static_cast<int64_t>(n) * s.dr);
    s.g = static_cast<int32_t>(s.g + static_cast<int64_t>(n) * s.dg);
    s.b = static_cast<int32_t>(s.b + static_cast<int64_t>(n) * s.db);
    s.a = static_cast<int32_t>(s.a + static_cast<int64_t>(n) * s.da);
    s.u += n * s.du;
    s.v += n * s.dv;
}
#endif

template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode>
void drawSpan(Span& s, const RasterState& st) {
    spanLoop<Is565, Z, Tex, AlphaTest, Mode>(s, st);
}

#if defined(__SSE2__)
template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode>
void drawSpanGrouped(Span& s, const RasterState& st) {
    const GroupState g(st, s.dz, s.du, s.dv);
    groupRow<Is565, Z, Tex, AlphaTest, Mode>(s, st, g, s.dr == 0 && s.dg == 0 && s.db == 0 && s.da == 0);
}
#endif

// Draws the rows of a triangle whose texture coordinates, if any, are
// affine, each row by the per-pixel loop or in groups.
template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode, bool Grouped>
void drawRows(const TriangleRows& rows, const RasterState& st) {
    // The stepper carries texture coordinates whenever the loop samples a
    // texture. The row addresses and a flat colour are the same work for
    // every row. A triangle may hand its rows over in several calls; the
    // stepper then moves on from where the last call left it.
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
#if defined(__SSE2__)
    const GroupState g(st, at.zdx, kAffine ? at.udx : 0, kAffine ? at.vdx : 0);
#endif
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
#if defined(__SSE2__)
        if constexpr (Grouped) {
            groupRow<Is565, Z, Tex, AlphaTest, Mode>(span, st, g, flat);
            continue;
        }
#endif
        spanLoop<Is565, Z, Tex, AlphaTest, Mode>(span, st);
    }
}

// The rows of a small triangle from the coverage's current row on, for
// the per-pixel loops and where the grouped loops cannot take a triangle
// whole.
template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode, bool Grouped>
void drawCoverageByRows(const Setup& s, Coverage cov, int y, Stepper& at, const RasterState& st) {
    TriangleRows rows;
    rows.setup = &s;
    rows.stepper = &at;
    rows.count = 0;
    for (; y < cov.endRow; ++y, cov.nextRow()) {
        const uint32_t mask = cov.rowMask();
        if (mask == 0) continue;
        rows.y[rows.count] = y;
        rows.x0[rows.count] = cov.firstCol + std::countr_zero(mask);
        rows.x1[rows.count] = cov.firstCol + 32 - std::countl_zero(mask);
        ++rows.count;
    }
    drawRows<Is565, Z, Tex, AlphaTest, Mode, Grouped>(rows, st);
}

template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode>
void drawCellsReference(const TriangleCells& cells, const RasterState& st) {
    Stepper at;
    if (cells.startY >= 0) at.start(*cells.setup, Tex != TexMode::None, cells.startX, cells.startY);
    drawCoverageByRows<Is565, Z, Tex, AlphaTest, Mode, false>(*cells.setup, cells.coverage,
                                                              cells.coverage.firstRow, at, st);
}

#if defined(__SSE2__)

// True when base + x * dx + y * dy lies in lo-hi at the four corners of a
// box, and so everywhere in it.
inline bool planeWithin(int64_t base, int64_t dx, int64_t dy, int64_t x0, int64_t x1, int64_t y0, int64_t y1,
                        int64_t lo, int64_t hi) {
    const int64_t a = base + x0 * dx + y0 * dy, b = base + x1 * dx + y0 * dy;
    const int64_t c = base + x0 * dx + y1 * dy, d = base + x1 * dx + y1 * dy;
    return std::min({a, b, c, d}) >= lo && std::max({a, b, c, d}) <= hi;
}

// The Gouraud colours (lanes b, g, r, a) dx columns and dy rows from
// where `start` holds, with products modulo 2^32 as the stepper's 32-bit
// colours move.
inline __m128i colourAt(__m128i start, __m128i cdx, __m128i cdy, int dx, int dy) {
    alignas(16) uint32_t ddx[4], ddy[4], move[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(ddx), cdx);
    _mm_store_si128(reinterpret_cast<__m128i*>(ddy), cdy);
    for (int i = 0; i < 4; ++i) {
        move[i] = ddx[i] * static_cast<uint32_t>(dx) + ddy[i] * static_cast<uint32_t>(dy);
    }
    return _mm_add_epi32(start, _mm_load_si128(reinterpret_cast<const __m128i*>(move)));
}

#if defined(__AVX2__)
// A small triangle at most four columns wide, two rows at a time: each
// block of 4 x 2 pixels is one group of eight lanes. `y` is the first
// covered row, `mask` its coverage, `at` started at (xs, ys).
template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode>
void drawNarrowCells(const Setup& s, Coverage cov, int y, uint32_t mask, const Stepper& at, int xs, int ys,
                     const RasterState& st) {
    constexpr bool kAffine = Tex != TexMode::None;
    constexpr int kBytes = Is565 ? 2 : 4;
    const GroupState g(st, at.zdx, kAffine ? at.udx : 0, kAffine ? at.vdx : 0, at.zdy, kAffine ? at.udy : 0,
                       kAffine ? at.vdy : 0);
    GroupColour flatColour{};
    __m128i cStart = _mm_setzero_si128(), cdx = _mm_setzero_si128(), cdy = _mm_setzero_si128();
    if (s.flatColour) {
        flatColour = flatLanes(s.fixedColour);
    } else {
        cStart = _mm_set_epi32(at.c[3], at.c[0], at.c[1], at.c[2]);
        cdx = _mm_set_epi32(at.cdx[3], at.cdx[0], at.cdx[1], at.cdx[2]);
        cdy = _mm_set_epi32(at.cdy[3], at.cdy[0], at.cdy[1], at.cdy[2]);
    }
    const int64_t left = cov.firstCol - xs;
    int64_t z = at.z + left * at.zdx + (y - ys) * at.zdy, u = 0, v = 0;
    if constexpr (kAffine) {
        u = at.u + left * at.udx + (y - ys) * at.udy;
        v = at.v + left * at.vdx + (y - ys) * at.vdy;
    }
    uint8_t* colour = st.colour + static_cast<ptrdiff_t>(y) * st.colourPitch + cov.firstCol * kBytes;
    uint8_t* depth = nullptr;
    if constexpr (Z != ZMode::Off) depth = st.depth + static_cast<ptrdiff_t>(y) * st.depthPitch + cov.firstCol * 2;
    for (;;) {
        // This row and the next. Without a next row the block's second half
        // points at the first (never past the surface), all its lanes masked.
        uint32_t next = 0;
        const bool pair = y + 1 < cov.endRow;
        if (pair) {
            cov.nextRow();
            next = cov.rowMask();
        }
        const __m256i live = liveFromBits(mask | next << 4);
        GroupColour c = flatColour;
        if (!s.flatColour) {
            c = gouraudBlockLanes(colourAt(cStart, cdx, cdy, cov.firstCol - xs, y - ys), cdx, cdy);
        }
        uint16_t* depth0 = reinterpret_cast<uint16_t*>(depth);
        uint16_t* depth1 = nullptr;
        if constexpr (Z != ZMode::Off) depth1 = reinterpret_cast<uint16_t*>(pair ? depth + st.depthPitch : depth);
        drawGroup<Is565, Z, Tex, AlphaTest, Mode, true>(colour, depth0, live, static_cast<uint32_t>(z), u, v, c, g,
                                                        pair ? colour + st.colourPitch : colour, depth1);
        y += 2;
        if (y >= cov.endRow) break;
        cov.nextRow();
        mask = cov.rowMask();
        z += 2 * at.zdy;
        if constexpr (kAffine) {
            u += 2 * at.udy;
            v += 2 * at.vdy;
        }
        colour += 2 * static_cast<ptrdiff_t>(st.colourPitch);
        if constexpr (Z != ZMode::Off) depth += 2 * static_cast<ptrdiff_t>(st.depthPitch);
    }
}
#endif

// A small triangle straight from its coverage, a group of columns at a
// time.
// The stepper starts where the row loops would start it (the first
// covered pixel), so every value is the one they reach; triangles whose
// depth or Gouraud colour could be clamped somewhere in their box go to
// the rows.
template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode>
void drawCellsGrouped(const TriangleCells& cells, const RasterState& st) {
    constexpr bool kAffine = Tex != TexMode::None;
    constexpr int kBytes = Is565 ? 2 : 4;
    const Setup& s = *cells.setup;
    Coverage cov = cells.coverage;
    int y = cov.firstRow;
    uint32_t mask = 0;
    for (; y < cov.endRow; ++y, cov.nextRow()) {
        mask = cov.rowMask();
        if (mask != 0) break;
    }
    if (y >= cov.endRow) return;
    const bool given = cells.startY >= 0;
    const int ys = given ? cells.startY : y, xs = given ? cells.startX : cov.firstCol + std::countr_zero(mask);
    Stepper at;
    at.start(s, kAffine, xs, ys);
    const int64_t boxLeft = cov.firstCol - xs, boxRight = cov.firstCol + cov.width - 1 - xs;
    const int64_t boxTop = y - ys, boxBottom = cov.endRow - 1 - ys;
    bool whole =
        Z == ZMode::Off || planeWithin(at.z, at.zdx, at.zdy, boxLeft, boxRight, boxTop, boxBottom, 0, kZMax);
    if (!s.flatColour) {
        for (int i = 0; i < 4 && whole; ++i) {
            whole = planeWithin(at.c[i], at.cdx[i], at.cdy[i], boxLeft, boxRight, boxTop, boxBottom, 0, 255 << 16);
        }
    }
    if (!whole) {
        drawCoverageByRows<Is565, Z, Tex, AlphaTest, Mode, true>(s, cov, y, at, st);
        return;
    }
#if defined(__AVX2__)
    if (cov.width <= 4) {
        drawNarrowCells<Is565, Z, Tex, AlphaTest, Mode>(s, cov, y, mask, at, xs, ys, st);
        return;
    }
#endif
    const GroupState g(st, at.zdx, kAffine ? at.udx : 0, kAffine ? at.vdx : 0);
    GroupColour flatColour{};
    __m128i cStart = _mm_setzero_si128(), cdx = _mm_setzero_si128(), cdy = _mm_setzero_si128();
    if (s.flatColour) {
        flatColour = flatLanes(s.fixedColour);
    } else {
        // Lanes b, g, r, a as in the colour words.
        cStart = _mm_set_epi32(at.c[3], at.c[0], at.c[1], at.c[2]);
        cdx = _mm_set_epi32(at.cdx[3], at.cdx[0], at.cdx[1], at.cdx[2]);
        cdy = _mm_set_epi32(at.cdy[3], at.cdy[0], at.cdy[1], at.cdy[2]);
    }
    // Values at the box's first column, moved down row by row.
    const int64_t left = cov.firstCol - xs;
    int64_t zRow = at.z + left * at.zdx + boxTop * at.zdy, uRow = 0, vRow = 0;
    if constexpr (kAffine) {
        uRow = at.u + left * at.udx + boxTop * at.udy;
        vRow = at.v + left * at.vdx + boxTop * at.vdy;
    }
    uint8_t* colourRow = st.colour + static_cast<ptrdiff_t>(y) * st.colourPitch + cov.firstCol * kBytes;
    uint8_t* depthRow = nullptr;
    if constexpr (Z != ZMode::Off) depthRow = st.depth + static_cast<ptrdiff_t>(y) * st.depthPitch + cov.firstCol * 2;
    const int64_t zdxGroup = kGroup * at.zdx;
    const int64_t udxGroup = kAffine ? kGroup * at.udx : 0, vdxGroup = kAffine ? kGroup * at.vdx : 0;
    for (;;) {
        if (mask != 0) {
            const int lead = std::countr_zero(mask) & ~(kGroup - 1);
            uint8_t* colour = colourRow + lead * kBytes;
            uint16_t* depth = nullptr;
            if constexpr (Z != ZMode::Off) depth = reinterpret_cast<uint16_t*>(depthRow) + lead;
            int64_t z = zRow + lead * at.zdx, u = 0, v = 0;
            if constexpr (kAffine) {
                u = uRow + lead * at.udx;
                v = vRow + lead * at.vdx;
            }
            __m128i acc = cStart;
            if (!s.flatColour) {
                acc = colourAt(cStart, cdx, cdy, cov.firstCol + lead - xs, y - ys);
            }
            uint32_t m = mask >> lead;
            do {
                const Lanes live = liveFromBits(m & ((1u << kGroup) - 1));
                const GroupColour c = s.flatColour ? flatColour : gouraudLanes(acc, cdx);
                drawGroup<Is565, Z, Tex, AlphaTest, Mode>(colour, depth, live, static_cast<uint32_t>(z), u, v, c, g);
                m >>= kGroup;
                colour += kGroup * kBytes;
                if constexpr (Z != ZMode::Off) depth += kGroup;
                z += zdxGroup;
                u += udxGroup;
                v += vdxGroup;
            } while (m != 0);
        }
        if (++y >= cov.endRow) break;
        cov.nextRow();
        mask = cov.rowMask();
        zRow += at.zdy;
        if constexpr (kAffine) {
            uRow += at.udy;
            vRow += at.vdy;
        }
        colourRow += st.colourPitch;
        if constexpr (Z != ZMode::Off) depthRow += st.depthPitch;
    }
}
#endif

// The table of loops, indexed by the state choices. The reference loops
// work pixel by pixel; the others in groups where the machine has the
// vector instructions for them.
template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode, bool Reference>
constexpr LoopSet pickLoops() {
#if defined(__SSE2__)
    if constexpr (!Reference && Mode != BlendMode::Generic) {
        return {drawSpanGrouped<Is565, Z, Tex, AlphaTest, Mode>, drawRows<Is565, Z, Tex, AlphaTest, Mode, true>,
                drawCellsGrouped<Is565, Z, Tex, AlphaTest, Mode>};
    }
#endif
    return {drawSpan<Is565, Z, Tex, AlphaTest, Mode>, drawRows<Is565, Z, Tex, AlphaTest, Mode, false>,
            drawCellsReference<Is565, Z, Tex, AlphaTest, Mode>};
}

template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest, BlendMode Mode>
constexpr LoopSet kLoops[2] = {pickLoops<Is565, Z, Tex, AlphaTest, Mode, false>(),
                             pickLoops<Is565, Z, Tex, AlphaTest, Mode, true>()};

template <bool Is565, ZMode Z, TexMode Tex, bool AlphaTest>
LoopSet pickBlend(BlendMode blend, bool reference) {
    const int r = reference ? 1 : 0;
    switch (blend) {
    case BlendMode::Off: return kLoops<Is565, Z, Tex, AlphaTest, BlendMode::Off>[r];
    case BlendMode::Alpha: return kLoops<Is565, Z, Tex, AlphaTest, BlendMode::Alpha>[r];
    case BlendMode::Add: return kLoops<Is565, Z, Tex, AlphaTest, BlendMode::Add>[r];
    case BlendMode::Multiply: return kLoops<Is565, Z, Tex, AlphaTest, BlendMode::Multiply>[r];
    default: return kLoops<Is565, Z, Tex, AlphaTest, BlendMode::Generic>[r];
    }
}

template <bool Is565, ZMode Z, TexMode Tex>
LoopSet pickAlpha(bool alphaTest, BlendMode blend, bool reference) {
    return alphaTest ? pickBlend<Is565, Z, Tex, true>(blend, reference)
                     : pickBlend<Is565, Z, Tex, false>(blend, reference);
}

template <bool Is565, ZMode Z>
LoopSet pickTex(TexMode tex, bool alphaTest, BlendMode blend, bool reference) {
    switch (tex) {
    case TexMode::None: return pickAlpha<Is565, Z, TexMode::None>(alphaTest, blend, reference);
    case TexMode::Wrap: return pickAlpha<Is565, Z, TexMode::Wrap>(alphaTest, blend, reference);
    case TexMode::WrapShift: return pickAlpha<Is565, Z, TexMode::WrapShift>(alphaTest, blend, reference);
    default: return pickAlpha<Is565, Z, TexMode::Clamp>(alphaTest, blend, reference);
    }
}

template <bool Is565>
LoopSet pickZ(ZMode z, TexMode tex, bool alphaTest, BlendMode blend, bool reference) {
    switch (z) {
    case ZMode::Off: return pickTex<Is565, ZMode::Off>(tex, alphaTest, blend, reference);
    case ZMode::Test: return pickTex<Is565, ZMode::Test>(tex, alphaTest, blend, reference);
    default: return pickTex<Is565, ZMode::TestWrite>(tex, alphaTest, blend, reference);
    }
}

}  // namespace

LoopSet pickLoopSet(bool target565, ZMode z, TexMode tex, bool alphaTest, BlendMode blend, bool reference) {
    return target565 ? pickZ<true>(z, tex, alphaTest, blend, reference)
                     : pickZ<false>(z, tex, alphaTest, blend, reference);
}

}  // namespace RENDER_LOOPS_NAMESPACE
}  // namespace render
