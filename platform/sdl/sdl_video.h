// sdl_video.h -- what the SDL window's three files share: the window, its present and its input.
//
// sdl_video.cpp opens and closes the window and switches fullscreen;
// sdl_present.cpp shows the picture on it, enlarged (platform/scale.h);
// sdl_input.cpp turns SDL's events into the game's.
#pragma once

#include <SDL.h>

// The game window; null before plat_open_window and after the end.
SDL_Window* sdl_window();

// Drawable pixels per window point, horizontally and vertically: 1 except on
// HiDPI displays where the window system gives a larger drawable.
void sdl_pixels_per_point(double& px, double& py);

// Goes to desktop fullscreen (no mode change) or back to the window as it
// was. Called by sdl_translate for F11 and Alt+Enter.
void sdl_toggle_fullscreen();

// Sends what changed since the last present (or, with `everything`, the
// whole picture and the black bars around it) to the window, enlarged. Never
// touches a window that is gone. Called by plat_show_picture at the end of a
// frame, and with `everything` when the window opens, is uncovered, resized
// or switched to or from fullscreen.
void sdl_present(bool everything);

// Asks for the whole picture to be sent once the frame's events are read: a
// window uncovered a thousand times in a frame costs one repaint.
void sdl_repaint();

// Turns one SDL event into the game's window events and posts them. Called
// by plat_process_events for each queued SDL event.
void sdl_translate(const SDL_Event& e);

// Moves the pointer onto the crosshair a pad has moved, so that the mouse
// carries on from there; only while the pointer is over the window. Called
// by plat_process_events when the pads moved the crosshair.
void sdl_warp_pointer_to_aim();
