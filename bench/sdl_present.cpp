// sdl_present.cpp -- what one present of the real window costs, under a real or virtual X server.
//
// A frame of the game changes a few hundred pixels (crosshair, missile heads,
// trails) and plat_show_picture at the frame's end sends them to the screen.
// These benchmarks time that present for a typical frame, a busy frame and a
// full repaint, and the clock read of the game's wait loop, with the window at
// 1x, 2x and 3x and fullscreen (the second argument: 1, 2, 3, 0); run them
// on a screen of 3840 x 2160 (tests/x11/frame_rate.sh does). Without a
// display they print why and run nothing.
#include "platform/platform.h"

#include "bench/sdl_display.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

// A sky to draw over, so that presents copy realistic pixels.
void paint_background()
{
    for (int y = 0; y < 600; ++y)
        plat_draw_line(0.0f, float(y), 800.0f, float(y), rgb(0, 0, y * 127 / 600));
    plat_show_picture();
}

// Brings the window to the benchmark's scale; false (and the benchmark
// skipped) when the screen cannot have it.
bool at_scale(benchmark::State& state, int arg)
{
    const int64_t scale = state.range(arg);
    state.SetLabel(scale_name(scale));
    if (set_window_scale(scale))
        return true;
    state.SkipWithError("the window cannot have this size on this screen");
    return false;
}

// `pixels` scattered pixels of random colour, then the present that sends them.
void present_scattered(benchmark::State& state)
{
    if (!at_scale(state, 1))
        return;
    paint_background();
    std::mt19937 random(12345);
    const int pixels = int(state.range(0));
    for (auto _ : state) {
        for (int i = 0; i < pixels; ++i) {
            uint32_t r = random();
            plat_set_pixel(int32_t(r % 800), int32_t((r >> 10) % 600), rgb(int32_t(r >> 24), 255, 0));
        }
        plat_show_picture();
    }
    state.SetItemsProcessed(state.iterations() * pixels);
}

// The crosshair of a moving aim: two short lines redrawn at a new place each frame.
void present_crosshair(benchmark::State& state)
{
    if (!at_scale(state, 0))
        return;
    paint_background();
    int step = 0;
    for (auto _ : state) {
        float x = float(100 + step % 600), y = float(100 + (step * 7) % 400);
        plat_draw_line(x - 8, y, x + 9, y, rgb(255, step & 255, 0));
        plat_draw_line(x, y - 8, x, y + 9, rgb(255, step & 255, 0));
        plat_show_picture();
        ++step;
    }
}

// The whole picture changed (a new level's sky): the worst case.
void present_full_frame(benchmark::State& state)
{
    if (!at_scale(state, 0))
        return;
    int shade = 0;
    for (auto _ : state) {
        plat_draw_line(0.0f, 0.0f, 800.0f, 0.0f, rgb(shade & 255, 0, 0));
        plat_clear();
        plat_show_picture();
        ++shade;
    }
}

// The wait loop's clock read, after the frame's present.
void clock_read_idle(benchmark::State& state)
{
    if (!at_scale(state, 0))
        return;
    paint_background();
    for (auto _ : state)
        benchmark::DoNotOptimize(plat_tick_count());
}

} // namespace

BENCHMARK(present_scattered)->ArgNames({"pixels", "scale"})->ArgsProduct({{50, 300, 800, 1000}, {1, 2, 3, 0}})->Unit(benchmark::kMicrosecond);
BENCHMARK(present_crosshair)->ArgName("scale")->Arg(1)->Arg(2)->Arg(3)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(present_full_frame)->ArgName("scale")->Arg(1)->Arg(2)->Arg(3)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(clock_read_idle)->ArgName("scale")->Arg(1)->Arg(3)->Unit(benchmark::kNanosecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (!display_available()) {
        std::puts("sdl_present: no X11 or Wayland display; skipped (run it under tests/x11/with_xvfb.sh)");
        return 0;
    }
    // No sound card is needed to time the picture.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    plat_open_window();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    plat_end_program();
}
