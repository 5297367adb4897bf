// render/render_local.h: shared inside render/ only.
#pragma once
#include <cstdint>

#include "render/adapter.h"
#include "render/device.h"

namespace render {

// State the adapter shares with its surfaces, so surfaces outliving the
// adapter stay safe to use.
struct AdapterState {
    uint32_t lossEpoch = 0;
    int failingRestores = 0;
    int failingCreations = 0;
    bool refusedFormats[8] = {};
    bool refusedClasses[kDeviceClasses] = {};
};

}  // namespace render

namespace render {

struct DrawStats;

// A vertex on the way to scan conversion: screen position (pixel centres
// on integers), depth 0-1, 1/w, texture coordinates and ARGB colour.
struct RasterVertex {
    float x, y, z, rhw;
    float u, v;
    uint32_t colour;
};

enum class ZMode : uint8_t { Off, Test, TestWrite };
enum class TexMode : uint8_t { None, Wrap, Clamp };
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
using SpanFunction = void (*)(Span& span, const RasterState& state);

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
    uint32_t alphaRef = 0;
    uint32_t srcWeights[5] = {}; // Generic blend: masks for One, SrcColor,
    uint32_t dstWeights[5] = {}; // InvSrcColor, SrcAlpha, InvSrcAlpha
    Cull cull = Cull::CCW;
    bool textured = false;
    bool perspective = true;
    SpanFunction span = nullptr;
};

SpanFunction selectSpan(bool target565, ZMode z, TexMode tex, bool alphaTest, BlendMode blend);

// Culls by winding, then scan-converts with the top-left rule. Vertices
// must lie within kGuardBand pixels of the clip rectangle; farther ones are
// dropped.
void rasteriseTriangle(const RasterState& state, const RasterVertex& v0, const RasterVertex& v1,
                       const RasterVertex& v2, DrawStats& stats);

constexpr float kGuardBand = 4096.0f;

}  // namespace render
