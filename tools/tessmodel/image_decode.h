// tools/tessmodel/image_decode.h
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessmodel {

// Pixels of a decoded image: RGBA, 8 bits a channel, top row first.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
    bool hasAlpha() const;  // some pixel is not fully opaque
};

// Largest side accepted, so a hostile header cannot ask for gigabytes
// (8192 x 8192 RGBA is 256 MB).
constexpr int kMaxImageSide = 8192;

// Decodes a PNG or JPEG held in memory (the kind found from its first
// bytes). False with `error` set when it is neither or is damaged.
bool decodeImage(const uint8_t* data, size_t size, Image& out, std::string& error);

// Encodes RGBA pixels (top row first) as an 8-bit RGBA PNG; false when
// encoding fails.
bool encodePngRgba(const Image& image, std::vector<uint8_t>& out);

}  // namespace tessmodel
