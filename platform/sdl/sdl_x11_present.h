// sdl_x11_present.h -- shows the picture through Xlib on screens SDL has no window surface for.
//
// SDL's window surface knows the common X visuals (depth 15, 16, 24, 32) and
// refuses others with "Unknown window pixel format": a deep-colour screen at
// depth 30, or an 8-bit screen with a colour map. There the backend sends
// the changed rectangles of the picture itself, converted to the window's
// visual pixel by pixel.
#pragma once

#include "platform/core/picture.h"

struct SDL_Window;

// Readies the path for `window` when SDL gives it no surface. True when it
// can show the picture (an X11 window whose visual is true colour, direct
// colour or a colour map); false leaves the caller to fail. Called once by
// plat_open_window.
bool x11_present_start(SDL_Window* window);

// True once x11_present_start has succeeded.
bool x11_present_active();

// True when there is an image to send the picture through.
bool x11_present_ready();

// Makes the image as large as the window's drawable (dw x dh pixels). Called
// by sdl_present.cpp whenever that size changes; false when it cannot.
bool x11_present_resize(int dw, int dh);

// Converts and sends the rectangles of the picture to the window, enlarged
// as platform/core/scale.h lays it out; with `bars`, also the black around it.
void x11_present(const PictureRect* rects, int count, bool bars);

// Sends a whole drawable-sized picture of 0x00RRGGBB words, `w` x `h`, to
// the window, converted: the pause screen, which is no part of the picture.
void x11_present_whole(const uint32_t* pixels, int w, int h);

// Frees the image and colours. Called when the program ends, unless the
// window was taken away (then the connection is not touched again).
void x11_present_stop();
