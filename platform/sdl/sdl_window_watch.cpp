// sdl_window_watch.cpp -- tells the backend when our X window is gone.
//
// Two signs reach us. The X server reports the destruction of the window as
// a DestroyNotify event, which SDL passes on as an SDL_SYSWMEVENT. Before
// that event is read, a present may already have hit the dead window; the
// server then answers with an error naming the window, which Xlib's default
// handler would turn into an exit with status 1. Our error handler takes a
// "no such window" error about our own window as the same sign and hands
// every other error to the handler that was there before (SDL's, then
// Xlib's). An unmap is not a sign: minimising the window unmaps it too.
#include "platform/sdl/sdl_window_watch.h"
#include "platform/sdl/sdl_x11_window.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdio>
#include <cstdlib>

namespace {

Display* watched_display = nullptr;
Window watched_window = 0;
bool lost = false;
XErrorHandler earlier_error_handler = nullptr;

// Xlib calls this for every protocol error, from inside whatever Xlib call
// read the error. It may not call Xlib itself.
int on_x_error(Display* display, XErrorEvent* error)
{
    const bool no_such_window = error->error_code == BadWindow || error->error_code == BadDrawable;
    if (display == watched_display && watched_window != 0 && no_such_window && error->resourceid == watched_window) {
        lost = true;
        return 0;
    }
    return earlier_error_handler ? earlier_error_handler(display, error) : 0;
}

// Xlib calls this when the connection to the X server breaks; Xlib ends the
// process if it returns. With the display gone the game is over, but not by
// the player's choice: a dead X server or a killed connection must not read
// as a quit to whatever started the game, so the status is 1. The exit
// handlers close the audio and leave the dead connection alone.
int on_x_connection_lost(Display*)
{
    lost = true;
    std::fputs("pelmaric: the connection to the display was lost\n", stderr);
    std::exit(1);
}

} // namespace

void window_watch_start(SDL_Window* window)
{
    if (!x11_window(window, watched_display, watched_window))
        return;
    // Errors from requests already sent must reach the handler that was in
    // force when they were made.
    XSync(watched_display, False);
    earlier_error_handler = XSetErrorHandler(on_x_error);
    XSetIOErrorHandler(on_x_connection_lost);
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

void window_watch_note(const SDL_SysWMmsg* msg)
{
    if (watched_window == 0 || msg == nullptr || msg->subsystem != SDL_SYSWM_X11)
        return;
    const XEvent& event = msg->msg.x11.event;
    if (event.type == DestroyNotify && event.xdestroywindow.window == watched_window)
        lost = true;
}

bool window_watch_lost() { return lost; }
