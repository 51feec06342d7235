// sdl_display.h -- whether the SDL benchmarks can have a real window here, and the window's scale for them.
#pragma once

#include "platform/platform.h"
#include "shell/handlers.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

// Whether plat_open_window would get a real window here; it ends the process
// with status 1 otherwise, which a benchmark run should not.
inline bool display_available()
{
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0'))
        return false;
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11,wayland");
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    const bool real = driver != nullptr && (std::strcmp(driver, "x11") == 0 || std::strcmp(driver, "wayland") == 0);
    SDL_Quit();
    return real;
}

// The window sizes the SDL benchmarks run at: a whole factor (1, 2, 3) of
// 800 x 600, or 0 for desktop fullscreen, as a player gets with F11.
inline const char* scale_name(int64_t scale) { return scale == 0 ? "fullscreen" : scale == 1 ? "1x" : scale == 2 ? "2x" : "3x"; }

// Brings the open game window to `scale` (see above) the way a player
// would: F11 for fullscreen, a resize otherwise; then lets the game handle
// the window's events until its drawable has the new size. False when it
// does not within 10 s (the screen is too small, say).
inline bool set_window_scale(int64_t scale)
{
    SDL_Window* window = nullptr;
    for (Uint32 id = 1; id < 100 && window == nullptr; ++id)
        window = SDL_GetWindowFromID(id);
    if (window == nullptr)
        return false;
    // Fullscreen is the display's size: with no window manager (Xvfb) the
    // game covers the display itself, and SDL's flag stays off.
    SDL_Rect bounds{};
    SDL_GetDisplayBounds(0, &bounds);
    int now_w = 0, now_h = 0;
    SDL_GetWindowSize(window, &now_w, &now_h);
    const bool fullscreen = now_w == bounds.w && now_h == bounds.h;
    if (fullscreen != (scale == 0)) {
        SDL_Event f11{};
        f11.type = SDL_KEYDOWN;
        f11.key.windowID = SDL_GetWindowID(window);
        f11.key.state = SDL_PRESSED;
        f11.key.keysym.sym = SDLK_F11;
        f11.key.keysym.scancode = SDL_SCANCODE_F11;
        SDL_PushEvent(&f11);
    }
    int want_w = 0, want_h = 0;
    if (scale == 0) {
        want_w = bounds.w;
        want_h = bounds.h;
    } else {
        want_w = kClientWidth * int(scale);
        want_h = kClientHeight * int(scale);
    }
    const Uint64 start = SDL_GetTicks64();
    bool resized = false;
    while (SDL_GetTicks64() - start < 10000) {
        plat_process_events();
        dispatch_events();
        plat_show_picture();
        int w = 0, h = 0;
        SDL_GetWindowSize(window, &w, &h);
        if (scale != 0 && !resized && !(w == bounds.w && h == bounds.h)) {
            SDL_SetWindowSize(window, want_w, want_h);
            resized = true;
        }
        SDL_GetWindowSizeInPixels(window, &w, &h);
        if (w == want_w && h == want_h) {
            // One more round so that the game adopts the new surface.
            SDL_Delay(50);
            plat_process_events();
            dispatch_events();
            plat_show_picture();
            return true;
        }
        SDL_Delay(10);
    }
    return false;
}
