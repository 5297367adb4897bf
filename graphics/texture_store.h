// graphics/texture_store.h
#pragma once
#include <cstdint>
#include <memory>

#include "graphics/bitmap.h"
#include "render/adapter.h"
#include "render/device.h"
#include "render/surface.h"

namespace graphics {

constexpr int kTextureSlots = 50;
constexpr int kTextureNameLength = 260;
constexpr int kTextureFolderLength = 257;  // 256 characters and a terminator
// The largest texture every device class reports, per side.
constexpr int kMaxTextureSize = 4096;
// All texture surfaces of the store together: a few bytes of image header
// must not be able to claim gigabytes.
constexpr size_t kTextureMemoryBudget = size_t(256) << 20;

// One texture-store slot. The name is compared byte for byte.
struct TextureSlot {
    int state = 0;  // 0 free, 1 loaded
    int index = -1;
    char fileName[kTextureNameLength] = {};
    char folder[kTextureNameLength] = {};
    render::Rect size;
    int refCount = 0;
    std::unique_ptr<render::Surface> surface;  // null while released or not loadable
};

// Image files become textures shared by file name: every mesh, board and 2D
// image naming the same file draws from one surface. 50 slots, reference
// counted; a slot keeps its name and count while its surface is released
// (a lost display) and its surface comes back from the file on reload.
//
// The store needs only what makes surfaces: an adapter and the texture
// formats the device offers. It binds textures on the device it is given
// (none: binding only forgets the current slot), so loaders can be tested
// with an adapter alone.
class TextureStore {
public:
    // Reads the palette pool "pal.pdt" of the current folder (grey ramp when
    // absent); 8-bit textures of 24-bit images take their colours from it.
    explicit TextureStore(render::Adapter& adapter);
    ~TextureStore();
    TextureStore(const TextureStore&) = delete;
    TextureStore& operator=(const TextureStore&) = delete;

    // The formats surfaces are made in. A software device with a palettised
    // format (not Unknown) makes 8-bit textures.
    void setFormats(render::PixelFormat colour, render::PixelFormat palettised, bool softwareDevice);
    render::PixelFormat textureFormat() const { return colourFormat; }
    render::PixelFormat paletteTextureFormat() const { return paletteFormat; }

    // The device textures are bound on; null while there is none.
    void setDevice(render::Device* device) { target = device; }

    // Called when the adapter refuses a texture surface: `invalidFormat`
    // when the format was Unknown. The display reports it in its box.
    using SurfaceFailure = void (*)(void* context, bool invalidFormat);
    void setSurfaceFailureHandler(SurfaceFailure handler, void* context) {
        onSurfaceFailure = handler;
        failureContext = context;
    }
    // A palettised load copies the palette it used here (256 ARGB entries);
    // null: nowhere.
    void setPaletteSink(uint32_t* entries) { paletteSink = entries; }

    // Slot of the loaded texture named `fileName` (its count raised), else
    // the lowest free slot loaded from the texture folder + fileName. -1 when
    // the image cannot be read, the name is too long or every slot is loaded.
    int findOrLoadTexture(const char* fileName);
    // Material form: an empty name succeeds without a texture; a loaded
    // slot matching both name and texture folder is shared. The slot goes
    // to `textureIndex`; false when it is -1.
    bool findOrLoadMaterialTexture(const char* textureName, int& textureIndex);
    // Loads `fileName` into `slot` (0-49), replacing its surface. -1 when
    // the image cannot be read, is wider or higher than kMaxTextureSize,
    // would take the store past its memory budget, or the surface cannot be
    // made.
    int loadTextureSlot(int slot, const char* fileName);
    // Remaining count; at 0 the slot is free and no texture stays bound.
    int releaseTexture(int slot);
    // Every surface goes; names and counts stay for reloadAllTextures.
    void releaseAllTextureSurfaces();
    // Every loaded slot is read again from its file and folder.
    void reloadAllTextures();
    // Binds the slot's texture to stage 0 (negative or empty: none).
    void bindTexture(int slot);
    // Unbinds whatever is bound.
    void unbind();

    // Folder prefixed to file names, with its trailing backslash. Folders
    // of 257 bytes and more are refused (the folder becomes empty).
    void setTextureFolder(const char* folder);
    const char* textureFolderName() const { return textureFolder; }
    const TextureSlot& textureSlot(int slot) const { return slots[slot]; }
    int boundTexture() const { return currentTexture; }

    // Bytes of every texture surface held; the budget they must stay in
    // (kTextureMemoryBudget unless a test sets another).
    size_t memoryInUse() const;
    void setMemoryBudget(size_t bytes) { memoryBudget = bytes; }

private:
    bool readPalettePool();
    void releaseSlotSurface(int slot);
    void convertImage(const G_BMP& image, const G_BMP* alpha, render::Surface& surface, bool palettised);

    render::Adapter& adapter;
    render::Device* target = nullptr;
    render::PixelFormat colourFormat = render::PixelFormat::Unknown;
    render::PixelFormat paletteFormat = render::PixelFormat::Unknown;
    bool softwareDevice = false;
    SurfaceFailure onSurfaceFailure = nullptr;
    void* failureContext = nullptr;
    uint32_t* paletteSink = nullptr;

    TextureSlot slots[kTextureSlots];
    char textureFolder[kTextureFolderLength] = "Tex\\";
    uint32_t palettePool[kPaletteEntries] = {};  // ARGB
    bool palettePoolLoaded = false;
    int currentTexture = -1;
    size_t memoryBudget = kTextureMemoryBudget;
    std::unique_ptr<G_BMP> image;
    std::unique_ptr<G_BMP> alphaImage;
};

}  // namespace graphics
