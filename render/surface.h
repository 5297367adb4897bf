// render/surface.h
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "render/pixel_format.h"

namespace render {

struct AdapterState;

// Half-open rectangle: left and top inside, right and bottom outside.
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

enum class SurfaceKind : uint8_t { Primary, BackBuffer, Offscreen, Texture, DepthBuffer };

constexpr int kMaxSurfaceSize = 8192;

// The locked memory holds height x pitch bytes and 4 more after them, so a
// 32-bit read at any pixel's address stays inside it.
struct LockedRect {
    uint8_t* bits = nullptr;  // top-left pixel; rows `pitch` bytes apart
    int pitch = 0;
};

// A block of pixels in one format, made by an Adapter. A surface is "lost"
// when its adapter loses its surfaces; a lost surface refuses locks, fills,
// blits and drawing until `restore` succeeds, which brings it back with
// every byte zero, so the owner must fill it again.
class Surface {
public:
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
    ~Surface();

    int width() const { return widthPx; }
    int height() const { return heightPx; }
    // Bytes from one row to the next: the row size rounded up to 4 bytes.
    int pitch() const { return pitchBytes; }
    PixelFormat format() const { return pixelFormat; }
    SurfaceKind kind() const { return surfaceKind; }

    bool isLost() const;
    // False while the adapter keeps failing restores; the surface stays lost.
    bool restore();

    // Whole-surface lock; false when lost or already locked. For textures
    // the new contents reach the device at `unlock`.
    bool lock(LockedRect& out);
    void unlock();
    bool isLocked() const { return locked; }

    // Fills the rectangle (null: the whole surface), clipped to the surface,
    // with an ARGB colour converted to the format (for P8 the low byte is
    // the palette index). False when lost, locked or a depth surface.
    bool fill(const Rect* rect, uint32_t argb);
    // Depth surfaces only: fills with z (0-1, clamped) in the format's range.
    bool fillDepth(const Rect* rect, float z);

    // Source colour key, a raw pixel value of this surface's format: pixels
    // equal to it are skipped by keyed blits from this surface.
    void setColorKey(uint32_t rawKey);
    void clearColorKey() { keyed = false; }
    bool hasColorKey() const { return keyed; }
    uint32_t colorKey() const { return key; }

    // Copies `source` (null rectangle: all of it) to (x, y) without
    // stretching, clipped to both surfaces; with `useSourceKey` pixels equal
    // to the source's colour key are skipped. Both surfaces must have the
    // same format and neither may be lost or locked; a surface may not blit
    // onto itself.
    bool blit(int x, int y, const Surface& source, const Rect* sourceRect, bool useSourceKey);

    // P8 surfaces: 256 ARGB entries. False for other formats.
    bool setPalette(const uint32_t* argb);
    const uint32_t* palette() const { return paletteEntries.empty() ? nullptr : paletteEntries.data(); }

    // ARGB of one pixel (alpha 0xFF for formats without alpha); 0 outside
    // the surface, for depth surfaces and while lost.
    uint32_t pixelArgb(int x, int y) const;
    // Converts the whole surface to ARGB rows for presentation; false when
    // lost or a depth surface.
    bool copyToArgb(uint32_t* destination, int destinationPitch) const;

    // For the device and text drawing, which check the lost and locked
    // state themselves; others lock. For textures, texels() is the ARGB
    // copy the rasteriser samples (width x height, rows packed).
    // Triangles a device has queued are drawn before pixels() returns, as
    // before every other operation on a surface.
    uint8_t* pixels();
    const uint8_t* pixels() const;
    const uint32_t* texels() const { return argbTexels.data(); }

private:
    friend class Adapter;
    friend class Device;
    void settle() const;
    Surface(std::shared_ptr<AdapterState> state, SurfaceKind kind, int width, int height,
            PixelFormat format);
    void refreshTexels();

    std::shared_ptr<AdapterState> adapter;
    std::vector<uint8_t> memory;
    std::vector<uint32_t> argbTexels;
    std::vector<uint32_t> paletteEntries;
    int widthPx;
    int heightPx;
    int pitchBytes;
    uint32_t epoch;
    uint32_t key = 0;
    PixelFormat pixelFormat;
    SurfaceKind surfaceKind;
    bool keyed = false;
    bool locked = false;
};

}  // namespace render
