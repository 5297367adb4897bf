#include "graphics/g_d3d.h"

#include <bit>
#include <cmath>
#include <cstdio>

#include "graphics/camera.h"
#include "graphics/messages.h"
#include "render/pixel_format.h"

namespace graphics {

namespace {

constexpr uint32_t kFogColor = 0xFF4C9CCC;
constexpr int kMaxOfferedFormats = 16;

constexpr render::DeviceClass kDeviceOrder[render::kDeviceClasses] = {
    render::DeviceClass::TnLHal, render::DeviceClass::Hal, render::DeviceClass::Mmx, render::DeviceClass::Rgb};

// The first offered format of `bitCount` bits; above 8 bits each of the
// four channel masks must have bitCount / 4 bits (A4R4G4B4, A8R8G8B8).
render::PixelFormat matchTextureFormat(const render::PixelFormat* offered, int count, int bitCount) {
    for (int i = 0; i < count; ++i) {
        const render::PixelFormatDesc& d = render::describeFormat(offered[i]);
        if (d.depth || d.bitCount != bitCount) continue;
        if (bitCount != 8) {
            int quarter = bitCount / 4;
            if (std::popcount(d.redMask) != quarter || std::popcount(d.greenMask) != quarter ||
                std::popcount(d.blueMask) != quarter || std::popcount(d.alphaMask) != quarter) {
                continue;
            }
        }
        return offered[i];
    }
    return render::PixelFormat::Unknown;
}

// Normalised, or zero for a vector too short to have a direction.
render::Vec3 safeNormalize(render::Vec3 v) {
    float len = render::length(v);
    if (!(len > 1e-12f)) return {};
    return v * (1.0f / len);
}

}  // namespace

G_D3D::G_D3D() {
    for (render::TLVertex& v : quad) {
        v.sz = 0.0f;
        v.rhw = 1.0f;
    }
    store.setPaletteSink(paletteEntries);
    store.setSurfaceFailureHandler(
        [](void* context, bool invalidFormat) {
            G_D3D& self = *static_cast<G_D3D*>(context);
            self.lastResult = invalidFormat ? DisplayResult::InvalidPixelFormat : DisplayResult::Other;
            self.reportDirectDrawError();
        },
        this);
}

G_D3D::~G_D3D() {
    // The base destructor cannot reach this class's releaseDevice.
    releaseDisplay();
}

bool G_D3D::failDevice(const char* text) {
    showMessage(text, messages::kError);
    fail();
    d3dDevice.reset();
    zBuffer.reset();
    return false;
}

bool G_D3D::setRasterThreads(int threads) {
    if (threads < 1 || threads > render::kMaxRasterThreads) return false;
    rasterThreads = threads;
    if (d3dDevice) d3dDevice->setRasterThreads(threads);
    return true;
}

bool G_D3D::initDevice() {
    if (!backBuffer) return failDevice(messages::kNoDirect3D);

    render::DeviceClass chosen = render::DeviceClass::TnLHal;
    for (render::DeviceClass cls : kDeviceOrder) {
        d3dDevice = displayAdapter.createDevice(cls, *backBuffer, nullptr);
        if (d3dDevice) {
            chosen = cls;
            break;
        }
    }
    if (!d3dDevice) return failDevice(messages::kNoDeviceClass);
    std::snprintf(deviceNameText, sizeof deviceNameText, "%s", render::deviceClassName(chosen));
    softwareDevice = render::isSoftwareClass(chosen) ? 1 : 0;

    render::PixelFormat offered[kMaxOfferedFormats];
    zBufferFormat = displayAdapter.depthFormats(chosen, offered, kMaxOfferedFormats) > 0
                        ? offered[0]
                        : render::PixelFormat::Unknown;
    d3dDevice.reset();

    zBuffer = displayAdapter.createSurface(render::SurfaceKind::DepthBuffer, width, height, zBufferFormat);
    if (!zBuffer) {
        showMessage(messages::kZBufferFailed, messages::kError);
        lastResult = zBufferFormat == render::PixelFormat::Unknown ? DisplayResult::InvalidPixelFormat
                                                                   : DisplayResult::Other;
        reportDirectDrawError();
        fail();
        return false;
    }
    d3dDevice = displayAdapter.createDevice(chosen, *backBuffer, zBuffer.get());
    if (!d3dDevice) return failDevice(messages::kNoDeviceClass);

    setViewport(width, height);
    if (!d3dDevice->setViewport(viewport)) return failDevice(messages::kViewportFailed);
    // Without helper threads to be had the device draws on this one.
    d3dDevice->setRasterThreads(rasterThreads);

    if (!chooseTextureFormats()) return failDevice(messages::kTextureFormatsFailed);
    applyRenderStates();
    store.setFormats(textureFmt, paletteTextureFmt, softwareDevice != 0);
    store.setDevice(d3dDevice.get());
    store.reloadAllTextures();

    d3dDevice->setRenderState(render::RenderState::SrcBlend, render::Blend::One);
    d3dDevice->setRenderState(render::RenderState::DestBlend, render::Blend::Zero);
    d3dDevice->setRenderState(render::RenderState::FogColor, kFogColor);
    d3dDevice->setRenderState(render::RenderState::FogVertexMode, render::Fog::Linear);
    d3dDevice->setRenderState(render::RenderState::FogStart, render::floatBits(fogStart));
    d3dDevice->setRenderState(render::RenderState::FogEnd, render::floatBits(fogEnd));

    render::Matrix projection;
    setProjection(projection, kFieldOfView, kAspect, kNearPlane, kFarPlane);
    d3dDevice->setTransform(render::Transform::Projection, projection);
    return true;
}

bool G_D3D::chooseTextureFormats() {
    render::PixelFormat offered[kMaxOfferedFormats];
    int count = displayAdapter.textureFormats(d3dDevice->deviceClass(), offered, kMaxOfferedFormats);
    // A query without a match leaves the format as it was.
    render::PixelFormat palettised = matchTextureFormat(offered, count, 8);
    if (palettised != render::PixelFormat::Unknown) paletteTextureFmt = palettised;
    render::PixelFormat colour = matchTextureFormat(offered, count, bitDepth);
    if (colour != render::PixelFormat::Unknown) textureFmt = colour;
    return true;
}

void G_D3D::applyRenderStates() {
    using render::RenderState;
    using render::StageState;
    render::Device& d = *d3dDevice;
    d.setRenderState(RenderState::Lighting, 0u);
    d.setRenderState(RenderState::ZEnable, 1u);
    d.setRenderState(RenderState::Antialias, 0u);
    d.setRenderState(RenderState::ShadeMode, render::Shade::Gouraud);
    d.setStageState(0, StageState::Address, render::TextureAddress::Wrap);
    d.setStageState(0, StageState::ColorOp, render::TextureOp::Modulate);
    d.setStageState(0, StageState::ColorArg1, render::TextureArg::Texture);
    d.setStageState(0, StageState::ColorArg2, render::TextureArg::Current);
    d.setStageState(0, StageState::AlphaOp, render::TextureOp::Modulate);
    d.setStageState(0, StageState::AlphaArg1, render::TextureArg::Texture);
    d.setStageState(0, StageState::AlphaArg2, render::TextureArg::Current);
    d.setRenderState(RenderState::AlphaBlendEnable, 1u);
    d.setRenderState(RenderState::SrcBlend, render::Blend::SrcAlpha);
    d.setRenderState(RenderState::DestBlend, render::Blend::InvSrcAlpha);
    d.setRenderState(RenderState::AlphaFunc, render::Compare::Greater);
}

void G_D3D::releaseDevice() {
    store.unbind();
    store.releaseAllTextureSurfaces();
    store.setDevice(nullptr);
    d3dDevice.reset();
    zBuffer.reset();
}

int G_D3D::restoreSurfaces() {
    if (!ready) return -2;
    int result = G_DD::restoreSurfaces();
    if (result == -1) {
        if (zBuffer && !zBuffer->restore()) return 0;
        store.releaseAllTextureSurfaces();
        store.reloadAllTextures();
    }
    return result;
}

void G_D3D::setViewport(int viewportWidth, int viewportHeight) {
    viewport.x = 0;
    viewport.y = 0;
    viewport.width = viewportWidth;
    viewport.height = viewportHeight;
    if (d3dDevice) d3dDevice->setViewport(viewport);
}

void G_D3D::setAlphaMode() {
    if (!d3dDevice) return;
    using render::RenderState;
    bool on = alphaBlending == 1;
    d3dDevice->setRenderState(RenderState::AlphaBlendEnable, on ? 1u : 0u);
    d3dDevice->setRenderState(RenderState::AlphaTestEnable, on ? 1u : 0u);
    d3dDevice->setRenderState(RenderState::SrcBlend, on ? render::Blend::SrcAlpha : render::Blend::One);
    d3dDevice->setRenderState(RenderState::DestBlend, on ? render::Blend::InvSrcAlpha : render::Blend::Zero);
}

int32_t G_D3D::setProjection(render::Matrix& out, float fov, float aspect, float nearZ, float farZ) {
    return render::buildPerspective(out, fov, aspect, nearZ, farZ) ? kResultOk : kResultInvalidArg;
}

int32_t G_D3D::setLookAt(render::Matrix& out, render::Vec3 eye, render::Vec3 target, render::Vec3 up) {
    return render::buildLookAt(out, eye, target, up) ? kResultOk : kResultInvalidArg;
}

void G_D3D::multiplyMatrix(render::Matrix& out, const render::Matrix& a, const render::Matrix& b) {
    out = render::multiply(a, b);
}

bool G_D3D::beginScene() {
    if (!ready || !d3dDevice) return false;
    if (zBuffer) d3dDevice->clear(render::kClearZBuffer, 0, 1.0f);
    return d3dDevice->beginScene();
}

void G_D3D::endScene() {
    if (d3dDevice) d3dDevice->endScene();
}

void G_D3D::lightVertices(MeshView& mesh, const render::Matrix* world, const Lighting& light) {
    uint32_t colour = render::makeArgb(0xFF, render::componentToByte(light.color[0]),
                                       render::componentToByte(light.color[1]),
                                       render::componentToByte(light.color[2]));
    for (int i = 0; i < mesh.vertexCount; ++i) {
        render::LVertex& v = mesh.vertices[i];
        render::Vec3 position{v.x, v.y, v.z};
        if (world) position = render::transformPoint(position, *world);
        render::Vec3 d = light.position - position;
        float a = std::fmin(render::length(d) / light.range, 1.0f);
        float k = (1.0f - a) * light.intensity;
        render::Vec3 n = safeNormalize(light.throughMatrix(d));
        float s = mesh.normals ? render::dot(n, mesh.normals[i]) : 0.0f;
        if (!(s > 0.0f)) s = 0.0f;
        if (s > 1.0f) s = 1.0f;
        float value = std::fmin(k * s + light.ambient, 1.0f);
        v.tu = 0.5f;
        v.tv = 1.0f - value;
        v.diffuse = colour;
    }
}

void G_D3D::drawMesh(int textureIndex, MeshView& mesh, const render::Matrix* world, const Lighting& light) {
    if (!ready || !d3dDevice || !mesh.vertices || mesh.vertexCount <= 0) return;
    using render::RenderState;
    store.bindTexture(textureIndex);
    d3dDevice->setTransform(render::Transform::World, world ? *world : render::identityMatrix());
    // Only a real texture slot can be the fill texture: with the fill
    // texture missing (-1), untextured meshes are not light passes.
    if (textureIndex < 0 || textureIndex != light.fillTexture) {
        d3dDevice->drawPrimitive(render::Primitive::TriangleList, mesh.vertices, mesh.vertexCount);
        return;
    }
    lightVertices(mesh, world, light);
    d3dDevice->setRenderState(RenderState::SrcBlend, render::Blend::Zero);
    d3dDevice->setRenderState(RenderState::DestBlend, render::Blend::SrcColor);
    d3dDevice->setStageState(0, render::StageState::Address, render::TextureAddress::Clamp);
    d3dDevice->drawPrimitive(render::Primitive::TriangleList, mesh.vertices, mesh.vertexCount);
    d3dDevice->setStageState(0, render::StageState::Address, render::TextureAddress::Wrap);
    d3dDevice->setRenderState(RenderState::SrcBlend, render::Blend::SrcAlpha);
    d3dDevice->setRenderState(RenderState::DestBlend, render::Blend::InvSrcAlpha);
}

}  // namespace graphics
