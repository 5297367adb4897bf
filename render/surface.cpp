// render/surface.cpp
#include "render/surface.h"

#include <algorithm>
#include <cstring>

#include "render/device.h"
#include "render/render_local.h"

namespace render {

namespace {

// Bytes after the last row: a 32-bit read at any pixel of an 8- or 16-bit
// surface (a colour key sampled as a whole word) and the pixel loops'
// groups of up to eight pixels starting at any pixel (which rewrite what
// they read past a row's end unchanged) stay inside.
constexpr size_t kSlackBytes = 32;

uint32_t readRaw(const uint8_t* p, int bytes) {
    switch (bytes) {
    case 1: return p[0];
    case 2: { uint16_t v; std::memcpy(&v, p, 2); return v; }
    default: { uint32_t v; std::memcpy(&v, p, 4); return v; }
    }
}

void writeRaw(uint8_t* p, int bytes, uint32_t value) {
    switch (bytes) {
    case 1: p[0] = static_cast<uint8_t>(value); break;
    case 2: { uint16_t v = static_cast<uint16_t>(value); std::memcpy(p, &v, 2); break; }
    default: std::memcpy(p, &value, 4); break;
    }
}

// Intersection of `r` (null: everything) with 0..width x 0..height.
Rect clipRect(const Rect* r, int width, int height) {
    Rect out{0, 0, width, height};
    if (r) {
        out.left = std::max(r->left, 0);
        out.top = std::max(r->top, 0);
        out.right = std::min(r->right, width);
        out.bottom = std::min(r->bottom, height);
    }
    return out;
}

}  // namespace

Surface::Surface(std::shared_ptr<AdapterState> state, SurfaceKind kind, int width, int height,
                 PixelFormat format)
    : adapter(std::move(state)),
      widthPx(width),
      heightPx(height),
      pitchBytes((width * bytesPerPixel(format) + 3) & ~3),
      epoch(adapter->lossEpoch),
      pixelFormat(format),
      surfaceKind(kind) {
    memory.assign(static_cast<size_t>(pitchBytes) * static_cast<size_t>(height) + kSlackBytes, 0);
    if (format == PixelFormat::P8) paletteEntries.assign(256, 0xFF000000u);
    if (kind == SurfaceKind::Texture) {
        argbTexels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
        refreshTexels();
    }
}

Surface::~Surface() { settle(); }

void Surface::settle() const {
    if (adapter->queuedDevice) adapter->queuedDevice->drawQueued();
}

uint8_t* Surface::pixels() {
    settle();
    return memory.data();
}

const uint8_t* Surface::pixels() const {
    settle();
    return memory.data();
}

bool Surface::isLost() const { return epoch != adapter->lossEpoch; }

bool Surface::restore() {
    settle();
    if (!isLost()) return true;
    if (adapter->failingRestores > 0) {
        --adapter->failingRestores;
        return false;
    }
    std::fill(memory.begin(), memory.end(), uint8_t{0});  // the slack included
    epoch = adapter->lossEpoch;
    locked = false;
    if (surfaceKind == SurfaceKind::Texture) refreshTexels();
    return true;
}

bool Surface::lock(LockedRect& out) {
    settle();
    if (isLost() || locked) return false;
    locked = true;
    out.bits = memory.data();
    out.pitch = pitchBytes;
    return true;
}

void Surface::unlock() {
    if (!locked) return;
    locked = false;
    if (surfaceKind == SurfaceKind::Texture) refreshTexels();
}

void Surface::refreshTexels() {
    const int bytes = bytesPerPixel(pixelFormat);
    const uint32_t* pal = palette();
    for (int y = 0; y < heightPx; ++y) {
        const uint8_t* row = memory.data() + static_cast<size_t>(y) * pitchBytes;
        uint32_t* out = argbTexels.data() + static_cast<size_t>(y) * widthPx;
        for (int x = 0; x < widthPx; ++x) out[x] = unpackPixel(pixelFormat, readRaw(row + x * bytes, bytes), pal);
    }
}

bool Surface::fill(const Rect* rect, uint32_t argb) {
    settle();
    if (isLost() || locked || pixelFormat == PixelFormat::Z16) return false;
    const int bytes = bytesPerPixel(pixelFormat);
    uint32_t raw = pixelFormat == PixelFormat::P8 ? (argb & 0xFF) : packPixel(pixelFormat, argb);
    Rect r = clipRect(rect, widthPx, heightPx);
    for (int y = r.top; y < r.bottom; ++y) {
        uint8_t* row = memory.data() + static_cast<size_t>(y) * pitchBytes;
        if (r.left >= r.right) break;
        if (bytes == 4) {
            std::fill(reinterpret_cast<uint32_t*>(row) + r.left, reinterpret_cast<uint32_t*>(row) + r.right, raw);
        } else if (bytes == 2) {
            std::fill(reinterpret_cast<uint16_t*>(row) + r.left, reinterpret_cast<uint16_t*>(row) + r.right,
                      static_cast<uint16_t>(raw));
        } else {
            std::fill(row + r.left, row + r.right, static_cast<uint8_t>(raw));
        }
    }
    if (surfaceKind == SurfaceKind::Texture) refreshTexels();
    return true;
}

bool Surface::fillDepth(const Rect* rect, float z) {
    settle();
    if (isLost() || locked || pixelFormat != PixelFormat::Z16) return false;
    float clamped = std::clamp(z, 0.0f, 1.0f);
    if (!(z == z)) clamped = 1.0f;
    uint16_t value = static_cast<uint16_t>(clamped * 65535.0f + 0.5f);
    Rect r = clipRect(rect, widthPx, heightPx);
    for (int y = r.top; y < r.bottom; ++y) {
        uint16_t* row = reinterpret_cast<uint16_t*>(memory.data() + static_cast<size_t>(y) * pitchBytes);
        if (r.left < r.right) std::fill(row + r.left, row + r.right, value);
    }
    return true;
}

void Surface::setColorKey(uint32_t rawKey) {
    key = rawKey;
    keyed = true;
}

bool Surface::blit(int x, int y, const Surface& source, const Rect* sourceRect, bool useSourceKey) {
    settle();
    if (&source == this || source.pixelFormat != pixelFormat || pixelFormat == PixelFormat::Z16) return false;
    if (isLost() || locked || source.isLost() || source.locked) return false;
    Rect src = clipRect(sourceRect, source.widthPx, source.heightPx);
    if (sourceRect) {
        // Whatever the source clipping cut off the left or top moves the
        // destination with it.
        x += src.left - sourceRect->left;
        y += src.top - sourceRect->top;
    }
    int left = std::max(x, 0), top = std::max(y, 0);
    int right = std::min(x + (src.right - src.left), widthPx);
    int bottom = std::min(y + (src.bottom - src.top), heightPx);
    if (left >= right || top >= bottom) return true;
    const int bytes = bytesPerPixel(pixelFormat);
    const bool keyed = useSourceKey && source.keyed;
    for (int row = top; row < bottom; ++row) {
        const uint8_t* in = source.memory.data() + static_cast<size_t>(src.top + row - y) * source.pitchBytes +
                            static_cast<size_t>(src.left + left - x) * bytes;
        uint8_t* out = memory.data() + static_cast<size_t>(row) * pitchBytes + static_cast<size_t>(left) * bytes;
        if (!keyed) {
            std::memcpy(out, in, static_cast<size_t>(right - left) * bytes);
            continue;
        }
        for (int i = 0; i < right - left; ++i) {
            uint32_t value = readRaw(in + i * bytes, bytes);
            if (value != source.key) writeRaw(out + i * bytes, bytes, value);
        }
    }
    if (surfaceKind == SurfaceKind::Texture) refreshTexels();
    return true;
}

bool Surface::setPalette(const uint32_t* argb) {
    settle();
    if (pixelFormat != PixelFormat::P8 || !argb) return false;
    std::copy(argb, argb + 256, paletteEntries.begin());
    if (surfaceKind == SurfaceKind::Texture) refreshTexels();
    return true;
}

uint32_t Surface::pixelArgb(int x, int y) const {
    settle();
    if (x < 0 || y < 0 || x >= widthPx || y >= heightPx || isLost() || pixelFormat == PixelFormat::Z16) return 0;
    const int bytes = bytesPerPixel(pixelFormat);
    uint32_t raw = readRaw(memory.data() + static_cast<size_t>(y) * pitchBytes + static_cast<size_t>(x) * bytes, bytes);
    return unpackPixel(pixelFormat, raw, palette());
}

bool Surface::copyToArgb(uint32_t* destination, int destinationPitch) const {
    settle();
    if (isLost() || pixelFormat == PixelFormat::Z16 || !destination) return false;
    const int bytes = bytesPerPixel(pixelFormat);
    for (int y = 0; y < heightPx; ++y) {
        const uint8_t* row = memory.data() + static_cast<size_t>(y) * pitchBytes;
        uint32_t* out = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(destination) +
                                                    static_cast<ptrdiff_t>(y) * destinationPitch);
        for (int x = 0; x < widthPx; ++x) out[x] = unpackPixel(pixelFormat, readRaw(row + x * bytes, bytes), palette());
    }
    return true;
}

}  // namespace render
