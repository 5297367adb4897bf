#include <bit>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/texture_store.h"
#include "platform/file_report.h"
#include "platform/files.h"
#include "render/pixel_format.h"

namespace graphics {

namespace {

constexpr size_t kPaletteFileSize = 768;

bool copyText(char* out, size_t capacity, const char* text) {
    size_t length = std::strlen(text);
    if (length >= capacity) return false;
    std::memcpy(out, text, length + 1);
    return true;
}

// Shift of a channel mask: its trailing zero bits. An alpha mask that is 0
// or starts at bit 0 gets 0 as well.
int maskShift(uint32_t mask) { return mask ? std::countr_zero(mask) : 0; }

// "tree.bmp" -> "tree_a.bmp": "_a" goes before the last four characters
// (before the whole name when it is shorter).
std::string alphaImageName(const char* name) {
    std::string s(name);
    size_t at = s.size() >= 4 ? s.size() - 4 : 0;
    s.insert(at, "_a");
    return s;
}

int nearestPaletteIndex(const uint32_t* palette, uint32_t rgb) {
    int best = 0;
    int bestDistance = 1 << 30;
    for (int i = 0; i < kPaletteEntries; ++i) {
        int dr = int(palette[i] >> 16 & 0xFF) - int(rgb >> 16 & 0xFF);
        int dg = int(palette[i] >> 8 & 0xFF) - int(rgb >> 8 & 0xFF);
        int db = int(palette[i] & 0xFF) - int(rgb & 0xFF);
        int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

}  // namespace

TextureStore::TextureStore(render::Adapter& displayAdapter) : adapter(displayAdapter) {
    readPalettePool();
}

TextureStore::~TextureStore() = default;

void TextureStore::setFormats(render::PixelFormat colour, render::PixelFormat palettised, bool software) {
    colourFormat = colour;
    paletteFormat = palettised;
    softwareDevice = software;
}

bool TextureStore::readPalettePool() {
    std::vector<uint8_t> data;
    palettePoolLoaded = platform::readFile("pal.pdt", data);
    // A short file reads as zeros past its end.
    uint8_t bytes[kPaletteFileSize] = {};
    if (palettePoolLoaded) std::memcpy(bytes, data.data(), data.size() < sizeof bytes ? data.size() : sizeof bytes);
    for (int i = 0; i < kPaletteEntries; ++i) {
        palettePool[i] = palettePoolLoaded
                             ? render::makeArgb(1, bytes[i * 3], bytes[i * 3 + 1], bytes[i * 3 + 2])
                             : render::makeArgb(1, uint32_t(i), uint32_t(i), uint32_t(i));
    }
    return palettePoolLoaded;
}

void TextureStore::setTextureFolder(const char* folder) {
    if (!folder || !copyText(textureFolder, sizeof textureFolder, folder)) textureFolder[0] = 0;
}

void TextureStore::releaseSlotSurface(int slot) { slots[slot].surface.reset(); }

int TextureStore::findOrLoadTexture(const char* fileName) {
    if (!fileName) return -1;
    for (TextureSlot& s : slots) {
        if (s.state == 1 && std::strcmp(s.fileName, fileName) == 0) {
            ++s.refCount;
            return s.index;
        }
    }
    for (int i = 0; i < kTextureSlots; ++i) {
        if (slots[i].state == 0) return loadTextureSlot(i, fileName);
    }
    return -1;
}

bool TextureStore::findOrLoadMaterialTexture(const char* textureName, int& textureIndex) {
    if (!textureName || !textureName[0]) return true;
    for (TextureSlot& s : slots) {
        if (s.state == 1 && std::strcmp(s.fileName, textureName) == 0 &&
            std::strcmp(s.folder, textureFolder) == 0) {
            ++s.refCount;
            textureIndex = s.index;
            return true;
        }
    }
    textureIndex = findOrLoadTexture(textureName);
    return textureIndex != -1;
}

int TextureStore::loadTextureSlot(int slot, const char* fileName) {
    assert(slot >= 0 && slot < kTextureSlots);
    if (slot < 0 || slot >= kTextureSlots || !fileName) return -1;
    unbind();
    releaseSlotSurface(slot);
    TextureSlot& s = slots[slot];
    // Names longer than a slot holds could never be matched again.
    if (std::strlen(fileName) >= sizeof s.fileName) return -1;

    std::string path = std::string(textureFolder) + fileName;
    if (!loadImage(path.c_str(), image)) {
        if (!platform::wasRefusedAsSpecialFile()) platform::reportFileOnce("cannot read the image '%s'", path);
        return -1;
    }
    const G_BMP& picture = *image;

    bool palettised = softwareDevice && paletteFormat != render::PixelFormat::Unknown;
    render::PixelFormat format = palettised ? paletteFormat : colourFormat;
    // Refused as an unreadable image is: the slot stays free.
    size_t bytes = size_t(picture.width()) * size_t(picture.height()) * size_t(render::bytesPerPixel(format));
    if (picture.width() > kMaxTextureSize || picture.height() > kMaxTextureSize) {
        platform::reportFileOnce("the image '%s' is larger than 4096 x 4096, the largest texture", path);
        image.reset();
        return -1;
    }
    if (memoryInUse() + bytes > memoryBudget) {
        platform::reportFileOnce("the image '%s' does not fit in the 256 MiB that textures may take", path);
        image.reset();
        return -1;
    }
    uint32_t palette[kPaletteEntries];
    if (palettised) {
        if (picture.depth() == 8) {
            const RgbQuad* table = picture.colorTable();
            for (int i = 0; i < kPaletteEntries; ++i)
                palette[i] = render::makeArgb(1, table[i].red, table[i].green, table[i].blue);
        } else {
            if (!palettePoolLoaded) readPalettePool();
            std::memcpy(palette, palettePool, sizeof palette);
        }
        if (paletteSink) std::memcpy(paletteSink, palette, sizeof palette);
    }

    std::unique_ptr<render::Surface> surface =
        adapter.createSurface(render::SurfaceKind::Texture, picture.width(), picture.height(), format);
    if (!surface) {
        if (onSurfaceFailure) onSurfaceFailure(failureContext, format == render::PixelFormat::Unknown);
        return -1;
    }
    if (palettised) {
        // The device samples opaque colours: the flags byte is no alpha.
        for (uint32_t& entry : palette) entry |= 0xFF000000u;
        surface->setPalette(palette);
    }

    std::string alphaPath = std::string(textureFolder) + alphaImageName(fileName);
    bool hasAlpha = loadImage(alphaPath.c_str(), alphaImage);
    convertImage(picture, hasAlpha ? alphaImage.get() : nullptr, *surface, palettised);
    alphaImage.reset();

    s.surface = std::move(surface);
    s.size = render::Rect{0, 0, picture.width(), picture.height()};
    s.state = 1;
    s.refCount = 1;
    copyText(s.fileName, sizeof s.fileName, fileName);
    copyText(s.folder, sizeof s.folder, textureFolder);
    s.index = slot;
    return slot;
}

size_t TextureStore::memoryInUse() const {
    size_t total = 0;
    for (const TextureSlot& s : slots) {
        if (s.surface)
            total += size_t(s.surface->width()) * size_t(s.surface->height()) *
                     size_t(render::bytesPerPixel(s.surface->format()));
    }
    return total;
}

void TextureStore::convertImage(const G_BMP& image, const G_BMP* alpha, render::Surface& surface, bool palettised) {
    render::LockedRect locked;
    if (!surface.lock(locked)) return;
    const int w = image.width(), h = image.height();
    const render::PixelFormatDesc& desc = render::describeFormat(surface.format());
    const int redShift = maskShift(desc.redMask), greenShift = maskShift(desc.greenMask);
    const int blueShift = maskShift(desc.blueMask);
    const int alphaShift = desc.alphaMask & 1 ? 0 : maskShift(desc.alphaMask);
    const int bytes = render::bytesPerPixel(surface.format());
    const uint32_t* palette = surface.palette();

    for (int u = 0; u < h; ++u) {
        const int row = h - 1 - u;  // images are stored bottom-up
        const uint8_t* source = image.rowData(row);
        // The alpha image may differ in size: texels it does not cover
        // stay opaque.
        const uint8_t* alphaRow = alpha && row < alpha->height() ? alpha->rowData(row) : nullptr;
        uint8_t* out = locked.bits + size_t(u) * size_t(locked.pitch);
        for (int j = 0; j < w; ++j) {
            uint32_t r, g, b;
            if (image.depth() == 8) {
                const RgbQuad& c = image.colorTable()[source[j]];
                r = c.red, g = c.green, b = c.blue;
            } else {
                r = source[j * 3 + 2], g = source[j * 3 + 1], b = source[j * 3];
            }
            uint32_t a = 255;
            if (alphaRow && j < alpha->width())
                a = alpha->depth() == 8 ? alpha->colorTable()[alphaRow[j]].red : alphaRow[j * 3];

            if (palettised) {
                out[j] = image.depth() == 8 ? source[j] : uint8_t(nearestPaletteIndex(palette, r << 16 | g << 8 | b));
            } else if (bytes == 2) {
                uint32_t v = (a >> 4) << alphaShift | (r >> 4) << redShift | (g >> 4) << greenShift |
                             (b >> 4) << blueShift;
                out[j * 2] = uint8_t(v);
                out[j * 2 + 1] = uint8_t(v >> 8);
            } else if (bytes == 4) {
                uint32_t v = a << alphaShift | r << redShift | g << greenShift | b << blueShift;
                std::memcpy(out + j * 4, &v, 4);
            }
        }
    }
    surface.unlock();
}

int TextureStore::releaseTexture(int slot) {
    assert(slot >= 0 && slot < kTextureSlots);
    if (slot < 0 || slot >= kTextureSlots) return -1;
    TextureSlot& s = slots[slot];
    if (s.state == 0) return 0;
    if (--s.refCount > 0) return s.refCount;
    unbind();
    s.surface.reset();
    s.state = 0;
    s.fileName[0] = 0;
    s.folder[0] = 0;
    s.index = -1;
    s.refCount = 0;
    s.size = render::Rect{};
    return 0;
}

void TextureStore::releaseAllTextureSurfaces() {
    unbind();
    for (int i = 0; i < kTextureSlots; ++i) releaseSlotSurface(i);
}

void TextureStore::reloadAllTextures() {
    char folder[kTextureFolderLength];
    std::memcpy(folder, textureFolder, sizeof folder);
    for (int i = 0; i < kTextureSlots; ++i) {
        TextureSlot& s = slots[i];
        if (s.state != 1) continue;
        int count = s.refCount;
        char name[kTextureNameLength];
        std::memcpy(name, s.fileName, sizeof name);
        setTextureFolder(s.folder);
        // A file gone since its first load leaves the slot loaded without a
        // surface: it draws untextured and its users still release it.
        loadTextureSlot(i, name);
        s.refCount = count;
    }
    std::memcpy(textureFolder, folder, sizeof folder);
}

void TextureStore::bindTexture(int slot) {
    const render::Surface* surface = slot >= 0 && slot < kTextureSlots ? slots[slot].surface.get() : nullptr;
    if (!target) {
        currentTexture = -1;
        return;
    }
    if (surface) {
        if (slot == currentTexture) return;
        if (currentTexture >= 0) target->setTexture(0, nullptr);
        target->setTexture(0, surface);
        currentTexture = slot;
        return;
    }
    if (currentTexture != -1) target->setTexture(0, nullptr);
    currentTexture = -1;
}

void TextureStore::unbind() {
    if (currentTexture >= 0) {
        if (target) target->setTexture(0, nullptr);
        currentTexture = -1;
    }
}

}  // namespace graphics
