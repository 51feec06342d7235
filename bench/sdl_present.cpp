// sdl_present.cpp -- what one present of the real window costs, under a real or virtual X server.
//
// A frame of the game changes a few hundred pixels (crosshair, missile heads,
// trails) and plat_show_picture at the frame's end sends them to the screen.
// These benchmarks time that present for a typical frame, a busy frame and a
// full repaint, and the clock read of the game's wait loop, with the window at
// 1x, 2x and 3x and fullscreen (the second argument: 1, 2, 3, 0); run them
// on a screen of 3840 x 2160 (tests/x11/frame_rate.sh does). Without a
// display they print why and run nothing.
//
// The renderer_* cases time the other way a fitted picture could be shown
// sharp: SDL's renderer, the picture enlarged by the whole factor into a
// streaming texture and drawn to the fitted size with linear filtering, in a
// fullscreen window of its own. A renderer redraws the whole window at each
// present, so a frame costs as much as a full repaint; the game's present
// copies only what changed (platform/core/scale.cpp), and is the one it keeps.
#include "platform/core/picture.h"
#include "platform/platform.h"
#include "platform/core/scale.h"

#include "bench/sdl_display.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

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

// The whole picture changed (a new level's sky): the worst case. Every
// pixel takes a new shade, since a fitted present copies only the pixels
// that differ from what it showed; the drawing is timed with the present.
void present_full_frame(benchmark::State& state)
{
    if (!at_scale(state, 0))
        return;
    int shade = 0;
    for (auto _ : state) {
        for (int y = 0; y < 600; ++y)
            plat_draw_line(0.0f, float(y), 800.0f, float(y), rgb(shade & 255, 0, y * 127 / 600));
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

// SDL's renderer in a fullscreen window of its own, showing the picture as
// the game's fitted present does; `changed` game pixels a frame are sent to
// the texture (0: the whole picture).
void renderer_linear(benchmark::State& state)
{
    SDL_Rect bounds{};
    SDL_GetDisplayBounds(0, &bounds);
    const ScaleLayout l = scale_layout_for(bounds.w, bounds.h);
    const int k = std::max(1, scale_sharp_factor(l));
    SDL_Window* window = SDL_CreateWindow("renderer", 0, 0, bounds.w, bounds.h, SDL_WINDOW_SHOWN | SDL_WINDOW_BORDERLESS);
    SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, 0) : nullptr;
    SDL_Texture* texture = renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                                        kClientWidth * k, kClientHeight * k)
                                    : nullptr;
    if (texture == nullptr || SDL_SetTextureScaleMode(texture, SDL_ScaleModeLinear) != 0) {
        state.SkipWithError(SDL_GetError());
        return;
    }
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(renderer, &info);
    state.SetLabel(std::string(info.name) + ", x" + std::to_string(k));
    const int changed = int(state.range(0));
    const uint32_t* pixels = picture_pixels();
    std::mt19937 random(12345);
    const SDL_Rect to{l.x, l.y, l.w, l.h};
    for (auto _ : state) {
        int x0 = 0, y0 = 0, w = kClientWidth, h = kClientHeight;
        if (changed > 0) {
            // The box around this frame's changed dots, as one texture update.
            uint32_t r = random();
            x0 = int(r % 700);
            y0 = int((r >> 10) % 500);
            w = std::min(kClientWidth - x0, 100);
            h = std::min(kClientHeight - y0, std::max(1, changed / 100));
        }
        void* out = nullptr;
        int pitch = 0;
        const SDL_Rect box{x0 * k, y0 * k, w * k, h * k};
        SDL_LockTexture(texture, &box, &out, &pitch);
        for (int y = 0; y < h * k; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(out) + size_t(y) * size_t(pitch));
            const uint32_t* src = pixels + size_t(y0 + y / k) * kClientWidth + x0;
            for (int x = 0; x < w * k; ++x)
                row[x] = src[x / k];
        }
        SDL_UnlockTexture(texture);
        SDL_RenderCopy(renderer, texture, nullptr, &to);
        SDL_RenderPresent(renderer);
    }
    SDL_DestroyTexture(texture);
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
}

} // namespace

BENCHMARK(present_scattered)->ArgNames({"pixels", "scale"})->ArgsProduct({{50, 300, 800, 1000}, {1, 2, 3, 0}})->Unit(benchmark::kMicrosecond);
BENCHMARK(present_crosshair)->ArgName("scale")->Arg(1)->Arg(2)->Arg(3)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(present_full_frame)->ArgName("scale")->Arg(1)->Arg(2)->Arg(3)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(clock_read_idle)->ArgName("scale")->Arg(1)->Arg(3)->Unit(benchmark::kNanosecond);
BENCHMARK(renderer_linear)->ArgName("changed")->Arg(0)->Arg(800)->Arg(1)->Unit(benchmark::kMicrosecond);

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
