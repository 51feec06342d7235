// particles.cpp -- the cost of one frame's particle pass and compaction with a full particle table, and of a new cell map.
#include "bench/particle_scenario.h"
#include "scene/visibility.h"

#include <benchmark/benchmark.h>

namespace {

// One frame's particle work on a full table over the real skyline of a game
// started from seed 1, under the sky palette given as the argument (the
// palettes cost differently to repaint behind a dot), with the dots spread
// evenly (second argument 0) or crowded onto the skyline (1).
void BM_ParticlePassAndCompaction(benchmark::State& state)
{
    const bool crowd_skyline = state.range(1) != 0;
    std::mt19937 gen(12345);
    const double visible_share = start_particle_scene(gen, int(state.range(0)), crowd_skyline);

    int64_t died = 0;
    for (auto _ : state) {
        particle_pass();
        particle_compaction();

        state.PauseTiming();
        died += kLive - particle_count;
        refill(gen, crowd_skyline);
        state.ResumeTiming();
    }

    state.SetItemsProcessed(state.iterations() * kLive);
    // Seconds per particle (CPU time), shown with its SI prefix, e.g. "50ns".
    state.counters["per_particle"] = benchmark::Counter(
        kLive, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["died_per_frame"] = benchmark::Counter(double(died), benchmark::Counter::kAvgIterations);
    state.counters["visible_share"] = visible_share;
}

// The cell map made anew for the skyline of a game started from seed 1, as
// after a wave start's new skyline or a resize: what one frame pays then.
void BM_DotCellsRebuild(benchmark::State& state)
{
    std::mt19937 gen(12345);
    start_particle_scene(gen, 0, false);
    for (auto _ : state) {
        dot_cells_forget();
        benchmark::DoNotOptimize(dot_visible(400.5f, 300.5f));
    }
}

} // namespace

BENCHMARK(BM_DotCellsRebuild)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParticlePassAndCompaction)
    ->ArgNames({"sky", "crowded"})
    ->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
