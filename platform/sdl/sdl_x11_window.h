// sdl_x11_window.h -- what the game's X11 window needs beyond SDL: black where nothing is drawn yet, and fullscreen with no window manager.
//
// When the window grows (a resize, a maximise, fullscreen), the X server
// shows the new part at once, before the game has repainted: with SDL's
// default the old screen contents would show there for a frame; with a
// black background the bars are right from the start.
//
// Fullscreen is asked of the window manager the way the desktop standard
// says: a message to it. On a bare X server (a kiosk, a test under Xvfb) nobody
// answers it, and SDL then waits for that answer at every hide and show;
// there fullscreen is the game's own: the window moved and sized to cover
// its display, and put back after.
#pragma once

#include <X11/Xlib.h>

struct SDL_Window;

// The X11 display and window behind `window`; false on another window
// system. Called by each piece of the backend that talks to X directly.
bool x11_window(SDL_Window* window, Display*& display, Window& xwindow);

// Gives `window` a black background where its visual's pixels are colours
// (not indices into a colour map). Called once by plat_open_window; on a
// window system other than X11 it does nothing.
void x11_black_background(SDL_Window* window);

// True when `window` is an X11 window on a display where no window manager
// of the desktop standard runs.
bool x11_without_window_manager(SDL_Window* window);

// Makes `window` cover its whole display and raises it. Called by
// sdl_backend.cpp for fullscreen where no window manager runs.
void x11_cover_display(SDL_Window* window);

// Where a window manager runs, fullscreen is its state of the window
// (_NET_WM_STATE), whoever set it: the player's F11 or the manager's own
// menu or keys. SDL keeps a flag of what it last asked for, which the
// manager's own changes leave stale; so the game reads the state afresh and
// asks the manager directly, which also restores the place, size and
// maximised state the window had. x11_wm_fullscreen: whether the window is
// fullscreen now; x11_wm_set_fullscreen: asks for it on or off.
bool x11_wm_fullscreen(SDL_Window* window);
void x11_wm_set_fullscreen(SDL_Window* window, bool on);
