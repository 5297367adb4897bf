// graphics/g_d3d.h
#pragma once
#include <cstdint>
#include <memory>

#include "graphics/g_dd.h"
#include "graphics/lighting.h"
#include "graphics/texture_store.h"
#include "render/device.h"
#include "render/matrix.h"
#include "render/vertex.h"

namespace graphics {

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

// The display with its 3D device: device class fallback, Z buffer,
// viewport, fixed render states, the projection, mesh drawing with the
// fill-texture light pass. It owns the texture store its device draws
// from, rebuilt from the files after a lost display.
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
    // texture of `light` the vertices are lit from its point light and
    // multiplied into the frame.
    void drawMesh(int textureIndex, MeshView& mesh, const render::Matrix* world, const Lighting& light);

    // Frame brackets of the main loop: Z clear and scene begin, scene end.
    bool beginScene();
    void endScene();

    TextureStore& textures() { return store; }
    const TextureStore& textures() const { return store; }

    render::Device* device() { return d3dDevice.get(); }
    render::Surface* zBufferSurface() { return zBuffer.get(); }
    const char* deviceName() const { return deviceNameText; }
    bool isSoftwareDevice() const { return softwareDevice != 0; }
    render::PixelFormat textureFormat() const { return textureFmt; }
    render::PixelFormat paletteTextureFormat() const { return paletteTextureFmt; }
    render::TLVertex* quadVertices() { return quad; }

    // Threads the device draws with (1 to render::kMaxRasterThreads), now
    // and for every device made later; the frames are the same at any
    // count. False, unchanged, outside that range.
    bool setRasterThreads(int threads);

    // Device state the application frame and the script host set.
    uint8_t alphaBlending = 1;
    float fogStart = 20.0f;
    float fogEnd = 40.0f;

private:
    bool failDevice(const char* text);
    bool chooseTextureFormats();
    void applyRenderStates();
    void lightVertices(MeshView& mesh, const render::Matrix* world, const Lighting& light);

    std::unique_ptr<render::Device> d3dDevice;
    std::unique_ptr<render::Surface> zBuffer;
    render::Viewport viewport;
    char deviceNameText[256] = "NoDevice...";
    uint8_t softwareDevice = 0;
    int rasterThreads = 1;
    render::PixelFormat zBufferFormat = render::PixelFormat::Unknown;
    render::PixelFormat textureFmt = render::PixelFormat::Unknown;
    render::PixelFormat paletteTextureFmt = render::PixelFormat::Unknown;
    render::TLVertex quad[4];
    TextureStore store{displayAdapter};
};

}  // namespace graphics
