// sdl_video.cpp -- the game window on SDL2: showing the picture, events, pointer and clock.
//
// The game draws into the shared picture (platform/picture.h). Here the rows
// that changed reach the window, enlarged to the window's size
// (sdl_scale.h), when the game shows the picture at the end of each frame
// (plat_show_picture), and in full when the window is uncovered or resized.
// The window surface path (no GPU, no vsync) keeps one present well under a
// millisecond and keeps Mesa out of the process.
#include "platform/platform.h"
#include "platform/backend.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/sdl_gamepad.h"
#include "platform/sdl/sdl_icon.h"
#include "platform/sdl/sdl_scale.h"
#include "platform/sdl/sdl_window_watch.h"
#include "platform/sdl/sdl_x11_window.h"
#include "platform/sdl/sdl_x11_present.h"
#include "platform/events.h"
#include "platform/pad.h"
#include "platform/picture.h"

#include <SDL.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The picture's pixels, 0x00RRGGBB, in SDL's name. X servers at depth 24 and
// 32 give window surfaces of this very format, so a present is a plain copy.
constexpr uint32_t kPictureFormat = SDL_PIXELFORMAT_RGB888;

// One step of the system timer: 15.625 ms, exact in nanoseconds.
constexpr int64_t kTickPeriodNs = 1'000'000'000 / kTimerTicksPerSecond;

const std::chrono::steady_clock::time_point program_start = std::chrono::steady_clock::now();

SDL_Window* window = nullptr;
bool audio_open = false;

// The window surface the picture was last shown on, and its size. When its
// pixels are not the picture's own, the enlarged picture is put together in
// `staging` (as large as the surface, made when the surface is adopted) and
// converted from there.
SDL_Surface* shown_on = nullptr;
int shown_w = 0, shown_h = 0;
std::vector<uint32_t> staging;

// The window point the pointer was last warped to, after a pad moved the
// crosshair: the motion X reports for the warp is not the player's.
bool warped = false;
int warped_x = 0, warped_y = 0;

// The window's place and size before it went fullscreen, to come back to.
bool have_windowed = false;
int windowed_x = 0, windowed_y = 0, windowed_w = 0, windowed_h = 0;

// Whether the pointer counter wants the pointer shown, and what SDL was last told.
bool pointer_wanted = true;
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

// Drawable pixels per window point, horizontally and vertically. 1 except on
// HiDPI displays where the window system gives a larger drawable.
void pixels_per_point(double& px, double& py)
{
    int ww = 0, wh = 0, pw = 0, ph = 0;
    SDL_GetWindowSize(window, &ww, &wh);
    SDL_GetWindowSizeInPixels(window, &pw, &ph);
    px = ww > 0 && pw > 0 ? double(pw) / ww : 1.0;
    py = wh > 0 && ph > 0 ? double(ph) / wh : 1.0;
}

// Adopts a new window surface (first present, or the old one was replaced
// after a size change): lays the picture out on it; the caller repaints all.
void adopt_surface(SDL_Surface* surface)
{
    shown_on = surface;
    shown_w = surface->w;
    shown_h = surface->h;
    scale_set_drawable(surface->w, surface->h);
    if (surface->format->format != kPictureFormat)
        staging.assign(size_t(std::min(surface->w, kScaleMaxDrawable)) * size_t(std::min(surface->h, kScaleMaxDrawable)), 0);
}

// Paints the rectangle `to` of the window surface from the enlarged picture
// in `staging` (which has the picture's pixel format), converting.
void convert_from_staging(SDL_Surface* surface, const PictureRect& to)
{
    const int pitch = scale_drawable_w() * 4;
    const auto* from = reinterpret_cast<const uint8_t*>(staging.data()) + size_t(to.y) * size_t(pitch) + size_t(to.x) * 4;
    auto* dst = static_cast<uint8_t*>(surface->pixels) + size_t(to.y) * size_t(surface->pitch) +
                size_t(to.x) * surface->format->BytesPerPixel;
    SDL_ConvertPixels(to.w, to.h, kPictureFormat, from, pitch, surface->format->format, dst, surface->pitch);
}

// The unchanged game pixels worth sending along to save a copy call: the
// slack the picture's record is tuned for is in screen pixels, and each game
// pixel now covers several.
int merge_slack()
{
    const ScaleLayout& l = scale_layout();
    const double shown = double(l.w) * l.h, game = double(kClientWidth) * kClientHeight;
    return shown > game ? std::max(1, int(kPresentMergeSlack * game / shown)) : kPresentMergeSlack;
}

// Sends what changed since the last present (or, with `everything`, the
// whole picture and the black bars around it) to the screen, enlarged. Never
// touches a window that is gone.
void present(bool everything)
{
    if (window == nullptr || window_watch_lost())
        return;
    PictureRect changes[kPresentMaxRects];
    if (x11_present_active()) {
        int dw = 0, dh = 0;
        SDL_GetWindowSizeInPixels(window, &dw, &dh);
        if (dw != scale_drawable_w() || dh != scale_drawable_h() || !x11_present_ready()) {
            if (!x11_present_resize(dw, dh))
                return;
            scale_set_drawable(dw, dh);
            everything = true;
        }
        if (everything)
            picture_mark_all_changed();
        const int count = picture_changed_rects(kClientWidth, kClientHeight, changes, kPresentMaxRects, merge_slack());
        picture_forget_changes();
        x11_present(changes, count, everything);
        return;
    }
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (surface == nullptr)
        return;
    if (surface != shown_on || surface->w != shown_w || surface->h != shown_h) {
        adopt_surface(surface);
        everything = true;
    }
    if (everything)
        picture_mark_all_changed();

    SDL_Rect rects[kPresentMaxRects];
    const int count = picture_changed_rects(kClientWidth, kClientHeight, changes, kPresentMaxRects, merge_slack());
    picture_forget_changes();
    if (count == 0 && !everything)
        return;

    const bool locked = SDL_MUSTLOCK(surface);
    if (locked && SDL_LockSurface(surface) != 0)
        return;
    const bool direct = surface->format->format == kPictureFormat;
    for (int i = 0; i < count; ++i) {
        const PictureRect to = scale_to_drawable(changes[i]);
        if (direct) {
            scale_copy(static_cast<uint8_t*>(surface->pixels), surface->pitch, changes[i]);
        } else {
            scale_copy(reinterpret_cast<uint8_t*>(staging.data()), scale_drawable_w() * 4, changes[i]);
            convert_from_staging(surface, to);
        }
        rects[i] = SDL_Rect{to.x, to.y, to.w, to.h};
    }
    if (locked)
        SDL_UnlockSurface(surface);
    if (everything) {
        PictureRect bars[4];
        const int n = scale_bars(bars);
        for (int i = 0; i < n; ++i) {
            SDL_Rect bar{bars[i].x, bars[i].y, bars[i].w, bars[i].h};
            SDL_FillRect(surface, &bar, SDL_MapRGB(surface->format, 0, 0, 0));
        }
        SDL_UpdateWindowSurface(window);
    } else {
        SDL_UpdateWindowSurfaceRects(window, rects, count);
    }
}

// Goes to desktop fullscreen (no mode change) or back to the window as it
// was. F11 and Alt+Enter do it; a window manager's own fullscreen is only a
// new size, shown by the same scaling.
void toggle_fullscreen()
{
    if (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) {
        SDL_SetWindowFullscreen(window, 0);
        // A window manager puts the window back by itself; a bare X server
        // leaves it screen-sized.
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
        x11_cover_display_without_wm(window);
    }
    present(true);
}

// The keys that belong to the window, as its close button does: F11, and
// Enter (either one) with either Alt. The game never sees them.
bool is_fullscreen_key(const SDL_Keysym& key)
{
    if (key.sym == SDLK_F11)
        return true;
    return (key.sym == SDLK_RETURN || key.sym == SDLK_KP_ENTER) && (key.mod & KMOD_ALT) != 0;
}

// Moves the pointer onto the crosshair a pad has moved, so that the mouse
// carries on from there; only while the pointer is over the window.
void warp_pointer_to_aim()
{
    if (SDL_GetMouseFocus() != window)
        return;
    double dx = 0, dy = 0, px = 1, py = 1;
    scale_from_game(pad_aim_x(), pad_aim_y(), dx, dy);
    pixels_per_point(px, py);
    warped_x = int(std::floor(dx / px));
    warped_y = int(std::floor(dy / py));
    warped = true;
    SDL_WarpMouseInWindow(window, warped_x, warped_y);
}

// Shows or hides the pointer over the window as the display counter wants.
// Called whenever that changes and once the window exists.
void apply_cursor()
{
    int wanted = pointer_wanted ? SDL_ENABLE : SDL_DISABLE;
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

// The handler's key code for a key: the Windows virtual-key code of the key
// as labelled on the keyboard. Letters give their capital's ASCII code and
// digits theirs, whatever Shift and Caps Lock say. A key without such a code
// gives 0 and is not reported.
int16_t key_code(const SDL_Keysym& key)
{
    const SDL_Keycode k = key.sym;
    if (k >= 'a' && k <= 'z')
        return int16_t(k - 'a' + 'A');
    if (k >= '0' && k <= '9')
        return int16_t(k);
    switch (k) {
    case SDLK_BACKSPACE: return 8;
    case SDLK_TAB: return 9;
    case SDLK_RETURN: case SDLK_KP_ENTER: return 13;
    case SDLK_ESCAPE: return kKeyEsc;
    case SDLK_SPACE: return 32;
    case SDLK_PAGEUP: return 33;
    case SDLK_PAGEDOWN: return 34;
    case SDLK_END: return 35;
    case SDLK_HOME: return 36;
    case SDLK_LEFT: return 37;
    case SDLK_UP: return 38;
    case SDLK_RIGHT: return 39;
    case SDLK_DOWN: return 40;
    case SDLK_PRINTSCREEN: return 44;
    case SDLK_INSERT: return 45;
    case SDLK_DELETE: return 46;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return 16;
    case SDLK_LCTRL: case SDLK_RCTRL: return 17;
    case SDLK_LALT: case SDLK_RALT: return 18;
    case SDLK_PAUSE: return 19;
    case SDLK_CAPSLOCK: return 20;
    case SDLK_LGUI: return 91;
    case SDLK_RGUI: return 92;
    case SDLK_APPLICATION: return 93;
    case SDLK_KP_0: return 96;
    case SDLK_KP_MULTIPLY: return 106;
    case SDLK_KP_PLUS: return 107;
    case SDLK_KP_MINUS: return 109;
    case SDLK_KP_PERIOD: return 110;
    case SDLK_KP_DIVIDE: return 111;
    case SDLK_NUMLOCKCLEAR: return 144;
    case SDLK_SCROLLLOCK: return 145;
    case SDLK_SEMICOLON: return 186;
    case SDLK_EQUALS: return 187;
    case SDLK_COMMA: return 188;
    case SDLK_MINUS: return 189;
    case SDLK_PERIOD: return 190;
    case SDLK_SLASH: return 191;
    case SDLK_BACKQUOTE: return 192;
    case SDLK_LEFTBRACKET: return 219;
    case SDLK_BACKSLASH: return 220;
    case SDLK_RIGHTBRACKET: return 221;
    case SDLK_QUOTE: return 222;
    default: break;
    }
    if (k >= SDLK_KP_1 && k <= SDLK_KP_9)
        return int16_t(97 + (k - SDLK_KP_1));
    if (k >= SDLK_F1 && k <= SDLK_F12)
        return int16_t(112 + (k - SDLK_F1));
    // A layout whose letter keys do not produce Latin letters: take the key's
    // position, as the desktop's virtual-key codes do.
    const SDL_Scancode s = key.scancode;
    if (s >= SDL_SCANCODE_A && s <= SDL_SCANCODE_Z)
        return int16_t('A' + (s - SDL_SCANCODE_A));
    if (s >= SDL_SCANCODE_1 && s <= SDL_SCANCODE_9)
        return int16_t('1' + (s - SDL_SCANCODE_1));
    if (s == SDL_SCANCODE_0)
        return int16_t('0');
    return 0;
}

// The handlers' button code; 0 for the buttons they do not know.
int16_t button_code(uint8_t button)
{
    switch (button) {
    case SDL_BUTTON_LEFT: return kButtonLeft;
    case SDL_BUTTON_RIGHT: return kButtonRight;
    case SDL_BUTTON_MIDDLE: return kButtonMiddle;
    default: return 0;
    }
}

// A pointer position in window points to game pixels, fractions kept. False
// over a black bar: that is no place in the game, as outside the window.
bool to_game_pixels(int x, int y, float& gx, float& gy)
{
    double px = 1.0, py = 1.0;
    pixels_per_point(px, py);
    return scale_to_game(x * px, y * py, gx, gy);
}

// Turns one SDL event into the game's window events and posts them; called
// for each queued SDL event by plat_process_events. A close request is
// taken as the character Esc types. The window's own keys and every change
// of size repaint the whole window.
void translate(const SDL_Event& e)
{
    switch (e.type) {
    case SDL_KEYDOWN: {
        if (is_fullscreen_key(e.key.keysym)) {
            if (!e.key.repeat)
                toggle_fullscreen();
            break;
        }
        int16_t code = key_code(e.key.keysym);
        if (code == 0)
            break;
        const uint16_t mod = e.key.keysym.mod;
        post_key(code, shift_mask(mod & KMOD_SHIFT, mod & KMOD_CTRL, mod & KMOD_ALT));
        break;
    }
    case SDL_MOUSEMOTION: {
        if (warped && e.motion.x == warped_x && e.motion.y == warped_y)
            break;
        warped = false;
        float x = 0, y = 0;
        if (!to_game_pixels(e.motion.x, e.motion.y, x, y))
            break;
        pad_aim_at(x, y);
        post_event(mouse_move(x, y));
        break;
    }
    case SDL_MOUSEBUTTONDOWN: {
        int16_t button = button_code(e.button.button);
        if (button == 0)
            break;
        float x = 0, y = 0;
        if (to_game_pixels(e.button.x, e.button.y, x, y))
            post_event(mouse_down(x, y, button));
        break;
    }
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE)
            post_event(key_press(kKeyEsc));
        else if (e.window.event == SDL_WINDOWEVENT_EXPOSED || e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
            present(true);
        break;
    case SDL_QUIT:
        post_event(key_press(kKeyEsc));
        break;
    case SDL_SYSWMEVENT:
        window_watch_note(e.syswm.msg);
        break;
    default:
        gamepad_event(e);
        break;
    }
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
    present(true);
    apply_cursor();
    gamepad_start();

    std::atexit(shut_down);
    sdl_audio_open();
    audio_open = true;
}

// Also the one place where the audio half checks for the end of the music,
// and where a window destroyed from outside ends the game.
void plat_process_events()
{
    SDL_Event e;
    while (SDL_PollEvent(&e))
        translate(e);
    gamepad_read_sticks();
    if (pad_frame(SDL_GetTicks64()))
        warp_pointer_to_aim();
    sdl_audio_poll(); // posts music_done() when the piece has ended
    // The window was destroyed from outside: the game ends as if closed.
    if (window_watch_lost())
        post_event(key_press(kKeyEsc));
    dispatch_events();
}

// SDL's pointer switch has no counter; the shared one (backend.cpp) says
// when to flip it.
void backend_show_pointer(bool shown)
{
    pointer_wanted = shown;
    apply_cursor();
}

// Sends the rows drawn since the last present to the window.
void plat_show_picture()
{
    if (picture_changed())
        present(false);
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
