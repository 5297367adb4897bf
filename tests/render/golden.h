// tests/render/golden.h: golden-image comparison and shared scene helpers.
#pragma once
#include <memory>
#include <string>

#include "render/adapter.h"
#include "render/device.h"
#include "render/surface.h"

namespace render_test {

// Compares the surface pixel for pixel with tests/data/render/<name>.png.
// With TESSERAE_UPDATE_GOLDEN=1 in the environment the file is rewritten
// instead (review the new images before committing them). On a mismatch
// the actual image is written beside the test binary under golden-actual/.
::testing::AssertionResult matchesGolden(const render::Surface& surface, const std::string& name);

// A back buffer with a Z16 buffer and a device (TnLHal) drawing with
// `threads` threads, inside a scene.
struct Scene {
    render::Adapter adapter;
    std::unique_ptr<render::Surface> target;
    std::unique_ptr<render::Surface> depth;
    std::unique_ptr<render::Device> device;

    explicit Scene(int width, int height, render::PixelFormat format = render::PixelFormat::X8R8G8B8,
                   int threads = 1);
};

// A texture of the given format filled from ARGB values (width x height).
std::unique_ptr<render::Surface> makeTexture(render::Adapter& adapter, int width, int height,
                                             render::PixelFormat format, const uint32_t* argb);

// Checkerboard of two ARGB colours, cells of one texel.
std::unique_ptr<render::Surface> makeChecker(render::Adapter& adapter, int size, uint32_t a, uint32_t b);

}  // namespace render_test
