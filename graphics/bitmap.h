// graphics/bitmap.h
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace graphics {

// Images are untrusted input: a side beyond this or pixel memory beyond
// kMaxImageBytes is refused before anything is allocated.
constexpr int kMaxImageSide = 8192;
constexpr size_t kMaxImageBytes = size_t(64) << 20;
constexpr int kPaletteEntries = 256;

// The 40-byte header block of a device-independent bitmap.
struct BitmapInfoHeader {
    uint32_t size = 40;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t planes = 1;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t sizeImage = 0;
    int32_t xPelsPerMeter = 4619;
    int32_t yPelsPerMeter = 4619;
    uint32_t clrUsed = 0;
    uint32_t clrImportant = 0;
};

struct RgbQuad {
    uint8_t blue = 0, green = 0, red = 0, reserved = 0;
};

// One image in memory: rows bottom-up as in BMP files; 24-bit rows are
// width x 3 bytes (blue, green, red) padded to a multiple of 4, 8-bit rows
// exactly width index bytes into the 256-entry colour table. Depth is 0
// until pixels exist, then 8 or 24.
//
// Every reader has a memory form (`loadMemory`); `load` reads the whole
// file and hands it over. Readers return false for a file that cannot be
// read, a wrong magic, a bad or hostile header (sizes out of range,
// compression, depths other than 8 and 24); a file shorter than its header
// promises loads, the missing bytes zero.
class G_BMP {
public:
    G_BMP() = default;
    virtual ~G_BMP() = default;
    G_BMP(const G_BMP&) = delete;
    G_BMP& operator=(const G_BMP&) = delete;

    // A blank (zeroed) image; false for sizes outside 1..kMaxImageSide.
    virtual bool create(int width, int height);
    bool load(const char* fileName);
    virtual bool loadMemory(const uint8_t* data, size_t size);
    // 8-bit images only: takes the other's colour table. False unless both
    // are 8-bit and this image has pixels.
    virtual bool copyPalette(const G_BMP& other);
    // 8-bit images only: reads the 768-byte palette file (null: a grey
    // ramp) and writes the palette log.
    virtual bool loadPaletteFile(const char* fileName);

    int width() const { return widthPx; }
    int height() const { return heightPx; }
    int depth() const { return bitDepth; }
    bool hasPixels() const { return !pixels.empty(); }
    // Bytes per stored row: padded at 24 bits, exact at 8.
    int rowBytes() const;
    // Stored row `row` (0 = bottom). Null without pixels.
    const uint8_t* rowData(int row) const;
    uint8_t* rowData(int row);
    const uint8_t* bits() const { return pixels.data(); }
    uint8_t* bits() { return pixels.data(); }
    size_t bitsSize() const { return pixels.size(); }

    const BitmapInfoHeader& header() const { return info; }
    const RgbQuad* colorTable() const { return colors; }
    RgbQuad* colorTable() { return colors; }

    // 0x00RRGGBB of the pixel at column x of row y counted from the top;
    // 0 outside the image or without pixels.
    uint32_t pixelRgb(int x, int y) const;

protected:
    // Checks the size and allocates zeroed pixel memory for it; false and
    // no pixels when the size is refused.
    bool allocate(int width, int height, int bitCount);
    void releasePixels();

    BitmapInfoHeader info;
    RgbQuad colors[kPaletteEntries];
    std::vector<uint8_t> pixels;
    int widthPx = 0;
    int heightPx = 0;
    uint8_t bitDepth = 0;
};

// Standard BMP files, 8 or 24 bits per pixel.
class G_BMP_G : public G_BMP {
public:
    G_BMP_G() { info.bitCount = 0; }
    bool loadMemory(const uint8_t* data, size_t size) override;
};

// Blank 24-bit images and "G2" raw files.
class G_BMP24 : public G_BMP {
public:
    G_BMP24() { info.bitCount = 24; }
    bool create(int width, int height) override;
    bool loadMemory(const uint8_t* data, size_t size) override;
};

// Blank 8-bit images, "GP"/"GZ" raw files and the palette file.
class G_BMP8 : public G_BMP {
public:
    G_BMP8() { info.bitCount = 8; }
    bool create(int width, int height) override;
    bool loadMemory(const uint8_t* data, size_t size) override;
    bool copyPalette(const G_BMP& other) override;
    bool loadPaletteFile(const char* fileName) override;
    // The colour table from a palette file's bytes: 256 red, green, blue
    // triples; entries past a short file's end are black.
    void readPalette(const uint8_t* data, size_t size);
};

// Picks the class by the first two bytes ("BM", "G2", "GP", "GZ"),
// replaces what `slot` held and returns the new image's load. A file that
// cannot be read or starts otherwise returns false and leaves the slot
// empty; a failed load leaves the (empty) image in the slot.
bool loadImage(const char* fileName, std::unique_ptr<G_BMP>& slot);
bool loadImageMemory(const uint8_t* data, size_t size, std::unique_ptr<G_BMP>& slot);

// Name of the palette log, written in the current folder as Shift-JIS text.
extern const char* const kPaletteLogName;

}  // namespace graphics
