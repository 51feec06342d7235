// sdl_x11_fullscreen.cpp -- sizes the window to its display itself when no window manager would.
#include "platform/sdl/sdl_x11_fullscreen.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>

namespace {

// True when a window manager of the desktop standard runs: it names its
// check window on the root window.
bool window_manager_runs(Display* display)
{
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None)
        return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* value = nullptr;
    const int status = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                                          &format, &count, &left, &value);
    if (value != nullptr)
        XFree(value);
    return status == Success && type == XA_WINDOW && count == 1;
}

} // namespace

void x11_cover_display_without_wm(SDL_Window* window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return;
    Display* display = info.info.x11.display;
    if (window_manager_runs(display))
        return;
    SDL_Rect bounds{};
    if (SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(window), &bounds) != 0)
        return;
    XMoveResizeWindow(display, info.info.x11.window, bounds.x, bounds.y, unsigned(bounds.w), unsigned(bounds.h));
    XRaiseWindow(display, info.info.x11.window);
    XFlush(display);
}
