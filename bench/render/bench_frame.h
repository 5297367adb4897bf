// bench/render/bench_frame.h: the renderer benchmark's frame, shared with
// the tests that prove it draws the same at every thread count.
#pragma once
#include <memory>
#include <vector>

#include "render/adapter.h"
#include "render/device.h"

namespace render_bench {

constexpr int kMaxScale = 4;

// The worst frame the game's limits allow (see bench/README.md), drawn
// at `scale` times 640 x 480 (1 to kMaxScale; the scene and the 2D quads'
// logical positions stay the same) with `threads` drawing threads.
class BenchFrame {
public:
    BenchFrame(int scale, int threads);
    ~BenchFrame();

    void draw();
    render::Device& device();
    render::Surface& target();
    render::Surface& depth();

private:
    struct Parts;
    std::unique_ptr<Parts> parts;
};

}  // namespace render_bench
