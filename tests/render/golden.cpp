// tests/render/golden.cpp
#include <gtest/gtest.h>

#include "golden.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "render/png_writer.h"

namespace render_test {

using namespace render;

namespace {

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

::testing::AssertionResult matchesGolden(const Surface& surface, const std::string& name) {
    std::string path = std::string(TESSERAE_GOLDEN_DIR) + "/" + name + ".png";
    std::vector<uint8_t> encoded;
    if (!encodePng(surface, encoded)) return ::testing::AssertionFailure() << "cannot encode " << name;
    const char* update = std::getenv("TESSERAE_UPDATE_GOLDEN");
    if (update && std::strcmp(update, "1") == 0) {
        if (!writeFile(path, encoded)) return ::testing::AssertionFailure() << "cannot write " << path;
        return ::testing::AssertionSuccess();
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return ::testing::AssertionFailure() << "cannot read " << path
                                             << " (TESSERAE_UPDATE_GOLDEN=1 creates it)";
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> expected(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, expected.data(), 0, nullptr)) {
        return ::testing::AssertionFailure() << "cannot decode " << path;
    }
    if (static_cast<int>(image.width) != surface.width() || static_cast<int>(image.height) != surface.height()) {
        return ::testing::AssertionFailure() << name << ": size " << image.width << "x" << image.height
                                             << " expected " << surface.width() << "x" << surface.height();
    }
    int mismatches = 0, firstX = -1, firstY = -1;
    for (int y = 0; y < surface.height(); ++y) {
        for (int x = 0; x < surface.width(); ++x) {
            uint32_t argb = surface.pixelArgb(x, y);
            const uint8_t* e = &expected[(static_cast<size_t>(y) * image.width + x) * 3];
            if (e[0] != (argb >> 16 & 0xFF) || e[1] != (argb >> 8 & 0xFF) || e[2] != (argb & 0xFF)) {
                if (mismatches++ == 0) {
                    firstX = x;
                    firstY = y;
                }
            }
        }
    }
    if (mismatches == 0) return ::testing::AssertionSuccess();
    std::filesystem::create_directories(TESSERAE_GOLDEN_OUT);
    std::string actual = std::string(TESSERAE_GOLDEN_OUT) + "/" + name + ".png";
    writeFile(actual, encoded);
    return ::testing::AssertionFailure() << name << ": " << mismatches << " pixels differ, first at (" << firstX
                                         << ", " << firstY << "); actual image in " << actual;
}

Scene::Scene(int width, int height, PixelFormat format, int threads) {
    target = adapter.createSurface(SurfaceKind::BackBuffer, width, height, format);
    depth = adapter.createSurface(SurfaceKind::DepthBuffer, width, height, PixelFormat::Z16);
    device = adapter.createDevice(DeviceClass::TnLHal, *target, depth.get());
    EXPECT_TRUE(device->setRasterThreads(threads));
    device->setRenderState(RenderState::Lighting, 0u);
    device->clear(kClearTarget | kClearZBuffer, 0, 1.0f);
    device->beginScene();
}

std::unique_ptr<Surface> makeTexture(Adapter& adapter, int width, int height, PixelFormat format,
                                     const uint32_t* argb) {
    auto tex = adapter.createSurface(SurfaceKind::Texture, width, height, format);
    LockedRect lr;
    if (!tex || !tex->lock(lr)) return nullptr;
    int bytes = bytesPerPixel(format);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t raw = packPixel(format, argb[y * width + x]);
            std::memcpy(lr.bits + y * lr.pitch + x * bytes, &raw, static_cast<size_t>(bytes));
        }
    }
    tex->unlock();
    return tex;
}

std::unique_ptr<Surface> makeChecker(Adapter& adapter, int size, uint32_t a, uint32_t b) {
    std::vector<uint32_t> texels(static_cast<size_t>(size) * size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) texels[y * size + x] = ((x ^ y) & 1) ? b : a;
    return makeTexture(adapter, size, size, PixelFormat::A8R8G8B8, texels.data());
}

}  // namespace render_test
