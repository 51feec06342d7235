// worst_frame_plain.cpp -- worst_frame.cpp's heaviest frame timed with a plain clock, native or in WebAssembly.
//
// The same launch flood as bench_worst_frame (100 launches a frame, 10,000
// particles, 100 blast zones, wave 1 falling), in a loop of its own so that
// it builds for Node too; built natively it gives the figure to set beside
// the WebAssembly one from the same machine.
//
//     build/bench_worst_frame_plain [FRAMES]
//     node --no-experimental-fetch build-web/bench_worst_frame_plain.js [FRAMES]
//
// Prints, for the launch interval 73 and 16, the mean frame, the median (which
// a busy machine disturbs least), the slowest in a thousand and the worst, in
// microseconds.
#include "bench/game_moment.h"
#include "bench/launch_flood.h"
#include "platform/memory/memory_platform.h"
#include "shell/game_state.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kStretch = 64; // frames run from the saved moment before it is put back

// A frame, a call of its own: WebAssembly engines swap in a function's
// optimised code at its next call, never inside a running loop.
[[gnu::noinline]] void one_frame()
{
    run_frame();
}

void time_frames(int interval, int frames)
{
    GameSnapshot moment;
    reach_flooded_moment(interval, moment);
    put_back(moment);

    std::vector<double> us;
    us.reserve(size_t(frames));
    for (int f = 0; f < frames; ++f) {
        flood();
        const auto t0 = std::chrono::steady_clock::now();
        one_frame();
        us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
        if ((f + 1) % kStretch == 0)
            put_back(moment);
    }
    double total = 0;
    for (double u : us)
        total += u;
    std::sort(us.begin(), us.end());
    std::printf("interval:%-3d %12.1f %12.1f %12.1f %12.1f\n", interval, total / frames, us[us.size() / 2],
                us[size_t(double(us.size() - 1) * 0.999)], us.back());
}

} // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::atoi(argv[1]) : 2000;
    if (frames < 1) {
        std::fprintf(stderr, "usage: %s [FRAMES]\n", argv[0]);
        return 2;
    }
    std::printf("%-12s %12s %12s %12s %12s\n", "frame", "mean us", "median us", "p999 us", "worst us");
    time_frames(73, frames);
    time_frames(16, frames);
    return 0;
}
