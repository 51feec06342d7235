// sdl_x11_fullscreen.h -- desktop fullscreen on an X server that has no window manager.
//
// SDL asks for fullscreen the way the desktop standard says: a message to the
// window manager. On a bare X server (a kiosk, a test under Xvfb) nobody
// answers it, and the window would keep its size; there the window is moved
// and sized to cover its display directly.
#pragma once

struct SDL_Window;

// Makes `window` cover its whole display when no window manager runs; with
// one, does nothing (it does the job). Called by the video half right after
// asking SDL for desktop fullscreen.
void x11_cover_display_without_wm(SDL_Window* window);
