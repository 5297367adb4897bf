// render/font.cpp
#include "render/font.h"

#include <algorithm>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SIZES_H

#include <cstring>
#include <vector>

#include "render/vertex.h"

namespace render {

namespace {

// Vertical metrics of the Gothic face in font units: the cell of a GDI
// font height spans ascent + descent.
constexpr int kUnitsPerEm = 2048;
constexpr int kCellUnits = 2203;    // ascent 1802 + descent 401
constexpr int kAscentUnits = 1802;

int roundedScale(int value, int numerator, int denominator) {
    return (value * numerator * 2 + denominator) / (2 * denominator);
}

FT_Face asFace(void* p) { return static_cast<FT_Face>(p); }

bool isLineBreak(char32_t c) { return c == U'\n' || c == U'\r'; }

constexpr int kCacheSlots = 4096;        // a power of two
constexpr int kCacheProbes = 16;
constexpr size_t kCachePool = 512 * 1024; // bitmap bytes

}  // namespace

struct CachedGlyph {
    char32_t code = 0;
    uint16_t emWidth = 0, emHeight = 0;  // 0: free slot
    bool bold = false;
    bool missing = false;                // the face has no such glyph
    int16_t left = 0, top = 0, advance = 0;
    uint16_t width = 0, rows = 0, pitch = 0;
    uint32_t offset = 0;                 // of the 1-bit rows in the pool
};

// Open addressing over a fixed table; when a probe run or the bitmap pool
// is full, everything is dropped and filling starts again.
struct GlyphCache {
    CachedGlyph slots[kCacheSlots];
    std::vector<uint8_t> pool;
    size_t used = 0;

    GlyphCache() : pool(kCachePool) {}

    void clear() {
        for (CachedGlyph& g : slots) g.emHeight = 0;
        used = 0;
    }

    static uint32_t hash(char32_t code, int w, int h, bool bold) {
        uint32_t x = static_cast<uint32_t>(code) * 0x9E3779B1u ^ static_cast<uint32_t>(w * 31 + h) * 0x85EBCA6Bu ^
                     (bold ? 0xC2B2AE35u : 0u);
        return (x ^ (x >> 15)) & (kCacheSlots - 1);
    }
};

FontFace::FontFace() : cache(std::make_unique<GlyphCache>()) {}

FontFace::~FontFace() { release(); }

void FontFace::release() {
    cache->clear();
    if (face) FT_Done_Face(asFace(face));
    if (library) FT_Done_FreeType(static_cast<FT_Library>(library));
    face = nullptr;
    library = nullptr;
}

bool FontFace::load(const uint8_t* data, size_t size) {
    release();
    if (!data || size == 0) return false;
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) return false;
    FT_Face f = nullptr;
    if (FT_New_Memory_Face(lib, data, static_cast<FT_Long>(size), 0, &f) != 0 || !FT_IS_SCALABLE(f)) {
        if (f) FT_Done_Face(f);
        FT_Done_FreeType(lib);
        return false;
    }
    library = lib;
    face = f;
    return true;
}

Font::~Font() {
    if (size) FT_Done_Size(static_cast<FT_Size>(size));
}

bool Font::create(FontFace& face, int cellHeight, int charWidth, int weight) {
    if (size) FT_Done_Size(static_cast<FT_Size>(size));
    size = nullptr;
    owner = nullptr;
    if (!face.isLoaded() || cellHeight < 1 || cellHeight > kMaxFontCell || charWidth < 0 ||
        charWidth > kMaxFontCharWidth)
        return false;
    owner = &face;
    cell = cellHeight;
    emHeight = roundedScale(cellHeight, kUnitsPerEm, kCellUnits);
    emWidth = charWidth > 0 ? 2 * charWidth : emHeight;
    baseline = roundedScale(cellHeight, kAscentUnits, kCellUnits);
    bold = weight >= 600;
    return true;
}

bool Font::select() {
    if (!owner || !owner->isLoaded()) return false;
    FT_Face face = asFace(owner->face);
    if (!size) {
        FT_Size newSize = nullptr;
        if (FT_New_Size(face, &newSize) != 0) return false;
        size = newSize;
        FT_Activate_Size(newSize);
        if (FT_Set_Pixel_Sizes(face, static_cast<FT_UInt>(emWidth), static_cast<FT_UInt>(emHeight)) != 0) return false;
        return true;
    }
    return FT_Activate_Size(static_cast<FT_Size>(size)) == 0;
}

const CachedGlyph* Font::glyph(char32_t code) {
    GlyphCache& cache = *owner->cache;
    const uint32_t home = GlyphCache::hash(code, emWidth, emHeight, bold);
    CachedGlyph* slot = nullptr;
    for (int probe = 0; probe < kCacheProbes; ++probe) {
        CachedGlyph& g = cache.slots[(home + probe) & (kCacheSlots - 1)];
        if (g.emHeight == 0) {
            slot = &g;
            break;
        }
        if (g.code == code && g.emWidth == emWidth && g.emHeight == emHeight && g.bold == bold) {
            return g.missing ? nullptr : &g;
        }
    }
    if (!select()) return nullptr;
    FT_Face face = asFace(owner->face);
    CachedGlyph fresh;
    fresh.code = code;
    fresh.emWidth = static_cast<uint16_t>(emWidth);
    fresh.emHeight = static_cast<uint16_t>(emHeight);
    fresh.bold = bold;
    FT_GlyphSlot ft = face->glyph;
    bool rendered = FT_Load_Char(face, code, FT_LOAD_TARGET_MONO) == 0;
    if (rendered && bold && ft->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_Outline_Embolden(&ft->outline, face->size->metrics.y_ppem * 64 / 24);
    }
    rendered = rendered && FT_Render_Glyph(ft, FT_RENDER_MODE_MONO) == 0 && ft->bitmap.pitch >= 0;
    size_t bytes = 0;
    if (rendered) {
        fresh.left = static_cast<int16_t>(ft->bitmap_left);
        fresh.top = static_cast<int16_t>(ft->bitmap_top);
        fresh.advance = static_cast<int16_t>(((ft->advance.x + 32) >> 6) + (bold ? 1 : 0));
        fresh.width = static_cast<uint16_t>(ft->bitmap.width);
        fresh.rows = static_cast<uint16_t>(ft->bitmap.rows);
        fresh.pitch = static_cast<uint16_t>(ft->bitmap.pitch);
        bytes = static_cast<size_t>(fresh.pitch) * fresh.rows;
    } else {
        fresh.missing = true;
    }
    if (!slot || cache.used + bytes > cache.pool.size()) {
        cache.clear();
        slot = &cache.slots[home];
    }
    if (bytes > cache.pool.size()) return nullptr;  // larger than the whole pool: drawn nowhere
    fresh.offset = static_cast<uint32_t>(cache.used);
    if (bytes) std::memcpy(cache.pool.data() + cache.used, ft->bitmap.buffer, bytes);
    cache.used += bytes;
    *slot = fresh;
    return slot->missing ? nullptr : slot;
}

int Font::textWidth(const char32_t* text, size_t length) {
    if (!owner || !text) return 0;
    int widest = 0, pen = 0;
    for (size_t i = 0; i < length; ++i) {
        if (isLineBreak(text[i])) {
            if (text[i] == U'\r' && i + 1 < length && text[i + 1] == U'\n') ++i;
            pen = 0;
            continue;
        }
        const CachedGlyph* g = text[i] < 0x20 ? nullptr : glyph(text[i]);
        if (!g) continue;
        pen += g->advance;
        if (pen > widest) widest = pen;
    }
    return widest;
}

bool Font::drawText(Surface& target, int x, int y, const char32_t* text, size_t length, uint32_t colorRef) {
    if (!owner || !owner->isLoaded() || !text) return false;
    if (target.isLost() || target.isLocked() || target.kind() == SurfaceKind::Texture ||
        target.format() == PixelFormat::Z16) {
        return false;
    }
    const int bytes = bytesPerPixel(target.format());
    const uint32_t argb = colorRefToArgb(colorRef);
    const uint32_t raw = target.format() == PixelFormat::P8 ? (colorRef & 0xFF) : packPixel(target.format(), argb);
    uint8_t* pixels = target.pixels();
    const uint8_t* pool = owner->cache->pool.data();
    // 64-bit pen positions: a script may start text anywhere in the 32-bit
    // range, and the glyph offsets and line steps must not wrap.
    int64_t penX = x, lineTop = y;
    for (size_t i = 0; i < length; ++i) {
        char32_t c = text[i];
        if (isLineBreak(c)) {
            if (c == U'\r' && i + 1 < length && text[i + 1] == U'\n') ++i;
            penX = x;
            lineTop += cell;
            continue;
        }
        const CachedGlyph* g = c < 0x20 ? nullptr : glyph(c);
        if (!g) continue;
        const int64_t left = penX + g->left;
        const int64_t top = lineTop + baseline - g->top;
        // Only the part of the glyph on the surface is visited.
        const int firstRow = int(std::clamp<int64_t>(-top, 0, g->rows));
        const int endRow = int(std::clamp<int64_t>(target.height() - top, 0, g->rows));
        const int firstCol = int(std::clamp<int64_t>(-left, 0, g->width));
        const int endCol = int(std::clamp<int64_t>(target.width() - left, 0, g->width));
        for (int row = firstRow; row < endRow; ++row) {
            const uint8_t* src = pool + g->offset + static_cast<size_t>(row) * g->pitch;
            uint8_t* dst = pixels + static_cast<size_t>(top + row) * target.pitch();
            for (int col = firstCol; col < endCol; ++col) {
                if (!(src[col >> 3] & (0x80 >> (col & 7)))) continue;
                uint8_t* p = dst + static_cast<size_t>(left + col) * bytes;
                for (int k = 0; k < bytes; ++k) p[k] = static_cast<uint8_t>(raw >> (8 * k));
            }
        }
        penX += g->advance;
    }
    return true;
}

}  // namespace render
