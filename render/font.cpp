// render/font.cpp
#include "render/font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SIZES_H

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

}  // namespace

FontFace::~FontFace() { release(); }

void FontFace::release() {
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
    if (!face.isLoaded() || cellHeight < 1 || cellHeight > 256 || charWidth < 0 || charWidth > 256) return false;
    FT_Size newSize = nullptr;
    if (FT_New_Size(asFace(face.face), &newSize) != 0) return false;
    FT_Activate_Size(newSize);
    int em = roundedScale(cellHeight, kUnitsPerEm, kCellUnits);
    int emWidth = charWidth > 0 ? 2 * charWidth : em;
    if (FT_Set_Pixel_Sizes(asFace(face.face), static_cast<FT_UInt>(emWidth), static_cast<FT_UInt>(em)) != 0) {
        FT_Done_Size(newSize);
        return false;
    }
    size = newSize;
    owner = &face;
    cell = cellHeight;
    baseline = roundedScale(cellHeight, kAscentUnits, kCellUnits);
    bold = weight >= 600;
    return true;
}

bool Font::select() {
    if (!size || !owner || !owner->isLoaded()) return false;
    return FT_Activate_Size(static_cast<FT_Size>(size)) == 0;
}

int Font::textWidth(const char32_t* text, size_t length) {
    if (!select() || !text) return 0;
    FT_Face face = asFace(owner->face);
    int widest = 0, pen = 0;
    for (size_t i = 0; i < length; ++i) {
        if (isLineBreak(text[i])) {
            if (text[i] == U'\r' && i + 1 < length && text[i + 1] == U'\n') ++i;
            pen = 0;
            continue;
        }
        if (text[i] < 0x20 || FT_Load_Char(face, text[i], FT_LOAD_TARGET_MONO) != 0) continue;
        pen += static_cast<int>((face->glyph->advance.x + 32) >> 6) + (bold ? 1 : 0);
        if (pen > widest) widest = pen;
    }
    return widest;
}

bool Font::drawText(Surface& target, int x, int y, const char32_t* text, size_t length, uint32_t colorRef) {
    if (!select() || !text) return false;
    if (target.isLost() || target.isLocked() || target.kind() == SurfaceKind::Texture ||
        target.format() == PixelFormat::Z16) {
        return false;
    }
    FT_Face face = asFace(owner->face);
    const int bytes = bytesPerPixel(target.format());
    const uint32_t argb = colorRefToArgb(colorRef);
    const uint32_t raw = target.format() == PixelFormat::P8 ? (colorRef & 0xFF) : packPixel(target.format(), argb);
    const FT_Pos strength = bold ? face->size->metrics.y_ppem * 64 / 24 : 0;
    uint8_t* pixels = target.pixels();
    int penX = x, lineTop = y;
    for (size_t i = 0; i < length; ++i) {
        char32_t c = text[i];
        if (isLineBreak(c)) {
            if (c == U'\r' && i + 1 < length && text[i + 1] == U'\n') ++i;
            penX = x;
            lineTop += cell;
            continue;
        }
        if (c < 0x20) continue;
        if (FT_Load_Char(face, c, FT_LOAD_TARGET_MONO) != 0) continue;
        FT_GlyphSlot slot = face->glyph;
        if (bold && slot->format == FT_GLYPH_FORMAT_OUTLINE) FT_Outline_Embolden(&slot->outline, strength);
        if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) continue;
        const FT_Bitmap& bm = slot->bitmap;
        int left = penX + slot->bitmap_left;
        int top = lineTop + baseline - slot->bitmap_top;
        for (int row = 0; row < static_cast<int>(bm.rows); ++row) {
            int py = top + row;
            if (py < 0 || py >= target.height()) continue;
            const uint8_t* src = bm.buffer + static_cast<ptrdiff_t>(row) * bm.pitch;
            uint8_t* dst = pixels + static_cast<size_t>(py) * target.pitch();
            for (int col = 0; col < static_cast<int>(bm.width); ++col) {
                int px = left + col;
                if (px < 0 || px >= target.width() || !(src[col >> 3] & (0x80 >> (col & 7)))) continue;
                uint8_t* p = dst + static_cast<size_t>(px) * bytes;
                if (bytes == 4) {
                    p[0] = static_cast<uint8_t>(raw);
                    p[1] = static_cast<uint8_t>(raw >> 8);
                    p[2] = static_cast<uint8_t>(raw >> 16);
                    p[3] = static_cast<uint8_t>(raw >> 24);
                } else if (bytes == 2) {
                    p[0] = static_cast<uint8_t>(raw);
                    p[1] = static_cast<uint8_t>(raw >> 8);
                } else {
                    p[0] = static_cast<uint8_t>(raw);
                }
            }
        }
        penX += static_cast<int>((slot->advance.x + 32) >> 6) + (bold ? 1 : 0);
    }
    return true;
}

}  // namespace render
