// render/font.h
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "render/surface.h"

namespace render {

struct GlyphCache;
struct CachedGlyph;

// The largest cell height and character width a font is made for: the
// 1-bit glyph of a cell this high still fits the glyph cache many times.
constexpr int kMaxFontCell = 1024;
constexpr int kMaxFontCharWidth = 512;

// A scalable font read from bytes the caller owns and keeps alive. Rendered
// glyphs are kept in a fixed cache shared by every Font of the face, so text
// redrawn each frame (even through fonts made anew each frame) costs no
// glyph rendering and no allocation once seen.
class FontFace {
public:
    FontFace();
    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    // False when the bytes are not a font; the face then stays empty.
    bool load(const uint8_t* data, size_t size);
    bool isLoaded() const { return face != nullptr; }

private:
    friend class Font;
    void release();
    void* library = nullptr;  // FT_Library
    void* face = nullptr;     // FT_Face
    std::unique_ptr<GlyphCache> cache;
};

// One size and weight of a face, drawing as text drawing of the old
// display did: 1-bit glyphs (no smoothing), top-left aligned at the given
// point, transparent background, no clipping other than the surface edge.
//
// Sizes follow cell heights: a cell of h pixels has an em of
// round(h x 2048 / 2203) pixels and its baseline round(h x 1802 / 2203)
// pixels below the top. A character width w > 0 makes the em 2w pixels
// wide; 0 keeps it square. Weights of 600 and more are drawn bold.
class Font {
public:
    Font() = default;
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // False, leaving the font unusable, when the face is empty or the height
    // is outside 1-kMaxFontCell or the width outside 0-kMaxFontCharWidth.
    // The face must outlive the font.
    bool create(FontFace& face, int cellHeight, int charWidth, int weight);
    bool isCreated() const { return owner != nullptr; }
    int cellHeight() const { return cell; }

    // Draws `length` code points with the top-left of the first cell at
    // (x, y), in the GDI colour 0x00BBGGRR. "\n", "\r" and "\r\n" start a new
    // line one cell lower at x; other control characters are skipped, as are
    // characters the face lacks. Any x and y are safe: text beyond the
    // surface is cut at its edge. False when the font is not created or the
    // target is lost, locked, a texture or a depth surface.
    bool drawText(Surface& target, int x, int y, const char32_t* text, size_t length, uint32_t colorRef);

    // Pen advance of the text's longest line, in pixels.
    int textWidth(const char32_t* text, size_t length);

private:
    const CachedGlyph* glyph(char32_t code);
    bool select();
    FontFace* owner = nullptr;
    void* size = nullptr;  // FT_Size, made at the first glyph not in the cache
    int cell = 0;
    int emWidth = 0;
    int emHeight = 0;
    int baseline = 0;
    bool bold = false;
};

}  // namespace render
