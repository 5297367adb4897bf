// render/adapter.cpp
#include "render/adapter.h"

#include <new>

#include "render/device.h"
#include "render/render_local.h"

namespace render {

namespace {

constexpr const char* kClassNames[kDeviceClasses] = {"TnLHal", "Hal", "MMX", "HEL"};

constexpr PixelFormat kHardwareTextures[] = {PixelFormat::R5G6B5, PixelFormat::A4R4G4B4,
                                             PixelFormat::X8R8G8B8, PixelFormat::A8R8G8B8};
constexpr PixelFormat kSoftwareTextures[] = {PixelFormat::P8, PixelFormat::R5G6B5, PixelFormat::A4R4G4B4,
                                             PixelFormat::X8R8G8B8, PixelFormat::A8R8G8B8};
constexpr PixelFormat kDepthFormats[] = {PixelFormat::Z16};

bool isDisplayFormat(PixelFormat f) { return f == PixelFormat::R5G6B5 || f == PixelFormat::X8R8G8B8; }

template <size_t N>
int offer(const PixelFormat (&list)[N], const AdapterState& state, PixelFormat* out, int capacity) {
    int count = 0;
    for (PixelFormat f : list) {
        if (state.refusedFormats[static_cast<int>(f)] || count >= capacity) continue;
        out[count++] = f;
    }
    return count;
}

}  // namespace

const char* deviceClassName(DeviceClass deviceClass) { return kClassNames[static_cast<int>(deviceClass)]; }

bool isSoftwareClass(DeviceClass deviceClass) {
    return deviceClass == DeviceClass::Mmx || deviceClass == DeviceClass::Rgb;
}

Adapter::Adapter() : state(std::make_shared<AdapterState>()) {}

Adapter::~Adapter() = default;

bool Adapter::setDisplayMode(int width, int height, int bitDepth) {
    if (width < 1 || height < 1 || width > kMaxSurfaceSize || height > kMaxSurfaceSize) return false;
    PixelFormat f = bitDepth == 16 ? PixelFormat::R5G6B5 : bitDepth == 32 ? PixelFormat::X8R8G8B8 : PixelFormat::Unknown;
    return f != PixelFormat::Unknown && !state->refusedFormats[static_cast<int>(f)];
}

std::unique_ptr<Surface> Adapter::createSurface(SurfaceKind kind, int width, int height, PixelFormat format) {
    if (width < 1 || height < 1 || width > kMaxSurfaceSize || height > kMaxSurfaceSize) return nullptr;
    if (format == PixelFormat::Unknown || state->refusedFormats[static_cast<int>(format)]) return nullptr;
    bool isDepth = format == PixelFormat::Z16;
    if (isDepth != (kind == SurfaceKind::DepthBuffer)) return nullptr;
    if (format == PixelFormat::P8 && kind != SurfaceKind::Texture && kind != SurfaceKind::Offscreen) return nullptr;
    if ((kind == SurfaceKind::Primary || kind == SurfaceKind::BackBuffer) && !isDisplayFormat(format)) return nullptr;
    if (state->failingCreations > 0) {
        --state->failingCreations;
        return nullptr;
    }
    // Memory running out is a refused creation, like any other.
    try {
        return std::unique_ptr<Surface>(new Surface(state, kind, width, height, format));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

int Adapter::depthFormats(DeviceClass, PixelFormat* out, int capacity) const {
    if (state->failingQueries) return -1;
    return offer(kDepthFormats, *state, out, capacity);
}

int Adapter::textureFormats(DeviceClass deviceClass, PixelFormat* out, int capacity) const {
    if (state->failingQueries) return -1;
    return isSoftwareClass(deviceClass) ? offer(kSoftwareTextures, *state, out, capacity)
                                        : offer(kHardwareTextures, *state, out, capacity);
}

std::unique_ptr<Device> Adapter::createDevice(DeviceClass deviceClass, Surface& target, Surface* depth) {
    if (state->refusedClasses[static_cast<int>(deviceClass)]) return nullptr;
    if (!isDisplayFormat(target.format()) || target.kind() == SurfaceKind::Texture) return nullptr;
    if (depth && (depth->format() != PixelFormat::Z16 || depth->width() != target.width() ||
                  depth->height() != target.height())) {
        return nullptr;
    }
    return std::unique_ptr<Device>(new Device(deviceClass, target, depth));
}

void Adapter::refuseDeviceClass(DeviceClass deviceClass, bool refused) {
    state->refusedClasses[static_cast<int>(deviceClass)] = refused;
}

void Adapter::refuseFormat(PixelFormat format, bool refused) {
    state->refusedFormats[static_cast<int>(format)] = refused;
}

void Adapter::loseSurfaces() {
    if (state->queuedDevice) state->queuedDevice->drawQueued();
    ++state->lossEpoch;
}

void Adapter::failRestores(int count) { state->failingRestores = count; }

void Adapter::failSurfaceCreations(int count) { state->failingCreations = count; }

void Adapter::failFormatQueries(bool failing) { state->failingQueries = failing; }

}  // namespace render
