// sdl_display.h -- whether the SDL benchmarks can have a real window here.
#pragma once

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
