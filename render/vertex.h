// render/vertex.h
#pragma once
#include <cstdint>

namespace render {

// Colours are 32-bit ARGB (alpha in the top byte) unless a function says
// otherwise; GDI text colours are 0x00BBGGRR.
constexpr uint32_t makeArgb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return (a & 0xFF) << 24 | (r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF);
}

// A colour component 0.0-1.0 as a byte: component x 255 truncated toward
// zero. Values outside the range are clamped.
uint32_t componentToByte(float c);

// Packs four components 0.0-1.0 into ARGB, each truncated as above.
uint32_t packArgb(float a, float r, float g, float b);

// GDI colour 0x00BBGGRR as opaque ARGB.
constexpr uint32_t colorRefToArgb(uint32_t colorRef) {
    return 0xFF000000u | (colorRef & 0xFF) << 16 | (colorRef & 0xFF00) | (colorRef >> 16 & 0xFF);
}

// Pre-lit vertex of meshes, the field and boards (32 bytes): the device
// applies no lighting, the diffuse colour is final.
struct LVertex {
    float x = 0.0f, y = 0.0f, z = 0.0f;
    uint32_t reserved = 0;
    uint32_t diffuse = 0;
    uint32_t specular = 0;
    float tu = 0.0f, tv = 0.0f;
};
static_assert(sizeof(LVertex) == 32);

// Transformed vertex of 2D drawing (32 bytes): screen position in pixels
// with pixel centres on integers, depth 0-1, reciprocal of w for
// perspective-correct texture coordinates.
struct TLVertex {
    float sx = 0.0f, sy = 0.0f, sz = 0.0f;
    float rhw = 1.0f;
    uint32_t color = 0;
    uint32_t specular = 0;
    float tu = 0.0f, tv = 0.0f;
};
static_assert(sizeof(TLVertex) == 32);

}  // namespace render
