// Image files on arbitrary bytes, through the loader that picks the reader
// by the first two bytes (BMP, G2, GP, GZ). Whatever loads is read back
// over every pixel, so a size the loader believes but did not allocate
// shows.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "graphics/bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<graphics::G_BMP> image;
    if (graphics::loadImageMemory(data, size, image) && image && image->hasPixels()) {
        uint32_t sum = 0;
        for (int y = 0; y < image->height(); ++y)
            for (int x = 0; x < image->width(); ++x) sum += image->pixelRgb(x, y);
        if (image->bitsSize() < size_t(image->rowBytes()) * size_t(image->height())) __builtin_trap();
        (void)sum;
    }
    return 0;
}
