// render/pixel_format.h
#pragma once
#include <cstdint>

namespace render {

// The pixel formats the device knows. Display formats: R5G6B5 and
// X8R8G8B8; texture formats: A4R4G4B4, A8R8G8B8 and P8 (palettised, on
// the software device classes), plus the display formats; depth: Z16.
enum class PixelFormat : uint8_t {
    Unknown,
    P8,
    R5G6B5,
    X8R8G8B8,
    A4R4G4B4,
    A8R8G8B8,
    Z16,
};

// What a pixel-format description carries: bit count and channel masks.
// Masks are 0 for channels the format lacks (all four for P8 and Z16).
struct PixelFormatDesc {
    int bitCount = 0;
    uint32_t redMask = 0;
    uint32_t greenMask = 0;
    uint32_t blueMask = 0;
    uint32_t alphaMask = 0;
    bool palettised = false;
    bool depth = false;
};

const PixelFormatDesc& describeFormat(PixelFormat format);
int bytesPerPixel(PixelFormat format);

// Raw pixel value of `format` for an ARGB colour: channels are truncated to
// their widths; formats without alpha drop it. P8 and Z16 give 0.
uint32_t packPixel(PixelFormat format, uint32_t argb);

// ARGB of a raw pixel value. Narrow channels are widened by repeating their
// top bits, so full intensity stays 0xFF; formats without alpha give alpha
// 0xFF. P8 looks the index up in `palette` (256 ARGB entries; black without
// one); Z16 gives 0.
uint32_t unpackPixel(PixelFormat format, uint32_t raw, const uint32_t* palette);

}  // namespace render
