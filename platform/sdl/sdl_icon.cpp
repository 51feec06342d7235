// sdl_icon.cpp -- the window's icon, drawn by the same code as the installed PNGs.
#include "platform/sdl/sdl_icon.h"

#include "platform/core/icon_art.h"

#include <SDL.h>

#include <vector>

void sdl_set_window_icon(SDL_Window* window)
{
    // One size is enough: window managers and docks scale it, and 64 pixels
    // keep the sparks of the burst apart.
    constexpr int kSize = 64;
    std::vector<uint8_t> pixels(size_t(kSize) * kSize * 4);
    draw_icon(kSize, pixels.data());
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), kSize, kSize, 32, kSize * 4, SDL_PIXELFORMAT_RGBA32);
    if (surface == nullptr)
        return;
    SDL_SetWindowIcon(window, surface);
    SDL_FreeSurface(surface);
}
