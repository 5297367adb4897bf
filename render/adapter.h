// render/adapter.h
#pragma once
#include <memory>

#include "render/pixel_format.h"
#include "render/surface.h"

namespace render {

class Device;

// Device classes in the order a caller tries them, fastest first. All
// classes draw alike; they differ in name and in the texture formats they
// offer (the software classes also offer P8).
enum class DeviceClass : uint8_t { TnLHal, Hal, Mmx, Rgb };
constexpr int kDeviceClasses = 4;

// "TnLHal", "Hal", "MMX", "HEL".
const char* deviceClassName(DeviceClass deviceClass);
bool isSoftwareClass(DeviceClass deviceClass);

// Stands for the display hardware: makes surfaces and devices, answers
// format queries, and lets tests inject the faults a display can have.
class Adapter {
public:
    Adapter();
    ~Adapter();
    Adapter(const Adapter&) = delete;
    Adapter& operator=(const Adapter&) = delete;

    // Full-screen mode switch: true for 16 and 32 bits per pixel at sizes
    // from 1 to kMaxSurfaceSize unless the matching display format is
    // refused. Nothing else changes.
    bool setDisplayMode(int width, int height, int bitDepth);

    // Null when the size is outside 1..kMaxSurfaceSize, the format does not
    // suit the kind (depth formats only for depth buffers and the reverse;
    // P8 only for textures and off-screen surfaces), the format is refused,
    // memory runs out or a creation failure is injected.
    std::unique_ptr<Surface> createSurface(SurfaceKind kind, int width, int height, PixelFormat format);

    // Formats offered to a device class, in order of preference; refused
    // formats are left out. Return the count written (at most `capacity`),
    // or -1 while failing queries are injected.
    int depthFormats(DeviceClass deviceClass, PixelFormat* out, int capacity) const;
    int textureFormats(DeviceClass deviceClass, PixelFormat* out, int capacity) const;

    // A device drawing into `target` (R5G6B5 or X8R8G8B8) with an optional
    // Z16 depth buffer of the same size. Null when the class is refused or
    // the surfaces do not fit. Both surfaces must outlive the device.
    std::unique_ptr<Device> createDevice(DeviceClass deviceClass, Surface& target, Surface* depth);

    // Fault injection.
    void refuseDeviceClass(DeviceClass deviceClass, bool refused = true);
    void refuseFormat(PixelFormat format, bool refused = true);
    // Every surface made so far becomes lost (a mode switch by another
    // program, a locked screen).
    void loseSurfaces();
    // The next `count` restores fail.
    void failRestores(int count);
    // The next `count` surface creations fail.
    void failSurfaceCreations(int count);
    // Format queries fail (return -1) until called again with false.
    void failFormatQueries(bool failing = true);

private:
    std::shared_ptr<AdapterState> state;
};

}  // namespace render
