// sdl_icon.h -- the window's icon.
#pragma once

struct SDL_Window;

// Gives `window` the game's icon, drawn in memory (no file is read). Called
// once by plat_open_window, right after the window is made. A failure leaves
// the window without an icon and reports nothing.
void sdl_set_window_icon(SDL_Window* window);
