// graphics/g_dd.h
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graphics/bitmap.h"
#include "render/adapter.h"
#include "render/font.h"
#include "render/surface.h"

namespace platform {
class Window;
}

namespace graphics {

constexpr int kOffscreenSurfaces = 2;
constexpr int kNameLength = 257;  // 256 characters and a terminator

// Results kept for reportDirectDrawError, one per message of its table.
enum class DisplayResult : uint8_t {
    Ok,
    InvalidParams,
    IncompatiblePrimary,
    InvalidCaps,
    InvalidObject,
    InvalidPixelFormat,
    NoAlphaHardware,
    NoCooperativeLevelSet,
    NoExclusiveMode,
    NoFlipHardware,
    NoDirectDrawHardware,
    NoEmulation,
    NoMipmapHardware,
    Other,
};

// The text reportDirectDrawError shows for a result.
const char* displayResultText(DisplayResult result);

// Where the text font comes from: the Japanese Gothic face that stands in
// for the game's "ＭＳ ゴシック".
extern const char* const kDefaultFontFile;
// The cell of the default height (height 0): a character height of 16.
constexpr int kDefaultFontCell = 17;

// The display of the single game window: back buffer, primary, two
// off-screen image surfaces with colour keys, the 8-bit palette, one text
// font, and the per-frame fill, presentation and lost-surface recovery.
//
// Every failure shows its fixed message box and clears `ready`; a cleared
// ready stays cleared and makes every later call return at once (false,
// 0 or -2). The surfaces are made by the object's own adapter, which tests
// reach through adapter() to inject faults.
class G_DD {
public:
    G_DD();
    virtual ~G_DD();
    G_DD(const G_DD&) = delete;
    G_DD& operator=(const G_DD&) = delete;

    // Defaults (640 x 480, windowed, empty off-screen records), the default
    // font (height 9), and at 8 bits per pixel the palette from "pal.pdt".
    void init(int bitDepth);

    // Set by the application frame before createDisplay.
    void setWindow(platform::Window* gameWindow) { window = gameWindow; }
    void setWindowed(bool isWindowed) { windowed = isWindowed; }
    void setSize(int displayWidth, int displayHeight);
    void setFontFile(const std::string& path) { fontFile = path; }

    // Creates the surfaces (full screen: one mode, no fallback) and then the
    // device (initDevice). False after showing the failing step's message
    // and "生成に失敗しました。".
    bool createDisplay();
    void releaseDisplay();

    // Clears the back buffer to black and checks for lost surfaces. True
    // only when nothing was lost: the caller draws and presents only then.
    // A primary that cannot be restored while the window is active
    // rebuilds the whole display.
    bool beginFrame();
    // Shows the back buffer in the window. The wait flag has no effect:
    // pacing belongs to the main loop.
    void present(bool waitForRetrace);

    // Writes the back buffer, which holds the last presented frame until
    // the next beginFrame, as an RGB PNG. False when there is no back
    // buffer, it is lost, or the file cannot be written.
    bool writeScreenshot(const std::string& path) const;

    void setColorKey(int index, uint32_t key);
    // The raw pixel at (x, y) of off-screen surface `index`; a point
    // outside the surface uses (0, 0), and the point used is stored.
    uint32_t sampleColorKey(int index, int x, int y);
    // index < 0: the back buffer.
    void fillWhite(const render::Rect& rect, int index);
    bool loadPalette();
    // Message box owned by the game window.
    void showMessage(const char* text, const char* caption);
    void reportDirectDrawError();

    virtual bool initDevice() { return true; }
    virtual void releaseDevice() {}
    virtual bool createBlankSurface(int index, int width, int height);
    virtual bool loadSurface(int index, const char* fileName);
    // Replaces the text font: a cell `height` pixels high, character width
    // (0: proportional to the height), weight 400 normal, 600+ bold. Any
    // height makes a font, as GDI's do: 0 is kDefaultFontCell, a negative
    // height is the character height, and cells and widths past
    // render::kMaxFontCell and kMaxFontCharWidth are drawn at those sizes;
    // a negative width counts as its magnitude. False (with the box) only
    // when the font file cannot be read.
    virtual bool createFont(int height, int width, int weight);
    int fontCellHeight() const { return font.cellHeight(); }
    // Code page 932 text at the rectangle's top-left, transparent, never
    // clipped to the rectangle; colorRef is 0x00BBGGRR. surfaceIndex -1 is
    // the back buffer.
    virtual void drawText(int surfaceIndex, const render::Rect& rect, const char* text, uint32_t colorRef);
    // -2 not ready, 1 nothing lost, 0 the primary stays lost after 10
    // restores, -1 restored (surfaces refilled).
    virtual int restoreSurfaces();

    bool isReady() const { return ready != 0; }
    bool isWindowed() const { return windowed != 0; }
    bool hasDisplay() const { return displayCreated; }
    int displayWidth() const { return width; }
    int displayHeight() const { return height; }
    int bitDepthValue() const { return bitDepth; }
    render::Adapter& adapter() { return displayAdapter; }
    render::Surface* backBufferSurface() { return backBuffer.get(); }
    render::Surface* offscreenSurface(int index);
    uint32_t colorKeyOf(int index) const;
    void keySamplePoint(int index, int& x, int& y) const;
    const uint32_t* palette() const { return paletteEntries; }
    // Pixel format of the back buffer and off-screen surfaces.
    render::PixelFormat displayFormat() const;
    // The scratch image of surface and texture loading.
    std::unique_ptr<G_BMP>& scratchBitmap() { return workBitmap; }

protected:
    struct OffscreenRecord {
        char fileName[kNameLength] = {};
        int height = 0;
        int width = 0;
    };

    bool createFullScreen();
    bool createWindowed();
    // Creates off-screen surface `index` from its record; false (after the
    // messages, with ready cleared) when the surface cannot be made.
    bool createOffscreen(int index);
    void fillOffscreen(int index);
    void copyBitmapToSurface(const G_BMP& image, render::Surface& surface);
    render::Surface* targetSurface(int index);
    void fail() { ready = 0; }
    bool ensureFontFace();

    std::unique_ptr<G_BMP> workBitmap;
    std::unique_ptr<G_BMP8> paletteBitmap;
    uint32_t paletteEntries[kPaletteEntries] = {};  // ARGB; alpha carries the flags byte
    platform::Window* window = nullptr;

    render::Adapter displayAdapter;
    std::unique_ptr<render::Surface> primary;
    std::unique_ptr<render::Surface> backBuffer;
    std::unique_ptr<render::Surface> offscreen[kOffscreenSurfaces];
    uint32_t colorKeys[kOffscreenSurfaces] = {};
    int keySamples[kOffscreenSurfaces][2] = {};
    OffscreenRecord offscreenRecords[kOffscreenSurfaces];

    std::string fontFile;
    std::vector<uint8_t> fontBytes;
    render::FontFace fontFace;
    render::Font font;  // after its face: destroyed first

    // Text conversion cache: scripts draw the same texts every frame, so
    // converted texts are kept and reused instead of converted anew.
    static constexpr int kTextCacheEntries = 32;
    static constexpr size_t kCachedTextCapacity = 256;  // a script text and its terminator
    static constexpr size_t kCachedUnderlines = 16;
    struct CachedText {
        std::string source;
        std::u32string text;             // prefixes resolved
        std::vector<size_t> underlined;  // positions in `text` drawn underlined
    };
    CachedText textCache[kTextCacheEntries];
    int textCacheNext = 0;

    int width = 640;
    int height = 480;
    DisplayResult lastResult = DisplayResult::Ok;
    uint8_t bitDepth = 32;
    uint8_t ready = 1;
    uint8_t windowed = 1;
    bool displayCreated = false;
};

}  // namespace graphics
