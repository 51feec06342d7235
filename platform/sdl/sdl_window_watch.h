// sdl_window_watch.h -- notices when the X server takes our window away.
//
// A window can vanish without a close request: another program may destroy
// it outright (XDestroyWindow), or the X server may go away. Drawing into it
// afterwards would make Xlib's default error handler end the process with a
// failure. The backend asks here whether the window is still ours before
// it touches it.
#pragma once

struct SDL_Window;
struct SDL_SysWMmsg;

// Starts watching `window`: installs Xlib error handlers and asks SDL to pass
// on raw window-system events. Called once by plat_open_window after the
// window exists. On a window system other than X11 it watches nothing.
void window_watch_start(SDL_Window* window);

// Looks at one raw window-system event (an SDL_SYSWMEVENT) and records the
// destruction of our window. Called by plat_process_events for each of them.
void window_watch_note(const SDL_SysWMmsg* msg);

// True once the window has been destroyed from outside (or the display
// connection is gone); from then on nothing may touch the window.
bool window_watch_lost();
