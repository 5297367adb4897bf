// bench/render/render_bench.cpp: the worst frame the game's limits allow
// (bench_frame.h), at the scale and thread count the environment gives.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "bench_frame.h"

using namespace render;

namespace {

// RENDER_SCALE (1 to 4) and RENDER_THREADS (1 to 8), both 1 when unset;
// anything else ends the program with a message.
int setting(const char* name, int highest) {
    const char* text = std::getenv(name);
    if (!text || !*text) return 1;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 1 || value > highest) {
        std::fprintf(stderr, "render_bench: %s must be a whole number from 1 to %d, not \"%s\"\n", name, highest, text);
        std::exit(2);
    }
    return static_cast<int>(value);
}

void BM_WorstCaseFrame(benchmark::State& state) {
    static render_bench::BenchFrame frame(setting("RENDER_SCALE", render_bench::kMaxScale),
                                          setting("RENDER_THREADS", kMaxRasterThreads));
    for (auto _ : state) {
        frame.draw();
        benchmark::DoNotOptimize(frame.target().pixels());
    }
    frame.device().resetStats();
    frame.draw();
    const DrawStats& s = frame.device().stats();
    state.counters["triangles"] = s.trianglesIn;
    state.counters["rasterised"] = s.rasterised;
    state.counters["culled"] = s.culled;
    state.counters["rejected"] = s.rejected;
}
BENCHMARK(BM_WorstCaseFrame)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
