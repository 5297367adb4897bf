#include "graphics/bitmap.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/byte_reader.h"
#include "platform/files.h"
#include "platform/text_codec.h"

namespace graphics {

const char* const kPaletteLogName = "パレット生成情報.txt";

namespace {

using platform::ByteReader;

constexpr uint32_t kMaxInfoHeaderSize = 124;  // the largest BMP info header in use
constexpr size_t kPaletteFileSize = 768;

int strideFor(int width, int bitCount) {
    return bitCount == 24 ? (width * 3 + 3) & ~3 : width;
}

bool sizeAllowed(int64_t width, int64_t height, int bitCount) {
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide) return false;
    return uint64_t(strideFor(int(width), bitCount)) * uint64_t(height) <= kMaxImageBytes;
}

// Reads `rows` rows of `stored` bytes each from the input into rows of
// `stride` bytes, bottom row first in storage. Row padding of the input
// (`padded` bytes per row) is skipped; missing bytes stay zero.
void readRows(ByteReader& in, uint8_t* out, int rows, int stride, int padded, bool topDown) {
    for (int i = 0; i < rows && in.remaining() > 0; ++i) {
        int row = topDown ? rows - 1 - i : i;
        in.copy(out + size_t(row) * size_t(stride), size_t(stride));
        if (padded > stride) in.skip(size_t(padded - stride));
    }
}

// Palette log pieces: the file is opened and closed for each, so whatever
// happened up to a failure is on disk.
void writeLog(const char* utf8, bool truncate) {
    std::string text = platform::utf8ToCp932(utf8);
    FILE* file = platform::openGameFile(kPaletteLogName, truncate ? "wb" : "ab");
    if (!file) return;
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
}

}  // namespace

// ---- G_BMP ----

bool G_BMP::create(int, int) { return false; }
bool G_BMP::loadMemory(const uint8_t*, size_t) { return false; }
bool G_BMP::copyPalette(const G_BMP&) { return false; }
bool G_BMP::loadPaletteFile(const char*) { return false; }

bool G_BMP::load(const char* fileName) {
    std::vector<uint8_t> data;
    if (!fileName || !platform::readFile(fileName, data)) {
        releasePixels();
        return false;
    }
    return loadMemory(data.data(), data.size());
}

int G_BMP::rowBytes() const { return strideFor(widthPx, bitDepth); }

const uint8_t* G_BMP::rowData(int row) const {
    if (pixels.empty() || row < 0 || row >= heightPx) return nullptr;
    return pixels.data() + size_t(row) * size_t(rowBytes());
}

uint8_t* G_BMP::rowData(int row) {
    return const_cast<uint8_t*>(static_cast<const G_BMP*>(this)->rowData(row));
}

uint32_t G_BMP::pixelRgb(int x, int y) const {
    if (x < 0 || x >= widthPx) return 0;
    const uint8_t* row = rowData(heightPx - 1 - y);
    if (!row) return 0;
    if (bitDepth == 24) {
        const uint8_t* p = row + x * 3;
        return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
    const RgbQuad& c = colors[row[x]];
    return uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue;
}

bool G_BMP::allocate(int width, int height, int bitCount) {
    releasePixels();
    if (!sizeAllowed(width, height, bitCount)) return false;
    pixels.assign(size_t(strideFor(width, bitCount)) * size_t(height), 0);
    widthPx = width;
    heightPx = height;
    info.width = width;
    info.height = height;
    bitDepth = uint8_t(bitCount);
    return true;
}

void G_BMP::releasePixels() {
    std::vector<uint8_t>().swap(pixels);
    widthPx = heightPx = 0;
    bitDepth = 0;
}

// ---- G_BMP_G: BMP files ----

bool G_BMP_G::loadMemory(const uint8_t* data, size_t size) {
    releasePixels();
    ByteReader in(data, size);
    uint8_t b = in.u8(), m = in.u8();
    in.skip(12);  // file size, reserved words, pixel offset: the data follows the headers
    if (b != 'B' || m != 'M') return false;

    BitmapInfoHeader h;
    h.size = in.u32();
    h.width = in.i32();
    h.height = in.i32();
    h.planes = in.u16();
    h.bitCount = in.u16();
    h.compression = in.u32();
    h.sizeImage = in.u32();
    h.xPelsPerMeter = in.i32();
    h.yPelsPerMeter = in.i32();
    h.clrUsed = in.u32();
    h.clrImportant = in.u32();
    if (in.hasFailed()) return false;
    if (h.size < 40 || h.size > kMaxInfoHeaderSize) return false;
    if (h.compression != 0) return false;
    if (h.bitCount != 8 && h.bitCount != 24) return false;
    if (h.bitCount == 8 && h.clrUsed > uint32_t(kPaletteEntries)) return false;
    in.skip(h.size - 40);

    // Negative heights mark top-down files; storage is always bottom-up.
    bool topDown = h.height < 0;
    int64_t height = topDown ? -int64_t(h.height) : h.height;
    if (!allocate(h.width, int(height > kMaxImageSide ? 0 : height), h.bitCount)) return false;
    info = h;
    info.height = heightPx;

    int stride = rowBytes();
    int padded = (widthPx * (h.bitCount / 8) + 3) & ~3;
    if (h.bitCount == 8) {
        int entries = h.clrUsed ? int(h.clrUsed) : kPaletteEntries;
        for (RgbQuad& c : colors) c = RgbQuad{};
        for (int i = 0; i < entries; ++i) {
            colors[i].blue = in.u8();
            colors[i].green = in.u8();
            colors[i].red = in.u8();
            in.u8();
            // The reserved byte carries the palette entry flags (reserved
            // entries), as the palette built from it does.
            colors[i].reserved = 1;
        }
    }
    readRows(in, pixels.data(), heightPx, stride, padded, topDown);
    return true;
}

// ---- G_BMP24: blank images and "G2" files ----

bool G_BMP24::create(int width, int height) { return allocate(width, height, 24); }

bool G_BMP24::loadMemory(const uint8_t* data, size_t size) {
    releasePixels();
    ByteReader in(data, size);
    uint8_t g = in.u8(), two = in.u8();
    int32_t height = in.i32();
    int32_t width = in.i32();
    if (in.hasFailed() || g != 'G' || two != '2') return false;
    if (!allocate(width, height, 24)) return false;
    readRows(in, pixels.data(), heightPx, rowBytes(), rowBytes(), false);
    return true;
}

// ---- G_BMP8: blank images, "GP"/"GZ" files, palettes ----

bool G_BMP8::create(int width, int height) { return allocate(width, height, 8); }

bool G_BMP8::loadMemory(const uint8_t* data, size_t size) {
    releasePixels();
    ByteReader in(data, size);
    uint8_t g = in.u8(), kind = in.u8();
    int32_t height = in.i32();
    int32_t width = in.i32();
    if (in.hasFailed() || g != 'G' || (kind != 'P' && kind != 'Z')) return false;
    if (!allocate(width, height, 8)) return false;
    in.copy(pixels.data(), pixels.size());
    if (kind == 'P') {
        // "GZ" files carry no palette: the colour table stays as it was.
        for (RgbQuad& c : colors) {
            c.red = in.u8();
            c.green = in.u8();
            c.blue = in.u8();
            c.reserved = 1;
        }
    }
    return true;
}

bool G_BMP8::copyPalette(const G_BMP& other) {
    if (other.depth() != 8 || info.bitCount != 8) return false;
    std::memcpy(colors, other.colorTable(), sizeof colors);
    for (RgbQuad& c : colors) c.reserved = 1;
    return hasPixels();
}

void G_BMP8::readPalette(const uint8_t* data, size_t size) {
    ByteReader in(data, size < kPaletteFileSize ? size : kPaletteFileSize);
    for (RgbQuad& c : colors) {
        c.red = in.u8();
        c.green = in.u8();
        c.blue = in.u8();
        c.reserved = 1;
    }
}

bool G_BMP8::loadPaletteFile(const char* fileName) {
    writeLog("～パレット生成を開始します～\r\n\r\nLOGPARETTEを生成・・・", true);
    writeLog("完了\r\n", false);
    if (fileName) {
        writeLog("パレットファイルをオープン・・・", false);
        std::vector<uint8_t> data;
        if (!platform::readFile(fileName, data)) return false;
        readPalette(data.data(), data.size());
    } else {
        for (int i = 0; i < kPaletteEntries; ++i) colors[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 1};
    }
    writeLog("完了\r\nHPALETTEを生成・・・", false);
    writeLog("完了\r\nパレットの関連づけ・・・", false);
    // The colour table belongs to the image's pixels: without them there is
    // nothing to attach it to.
    if (!hasPixels()) return false;
    writeLog("完了\r\n\r\n～すべてのパレット生成作業は完了しました。～", false);
    return true;
}

// ---- the image loader ----

bool loadImageMemory(const uint8_t* data, size_t size, std::unique_ptr<G_BMP>& slot) {
    slot.reset();
    if (size < 2) return false;
    if (data[0] == 'B' && data[1] == 'M') {
        slot = std::make_unique<G_BMP_G>();
    } else if (data[0] == 'G' && data[1] == '2') {
        slot = std::make_unique<G_BMP24>();
    } else if (data[0] == 'G' && (data[1] == 'P' || data[1] == 'Z')) {
        slot = std::make_unique<G_BMP8>();
    } else {
        return false;
    }
    return slot->loadMemory(data, size);
}

bool loadImage(const char* fileName, std::unique_ptr<G_BMP>& slot) {
    slot.reset();
    std::vector<uint8_t> data;
    if (!fileName || !platform::readFile(fileName, data)) return false;
    return loadImageMemory(data.data(), data.size(), slot);
}

}  // namespace graphics
