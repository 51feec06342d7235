// sdl_backend.cpp -- platform.h on SDL2: the window's opening, fullscreen, events, pointer, clock and the end.
//
// The game draws into the shared picture (platform/core/picture.h). The rows that
// changed reach the window, enlarged to the window's size (sdl_present.cpp),
// when the game shows the picture at the end of each frame
// (plat_show_picture), and in full when the window is uncovered or resized.
#include "platform/platform.h"
#include "platform/core/backend.h"
#include "platform/core/events.h"
#include "platform/core/pad.h"
#include "platform/core/pause.h"
#include "platform/core/picture.h"
#include "platform/core/scale.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/sdl_gamepad.h"
#include "platform/sdl/sdl_icon.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/sdl/sdl_window_watch.h"
#include "platform/sdl/sdl_x11_present.h"
#include "platform/sdl/sdl_x11_window.h"

#include <SDL.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// One step of the system timer: 15.625 ms, exact in nanoseconds.
constexpr int64_t kTickPeriodNs = 1'000'000'000 / kTimerTicksPerSecond;

// Moved on by each pause's length, so the game's clock never counts a pause.
std::chrono::steady_clock::time_point program_start = std::chrono::steady_clock::now();

SDL_Window* window = nullptr;
bool audio_open = false;

// The window's place and size before it went fullscreen, to come back to.
bool have_windowed = false;
int windowed_x = 0, windowed_y = 0, windowed_w = 0, windowed_h = 0;

// Fullscreen of our own making, where no window manager runs.
bool own_fullscreen = false;

bool repaint_wanted = false;

// Whether the pointer counter wants the pointer shown, and what SDL was last told.
bool pointer_wanted = true;
bool pointer_for_pause = false;
int applied_cursor = SDL_ENABLE;

// Above the window's client area a title bar takes room; the whole factor
// the window opens at leaves this much of the display's height for it.
constexpr int kTitleBarRoom = 60;

// Ends the program when no real window can be had: one line on stderr,
// status 1. Called only from plat_open_window.
[[noreturn]] void fail_to_open(const std::string& reason)
{
    std::string line = reason.empty() ? std::string("unknown error") : reason;
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::fprintf(stderr, "pelmaric: cannot open a window: %s\n", line.c_str());
    SDL_Quit();
    std::exit(1);
}

// Shows or hides the pointer over the window as the display counter wants.
// Called whenever that changes and once the window exists.
void apply_cursor()
{
    int wanted = pointer_wanted || pointer_for_pause ? SDL_ENABLE : SDL_DISABLE;
    if (window == nullptr || window_watch_lost() || wanted == applied_cursor)
        return;
    SDL_ShowCursor(wanted);
    applied_cursor = wanted;
}

// Runs when the process ends, however it ends: the sound stops and SDL
// restores the display, unless the window was taken away, in which case
// SDL's teardown would destroy it a second time.
void shut_down()
{
    if (audio_open) {
        audio_open = false;
        sdl_audio_close();
    }
    if (window != nullptr && !window_watch_lost())
        x11_present_stop();
    if (window != nullptr && !window_watch_lost())
        SDL_Quit();
    window = nullptr;
}

// The whole factor the window opens at: the largest that fits the display's
// usable area with room for a title bar; at least 1.
int opening_factor()
{
    SDL_Rect usable{};
    if (SDL_GetDisplayUsableBounds(0, &usable) != 0)
        return 1;
    return std::max(1, std::min(usable.w / kClientWidth, (usable.h - kTitleBarRoom) / kClientHeight));
}

} // namespace

SDL_Window* sdl_window() { return window; }

void sdl_repaint() { repaint_wanted = true; }

void sdl_pixels_per_point(double& px, double& py)
{
    int ww = 0, wh = 0, pw = 0, ph = 0;
    SDL_GetWindowSize(window, &ww, &wh);
    SDL_GetWindowSizeInPixels(window, &pw, &ph);
    px = ww > 0 && pw > 0 ? double(pw) / ww : 1.0;
    py = wh > 0 && ph > 0 ? double(ph) / wh : 1.0;
}

// A window manager's own fullscreen is only a new size, shown by the same
// scaling. With none, fullscreen is ours alone (sdl_x11_window.h).
void sdl_toggle_fullscreen()
{
    if (own_fullscreen || x11_without_window_manager(window)) {
        if (own_fullscreen) {
            SDL_SetWindowSize(window, windowed_w, windowed_h);
            SDL_SetWindowPosition(window, windowed_x, windowed_y);
        } else {
            SDL_GetWindowPosition(window, &windowed_x, &windowed_y);
            SDL_GetWindowSize(window, &windowed_w, &windowed_h);
            x11_cover_display(window);
        }
        own_fullscreen = !own_fullscreen;
        sdl_present(true);
        return;
    }
    Display* display = nullptr;
    Window xwindow = 0;
    if (x11_window(window, display, xwindow)) {
        x11_wm_set_fullscreen(window, !x11_wm_fullscreen(window));
        return;
    }
    // Wayland: SDL's own fullscreen.
    if (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) {
        SDL_SetWindowFullscreen(window, 0);
        // Where a window manager does not put the window back by itself.
        if (have_windowed) {
            SDL_SetWindowSize(window, windowed_w, windowed_h);
            SDL_SetWindowPosition(window, windowed_x, windowed_y);
            have_windowed = false;
        }
    } else {
        SDL_GetWindowPosition(window, &windowed_x, &windowed_y);
        SDL_GetWindowSize(window, &windowed_w, &windowed_h);
        have_windowed = true;
        SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }
    sdl_present(true);
}

// Opens the window, its drawing buffer and then the audio; on failure ends
// the program with status 1 (see fail_to_open). A second call does nothing.
void plat_open_window()
{
    if (window != nullptr)
        return;
    // Only a real window will do. Left to itself SDL would fall back to its
    // invisible "offscreen" driver when there is no display, and asking the
    // Wayland library without a session makes it print a complaint of its
    // own; so SDL is offered only the window systems the environment names.
    // The environment variable SDL_VIDEODRIVER still takes precedence.
    const char* x_display = std::getenv("DISPLAY");
    const char* wayland_display = std::getenv("WAYLAND_DISPLAY");
    const bool has_x = x_display != nullptr && *x_display != '\0';
    const char* runtime_dir = std::getenv("XDG_RUNTIME_DIR");
    // A relative WAYLAND_DISPLAY names a socket in XDG_RUNTIME_DIR.
    const bool has_wayland = wayland_display != nullptr && *wayland_display != '\0' &&
                             (*wayland_display == '/' || (runtime_dir != nullptr && *runtime_dir != '\0'));
    const char* forced = std::getenv("SDL_VIDEODRIVER");
    if ((forced == nullptr || *forced == '\0') && !has_x && !has_wayland)
        fail_to_open("no display (DISPLAY is not set, nor a usable WAYLAND_DISPLAY)");
    SDL_SetHint(SDL_HINT_VIDEODRIVER, has_x && has_wayland ? "x11,wayland" : has_x ? "x11" : "wayland");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    // Switching to another window leaves a fullscreen game on screen.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::string reason = SDL_GetError();
        if (has_x)
            reason += std::string(" (DISPLAY=") + x_display + ")";
        if (has_wayland)
            reason += std::string(" (WAYLAND_DISPLAY=") + wayland_display + ")";
        fail_to_open(reason);
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    const std::string driver_name = driver ? driver : "";
    if (driver_name != "x11" && driver_name != "wayland")
        fail_to_open("no X11 or Wayland display (SDL offers only its \"" + driver_name + "\" video driver)");
    // On X11 the window surface is an XShm image the server copies into the
    // window, with no GL in the process. Wayland has no such path of its own,
    // so there SDL keeps its default, a texture behind the surface.
    if (driver_name == "x11")
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");

    // The picture stays 800 x 600 game pixels; the window is any size from
    // that up, and shows it enlarged.
    const int factor = opening_factor();
    window = SDL_CreateWindow("Pelmaric", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kClientWidth * factor,
                              kClientHeight * factor, SDL_WINDOW_SHOWN | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_RESIZABLE);
    if (window == nullptr)
        fail_to_open(SDL_GetError());
    SDL_SetWindowMinimumSize(window, kClientWidth, kClientHeight);
    // No larger than the present draws: beyond that the picture would not
    // grow, and SDL's own window buffer overflows its sizes.
    double px = 1, py = 1;
    sdl_pixels_per_point(px, py);
    SDL_SetWindowMaximumSize(window, int(kScaleMaxDrawable / px), int(kScaleMaxDrawable / py));
    sdl_set_window_icon(window);
    x11_black_background(window);
    // Typed text is never read; with text input on, an input method could
    // swallow the game's keys.
    SDL_StopTextInput();
    window_watch_start(window);

    // SDL's window surface knows the usual pixel formats; on a deep-colour or
    // colour-mapped screen the picture goes through Xlib instead.
    picture_resize(kClientWidth, kClientHeight);
    if (SDL_GetWindowSurface(window) == nullptr && !x11_present_start(window))
        fail_to_open(SDL_GetError());
    sdl_present(true);
    apply_cursor();
    gamepad_start();

    std::atexit(shut_down);
    sdl_audio_open();
    audio_open = true;
}

// Also the one place where the audio checks for the end of the music,
// and where a window destroyed from outside ends the game.
void plat_process_events()
{
    // Events after a pause's key wait for the pause, which keeps them from
    // the game.
    SDL_Event e;
    while (!pause_asked() && SDL_PollEvent(&e))
        sdl_translate(e);
    if (repaint_wanted) {
        repaint_wanted = false;
        sdl_present(true);
    }
    gamepad_read_sticks();
    if (pad_frame(SDL_GetTicks64()))
        sdl_warp_pointer_to_aim();
    sdl_audio_poll(); // starts the effects decoded since, posts music_done() at the piece's end
    // The window was destroyed from outside: the game ends as if closed.
    if (window_watch_lost())
        post_event(key_press(kKeyEsc));
}

// SDL's pointer switch has no counter; the shared one (platform/core/backend.cpp) says
// when to flip it.
void backend_show_pointer(bool shown)
{
    pointer_wanted = shown;
    apply_cursor();
}

void sdl_pointer_over_pause(bool paused)
{
    pointer_for_pause = paused;
    apply_cursor();
}

void sdl_clock_leave_out(int64_t ns) { program_start += std::chrono::nanoseconds(ns); }

// Sends the rows drawn since the last present to the window.
void plat_show_picture()
{
    if (picture_changed())
        sdl_present(false);
}

// The clock in whole 15.625 ms steps counted from program start.
uint32_t plat_tick_count()
{
    const auto elapsed = std::chrono::steady_clock::now() - program_start;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
    return timer_steps_to_ms(uint64_t(ns) / uint64_t(kTickPeriodNs));
}

// The folder of /proc/self/exe, worked out once.
const char* plat_program_folder()
{
    static const std::string folder = [] {
        std::vector<char> path(4096);
        ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
        if (n <= 0)
            return std::string(".");
        std::string exe(path.data(), size_t(n));
        std::string::size_type slash = exe.rfind('/');
        if (slash == std::string::npos)
            return std::string(".");
        return slash == 0 ? std::string("/") : exe.substr(0, slash);
    }();
    return folder.c_str();
}

// Closes the audio and SDL, then exits with status 0.
void plat_end_program()
{
    shut_down();
    std::exit(0);
}
