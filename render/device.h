// render/device.h
#pragma once
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

#include "render/adapter.h"
#include "render/matrix.h"
#include "render/surface.h"
#include "render/vertex.h"

namespace render {

struct RasterState;
struct AdapterState;
class FrameQueue;

constexpr int kMaxRasterThreads = 8;

// The pixel loops: Best, the widest groups of pixels the processor can
// draw at once; Fourfold, groups of four (what every x86-64 processor
// runs); Reference, one pixel at a time.
enum class PixelLoops : uint8_t { Best, Fourfold, Reference };

// Render states and their values follow the Direct3D 7 numbering, so a
// caller can set them in the order and with the values it would give that
// interface. Values the device does not implement are refused.
enum class RenderState : uint8_t {
    ZEnable,           // 0 / 1
    ZWriteEnable,      // 0 / 1
    ZFunc,             // Compare::LessEqual only
    AlphaTestEnable,   // 0 / 1
    AlphaFunc,         // Compare::Greater or Compare::Always
    AlphaRef,          // 0-255
    AlphaBlendEnable,  // 0 / 1
    SrcBlend,          // Blend
    DestBlend,         // Blend
    CullMode,          // Cull
    Lighting,          // 0 only: vertices arrive lit
    ShadeMode,         // Shade
    Antialias,         // 0 only
    FogEnable,         // 0 only
    FogColor,          // any ARGB; kept
    FogVertexMode,     // Fog; kept
    FogStart,          // float bits (floatBits); kept
    FogEnd,            // float bits; kept
    Count,
};

enum class Compare : uint32_t { Never = 1, Less, Equal, LessEqual, Greater, NotEqual, GreaterEqual, Always };
enum class Blend : uint32_t { Zero = 1, One, SrcColor, InvSrcColor, SrcAlpha, InvSrcAlpha };
enum class Cull : uint32_t { None = 1, CW, CCW };
enum class Shade : uint32_t { Flat = 1, Gouraud };
enum class Fog : uint32_t { None = 0, Exp, Exp2, Linear };

// Texture stage states of stage 0.
enum class StageState : uint8_t { ColorOp, ColorArg1, ColorArg2, AlphaOp, AlphaArg1, AlphaArg2,
                                  Address, MagFilter, MinFilter, MipFilter, Count };
enum class TextureOp : uint32_t { Disable = 1, SelectArg1, SelectArg2, Modulate };
// Current is the diffuse colour at stage 0.
enum class TextureArg : uint32_t { Diffuse = 0, Current = 1, Texture = 2 };
enum class TextureAddress : uint32_t { Wrap = 1, Clamp = 3 };
// Magnification and minification: Point only; mip filter: None only.
enum class TextureFilter : uint32_t { None = 1, Point = 1 };

enum class Transform : uint8_t { World, View, Projection };
enum class Primitive : uint8_t { TriangleList, TriangleFan };

constexpr uint32_t kClearTarget = 1;
constexpr uint32_t kClearZBuffer = 2;

inline uint32_t floatBits(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// Pixel rectangle of the target that clip space maps onto, and its depth
// range. Pixel centres lie on integer coordinates.
struct Viewport {
    int x = 0, y = 0, width = 0, height = 0;
    float minZ = 0.0f, maxZ = 1.0f;
};

// Triangle counts since the last resetStats, for tests and profiling.
struct DrawStats {
    int trianglesIn = 0;
    int culled = 0;     // back faces and zero-area triangles
    int rejected = 0;   // wholly outside the view volume
    int clipped = 0;    // crossed a clip plane
    int rasterised = 0; // triangles reaching scan conversion
};

// Draws triangles into a render target with an optional Z16 buffer.
//
// Pipeline: pre-lit vertices are transformed by world x view x projection,
// rejected when wholly outside one clip plane, clipped against the near and
// far planes (and against a guard band far outside the viewport), projected
// through the viewport, culled by winding on screen and scan-converted with
// the top-left fill rule. Depth (z/w) and colour are interpolated linearly on
// screen, texture coordinates perspective-correctly. Per pixel: Z test
// (less-or-equal), texture stage 0, alpha test, Z write, blend.
//
// A device belongs to one thread; it allocates nothing while drawing. It
// may draw with helper threads of its own (setRasterThreads).
class Device {
public:
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    ~Device();

    DeviceClass deviceClass() const { return cls; }

    // False, with the state unchanged, for values the device does not do.
    bool setRenderState(RenderState state, uint32_t value);
    template <class E>
        requires std::is_enum_v<E>
    bool setRenderState(RenderState state, E value) {
        return setRenderState(state, static_cast<uint32_t>(value));
    }
    uint32_t renderState(RenderState state) const { return states[static_cast<int>(state)]; }

    // Stage 0 only. Operations: Disable, SelectArg1, SelectArg2, Modulate;
    // arguments: Texture, Diffuse, Current.
    bool setStageState(int stage, StageState state, uint32_t value);
    template <class E>
        requires std::is_enum_v<E>
    bool setStageState(int stage, StageState state, E value) {
        return setStageState(stage, state, static_cast<uint32_t>(value));
    }
    uint32_t stageState(StageState state) const { return stageStates[static_cast<int>(state)]; }

    // Stage 0 only; null unbinds. The texture must be a texture surface and
    // must outlive its binding. False for other surfaces or stages.
    bool setTexture(int stage, const Surface* texture);
    const Surface* texture() const { return boundTexture; }

    void setTransform(Transform which, const Matrix& matrix);
    const Matrix& transform(Transform which) const { return transforms[static_cast<int>(which)]; }

    // False when the rectangle is empty or leaves the target, or the depth
    // range is outside 0-1.
    bool setViewport(const Viewport& viewport);
    const Viewport& viewport() const { return view; }

    // Fills the viewport of the target with `argb` and/or the depth buffer
    // with `z`. False when a surface is lost or a requested buffer is absent.
    bool clear(uint32_t flags, uint32_t argb, float z);

    // Scene brackets: drawing is refused outside them.
    bool beginScene();
    bool endScene();

    // Draws a triangle list (count a multiple of 3; extra vertices are
    // ignored) or fan (count >= 3). False outside a scene, when the target
    // or depth buffer is lost or locked, or the texture is lost or locked.
    bool drawPrimitive(Primitive type, const LVertex* vertices, int count);
    bool drawPrimitive(Primitive type, const TLVertex* vertices, int count);

    const DrawStats& stats() const { return drawStats; }
    void resetStats() { drawStats = {}; }

    // Which pixel loops draw (Best by default). All give the same images;
    // tests compare them.
    void usePixelLoops(PixelLoops loops) { pixelLoops = loops; }

    // Threads that scan-convert, 1 to kMaxRasterThreads. With 1 (the
    // default) each call draws before it returns. With more, calls set their
    // triangles up and queue them, and that many threads (the caller's and
    // helpers started here, asleep while nothing is queued) draw them at
    // endScene, at clear, when the queue is full and before any operation on
    // any surface of the adapter; the pixels are byte for byte those of one
    // thread. False, with the count unchanged, outside 1-kMaxRasterThreads
    // or when the helper threads cannot start.
    bool setRasterThreads(int threads);
    int rasterThreads() const;

private:
    friend class Adapter;
    friend class Surface;
    Device(DeviceClass deviceClass, Surface& target, Surface* depth);
    bool prepareDraw(RasterState& raster, bool perspective);
    // Draws what is queued; the adapter's surfaces call it before use.
    void drawQueued();

    uint32_t states[static_cast<int>(RenderState::Count)] = {};
    uint32_t stageStates[static_cast<int>(StageState::Count)] = {};
    Matrix transforms[3];
    Matrix combined;
    Viewport view;
    DrawStats drawStats;
    Surface& target;
    Surface* depth;
    const Surface* boundTexture = nullptr;
    uint32_t diffuseForce = 0;  // OR-ed into vertex colours the stage ignores
    DeviceClass cls;
    bool flatShade = false;
    bool combinedDirty = true;
    bool inScene = false;
    PixelLoops pixelLoops = PixelLoops::Best;
    std::unique_ptr<FrameQueue> queue;  // null: one thread
    // Kept by the device itself: its destructor may run after the target's.
    std::shared_ptr<AdapterState> adapterState;
    uint32_t drawSerial = 0;
};

}  // namespace render
