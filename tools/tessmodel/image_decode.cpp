// PNG and JPEG images to RGBA pixels for texture conversion, and RGBA
// pixels to PNG for export.
#include "image_decode.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

namespace tessmodel {

bool Image::hasAlpha() const {
    for (size_t i = 3; i < rgba.size(); i += 4)
        if (rgba[i] != 255) return true;
    return false;
}

namespace {

bool decodePng(const uint8_t* data, size_t size, Image& out, std::string& error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size)) {
        error = image.message;
        return false;
    }
    if (image.width > kMaxImageSide || image.height > kMaxImageSide) {
        png_image_free(&image);
        error = "larger than 8192 pixels a side";
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    out.width = int(image.width);
    out.height = int(image.height);
    out.rgba.assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr)) {
        error = image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

// libjpeg reports a fatal error through a callback that must not return;
// the jump back into decodeJpeg is its only way out, confined to this
// function and crossing no C++ object with a destructor.
struct JpegError {
    jpeg_error_mgr base;
    std::jmp_buf back;
    char text[JMSG_LENGTH_MAX];
};

void jpegFailed(j_common_ptr info) {
    JpegError* e = reinterpret_cast<JpegError*>(info->err);
    (*info->err->format_message)(info, e->text);
    std::longjmp(e->back, 1);
}

bool decodeJpeg(const uint8_t* data, size_t size, Image& out, std::string& error) {
    jpeg_decompress_struct info;
    JpegError e;
    info.err = jpeg_std_error(&e.base);
    e.base.error_exit = jpegFailed;
    e.text[0] = 0;
    uint8_t* volatile pixels = nullptr;
    int width = 0, height = 0;
    if (setjmp(e.back)) {
        jpeg_destroy_decompress(&info);
        std::free(pixels);
        error = e.text;
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, (unsigned long)size);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    width = int(info.output_width);
    height = int(info.output_height);
    if (width > kMaxImageSide || height > kMaxImageSide) {
        jpeg_destroy_decompress(&info);
        error = "larger than 8192 pixels a side";
        return false;
    }
    pixels = static_cast<uint8_t*>(std::malloc(size_t(width) * size_t(height) * 3));
    if (!pixels) {
        jpeg_destroy_decompress(&info);
        error = "out of memory";
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels + size_t(info.output_scanline) * size_t(width) * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    out.width = width;
    out.height = height;
    out.rgba.resize(size_t(width) * size_t(height) * 4);
    for (size_t i = 0; i < size_t(width) * size_t(height); ++i) {
        std::memcpy(&out.rgba[i * 4], pixels + i * 3, 3);
        out.rgba[i * 4 + 3] = 255;
    }
    std::free(pixels);
    return true;
}

}  // namespace

bool decodeImage(const uint8_t* data, size_t size, Image& out, std::string& error) {
    static const uint8_t kPng[] = {0x89, 'P', 'N', 'G'};
    if (size >= 4 && std::memcmp(data, kPng, 4) == 0) return decodePng(data, size, out, error);
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return decodeJpeg(data, size, out, error);
    error = "neither a PNG nor a JPEG image";
    return false;
}

bool encodePngRgba(const Image& in, std::vector<uint8_t>& out) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(in.width);
    image.height = png_uint_32(in.height);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, in.rgba.data(), 0, nullptr)) return false;
    out.resize(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, in.rgba.data(), 0, nullptr)) return false;
    out.resize(size);
    return true;
}

}  // namespace tessmodel
