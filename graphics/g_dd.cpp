#include "graphics/g_dd.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstring>

#include "graphics/messages.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/text_codec.h"
#include "platform/window.h"
#include "render/pixel_format.h"
#include "render/vertex.h"
#include "render/png_writer.h"

namespace graphics {

const char* const kDefaultFontFile = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

namespace {

constexpr int kRestoreAttempts = 10;

void copyName(char (&out)[kNameLength], const char* name) {
    std::snprintf(out, sizeof out, "%s", name ? name : "");
}

}  // namespace

const char* displayResultText(DisplayResult result) {
    switch (result) {
    case DisplayResult::InvalidParams: return "メソッドに渡された 1 つ以上のパラメータが不正である";
    case DisplayResult::IncompatiblePrimary:
        return "プライマリ サーフェスの作成要求が既存のプライマリ サーフェスと一致していない。";
    case DisplayResult::InvalidCaps: return "コールバック関数に渡された 1 つ以上の能力ビットが不正である。";
    case DisplayResult::InvalidObject: return "DirectDraw が、無効な DirectDraw オブジェクトのポインタを受け取った";
    case DisplayResult::InvalidPixelFormat: return "指定されたピクセル フォーマットが無効である";
    case DisplayResult::NoAlphaHardware:
        return "アルファアクセラレート ハードウェアが存在しないか利用できなかったため、要求された処理に失敗した";
    case DisplayResult::NoCooperativeLevelSet:
        return "IDirectDraw7::SetCooperativeLevel メソッドを使用せずに作成関数が呼び出された";
    case DisplayResult::NoExclusiveMode:
        return "アプリケーションに対して排他モードが要求されたが、アプリケーションには排他モードがない";
    case DisplayResult::NoFlipHardware: return "表示されるサーフェスをフリッピングできない";
    case DisplayResult::NoDirectDrawHardware:
        return "ハードウェア専用 DirectDraw オブジェクトを作成できない。ドライバはハードウェアをサポートしない";
    case DisplayResult::NoEmulation: return "ソフトウェア エミュレーションが利用できない";
    case DisplayResult::NoMipmapHardware:
        return "ミップマップ能力を持つテクスチャ マッピング ハードウェアが存在しない、または利用できない";
    default: return "その他";
    }
}

G_DD::G_DD() : fontFile(kDefaultFontFile) {
    // Texts that change every frame (the frame-rate line, a counter) replace
    // cached entries: with room for a whole script text they do so without
    // allocating.
    for (CachedText& entry : textCache) {
        entry.source.reserve(kCachedTextCapacity);
        entry.text.reserve(kCachedTextCapacity);
        entry.underlined.reserve(kCachedUnderlines);
    }
}

G_DD::~G_DD() {
    // A derived class releases its device in its own destructor; here only
    // the surfaces are left.
    releaseDisplay();
}

void G_DD::setSize(int displayWidth, int displayHeight) {
    width = displayWidth;
    height = displayHeight;
}

void G_DD::init(int depth) {
    bitDepth = uint8_t(depth);
    width = 640;
    height = 480;
    windowed = 1;
    for (int i = 0; i < kOffscreenSurfaces; ++i) {
        offscreenRecords[i] = OffscreenRecord{};
        colorKeys[i] = 0;
        keySamples[i][0] = keySamples[i][1] = 0;
    }
    createFont(9, 0, 400);
    if (bitDepth == 8) {
        paletteBitmap = std::make_unique<G_BMP8>();
        paletteBitmap->create(4, 4);
        if (!loadPalette()) {
            platform::showMessageBox(messages::kPaletteLoadFailed, messages::kPaletteNotSetCaption, nullptr);
            fail();
        }
    }
}

render::PixelFormat G_DD::displayFormat() const {
    return bitDepth == 16 ? render::PixelFormat::R5G6B5 : render::PixelFormat::X8R8G8B8;
}

// ---- creation and release ----

bool G_DD::createDisplay() {
    if (!ready) return false;
    if (!window || displayCreated) {
        platform::showMessageBox(window ? messages::kAlreadyCreated : messages::kNoWindow, messages::kError,
                                 nullptr);
        fail();
        return false;
    }
    bool ok = windowed ? createWindowed() : createFullScreen();
    if (ok && ready) ok = initDevice();
    if (ok && ready) return true;
    showMessage(messages::kCreateFailed, messages::kCreateFailedCaption);
    fail();
    releaseDisplay();
    return false;
}

bool G_DD::createFullScreen() {
    displayCreated = true;
    if (!displayAdapter.setDisplayMode(width, height, bitDepth)) {
        showMessage(messages::kModeRefused, messages::kFullScreenError1);
        fail();
        return false;
    }
    primary = displayAdapter.createSurface(render::SurfaceKind::Primary, width, height, displayFormat());
    // The back buffer belongs to the primary's flipping chain: both or neither.
    if (primary) backBuffer = displayAdapter.createSurface(render::SurfaceKind::BackBuffer, width, height, displayFormat());
    if (!primary || !backBuffer) {
        showMessage(messages::kPrimaryFailed, messages::kError);
        fail();
        return false;
    }
    for (int i = 0; i < kOffscreenSurfaces; ++i) createOffscreen(i);
    for (int i = 0; i < kOffscreenSurfaces; ++i) fillOffscreen(i);
    return true;
}

bool G_DD::createWindowed() {
    displayCreated = true;
    primary = displayAdapter.createSurface(render::SurfaceKind::Primary, width, height, displayFormat());
    if (!primary) {
        showMessage(messages::kPrimaryFailed, messages::kError);
        fail();
        return false;
    }
    backBuffer = displayAdapter.createSurface(render::SurfaceKind::BackBuffer, width, height, displayFormat());
    if (!backBuffer) {
        // The windowed back buffer has no message of its own: the failure
        // surfaces as the creation failure.
        lastResult = DisplayResult::Other;
        fail();
        return false;
    }
    for (int i = 0; i < kOffscreenSurfaces; ++i) createOffscreen(i);
    for (int i = 0; i < kOffscreenSurfaces; ++i) fillOffscreen(i);
    return true;
}

bool G_DD::createOffscreen(int index) {
    const OffscreenRecord& record = offscreenRecords[index];
    offscreen[index].reset();
    if (record.width == 0 || record.height == 0) return true;
    offscreen[index] =
        displayAdapter.createSurface(render::SurfaceKind::Offscreen, record.width, record.height, displayFormat());
    if (offscreen[index]) return true;
    bool badSize = record.width < 1 || record.height < 1 || record.width > render::kMaxSurfaceSize ||
                   record.height > render::kMaxSurfaceSize;
    lastResult = badSize ? DisplayResult::InvalidParams : DisplayResult::Other;
    char text[128];
    std::snprintf(text, sizeof text, messages::kOffscreenFailed, index);
    showMessage(text, messages::kError);
    reportDirectDrawError();
    fail();
    return false;
}

void G_DD::fillOffscreen(int index) {
    if (index < 0 || index >= kOffscreenSurfaces) return;
    render::Surface* surface = offscreen[index].get();
    if (!surface) return;
    const OffscreenRecord& record = offscreenRecords[index];
    if (record.fileName[0]) {
        if (loadImage(record.fileName, workBitmap)) copyBitmapToSurface(*workBitmap, *surface);
    } else {
        fillWhite(render::Rect{0, 0, record.width, record.height}, index);
    }
    setColorKey(index, sampleColorKey(index, keySamples[index][0], keySamples[index][1]));
}

void G_DD::releaseDisplay() {
    releaseDevice();
    if (!displayCreated) return;
    for (auto& surface : offscreen) surface.reset();
    backBuffer.reset();
    primary.reset();
    displayCreated = false;
}

// ---- frames ----

bool G_DD::beginFrame() {
    if (backBuffer) backBuffer->fill(nullptr, 0);
    switch (restoreSurfaces()) {
    case 1: return true;
    case 0:
        if (!window || window->isMinimised() || !window->isActive()) return false;
        releaseDisplay();
        createDisplay();
        return false;
    default: return false;
    }
}

void G_DD::present(bool) {
    if (!ready || !window || !backBuffer || backBuffer->isLost()) return;
    platform::FrameView frame;
    frame.pixels = backBuffer->pixels();
    frame.width = backBuffer->width();
    frame.height = backBuffer->height();
    frame.pitch = backBuffer->pitch();
    frame.format = backBuffer->format() == render::PixelFormat::R5G6B5 ? platform::PixelFormat::Rgb565
                                                                        : platform::PixelFormat::Xrgb8888;
    window->present(frame);
}

bool G_DD::writeScreenshot(const std::string& path) const {
    std::vector<uint8_t> png;
    if (!backBuffer || !render::encodePng(*backBuffer, png)) return false;
    return platform::replaceHostFile(path, png.data(), png.size());
}

int G_DD::restoreSurfaces() {
    if (!ready || !displayCreated) return -2;
    if (!primary->isLost()) return 1;
    for (int i = 0; i < kRestoreAttempts && primary->isLost(); ++i) primary->restore();
    if (primary->isLost()) return 0;
    // Every surface is its own block here, so the back buffer comes back
    // with the primary in both modes.
    if (!backBuffer->restore()) return 0;
    for (int i = 0; i < kOffscreenSurfaces; ++i) {
        if (!offscreen[i] || !offscreen[i]->restore()) continue;
        keySamples[i][0] = keySamples[i][1] = 0;
        fillOffscreen(i);
    }
    return -1;
}

// ---- off-screen surfaces ----

render::Surface* G_DD::offscreenSurface(int index) {
    return index >= 0 && index < kOffscreenSurfaces ? offscreen[index].get() : nullptr;
}

render::Surface* G_DD::targetSurface(int index) {
    return index < 0 ? backBuffer.get() : offscreenSurface(index);
}

uint32_t G_DD::colorKeyOf(int index) const {
    return index >= 0 && index < kOffscreenSurfaces ? colorKeys[index] : 0;
}

void G_DD::keySamplePoint(int index, int& x, int& y) const {
    x = y = 0;
    if (index < 0 || index >= kOffscreenSurfaces) return;
    x = keySamples[index][0];
    y = keySamples[index][1];
}

void G_DD::setColorKey(int index, uint32_t key) {
    if (index < 0 || index >= kOffscreenSurfaces) return;
    colorKeys[index] = key;
    if (offscreen[index]) offscreen[index]->setColorKey(key);
}

uint32_t G_DD::sampleColorKey(int index, int x, int y) {
    if (index < 0 || index >= kOffscreenSurfaces) return 0;
    render::Surface* surface = offscreen[index].get();
    if (!surface) return 0;
    if (x < 0 || y < 0 || x >= surface->width() || y >= surface->height()) x = y = 0;
    keySamples[index][0] = x;
    keySamples[index][1] = y;
    render::LockedRect locked;
    if (!surface->lock(locked)) return 0;
    // One pixel's bytes only: a wider read would take in the neighbour and
    // run past the last pixel of the surface.
    int bytes = render::bytesPerPixel(surface->format());
    const uint8_t* p = locked.bits + size_t(y) * size_t(locked.pitch) + size_t(x) * size_t(bytes);
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= uint32_t(p[i]) << (8 * i);
    surface->unlock();
    return value;
}

void G_DD::fillWhite(const render::Rect& rect, int index) {
    if (render::Surface* surface = targetSurface(index)) surface->fill(&rect, 0xFFFFFFFF);
}

void G_DD::copyBitmapToSurface(const G_BMP& image, render::Surface& surface) {
    render::LockedRect locked;
    if (!surface.lock(locked)) return;
    int w = image.width() < surface.width() ? image.width() : surface.width();
    int h = image.height() < surface.height() ? image.height() : surface.height();
    int bytes = render::bytesPerPixel(surface.format());
    for (int y = 0; y < h; ++y) {
        uint8_t* row = locked.bits + size_t(y) * size_t(locked.pitch);
        for (int x = 0; x < w; ++x) {
            uint32_t raw = render::packPixel(surface.format(), 0xFF000000u | image.pixelRgb(x, y));
            for (int i = 0; i < bytes; ++i) row[x * bytes + i] = uint8_t(raw >> (8 * i));
        }
    }
    surface.unlock();
}

bool G_DD::loadSurface(int index, const char* fileName) {
    if (!ready) return false;
    assert(index >= 0 && index < kOffscreenSurfaces);
    if (index < 0 || index >= kOffscreenSurfaces) return false;
    if (!loadImage(fileName, workBitmap)) {
        fail();
        showMessage(messages::kFileOpenFailed, fileName ? fileName : "");
        return false;
    }
    if (displayCreated && ready) {
        OffscreenRecord& record = offscreenRecords[index];
        copyName(record.fileName, fileName);
        record.height = workBitmap->height();
        record.width = workBitmap->width();
        if (!createOffscreen(index)) return false;
        setColorKey(index, colorKeys[index]);
        copyBitmapToSurface(*workBitmap, *offscreen[index]);
    }
    return ready;
}

bool G_DD::createBlankSurface(int index, int surfaceWidth, int surfaceHeight) {
    if (!ready) return false;
    assert(index >= 0 && index < kOffscreenSurfaces);
    if (index < 0 || index >= kOffscreenSurfaces) return false;
    workBitmap = std::make_unique<G_BMP24>();
    ready = workBitmap->create(surfaceWidth, surfaceHeight);
    OffscreenRecord& record = offscreenRecords[index];
    record.fileName[0] = 0;
    record.height = surfaceHeight;
    record.width = surfaceWidth;
    if (displayCreated && ready) {
        if (!createOffscreen(index)) return false;
        setColorKey(index, colorKeys[index]);
        fillWhite(render::Rect{0, 0, surfaceWidth, surfaceHeight}, index);
    }
    return ready;
}

// ---- palette ----

bool G_DD::loadPalette() {
    if (bitDepth != 8 || !ready || !paletteBitmap) return false;
    if (!paletteBitmap->loadPaletteFile("pal.pdt")) {
        showMessage(messages::kPaletteFileFailed, messages::kError);
        fail();
        return false;
    }
    const RgbQuad* table = paletteBitmap->colorTable();
    for (int i = 0; i < kPaletteEntries; ++i)
        paletteEntries[i] = 0x01000000u | uint32_t(table[i].red) << 16 | uint32_t(table[i].green) << 8 | table[i].blue;
    return true;
}

// ---- messages ----

void G_DD::showMessage(const char* text, const char* caption) {
    platform::showMessageBox(text, caption, window);
}

void G_DD::reportDirectDrawError() { showMessage(displayResultText(lastResult), messages::kErrorMessageCaption); }

// ---- text ----

bool G_DD::ensureFontFace() {
    if (fontFace.isLoaded()) return true;
    if (!platform::readFile(fontFile, fontBytes)) return false;
    return fontFace.load(fontBytes.data(), fontBytes.size());
}

namespace {

// The cell height GDI gives a requested height: 0 is the default, a
// negative height is the character height (the em, without the internal
// leading), and a height beyond what a glyph bitmap holds is drawn at the
// largest size.
int gdiCellHeight(int requested) {
    int64_t cell = requested;
    if (requested == 0) cell = kDefaultFontCell;
    if (requested < 0) cell = (-int64_t(requested) * 2203 + 1024) / 2048;
    return int(std::clamp<int64_t>(cell, 1, render::kMaxFontCell));
}

}  // namespace

bool G_DD::createFont(int cellHeight, int charWidth, int weight) {
    if (!ready) return false;
    int width = int(std::min<int64_t>(charWidth < 0 ? -int64_t(charWidth) : charWidth, render::kMaxFontCharWidth));
    if (ensureFontFace() && font.create(fontFace, gdiCellHeight(cellHeight), width, weight)) return true;
    showMessage(messages::kFontFailed, messages::kError);
    return false;
}

namespace {

// Text drawing takes '&' as a prefix, as the old DrawTextA without
// DT_NOPREFIX does: "&&" draws one '&', "&x" draws x underlined, and a
// '&' at the end draws nothing.
// Works in place (the result is never longer), so a cached entry keeps its
// storage.
void resolvePrefixes(std::u32string& text, std::vector<size_t>& underlined) {
    underlined.clear();
    size_t out = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != U'&') {
            text[out++] = text[i];
            continue;
        }
        if (++i >= text.size()) break;
        if (text[i] != U'&') underlined.push_back(out);
        text[out++] = text[i];
    }
    text.resize(out);
}

}  // namespace

void G_DD::drawText(int surfaceIndex, const render::Rect& rect, const char* text, uint32_t colorRef) {
    if (!ready || !text) return;
    render::Surface* surface = targetSurface(surfaceIndex);
    if (!surface) return;
    CachedText* entry = nullptr;
    for (CachedText& cached : textCache) {
        if (cached.source == text) {
            entry = &cached;
            break;
        }
    }
    if (!entry) {
        entry = &textCache[textCacheNext];
        textCacheNext = (textCacheNext + 1) % kTextCacheEntries;
        entry->source = text;
        platform::cp932ToUtf32(entry->source, entry->text);
        resolvePrefixes(entry->text, entry->underlined);
    }
    font.drawText(*surface, rect.left, rect.top, entry->text.data(), entry->text.size(), colorRef);
    if (entry->underlined.empty() || !font.isCreated()) return;
    // The underline sits one pixel below the baseline, as wide as the
    // character, on the line the character is on.
    const int cell = font.cellHeight();
    const int baseline = (cell * 1802 + 1101) / 2203;
    const char32_t* chars = entry->text.data();
    for (size_t pos : entry->underlined) {
        size_t lineStart = 0;
        int line = 0;
        for (size_t i = 0; i < pos; ++i) {
            if (chars[i] == U'\r' || chars[i] == U'\n') {
                if (chars[i] == U'\r' && i + 1 < pos && chars[i + 1] == U'\n') ++i;
                ++line;
                lineStart = i + 1;
            }
        }
        // 64 bits: the rectangle may start anywhere in the 32-bit range.
        int64_t left = int64_t(rect.left) + font.textWidth(chars + lineStart, pos - lineStart);
        int64_t top = int64_t(rect.top) + int64_t(line) * cell + baseline + 1;
        int64_t right = left + font.textWidth(chars + pos, 1);
        left = std::max<int64_t>(left, 0);
        right = std::min<int64_t>(right, surface->width());
        if (top < 0 || top >= surface->height() || left >= right) continue;
        render::Rect underline{int(left), int(top), int(right), int(top) + 1};
        surface->fill(&underline, render::colorRefToArgb(colorRef));
    }
}

}  // namespace graphics
