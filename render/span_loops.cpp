// render/span_loops.cpp: the baseline copy of the pixel loops, and the
// choice between the copies.
#define RENDER_LOOPS_NAMESPACE fourfold
#include "render/span_loops.h"

namespace render {

namespace {

#if defined(TESSERAE_EIGHTFOLD_LOOPS)
bool processorHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

}  // namespace

void selectLoops(RasterState& state, bool target565, ZMode z, TexMode tex, bool alphaTest, BlendMode blend,
                 PixelLoops loops) {
    constexpr int kShiftLimit = 1 << 16;
    if (tex == TexMode::Wrap && std::has_single_bit(static_cast<unsigned>(state.texWidth)) &&
        std::has_single_bit(static_cast<unsigned>(state.texHeight)) && state.texWidth <= kShiftLimit &&
        state.texHeight <= kShiftLimit) {
        const int kw = std::countr_zero(static_cast<unsigned>(state.texWidth));
        const int kh = std::countr_zero(static_cast<unsigned>(state.texHeight));
        state.texBiasU = static_cast<uint32_t>(kTexBias >> kw);
        state.texBiasV = static_cast<uint32_t>(kTexBias >> kh);
        state.texShiftU = 32 - kw;
        state.texShiftV = 32 - kh;
        state.texLog2Width = kw;
        tex = TexMode::WrapShift;
    }
    const bool reference = loops == PixelLoops::Reference;
    LoopSet set = fourfold::pickLoopSet(target565, z, tex, alphaTest, blend, reference);
    state.batch = rasteriseBatch;
#if defined(TESSERAE_EIGHTFOLD_LOOPS)
    if (loops == PixelLoops::Best && processorHasAvx2()) {
        set = eightfold::pickLoopSet(target565, z, tex, alphaTest, blend, false);
        state.batch = rasteriseBatchAvx2;
    }
#endif
    state.span = set.span;
    state.rows = set.rows;
    state.cells = set.cells;
}

}  // namespace render
