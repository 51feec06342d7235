// worst_frame.cpp -- the cost of the heaviest frame the tables allow, each frame timed, the mean and the worst.
//
// A launch flood reaches it by real play: a hundred launches a frame aimed a
// few pixels from the left launch point, so every interceptor bursts in the
// frame it is launched. Each frame then runs 100 interceptors, fills the
// particle table to 10,000 and keeps 100 blast zones open, while wave 1
// falls through them onto the skyline.
#include "platform/memory/memory_platform.h"
#include "bench/game_moment.h"
#include "bench/launch_flood.h"
#include "shell/game_state.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

namespace {

// This thread's processor time in seconds. On a shared machine the wall
// clock also counts the time others held the processor; this does not.
double thread_seconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Frames a stretch runs from the saved moment before it is put back.
constexpr int kStretch = 64;

// A game from seed 1 flooded until wave 1's launch interval has come down to
// the argument, then run frame by frame from that moment. At 73 all 25
// buildings still stand under a few missiles; at 16, the wave's last launch,
// the sky holds the most missiles and fewer buildings are left.
void BM_WorstFrame(benchmark::State& state)
{
    using clock = std::chrono::steady_clock;
    GameSnapshot moment;
    reach_flooded_moment(int(state.range(0)), moment);

    put_back(moment);

    double worst = 0, cpu_total = 0, cpu_worst = 0;
    // Every frame's wall time, for the slowest one in a thousand: on a shared
    // machine the single worst frame is often one another program slowed.
    std::vector<double> walls;
    walls.reserve(1 << 16);
    double missiles_seen = 0, particles_seen = 0, blasts_seen = 0, buildings_seen = 0;
    long in_stretch = 0;
    for (auto _ : state) {
        flood();
        const auto start = clock::now();
        const double cpu_start = thread_seconds();
        run_frame();
        const double cpu = thread_seconds() - cpu_start;
        const double seconds = std::chrono::duration<double>(clock::now() - start).count();
        state.SetIterationTime(seconds);
        worst = std::max(worst, seconds);
        if (walls.size() < walls.capacity())
            walls.push_back(seconds);
        cpu_total += cpu;
        cpu_worst = std::max(cpu_worst, cpu);

        missiles_seen += missile_count;
        particles_seen += particle_count;
        blasts_seen += blast_count;
        buildings_seen += building_count;
        if (++in_stretch == kStretch) {
            put_back(moment);
            in_stretch = 0;
        }
    }

    using benchmark::Counter;
    // The time column is the wall clock's mean frame; worst_us its worst.
    state.counters["worst_us"] = worst * 1e6;
    state.counters["cpu_mean_us"] = Counter(cpu_total * 1e6, Counter::kAvgIterations);
    state.counters["cpu_worst_us"] = cpu_worst * 1e6;
    if (!walls.empty()) {
        auto at = walls.begin() + long(double(walls.size() - 1) * 0.999);
        std::nth_element(walls.begin(), at, walls.end());
        state.counters["p999_us"] = *at * 1e6;
    }
    // Counts as the frame ends: the particle pass itself ran over the full
    // 10,000 before the compaction took the dead ones out.
    state.counters["missiles"] = Counter(missiles_seen, Counter::kAvgIterations);
    state.counters["particles"] = Counter(particles_seen, Counter::kAvgIterations);
    state.counters["blasts"] = Counter(blasts_seen, Counter::kAvgIterations);
    state.counters["buildings"] = Counter(buildings_seen, Counter::kAvgIterations);
}

} // namespace

BENCHMARK(BM_WorstFrame)->ArgName("interval")->Arg(73)->Arg(16)->UseManualTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
