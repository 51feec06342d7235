// particles_plain.cpp -- the particle pass of particles.cpp timed with a plain clock, native or in WebAssembly.
//
// Google Benchmark does not build for the browser's machine, so this times
// the same scene (particle_scenario.h) in a loop of its own; built natively
// it gives the figure to set beside the WebAssembly one from the same machine.
//
//     build/bench_particles_plain [FRAMES [REPETITIONS]]
//     node --no-experimental-fetch build-web/bench_particles_plain.js [FRAMES [REPETITIONS]]
//
// Prints, for each sky and placement, the median time of one pass and
// compaction over 10,000 dots across the repetitions, the fastest and
// slowest repetition, and the median of every single pass timed. A busy
// machine takes the processor away now and then in the middle of a
// repetition, which every repetition's mean then carries; the median pass
// passes those over, so it is the figure that holds still on a loaded machine.
#include "bench/particle_scenario.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// One pass and compaction, a call of its own: WebAssembly engines swap in a
// function's optimised code at its next call, never inside a running loop,
// so a pass inlined into main would be timed in the baseline code for ever
// (the page's frames are calls too). noinline alone does not keep it out:
// emcc's wasm-opt inlines every function called from one place, whatever
// the compiler was told, and the whole pass ended up in main. Called
// through a pointer it cannot see through, it stays a function of its own.
[[gnu::noinline]] void one_pass()
{
    particle_pass();
    particle_compaction();
}
void (*volatile timed_pass)() = one_pass;

} // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::atoi(argv[1]) : 300;
    const int repetitions = argc > 2 ? std::atoi(argv[2]) : 5;
    if (frames < 1 || repetitions < 1) {
        std::fprintf(stderr, "usage: %s [FRAMES [REPETITIONS]]\n", argv[0]);
        return 2;
    }
    std::printf("%-18s %12s %12s %12s %12s\n", "sky/crowded", "median us", "min us", "max us", "pass med us");
    std::vector<double> all, all_passes;
    for (int crowded = 0; crowded <= 1; ++crowded) {
        for (int sky = 0; sky <= 4; ++sky) {
            std::vector<double> per_frame_us, passes_us;
            passes_us.reserve(size_t(frames) * size_t(repetitions));
            for (int rep = 0; rep < repetitions; ++rep) {
                std::mt19937 gen(12345);
                start_particle_scene(gen, sky, crowded != 0);
                std::chrono::steady_clock::duration spent{};
                for (int f = 0; f < frames; ++f) {
                    const auto t0 = std::chrono::steady_clock::now();
                    timed_pass();
                    const auto took = std::chrono::steady_clock::now() - t0;
                    spent += took;
                    passes_us.push_back(std::chrono::duration<double, std::micro>(took).count());
                    refill(gen, crowded != 0);
                }
                per_frame_us.push_back(std::chrono::duration<double, std::micro>(spent).count() / frames);
            }
            std::sort(per_frame_us.begin(), per_frame_us.end());
            const double median = per_frame_us[per_frame_us.size() / 2];
            all.push_back(median);
            std::nth_element(passes_us.begin(), passes_us.begin() + passes_us.size() / 2, passes_us.end());
            const double pass_median = passes_us[passes_us.size() / 2];
            all_passes.push_back(pass_median);
            std::printf("sky:%d/crowded:%d     %12.1f %12.1f %12.1f %12.1f\n", sky, crowded, median,
                        per_frame_us.front(), per_frame_us.back(), pass_median);
        }
    }
    std::sort(all.begin(), all.end());
    std::printf("median of the ten cases: %.1f us per pass (%.1f ns per particle)\n", all[all.size() / 2],
                all[all.size() / 2] * 1000.0 / kLive);
    std::sort(all_passes.begin(), all_passes.end());
    std::printf("median of the ten cases' median passes: %.1f us per pass\n", all_passes[all_passes.size() / 2]);
    return 0;
}
