// sdl_frame_rate.cpp -- the real game's pace on the SDL window over 60 s: frame rate, worst gap, late frames.
//
// Starts the game exactly as the program does (window, sky, skyline, music)
// and runs its frames untouched for 60 s, noting when each one starts. The
// game paces itself on the clock at 64 frames per second (15.625 ms a
// frame), so a mean clearly below 64, or gaps between frame starts well
// over the tick, mean some frames took longer than theirs. It runs with the
// window at 1x, 2x, 3x and fullscreen (the second argument: 1, 2, 3, 0), on
// a screen of 3840 x 2160 (tests/x11/frame_rate.sh). Without a display it
// prints why and runs nothing.
#include "platform/platform.h"
#include "shell/game_loop.h"

#include "bench/sdl_display.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr double kLateMs = 20; // a gap past this is a frame the eye can miss

void game_frame_rate(benchmark::State& state)
{
    using clock = std::chrono::steady_clock;
    const auto length = std::chrono::seconds(state.range(0));
    // Room for every start at four times the game's pace, taken before the
    // clock runs so the frames allocate nothing.
    std::vector<clock::time_point> starts;
    starts.reserve(size_t(state.range(0)) * 64 * 4);
    start_up(20240601u);
    state.SetLabel(scale_name(state.range(1)));
    if (!set_window_scale(state.range(1))) {
        state.SkipWithError("the window cannot have this size on this screen");
        return;
    }
    for (auto _ : state) {
        starts.clear();
        const auto first = clock::now();
        const auto end = first + length;
        for (auto now = first; now < end && starts.size() < starts.capacity(); now = clock::now()) {
            starts.push_back(now);
            run_frame();
        }
        const auto last = clock::now();

        double worst_ms = 0;
        int64_t late = 0;
        for (size_t i = 1; i < starts.size(); ++i) {
            const double ms = std::chrono::duration<double, std::milli>(starts[i] - starts[i - 1]).count();
            worst_ms = std::max(worst_ms, ms);
            late += ms > kLateMs;
        }
        const double seconds = std::chrono::duration<double>(last - first).count();
        state.counters["frames"] = double(starts.size());
        state.counters["fps"] = double(starts.size()) / seconds;
        state.counters["worst_gap_ms"] = worst_ms;
        state.counters["gaps_over_20ms"] = double(late);
    }
}

} // namespace

BENCHMARK(game_frame_rate)
    ->ArgNames({"seconds", "scale"})
    ->ArgsProduct({{60}, {1, 2, 3, 0}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (!display_available()) {
        std::puts("sdl_frame_rate: no X11 or Wayland display; skipped (run it under tests/x11/with_xvfb.sh)");
        return 0;
    }
    // No sound card is needed to count frames.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    plat_end_program();
}
