// icon_art.h -- the game's icon, drawn at any size: a night skyline under a burst.
#pragma once

#include <cstdint>

// Draws the icon, `size` x `size` pixels, into `rgba` (row-major, 4 bytes a
// pixel: red, green, blue, straight alpha). The window's icon (platform/sdl/
// sdl_icon.cpp, at start-up) and the installed PNGs (tools/assets/make_icons.cpp, at
// build time) both come from here, so they are the same picture;
// packaging/pelmaric.svg is the same design by hand.
void draw_icon(int size, uint8_t* rgba);
