// graphics/g_d3d.h
#pragma once
#include <cstdint>
#include <memory>

#include "graphics/g_dd.h"
#include "render/device.h"
#include "render/matrix.h"
#include "render/vertex.h"

namespace graphics {

constexpr int kTextureSlots = 50;
constexpr int kTextureNameLength = 260;

// Results of the matrix builders, in the values of the old interface.
constexpr int32_t kResultOk = 0;
constexpr int32_t kResultInvalidArg = int32_t(0x80070057);

// A drawable triangle list: `vertexCount` pre-lit vertices and one normal
// per vertex. drawMesh rewrites the vertices' texture coordinates and
// colours in the fill-texture light pass.
struct MeshView {
    int vertexCount = 0;
    render::LVertex* vertices = nullptr;
    const render::Vec3* normals = nullptr;
};

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

// The display with its 3D device: device class fallback, Z buffer,
// viewport, fixed render states, the projection, mesh drawing with the
// fill-texture light pass, and the texture store (50 slots shared by file
// name, reference-counted, rebuilt from their files after a lost display).
class G_D3D : public G_DD {
public:
    G_D3D();
    ~G_D3D() override;

    // Device classes are tried "TnLHal", "Hal", "MMX", "HEL"; each failure
    // shows its message, clears ready and returns false.
    bool initDevice() override;
    void releaseDevice() override;
    // After a restore (-1) every texture is rebuilt from its file.
    int restoreSurfaces() override;

    void setViewport(int viewportWidth, int viewportHeight);
    // Blending SRCALPHA/INVSRCALPHA with the alpha test on, or both off
    // (ONE/ZERO), as alphaBlending says.
    void setAlphaMode();

    // kResultInvalidArg, leaving `out` unchanged, when |far - near| < 0.01
    // or |sin(fov / 2)| < 0.01.
    static int32_t setProjection(render::Matrix& out, float fov, float aspect, float nearZ, float farZ);
    // kResultInvalidArg, leaving `out` unchanged, when eye and target
    // coincide or no up vector is usable.
    static int32_t setLookAt(render::Matrix& out, render::Vec3 eye, render::Vec3 target, render::Vec3 up);
    static void multiplyMatrix(render::Matrix& out, const render::Matrix& a, const render::Matrix& b);

    // Draws the mesh with the texture of `textureIndex` (negative or empty:
    // untextured) and the world matrix (null: identity). With the fill
    // texture the vertices are lit from lightPosition and multiplied into
    // the frame.
    void drawMesh(int textureIndex, MeshView& mesh, const render::Matrix* world);

    // Frame brackets of the main loop: Z clear and scene begin, scene end.
    bool beginScene();
    void endScene();

    // ---- texture store ----

    // Slot of the loaded texture named `fileName` (its count raised), else
    // the lowest free slot loaded from textureFolder + fileName. -1 when the
    // image cannot be read, the name is too long or every slot is loaded.
    int findOrLoadTexture(const char* fileName);
    // Material form: an empty name succeeds without a texture; a loaded
    // slot matching both name and textureFolder is shared. The slot goes
    // to `textureIndex`; false when it is -1.
    bool findOrLoadMaterialTexture(const char* textureName, int& textureIndex);
    int loadTextureSlot(int slot, const char* fileName);
    // Remaining count; at 0 the slot is free and no texture stays bound.
    int releaseTexture(int slot);
    void releaseAllTextureSurfaces();
    void reloadAllTextures();
    // Binds the slot's texture to stage 0 (negative or empty: none).
    void bindTexture(int slot);

    void setTextureFolder(const char* folder);
    const char* textureFolderName() const { return textureFolder; }
    const TextureSlot& textureSlot(int slot) const { return slots[slot]; }
    int boundTexture() const { return currentTexture; }

    render::Device* device() { return d3dDevice.get(); }
    render::Surface* zBufferSurface() { return zBuffer.get(); }
    const char* deviceName() const { return deviceNameText; }
    bool isSoftwareDevice() const { return softwareDevice != 0; }
    render::PixelFormat textureFormat() const { return textureFmt; }
    render::PixelFormat paletteTextureFormat() const { return paletteTextureFmt; }
    render::TLVertex* quadVertices() { return quad; }

    // Public state the application frame, the script host and the scene
    // read and set, with their initial values.
    uint8_t alphaBlending = 1;
    float fogStart = 20.0f;
    float fogEnd = 40.0f;
    render::Vec3 lightPosition{0.0f, 1.0f, 0.0f};
    float lightRange = 10.0f;
    float lightIntensity = 0.75f;
    float lightAmbient = 0.25f;
    float lightColor[3] = {1.0f, 1.0f, 1.0f};
    render::Matrix lightMatrix = render::identityMatrix();
    float tintColor[4] = {1.0f, 1.0f, 1.0f, 1.0f};  // alpha, red, green, blue
    uint8_t tintTextured = 1;
    int fillTexture = -1;

private:
    bool failDevice(const char* text);
    bool chooseTextureFormats();
    void applyRenderStates();
    void releaseSlotSurface(int slot);
    void lightVertices(MeshView& mesh, const render::Matrix* world);
    bool readPalettePool();
    void convertImage(const G_BMP& image, const G_BMP* alpha, render::Surface& surface, bool palettised);

    std::unique_ptr<render::Device> d3dDevice;
    std::unique_ptr<render::Surface> zBuffer;
    render::Viewport viewport;
    char deviceNameText[256] = "NoDevice...";
    uint8_t softwareDevice = 0;
    render::PixelFormat zBufferFormat = render::PixelFormat::Unknown;
    render::PixelFormat textureFmt = render::PixelFormat::Unknown;
    render::PixelFormat paletteTextureFmt = render::PixelFormat::Unknown;
    render::TLVertex quad[4];

    TextureSlot slots[kTextureSlots];
    char textureFolder[kNameLength] = "Tex\\";
    uint32_t palettePool[kPaletteEntries] = {};  // ARGB
    bool palettePoolLoaded = false;
    int currentTexture = -1;
    std::unique_ptr<G_BMP> alphaBitmap;
};

}  // namespace graphics
