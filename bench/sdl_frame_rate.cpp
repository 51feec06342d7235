// sdl_frame_rate.cpp -- the real game's frame rate on the SDL window, counted over 10 s.
//
// Starts the game exactly as the program does (window, sky, skyline, music)
// and runs its frames untouched for 10 s; the game paces itself on the clock
// at 64 frames per second, so anything clearly below 64 means some frames
// take longer than their 15.625 ms tick. Without a display it prints why and
// runs nothing.
#include "platform/platform.h"
#include "shell/game_loop.h"

#include "bench/sdl_display.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void game_frame_rate(benchmark::State& state)
{
    using clock = std::chrono::steady_clock;
    start_up(20240601u);
    for (auto _ : state) {
        const auto start = clock::now();
        const auto end = start + std::chrono::seconds(10);
        int64_t frames = 0;
        while (clock::now() < end) {
            run_frame();
            ++frames;
        }
        const double seconds = std::chrono::duration<double>(clock::now() - start).count();
        state.counters["frames"] = double(frames);
        state.counters["fps"] = double(frames) / seconds;
    }
}

} // namespace

BENCHMARK(game_frame_rate)->Iterations(1)->Unit(benchmark::kSecond);

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
