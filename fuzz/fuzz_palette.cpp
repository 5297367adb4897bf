// pal.pdt on arbitrary bytes: the colour table of an 8-bit image.
#include <cstddef>
#include <cstdint>

#include "graphics/bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static graphics::G_BMP8 image;
    static const bool created = image.create(16, 16);
    if (!created) __builtin_trap();
    image.readPalette(data, size);
    for (int i = 0; i < graphics::kPaletteEntries; ++i) image.bits()[i] = uint8_t(i);
    uint32_t sum = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) sum += image.pixelRgb(x, y);
    (void)sum;
    if (size >= 3 && image.pixelRgb(0, 15) != (uint32_t(data[0]) << 16 | uint32_t(data[1]) << 8 | data[2]))
        __builtin_trap();
    return 0;
}
