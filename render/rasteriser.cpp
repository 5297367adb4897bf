// render/rasteriser.cpp: triangle setup and the per-state span loops.
//
// Positions are snapped to 1/16 pixel. Rows and columns whose centre lies
// on a left or top edge are drawn, on a right or bottom edge not, so
// triangles sharing an edge never draw a pixel twice. Edge positions come
// from exact integer stepping; attributes from plane equations evaluated
// in floats at both ends of each span, clamped to their ranges and stepped
// in fixed point, so no pixel ever leaves the range of its endpoints.
#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdint>

#include "render/device.h"
#include "render/frame_queue.h"
#include "render/render_local.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace render {

namespace {

constexpr int kPerspectiveRun = 16;
static_assert(kSmallTriangle / kSubPixel + 1 + 3 < 32, "a row's coverage, in steps of four, must fit a 32-bit mask");

// Nearest 1/16 pixel (ties to even). The target compiles without errno
// for maths functions, so this is one conversion instruction.
inline int64_t snap(float x) { return std::lrint(x * kSubPixel); }

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

// A small triangle cannot pass the depth test anywhere when every depth
// stored in its bounding box lies in front of the smallest depth any of its
// pixels can get. Pixels interpolate the vertex depths, so none lies below
// the smallest of them, except by the rounding of the depth plane in
// floats; that error grows with the plane's gradient, bounded here from the
// vertices' depth range and the triangle's area, and is kept off with a
// margin of at least twice its size. This gives that smallest depth in Z16
// units, or -1 when the box is over 8 x 8 pixels or the bound fails; the
// triangle is hidden on any rows of its box whose stored depths all lie
// below it. The bound comes from the whole triangle even where only some
// of its rows are tested.
int hiddenBound(float z0, float z1, float z2, float invArea, int firstRow, int endRow, int firstCol, int endCol) {
#if defined(__SSE2__)
    constexpr int kBox = 8;
    const int width = endCol - firstCol, height = endRow - firstRow;
    if (width > kBox || height > kBox) return -1;
    const float zMin = std::min({z0, z1, z2}), zRange = std::max({z0, z1, z2}) - zMin;
    // |gradient| <= 2 range extent / area; invArea is 1 / the area in
    // pixels, signed.
    const float gradient = 2.0f * zRange * static_cast<float>(std::max(width, height) + 1) * std::fabs(invArea);
    // Largest magnitude in the plane's evaluation, and its rounding in Z16 units.
    const float magnitude = 1.0f + 2.0f * gradient * (kGuardBand + 2048.0f);
    const float margin = 2.0f + magnitude * (1.0f / 16.0f);
    const bool bounded = zMin >= 0.0f && margin < 64.0f;  // NaN fails too
    return bounded ? std::max(static_cast<int>(zMin * 65535.0f) - static_cast<int>(margin) - 1, -1) : -1;
#else
    (void)z0, (void)z1, (void)z2, (void)invArea, (void)firstRow, (void)endRow, (void)firstCol, (void)endCol;
    return -1;
#endif
}

bool hiddenRows(const RasterState& st, int lowest, int firstRow, int endRow, int firstCol) {
#if defined(__SSE2__)
    return lowest >= 0 && lowest > deepestStored(st, firstRow, endRow, firstCol);
#else
    (void)st, (void)lowest, (void)firstRow, (void)endRow, (void)firstCol;
    return false;
#endif
}

}  // namespace

float reciprocal(int n) {
    static const auto table = [] {
        struct Table { float values[2048]; } t{};
        t.values[0] = 1.0f;
        for (int i = 1; i < 2048; ++i) t.values[i] = 1.0f / static_cast<float>(i);
        return t;
    }();
    return n < 2048 ? table.values[n] : 1.0f / static_cast<float>(n);
}

namespace {

// One row of any triangle; perspective rows get exact texture coordinates
// every kPerspectiveRun pixels.
void drawRow(const RasterState& st, const Setup& s, Stepper& at, int y, int x0, int x1) {
    Span span;
    prepareSpan(span, st, s, at, y, x0, x1);
    if (!st.textured || !s.perspective) {
        st.span(span, st);
        return;
    }
    const int n = x1 - x0;
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


// Larger triangles: the rows between the long edge and the two short ones,
// walked with exact integer steps. Kept out of line, away from the path
// of the many small triangles.
[[gnu::noinline]] void rasteriseLarge(const RasterState& st, const Setup& s, Stepper& stepper, const int64_t* px,
                                      const int64_t* py, int top, int mid, int bottom, int firstRow, int endRow,
                                      int rowMid, int rowBottom, const RowOwner* owner) {
    // The long edge runs from top to bottom; the middle vertex lies left of
    // it when the sorted triangle turns one way, right of it otherwise.
    int64_t side = (px[mid] - px[top]) * (py[bottom] - py[top]) - (px[bottom] - px[top]) * (py[mid] - py[top]);
    bool longIsLeft = side > 0;
    EdgeWalk longEdge, shortEdge;
    longEdge.init(px[top], py[top], px[bottom], py[bottom], firstRow);
    // Rows without perspective division go to the row loops in batches.
    const bool batched = !st.textured || !s.perspective;
    TriangleRows rows;
    rows.setup = &s;
    rows.stepper = &stepper;
    rows.count = 0;
    bool begun = false;
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
            if (left < right && owner && !owner->owns(y)) {
                // Another worker's row: the stepper still starts where
                // drawing the triangle whole starts it, the first row with
                // pixels (rows of this worker's before it may wait in
                // `rows`, the stepper not yet started).
                if (!begun) stepper.start(s, st.textured && !s.perspective, left, y);
                begun = true;
            } else if (left < right) {
                begun = true;
                if (batched) {
                    rows.y[rows.count] = y;
                    rows.x0[rows.count] = left;
                    rows.x1[rows.count] = right;
                    if (++rows.count == kMaxTriangleRows) {
                        st.rows(rows, st);
                        rows.count = 0;
                    }
                } else {
                    drawRow(st, s, stepper, y, left, right);
                }
            }
            longEdge.step();
            shortEdge.step();
        }
    }
    if (rows.count > 0) st.rows(rows, st);
}

// The coverage of a small triangle over its clipped box, at its first row.
void smallCoverage(const RasterState& st, const int64_t* px, const int64_t* py, int64_t area, int64_t minX,
                   int64_t maxX, int firstRow, int endRow, Coverage& cov) {
    int64_t ex[3] = {px[0], px[1], px[2]}, ey[3] = {py[0], py[1], py[2]};
    if (area < 0) {
        std::swap(ex[1], ex[2]);
        std::swap(ey[1], ey[2]);
    }
    const int firstCol = std::max(ceilDiv16(minX), st.clipLeft);
    const int endCol = std::min(ceilDiv16(maxX), st.clipRight);
    cov.firstRow = firstRow;
    cov.endRow = endRow;
    cov.firstCol = firstCol;
    cov.width = endCol - firstCol;
    for (int i = 0; i < 3; ++i) {
        int j = i == 2 ? 0 : i + 1;
        int64_t dx = ex[j] - ex[i], dy = ey[j] - ey[i];
        bool topLeft = dy < 0 || (dy == 0 && dx > 0);
        cov.edge[i] = static_cast<int32_t>(dx * (firstRow * int64_t{kSubPixel} - ey[i]) -
                                           dy * (firstCol * int64_t{kSubPixel} - ex[i]) - (topLeft ? 0 : 1));
        cov.stepX[i] = static_cast<int32_t>(-dy * kSubPixel);
        cov.stepY[i] = static_cast<int32_t>(dx * kSubPixel);
    }
    cov.setSteps();
}

}  // namespace

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
    // Started early so the division overlaps the work below; each swap of
    // the sort flips the sign of the sorted triangle's area.
    float invArea = static_cast<float>(kSubPixel * kSubPixel) / static_cast<float>(area);
    int64_t minX = std::min({px[0], px[1], px[2]}), maxX = std::max({px[0], px[1], px[2]});
    int top = 0, mid = 1, bottom = 2;
    bool odd = false;
    if (py[mid] < py[top]) {
        std::swap(mid, top);
        odd = !odd;
    }
    if (py[bottom] < py[top]) {
        std::swap(bottom, top);
        odd = !odd;
    }
    if (py[bottom] < py[mid]) {
        std::swap(bottom, mid);
        odd = !odd;
    }
    int rowTop = ceilDiv16(py[top]), rowMid = ceilDiv16(py[mid]), rowBottom = ceilDiv16(py[bottom]);
    int firstRow = std::max(rowTop, st.clipTop), endRow = std::min(rowBottom, st.clipBottom);
    if (firstRow >= endRow || ceilDiv16(maxX) <= st.clipLeft || ceilDiv16(minX) >= st.clipRight) {
        ++stats.rejected;
        return;
    }
    ++stats.rasterised;
    int hiddenLowest = -1;
    if (st.hiddenTest) {
        const int boxCol = std::max(ceilDiv16(minX), st.clipLeft);
        hiddenLowest = hiddenBound(v0.z, v1.z, v2.z, invArea, firstRow, endRow, boxCol, ceilDiv16(maxX));
        // With a queue the depth buffer may lack triangles still queued; its
        // depths only fall until the next clear (which draws the queue), so
        // a triangle hidden behind it now is hidden when drawn. The queue's
        // threads are asleep while triangles are set up.
        if (hiddenRows(st, hiddenLowest, firstRow, endRow, boxCol)) return;
    }

    const RasterVertex& a = *v[top];
    const RasterVertex& b = *v[mid];
    const RasterVertex& c = *v[bottom];
    float ax = static_cast<float>(px[top]) / kSubPixel, ay = static_cast<float>(py[top]) / kSubPixel;
    float ex1 = static_cast<float>(px[mid] - px[top]) / kSubPixel;
    float ey1 = static_cast<float>(py[mid] - py[top]) / kSubPixel;
    float ex2 = static_cast<float>(px[bottom] - px[top]) / kSubPixel;
    float ey2 = static_cast<float>(py[bottom] - py[top]) / kSubPixel;
    if (odd) invArea = -invArea;
    Setup s;
    s.z = makePlane(a.z, b.z, c.z, ax, ay, ex1, ey1, ex2, ey2, invArea);
    s.flatColour = false;
    if (a.colour == b.colour && a.colour == c.colour) {
        s.setFlatColour(a.colour);
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
    s.perspective = false;
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

    const bool small = maxX - minX <= kSmallTriangle && py[bottom] - py[top] <= kSmallTriangle;
    if (st.queue) {
        QueuedTriangle& q = st.queue->add(st);
        q.setup = s;
        q.firstRow = firstRow;
        q.endRow = endRow;
        q.rowMid = rowMid;
        q.rowBottom = rowBottom;
        q.hiddenLowest = hiddenLowest;
        q.hiddenCol = std::max(ceilDiv16(minX), st.clipLeft);
        q.small = small;
        q.top = static_cast<uint8_t>(top);
        q.mid = static_cast<uint8_t>(mid);
        q.bottom = static_cast<uint8_t>(bottom);
        for (int i = 0; i < 3; ++i) {
            q.px[i] = px[i];
            q.py[i] = py[i];
        }
        if (small) {
            Coverage cov;
            smallCoverage(st, px, py, area, minX, maxX, firstRow, endRow, cov);
            q.firstCol = cov.firstCol;
            q.width = cov.width;
            for (int i = 0; i < 3; ++i) {
                q.edge[i] = cov.edge[i];
                q.stepX[i] = cov.stepX[i];
                q.stepY[i] = cov.stepY[i];
            }
        }
        return;
    }
    Stepper stepper;
    if (small) {
        // Small triangles: edge functions over the bounding box find each
        // row's run without the divisions of edge walking.
        TriangleCells cells;
        cells.setup = &s;
        Coverage& cov = cells.coverage;
        smallCoverage(st, px, py, area, minX, maxX, firstRow, endRow, cov);
        const int firstCol = cov.firstCol;
        if (!st.textured || !s.perspective) {
            st.cells(cells, st);
        } else {
            for (int y = firstRow; y < endRow; ++y, cov.nextRow()) {
                const uint32_t mask = cov.rowMask();
                if (mask == 0) continue;
                drawRow(st, s, stepper, y, firstCol + std::countr_zero(mask), firstCol + 32 - std::countl_zero(mask));
            }
        }
        return;
    }

    rasteriseLarge(st, s, stepper, px, py, top, mid, bottom, firstRow, endRow, rowMid, rowBottom, nullptr);
}

void drawQueuedTriangle(const QueuedTriangle& q, const RasterState& st, const RowOwner& owner) {
    const int firstStrip = q.firstRow / kStripRows, lastStrip = (q.endRow - 1) / kStripRows;
    bool mine = false;
    for (int k = firstStrip; k <= lastStrip && !mine; ++k) mine = owner.ownsStrip(k);
    if (!mine) return;
    Stepper stepper;
    if (!q.small) {
        rasteriseLarge(st, q.setup, stepper, q.px, q.py, q.top, q.mid, q.bottom, q.firstRow, q.endRow, q.rowMid,
                       q.rowBottom, &owner);
        return;
    }
    Coverage whole;
    whole.firstRow = q.firstRow;
    whole.endRow = q.endRow;
    whole.firstCol = q.firstCol;
    whole.width = q.width;
    for (int i = 0; i < 3; ++i) {
        whole.edge[i] = q.edge[i];
        whole.stepX[i] = q.stepX[i];
        whole.stepY[i] = q.stepY[i];
    }
    whole.setSteps();
    // The first covered pixel of the whole triangle, where drawing it
    // whole starts the stepper.
    Coverage scan = whole;
    int startY = q.firstRow;
    uint32_t mask = 0;
    for (; startY < q.endRow; ++startY, scan.nextRow()) {
        mask = scan.rowMask();
        if (mask != 0) break;
    }
    if (startY >= q.endRow) return;
    const int startX = q.firstCol + std::countr_zero(mask);
    const bool cells = !st.textured || !q.setup.perspective;
    if (!cells) stepper.start(q.setup, false, startX, startY);
    for (int k = firstStrip; k <= lastStrip; ++k) {
        if (!owner.ownsStrip(k)) continue;
        const int from = std::max(q.firstRow, k * kStripRows), to = std::min(q.endRow, (k + 1) * kStripRows);
        if (st.hiddenTest && hiddenRows(st, q.hiddenLowest, from, to, q.hiddenCol)) continue;
        TriangleCells part;
        part.setup = &q.setup;
        part.coverage = whole;
        part.coverage.firstRow = from;
        part.coverage.endRow = to;
        for (int i = 0; i < 3; ++i) part.coverage.edge[i] += (from - q.firstRow) * q.stepY[i];
        part.startX = startX;
        part.startY = startY;
        if (cells) {
            st.cells(part, st);
            continue;
        }
        Coverage& cov = part.coverage;
        for (int y = from; y < to; ++y, cov.nextRow()) {
            const uint32_t rowMask = cov.rowMask();
            if (rowMask == 0) continue;
            drawRow(st, q.setup, stepper, y, q.firstCol + std::countr_zero(rowMask),
                    q.firstCol + 32 - std::countl_zero(rowMask));
        }
    }
}

void rasteriseBatch(TriangleBatch& batch, const RasterState& state, DrawStats& stats) {
    for (int k = 0; k < batch.count; ++k) {
        rasteriseTriangle(state, batch.vertex(0, k), batch.vertex(1, k), batch.vertex(2, k), stats);
    }
    batch.count = 0;
}

}  // namespace render
