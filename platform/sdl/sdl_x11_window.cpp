// sdl_x11_window.cpp -- the window's black background, and its size on a display with no window manager.
#include "platform/sdl/sdl_x11_window.h"

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

bool x11_window(SDL_Window* window, Display*& display, Window& xwindow)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return false;
    display = info.info.x11.display;
    xwindow = info.info.x11.window;
    return true;
}

void x11_black_background(SDL_Window* window)
{
    Display* display = nullptr;
    Window xwindow = 0;
    XWindowAttributes attributes;
    if (!x11_window(window, display, xwindow) || !XGetWindowAttributes(display, xwindow, &attributes))
        return;
    // Pixel 0 is black wherever the pixel holds the colour itself; in a
    // colour map it may be anything, and such windows keep SDL's default.
    if (attributes.visual->c_class != TrueColor && attributes.visual->c_class != DirectColor)
        return;
    XSetWindowBackground(display, xwindow, 0);
    XFlush(display);
}

bool x11_wm_fullscreen(SDL_Window* window)
{
    Display* display = nullptr;
    Window xwindow = 0;
    if (!x11_window(window, display, xwindow))
        return false;
    const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
    const Atom fullscreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* value = nullptr;
    bool on = false;
    if (XGetWindowProperty(display, xwindow, state, 0, 64, False, XA_ATOM, &type, &format, &count, &left, &value) ==
            Success &&
        type == XA_ATOM && format == 32) {
        const auto* atoms = reinterpret_cast<const Atom*>(value);
        for (unsigned long i = 0; i < count; ++i)
            on |= atoms[i] == fullscreen;
    }
    if (value != nullptr)
        XFree(value);
    return on;
}

void x11_wm_set_fullscreen(SDL_Window* window, bool on)
{
    Display* display = nullptr;
    Window xwindow = 0;
    if (!x11_window(window, display, xwindow))
        return;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = xwindow;
    e.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = on ? 1 : 0; // _NET_WM_STATE_ADD or _REMOVE
    e.xclient.data.l[1] = long(XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False));
    e.xclient.data.l[3] = 1; // from an application
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(display);
}

bool x11_without_window_manager(SDL_Window* window)
{
    Display* display = nullptr;
    Window xwindow = 0;
    return x11_window(window, display, xwindow) && !window_manager_runs(display);
}

void x11_cover_display(SDL_Window* window)
{
    Display* display = nullptr;
    Window xwindow = 0;
    if (!x11_window(window, display, xwindow))
        return;
    SDL_Rect bounds{};
    if (SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(window), &bounds) != 0)
        return;
    XMoveResizeWindow(display, xwindow, bounds.x, bounds.y, unsigned(bounds.w), unsigned(bounds.h));
    XRaiseWindow(display, xwindow);
    XFlush(display);
}
