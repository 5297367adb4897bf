// render/pixel_format.cpp
#include "render/pixel_format.h"

#include "render/vertex.h"

namespace render {

namespace {

constexpr PixelFormatDesc kFormats[] = {
    {},                                                    // Unknown
    {8, 0, 0, 0, 0, true, false},                          // P8
    {16, 0xF800, 0x07E0, 0x001F, 0, false, false},         // R5G6B5
    {32, 0xFF0000, 0xFF00, 0xFF, 0, false, false},         // X8R8G8B8
    {16, 0x0F00, 0x00F0, 0x000F, 0xF000, false, false},    // A4R4G4B4
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, false, false},  // A8R8G8B8
    {16, 0, 0, 0, 0, false, true},                         // Z16
};

}  // namespace

const PixelFormatDesc& describeFormat(PixelFormat format) {
    return kFormats[static_cast<int>(format)];
}

int bytesPerPixel(PixelFormat format) { return describeFormat(format).bitCount / 8; }

uint32_t packPixel(PixelFormat format, uint32_t argb) {
    uint32_t a = argb >> 24, r = argb >> 16 & 0xFF, g = argb >> 8 & 0xFF, b = argb & 0xFF;
    switch (format) {
    case PixelFormat::R5G6B5: return (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
    case PixelFormat::X8R8G8B8: return argb & 0xFFFFFF;
    case PixelFormat::A4R4G4B4: return (a >> 4) << 12 | (r >> 4) << 8 | (g >> 4) << 4 | b >> 4;
    case PixelFormat::A8R8G8B8: return argb;
    default: return 0;
    }
}

uint32_t unpackPixel(PixelFormat format, uint32_t raw, const uint32_t* palette) {
    switch (format) {
    case PixelFormat::P8: return palette ? palette[raw & 0xFF] : 0xFF000000u;
    case PixelFormat::R5G6B5: {
        uint32_t r = raw >> 11 & 0x1F, g = raw >> 5 & 0x3F, b = raw & 0x1F;
        return 0xFF000000u | (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
    }
    case PixelFormat::X8R8G8B8: return 0xFF000000u | (raw & 0xFFFFFF);
    case PixelFormat::A4R4G4B4: {
        uint32_t a = raw >> 12 & 0xF, r = raw >> 8 & 0xF, g = raw >> 4 & 0xF, b = raw & 0xF;
        return (a * 17) << 24 | (r * 17) << 16 | (g * 17) << 8 | b * 17;
    }
    case PixelFormat::A8R8G8B8: return raw;
    default: return 0;
    }
}

uint32_t componentToByte(float c) {
    if (!(c > 0.0f)) return 0;
    if (c >= 1.0f) return 255;
    return static_cast<uint32_t>(c * 255.0f);
}

uint32_t packArgb(float a, float r, float g, float b) {
    return makeArgb(componentToByte(a), componentToByte(r), componentToByte(g), componentToByte(b));
}

}  // namespace render
