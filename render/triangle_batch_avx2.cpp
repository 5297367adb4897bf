// render/triangle_batch_avx2.cpp: the setup of eight triangles at once, one
// per vector lane, for processors with AVX2 (compiled with it; chosen at
// run time).
//
// Every lane does the integer and float operations rasteriseTriangle does
// for one triangle, in the same order, so it makes the same decisions,
// counts and planes: the pixels cannot tell the two apart. The minima and
// maxima of three values pick as std::min and std::max of a list do (the
// first of equal values; NaN where the comparisons leave it). Triangles
// the small-triangle path does not take (larger boxes, perspective
// texturing) go to rasteriseTriangle whole, in their turn.
#include <immintrin.h>

#include <bit>
#include <cstdint>

#include "render/device.h"
#include "render/render_local.h"

namespace render {

namespace {

constexpr int kLanes = TriangleBatch::kSize;

inline __m256 less(__m256 a, __m256 b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
inline __m256 atLeast(__m256 a, __m256 b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
inline __m256 atMost(__m256 a, __m256 b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }

// b where mask is set, else a.
inline __m256 pick(__m256 a, __m256 b, __m256 mask) { return _mm256_blendv_ps(a, b, mask); }
inline __m256i pick(__m256i a, __m256i b, __m256i mask) { return _mm256_blendv_epi8(a, b, mask); }

inline __m256 min3(__m256 a, __m256 b, __m256 c) {
    const __m256 m = pick(a, b, less(b, a));
    return pick(m, c, less(c, m));
}

inline __m256 max3(__m256 a, __m256 b, __m256 c) {
    const __m256 m = pick(a, b, less(a, b));
    return pick(m, c, less(m, c));
}

inline unsigned bits(__m256i mask) { return static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(mask))); }
inline unsigned bits(__m256 mask) { return static_cast<unsigned>(_mm256_movemask_ps(mask)); }

// Lanes of the two halves compared with zero, as eight bits.
template <int Compare>
inline unsigned compareBits(__m256d low, __m256d high) {
    const __m256d zero = _mm256_setzero_pd();
    return static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(low, zero, Compare)) |
                                 _mm256_movemask_pd(_mm256_cmp_pd(high, zero, Compare)) << 4);
}

inline __m256i ceilDiv16(__m256i a) {
    return _mm256_srai_epi32(_mm256_add_epi32(a, _mm256_set1_epi32(kSubPixel - 1)), 4);
}

// Exchanges the lanes of a and b where mask is set.
template <class V>
inline void swapWhere(V& a, V& b, V mask) {
    const V oldA = a;
    a = pick(a, b, mask);
    b = pick(b, oldA, mask);
}

// A vertex of eight triangles.
struct Corner {
    __m256i px, py;
    __m256 z, rhw, u, v;
    __m256i colour;

    void swapWith(Corner& o, __m256i mask) {
        const __m256 m = _mm256_castsi256_ps(mask);
        swapWhere(px, o.px, mask);
        swapWhere(py, o.py, mask);
        swapWhere(z, o.z, m);
        swapWhere(rhw, o.rhw, m);
        swapWhere(u, o.u, m);
        swapWhere(v, o.v, m);
        swapWhere(colour, o.colour, mask);
    }
};

// The sorted triangle's frame, as makePlane takes it.
struct Frame {
    __m256 x0, y0, ex1, ey1, ex2, ey2, invArea;
};

struct PlaneLanes {
    alignas(32) float origin[kLanes], dx[kLanes], dy[kLanes];

    Plane at(int k) const { return {origin[k], dx[k], dy[k]}; }
};

void makePlanes(PlaneLanes& out, __m256 a0, __m256 a1, __m256 a2, const Frame& f) {
    const __m256 d1 = _mm256_sub_ps(a1, a0), d2 = _mm256_sub_ps(a2, a0);
    const __m256 dx = _mm256_mul_ps(_mm256_sub_ps(_mm256_mul_ps(d1, f.ey2), _mm256_mul_ps(d2, f.ey1)), f.invArea);
    const __m256 dy = _mm256_mul_ps(_mm256_sub_ps(_mm256_mul_ps(d2, f.ex1), _mm256_mul_ps(d1, f.ex2)), f.invArea);
    _mm256_store_ps(out.dx, dx);
    _mm256_store_ps(out.dy, dy);
    _mm256_store_ps(out.origin, _mm256_sub_ps(_mm256_sub_ps(a0, _mm256_mul_ps(f.x0, dx)), _mm256_mul_ps(f.y0, dy)));
}

// One channel (shift 16 red, 8 green, 0 blue, 24 alpha) as floats.
inline __m256 channel(__m256i argb, int shift) {
    return _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(argb, shift), _mm256_set1_epi32(0xFF)));
}

}  // namespace

void rasteriseBatchAvx2(TriangleBatch& batch, const RasterState& st, DrawStats& stats) {
    const int count = batch.count;
    batch.count = 0;
    if (count == 0) return;
    // Unused lanes repeat the first triangle; nothing of them is drawn.
    for (int k = count; k < TriangleBatch::kSize; ++k) {
        for (int i = 0; i < 3; ++i) {
            batch.x[i][k] = batch.x[i][0];
            batch.y[i][k] = batch.y[i][0];
            batch.z[i][k] = batch.z[i][0];
            batch.rhw[i][k] = batch.rhw[i][0];
            batch.u[i][k] = batch.u[i][0];
            batch.v[i][k] = batch.v[i][0];
            batch.colour[i][k] = batch.colour[i][0];
        }
    }
    const unsigned live = (1u << count) - 1;

    // Vertices past the guard band (or NaN) are dropped; the rest snapped.
    const __m256 limitLeft = _mm256_set1_ps(static_cast<float>(st.clipLeft) - kGuardBand);
    const __m256 limitRight = _mm256_set1_ps(static_cast<float>(st.clipRight) + kGuardBand);
    const __m256 limitTop = _mm256_set1_ps(static_cast<float>(st.clipTop) - kGuardBand);
    const __m256 limitBottom = _mm256_set1_ps(static_cast<float>(st.clipBottom) + kGuardBand);
    const __m256 subPixel = _mm256_set1_ps(static_cast<float>(kSubPixel));
    __m256 inside = _mm256_castsi256_ps(_mm256_set1_epi32(-1));
    Corner c[3];
    for (int i = 0; i < 3; ++i) {
        const __m256 x = _mm256_load_ps(batch.x[i]), y = _mm256_load_ps(batch.y[i]);
        inside = _mm256_and_ps(inside, _mm256_and_ps(_mm256_and_ps(atLeast(x, limitLeft), atMost(x, limitRight)),
                                                     _mm256_and_ps(atLeast(y, limitTop), atMost(y, limitBottom))));
        c[i].px = _mm256_cvtps_epi32(_mm256_mul_ps(x, subPixel));
        c[i].py = _mm256_cvtps_epi32(_mm256_mul_ps(y, subPixel));
        c[i].z = _mm256_load_ps(batch.z[i]);
        c[i].rhw = _mm256_load_ps(batch.rhw[i]);
        c[i].u = _mm256_load_ps(batch.u[i]);
        c[i].v = _mm256_load_ps(batch.v[i]);
        c[i].colour = _mm256_load_si256(reinterpret_cast<const __m256i*>(batch.colour[i]));
    }
    const unsigned inView = bits(inside) & live;

    // Doubled areas: products of snapped deltas are exact in doubles, four
    // lanes to a register.
    const __m256i d1x = _mm256_sub_epi32(c[1].px, c[0].px), d2y = _mm256_sub_epi32(c[2].py, c[0].py);
    const __m256i d2x = _mm256_sub_epi32(c[2].px, c[0].px), d1y = _mm256_sub_epi32(c[1].py, c[0].py);
    auto areaHalf = [&](int half) {
        auto wide = [half](__m256i v) {
            return _mm256_cvtepi32_pd(half == 0 ? _mm256_castsi256_si128(v) : _mm256_extracti128_si256(v, 1));
        };
        return _mm256_sub_pd(_mm256_mul_pd(wide(d1x), wide(d2y)), _mm256_mul_pd(wide(d2x), wide(d1y)));
    };
    const __m256d areaLow = areaHalf(0), areaHigh = areaHalf(1);
    const unsigned positive = compareBits<_CMP_GT_OQ>(areaLow, areaHigh);
    const unsigned negative = compareBits<_CMP_LT_OQ>(areaLow, areaHigh);
    unsigned culled = ~(positive | negative);
    if (st.cull == Cull::CCW) culled |= negative;
    if (st.cull == Cull::CW) culled |= positive;
    culled &= inView;
    // Rounded once, as from the exact integer.
    const __m256 areaF = _mm256_set_m128(_mm256_cvtpd_ps(areaHigh), _mm256_cvtpd_ps(areaLow));
    const __m256 invArea = _mm256_div_ps(_mm256_set1_ps(static_cast<float>(kSubPixel * kSubPixel)), areaF);
    const __m256i minX = _mm256_min_epi32(_mm256_min_epi32(c[0].px, c[1].px), c[2].px);
    const __m256i maxX = _mm256_max_epi32(_mm256_max_epi32(c[0].px, c[1].px), c[2].px);

    // Sorted top to bottom (a stable sort of three); each swap flips the
    // sign of the sorted triangle's area.
    Corner top = c[0], mid = c[1], bottom = c[2];
    __m256i odd = _mm256_setzero_si256();
    __m256i swap = _mm256_cmpgt_epi32(top.py, mid.py);
    top.swapWith(mid, swap);
    odd = _mm256_xor_si256(odd, swap);
    swap = _mm256_cmpgt_epi32(top.py, bottom.py);
    top.swapWith(bottom, swap);
    odd = _mm256_xor_si256(odd, swap);
    swap = _mm256_cmpgt_epi32(mid.py, bottom.py);
    mid.swapWith(bottom, swap);
    odd = _mm256_xor_si256(odd, swap);

    const __m256i clipLeft = _mm256_set1_epi32(st.clipLeft), clipRight = _mm256_set1_epi32(st.clipRight);
    const __m256i firstRow = _mm256_max_epi32(ceilDiv16(top.py), _mm256_set1_epi32(st.clipTop));
    const __m256i endRow = _mm256_min_epi32(ceilDiv16(bottom.py), _mm256_set1_epi32(st.clipBottom));
    const __m256i colLow = ceilDiv16(minX), colHigh = ceilDiv16(maxX);
    const unsigned visible = bits(
        _mm256_and_si256(_mm256_and_si256(_mm256_cmpgt_epi32(endRow, firstRow), _mm256_cmpgt_epi32(colHigh, clipLeft)),
                         _mm256_cmpgt_epi32(clipRight, colLow)));
    const unsigned drawn = inView & ~culled & visible;

    // The small-triangle path, and whether it may map textures affinely.
    const __m256i small = _mm256_set1_epi32(static_cast<int>(kSmallTriangle) + 1);
    unsigned fast = bits(_mm256_and_si256(_mm256_cmpgt_epi32(small, _mm256_sub_epi32(maxX, minX)),
                                          _mm256_cmpgt_epi32(small, _mm256_sub_epi32(bottom.py, top.py))));
    if (st.textured && st.perspective) {
        const __m256 lo = min3(top.rhw, mid.rhw, bottom.rhw), hi = max3(top.rhw, mid.rhw, bottom.rhw);
        const __m256 extentU = _mm256_mul_ps(_mm256_sub_ps(max3(top.u, mid.u, bottom.u), min3(top.u, mid.u, bottom.u)),
                                             _mm256_set1_ps(static_cast<float>(st.texWidth)));
        const __m256 extentV = _mm256_mul_ps(_mm256_sub_ps(max3(top.v, mid.v, bottom.v), min3(top.v, mid.v, bottom.v)),
                                             _mm256_set1_ps(static_cast<float>(st.texHeight)));
        const __m256 extent = pick(extentU, extentV, less(extentU, extentV));
        fast &= bits(less(_mm256_mul_ps(_mm256_sub_ps(hi, lo), extent), lo));
    }
    fast &= drawn;
    stats.rejected += std::popcount(live & ~inView) + std::popcount(inView & ~culled & ~visible);
    stats.culled += std::popcount(culled);
    stats.rasterised += std::popcount(fast);

    // Boxes of at most 8 x 8 pixels lying wholly behind the depth buffer,
    // with the bound of rasteriseTriangle (hiddenBehindDepth).
    alignas(32) int32_t lowest[kLanes];
    unsigned testable = 0;
    const __m256i firstCol = _mm256_max_epi32(colLow, clipLeft);
    if (st.hiddenTest) {
        const __m256 zMin = min3(c[0].z, c[1].z, c[2].z);
        const __m256 zRange = _mm256_sub_ps(max3(c[0].z, c[1].z, c[2].z), zMin);
        const __m256i width = _mm256_sub_epi32(colHigh, firstCol), height = _mm256_sub_epi32(endRow, firstRow);
        const __m256i box = _mm256_set1_epi32(9);
        const __m256i extent = _mm256_add_epi32(_mm256_max_epi32(width, height), _mm256_set1_epi32(1));
        const __m256 absInvArea = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), invArea);
        const __m256 gradient = _mm256_mul_ps(
            _mm256_mul_ps(_mm256_mul_ps(_mm256_set1_ps(2.0f), zRange), _mm256_cvtepi32_ps(extent)), absInvArea);
        const __m256 magnitude = _mm256_add_ps(
            _mm256_set1_ps(1.0f),
            _mm256_mul_ps(_mm256_mul_ps(_mm256_set1_ps(2.0f), gradient), _mm256_set1_ps(kGuardBand + 2048.0f)));
        const __m256 margin =
            _mm256_add_ps(_mm256_set1_ps(2.0f), _mm256_mul_ps(magnitude, _mm256_set1_ps(1.0f / 16.0f)));
        const __m256 bounded = _mm256_and_ps(atLeast(zMin, _mm256_setzero_ps()), less(margin, _mm256_set1_ps(64.0f)));
        testable =
            bits(bounded) & bits(_mm256_and_si256(_mm256_cmpgt_epi32(box, width), _mm256_cmpgt_epi32(box, height)));
        const __m256i one = _mm256_set1_epi32(1);
        _mm256_store_si256(
            reinterpret_cast<__m256i*>(lowest),
            _mm256_sub_epi32(_mm256_sub_epi32(_mm256_cvttps_epi32(_mm256_mul_ps(zMin, _mm256_set1_ps(65535.0f))),
                                              _mm256_cvttps_epi32(margin)),
                             one));
    }

    // Planes from the sorted triangle's top vertex and edges.
    const __m256 sixteenth = _mm256_set1_ps(1.0f / kSubPixel);
    auto fixedToFloat = [&](__m256i a) { return _mm256_mul_ps(_mm256_cvtepi32_ps(a), sixteenth); };
    Frame f;
    f.x0 = fixedToFloat(top.px);
    f.y0 = fixedToFloat(top.py);
    f.ex1 = fixedToFloat(_mm256_sub_epi32(mid.px, top.px));
    f.ey1 = fixedToFloat(_mm256_sub_epi32(mid.py, top.py));
    f.ex2 = fixedToFloat(_mm256_sub_epi32(bottom.px, top.px));
    f.ey2 = fixedToFloat(_mm256_sub_epi32(bottom.py, top.py));
    f.invArea = _mm256_xor_ps(invArea, _mm256_and_ps(_mm256_castsi256_ps(odd), _mm256_set1_ps(-0.0f)));
    PlaneLanes zPlane, uPlane, vPlane, colourPlanes[4];
    makePlanes(zPlane, top.z, mid.z, bottom.z, f);
    if (st.textured) {
        makePlanes(uPlane, top.u, mid.u, bottom.u, f);
        makePlanes(vPlane, top.v, mid.v, bottom.v, f);
    }
    const unsigned flat = bits(
        _mm256_and_si256(_mm256_cmpeq_epi32(top.colour, mid.colour), _mm256_cmpeq_epi32(top.colour, bottom.colour)));
    if (fast & ~flat) {
        const int shifts[4] = {16, 8, 0, 24};
        for (int ch = 0; ch < 4; ++ch) {
            makePlanes(colourPlanes[ch], channel(top.colour, shifts[ch]), channel(mid.colour, shifts[ch]),
                       channel(bottom.colour, shifts[ch]), f);
        }
    }
    alignas(32) uint32_t topColour[kLanes];
    _mm256_store_si256(reinterpret_cast<__m256i*>(topColour), top.colour);

    // Edge functions over the box, from the vertices in their own order
    // turned clockwise; they fit 32 bits inside a small box.
    const __m256i turned = _mm256_castps_si256(less(areaF, _mm256_setzero_ps()));
    const __m256i ex[3] = {c[0].px, pick(c[1].px, c[2].px, turned), pick(c[2].px, c[1].px, turned)};
    const __m256i ey[3] = {c[0].py, pick(c[1].py, c[2].py, turned), pick(c[2].py, c[1].py, turned)};
    const __m256i endCol = _mm256_min_epi32(colHigh, clipRight);
    const __m256i rowY = _mm256_slli_epi32(firstRow, 4), colX = _mm256_slli_epi32(firstCol, 4);
    alignas(32) int32_t edgeStart[3][kLanes], edgeStepX[3][kLanes], edgeStepY[3][kLanes], rows[2][kLanes],
        cols[2][kLanes];
    for (int i = 0; i < 3; ++i) {
        const int j = i == 2 ? 0 : i + 1;
        const __m256i dx = _mm256_sub_epi32(ex[j], ex[i]), dy = _mm256_sub_epi32(ey[j], ey[i]);
        const __m256i zero = _mm256_setzero_si256();
        const __m256i topLeft = _mm256_or_si256(
            _mm256_cmpgt_epi32(zero, dy), _mm256_and_si256(_mm256_cmpeq_epi32(dy, zero), _mm256_cmpgt_epi32(dx, zero)));
        const __m256i start = _mm256_sub_epi32(_mm256_mullo_epi32(dx, _mm256_sub_epi32(rowY, ey[i])),
                                               _mm256_mullo_epi32(dy, _mm256_sub_epi32(colX, ex[i])));
        // Less one off the top-left edges: topLeft is -1 there.
        _mm256_store_si256(reinterpret_cast<__m256i*>(edgeStart[i]),
                           _mm256_sub_epi32(_mm256_sub_epi32(start, _mm256_set1_epi32(1)), topLeft));
        _mm256_store_si256(reinterpret_cast<__m256i*>(edgeStepX[i]), _mm256_slli_epi32(_mm256_sub_epi32(zero, dy), 4));
        _mm256_store_si256(reinterpret_cast<__m256i*>(edgeStepY[i]), _mm256_slli_epi32(dx, 4));
    }
    _mm256_store_si256(reinterpret_cast<__m256i*>(rows[0]), firstRow);
    _mm256_store_si256(reinterpret_cast<__m256i*>(rows[1]), endRow);
    _mm256_store_si256(reinterpret_cast<__m256i*>(cols[0]), firstCol);
    _mm256_store_si256(reinterpret_cast<__m256i*>(cols[1]), endCol);

    // In drawing order: the small triangles from here, the others whole.
    for (unsigned left = drawn; left != 0; left &= left - 1) {
        const int k = std::countr_zero(left);
        if (!(fast >> k & 1)) {
            rasteriseTriangle(st, batch.vertex(0, k), batch.vertex(1, k), batch.vertex(2, k), stats);
            continue;
        }
        if ((testable >> k & 1) && lowest[k] > deepestStored(st, rows[0][k], rows[1][k], cols[0][k])) continue;
        Setup s;
        s.z = zPlane.at(k);
        s.perspective = false;
        s.flatColour = false;
        if (flat >> k & 1) {
            s.setFlatColour(topColour[k]);
        } else {
            s.r = colourPlanes[0].at(k);
            s.g = colourPlanes[1].at(k);
            s.b = colourPlanes[2].at(k);
            s.a = colourPlanes[3].at(k);
        }
        if (st.textured) {
            s.u = uPlane.at(k);
            s.v = vPlane.at(k);
        }
        TriangleCells cells;
        cells.setup = &s;
        Coverage& cov = cells.coverage;
        cov.firstRow = rows[0][k];
        cov.endRow = rows[1][k];
        cov.firstCol = cols[0][k];
        cov.width = cols[1][k] - cols[0][k];
        for (int i = 0; i < 3; ++i) {
            cov.edge[i] = edgeStart[i][k];
            cov.stepX[i] = edgeStepX[i][k];
            cov.stepY[i] = edgeStepY[i][k];
        }
        cov.setSteps();
        st.cells(cells, st);
    }
}

}  // namespace render
