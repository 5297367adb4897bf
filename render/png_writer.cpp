// render/png_writer.cpp
#include "render/png_writer.h"

#include <png.h>

#include <csetjmp>

namespace render {

namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flushNothing(png_structp) {}

// libpng reports failure by jumping back to the setjmp in encodeRows; this
// is the only place in the module that uses it, and no C++ object with a
// destructor lives between the two.
bool encodeRows(png_structp png, png_infop info, const Surface& surface, png_bytep row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(surface.width()), static_cast<png_uint_32>(surface.height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    for (int y = 0; y < surface.height(); ++y) {
        for (int x = 0; x < surface.width(); ++x) {
            uint32_t argb = surface.pixelArgb(x, y);
            row[x * 3] = static_cast<png_byte>(argb >> 16);
            row[x * 3 + 1] = static_cast<png_byte>(argb >> 8);
            row[x * 3 + 2] = static_cast<png_byte>(argb);
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

bool encodePng(const Surface& surface, std::vector<uint8_t>& out) {
    out.clear();
    if (surface.isLost() || surface.format() == PixelFormat::Z16) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    std::vector<png_byte> row(static_cast<size_t>(surface.width()) * 3);
    png_set_write_fn(png, &out, appendBytes, flushNothing);
    bool ok = encodeRows(png, info, surface, row.data());
    png_destroy_write_struct(&png, &info);
    if (!ok) out.clear();
    return ok;
}

}  // namespace render
