// Images and folders built in code for the graphics tests.
#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/files.h"

namespace graphics_test {

using Bytes = std::vector<uint8_t>;
// Colour of a pixel counted from the top-left, 0x00RRGGBB.
using PixelFn = std::function<uint32_t(int x, int y)>;

inline void put16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

struct BmpOptions {
    bool topDown = false;
    bool dropLastPadding = false;  // some tools end the file without it
    uint32_t colorsUsed = 0;       // 8-bit: entries written (0 = 256)
    uint32_t headerSize = 40;
    uint32_t compression = 0;
    int bitCount = 24;
};

inline void putInfoHeader(Bytes& b, int width, int height, const BmpOptions& o) {
    put32(b, o.headerSize);
    put32(b, uint32_t(width));
    put32(b, uint32_t(o.topDown ? -height : height));
    put16(b, 1);
    put16(b, uint32_t(o.bitCount));
    put32(b, o.compression);
    put32(b, 0);
    put32(b, 2835);
    put32(b, 2835);
    put32(b, o.colorsUsed);
    put32(b, 0);
    for (uint32_t i = 40; i < o.headerSize; ++i) b.push_back(0xEE);
}

inline void putFileHeader(Bytes& b) {
    b.push_back('B');
    b.push_back('M');
    put32(b, 0);
    put32(b, 0);
    put32(b, 54);
}

// 24-bit BMP, rows padded to 4 bytes, bottom-up unless asked otherwise.
inline Bytes makeBmp24(int width, int height, const PixelFn& pixel, BmpOptions o = {}) {
    Bytes b;
    putFileHeader(b);
    o.bitCount = 24;
    putInfoHeader(b, width, height, o);
    int padded = (width * 3 + 3) & ~3;
    for (int i = 0; i < height; ++i) {
        int y = o.topDown ? i : height - 1 - i;
        for (int x = 0; x < width; ++x) {
            uint32_t c = pixel(x, y);
            b.push_back(uint8_t(c));
            b.push_back(uint8_t(c >> 8));
            b.push_back(uint8_t(c >> 16));
        }
        if (!(o.dropLastPadding && i == height - 1)) b.insert(b.end(), size_t(padded - width * 3), 0);
    }
    return b;
}

// 8-bit BMP: `palette` gives the colour of each index, `index` the index
// of each pixel from the top-left. Rows are padded to 4 bytes.
inline Bytes makeBmp8(int width, int height, const std::function<uint32_t(int)>& palette,
                      const std::function<uint8_t(int x, int y)>& index, BmpOptions o = {}) {
    Bytes b;
    putFileHeader(b);
    o.bitCount = 8;
    putInfoHeader(b, width, height, o);
    int entries = o.colorsUsed ? int(o.colorsUsed) : 256;
    for (int i = 0; i < entries; ++i) {
        uint32_t c = palette(i);
        b.push_back(uint8_t(c));
        b.push_back(uint8_t(c >> 8));
        b.push_back(uint8_t(c >> 16));
        b.push_back(0);
    }
    int padded = (width + 3) & ~3;
    for (int i = 0; i < height; ++i) {
        int y = o.topDown ? i : height - 1 - i;
        for (int x = 0; x < width; ++x) b.push_back(index(x, y));
        b.insert(b.end(), size_t(padded - width), 0);
    }
    return b;
}

inline Bytes makeG2(int width, int height, const PixelFn& pixel) {
    Bytes b = {'G', '2'};
    put32(b, uint32_t(height));
    put32(b, uint32_t(width));
    int padded = (width * 3 + 3) & ~3;
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            uint32_t c = pixel(x, y);
            b.push_back(uint8_t(c));
            b.push_back(uint8_t(c >> 8));
            b.push_back(uint8_t(c >> 16));
        }
        b.insert(b.end(), size_t(padded - width * 3), 0);
    }
    return b;
}

// "GP" (with palette, `palette` non-null) or "GZ"; rows unpadded.
inline Bytes makeG8(int width, int height, const std::function<uint8_t(int x, int y)>& index,
                    const std::function<uint32_t(int)>& palette) {
    Bytes b = {'G', uint8_t(palette ? 'P' : 'Z')};
    put32(b, uint32_t(height));
    put32(b, uint32_t(width));
    for (int y = height - 1; y >= 0; --y)
        for (int x = 0; x < width; ++x) b.push_back(index(x, y));
    if (palette) {
        for (int i = 0; i < 256; ++i) {
            uint32_t c = palette(i);
            b.push_back(uint8_t(c >> 16));
            b.push_back(uint8_t(c >> 8));
            b.push_back(uint8_t(c));
        }
    }
    return b;
}

// A scratch folder that is the current folder while the object lives.
class ScratchFolder {
public:
    ScratchFolder() {
        previous = std::filesystem::current_path();
        static int counter = 0;
        path = std::filesystem::temp_directory_path() /
               ("tesserae-graphics-" + std::to_string(std::random_device{}()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        std::filesystem::current_path(path);
    }
    ~ScratchFolder() {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(path);
    }
    // `relative` may use backslashes, as game paths do.
    void write(std::string relative, const Bytes& bytes) const {
        for (char& c : relative)
            if (c == '\\') c = '/';
        std::filesystem::path p = path / relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                  std::streamsize(bytes.size()));
    }
    Bytes read(const std::string& relative) const {
        std::ifstream in(path / relative, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    const std::filesystem::path& root() const { return path; }

private:
    std::filesystem::path previous;
    std::filesystem::path path;
};

}  // namespace graphics_test
