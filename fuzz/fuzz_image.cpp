// Image files on arbitrary bytes, through the loader that picks the reader
// by the first two bytes (BMP, G2, GP, GZ). Whatever loads is read back,
// so a size the loader believes but did not allocate shows: every pixel of
// an image up to a million pixels, and the two ends of every row of a
// larger one. A few bytes may declare an image up to the loader's 64 MB
// bound (missing pixel bytes read as zero); walking all of it would time
// the fuzzer out without testing more.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "graphics/bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<graphics::G_BMP> image;
    if (graphics::loadImageMemory(data, size, image) && image && image->hasPixels()) {
        const int width = image->width(), height = image->height();
        const bool whole = int64_t(width) * height <= 1 << 20;
        uint32_t sum = 0;
        for (int y = 0; y < height; ++y) {
            if (whole) {
                for (int x = 0; x < width; ++x) sum += image->pixelRgb(x, y);
            } else {
                sum += image->pixelRgb(0, y) + image->pixelRgb(width - 1, y);
            }
        }
        if (image->bitsSize() < size_t(image->rowBytes()) * size_t(height)) __builtin_trap();
        (void)sum;
    }
    return 0;
}
