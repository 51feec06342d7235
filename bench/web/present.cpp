// present.cpp -- what one present costs in the browser: the changed part of the picture onto the canvas.
//
// Runs on a page of its own (build-web/bench-site/) and prints its figures
// on the console; bench/web/measure.py opens it in headless Chromium. Two
// frames are timed, each sent both ways the backend can send it: a frame
// where only the crosshair moved (its pixel and the filler writes' pixel at
// the top-left corner) and a frame where the whole picture changed (a new
// sky). Each present is timed from the C++ call to putImageData's return.
#include "platform/platform.h"
#include "platform/core/picture.h"
#include "platform/web/web_page.h"

#include <emscripten.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kPresents = 1000;

void paint_sky(int shade)
{
    for (int y = 0; y < 600; ++y)
        plat_draw_line(0.0f, float(y), 800.0f, float(y), rgb(0, shade & 63, y * 127 / 600));
}

// The mean of `kPresents` presents after `change(i)`, in microseconds, and
// the 90th percentile. The page's clock is coarsened to 0.1 ms with jitter,
// so a mean over hundreds of presents is the figure to read; the median of
// such short times is mostly 0 or 100.
template <typename Change>
void time_presents(const char* name, PutMode mode, Change change)
{
    std::vector<double> us;
    for (int i = 0; i < kPresents; ++i) {
        change(i);
        const double t0 = emscripten_get_now();
        web_present(mode);
        us.push_back((emscripten_get_now() - t0) * 1000.0);
        if (i % 50 == 49)
            emscripten_sleep(1); // let the browser draw, as the game does between frames
    }
    double sum = 0;
    for (double t : us)
        sum += t;
    std::sort(us.begin(), us.end());
    std::printf("present %s %s: mean %.1f us, 90%% %.1f us\n", name,
                mode == PutMode::OnePutPerPresent ? "one-put" : "put-per-rect", sum / double(us.size()),
                us[us.size() * 9 / 10]);
}

} // namespace

int main()
{
    plat_open_window();
    paint_sky(0);
    web_present(PutMode::PutPerRect);
    for (int round = 0; round < 5; ++round) {
        for (PutMode mode : {PutMode::OnePutPerPresent, PutMode::PutPerRect}) {
            time_presents("crosshair", mode, [](int i) {
                // The crosshair leaves its last place and shows at the next.
                const int old_x = 100 + ((i + 599) * 37) % 600, old_y = 100 + ((i + 399) * 7) % 400;
                const int x = 100 + (i * 37) % 600, y = 100 + (i * 7) % 400;
                plat_set_pixel(old_x, old_y, rgb(0, 0, old_y * 127 / 600));
                plat_set_pixel(x, y, rgb(255, i & 255, 0));
                plat_set_pixel(0, 0, rgb(0, 0, 0));
            });
            time_presents("full", mode, [](int i) { paint_sky(i); });
        }
    }
    std::printf("present benchmark done\n");
}
