// sdl_video.cpp -- the game window on SDL2: showing the picture, events, pointer and clock.
//
// The game draws into the shared picture (platform/picture.h). Here the rows
// that changed reach the window when the game next reads the clock, which it
// does at least once per frame while it waits for the next one. The window
// surface path (no GPU, no vsync) keeps one present well under a millisecond
// and keeps Mesa out of the process.
#include "platform/platform.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/sdl_icon.h"
#include "platform/sdl/sdl_window_watch.h"
#include "platform/sdl/sdl_x11_present.h"
#include "platform/events.h"
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

// The picture seen as an SDL surface, for converting blits onto a window
// surface whose pixels are not the picture's own.
SDL_Surface* picture_surface = nullptr;

// The window surface the picture was last copied to, and the whole factor
// each game pixel is enlarged by on it.
SDL_Surface* shown_on = nullptr;
int shown_w = 0, shown_h = 0;
int scale = 1;

int32_t cursor_counter = 0;
int applied_cursor = SDL_ENABLE;

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

// Wraps the picture's pixels as an SDL surface, for the converting path.
void wrap_picture()
{
    picture_surface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(picture_pixels()), picture_width(),
                                                         picture_height(), 32, picture_width() * 4, kPictureFormat);
    if (picture_surface == nullptr)
        fail_to_open(SDL_GetError());
    SDL_SetSurfaceBlendMode(picture_surface, SDL_BLENDMODE_NONE);
}

// Window points to drawable pixels, horizontally and vertically. 1 except on
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
// after a size change): works out the enlargement and blanks it, since the
// whole picture is copied anew.
void adopt_surface(SDL_Surface* surface)
{
    double px = 1.0, py = 1.0;
    pixels_per_point(px, py);
    scale = std::max(1, int(std::floor(std::min(px, py))));
    shown_on = surface;
    shown_w = surface->w;
    shown_h = surface->h;
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
}

// Copies the game-pixel rectangle r of the picture onto the window surface,
// each pixel enlarged to scale x scale: a plain copy when the surface has the
// picture's own pixel format, else SDL's converting blit.
void copy_to_surface(SDL_Surface* surface, const PictureRect& r)
{
    if (surface->format->format == kPictureFormat) {
        const uint32_t* pixels = picture_pixels();
        for (int y = r.y; y < r.y + r.h; ++y) {
            const uint32_t* src = pixels + size_t(y) * kClientWidth + r.x;
            for (int sy = 0; sy < scale; ++sy) {
                auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(surface->pixels) + size_t(y * scale + sy) * surface->pitch);
                uint32_t* dst = row + size_t(r.x) * scale;
                if (scale == 1) {
                    std::memcpy(dst, src, size_t(r.w) * 4);
                } else {
                    for (int x = 0; x < r.w; ++x)
                        for (int sx = 0; sx < scale; ++sx)
                            *dst++ = src[x];
                }
            }
        }
    } else {
        SDL_Rect from{r.x, r.y, r.w, r.h};
        SDL_Rect to{r.x * scale, r.y * scale, r.w * scale, r.h * scale};
        if (scale == 1)
            SDL_BlitSurface(picture_surface, &from, surface, &to);
        else
            SDL_BlitScaled(picture_surface, &from, surface, &to);
    }
}

// Sends what changed since the last present (or, with `everything`, the
// whole picture) to the screen. Never touches a window that is gone.
void present(bool everything)
{
    if (window == nullptr || window_watch_lost())
        return;
    if (x11_present_active()) {
        if (everything)
            picture_mark_all_changed();
        PictureRect changes[kPresentMaxRects];
        const int count = picture_changed_rects(kClientWidth, kClientHeight, changes, kPresentMaxRects, kPresentMergeSlack);
        picture_forget_changes();
        x11_present(changes, count);
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

    // Only the part of the picture that fits on the surface is copied.
    PictureRect changes[kPresentMaxRects];
    SDL_Rect rects[kPresentMaxRects];
    const int count = picture_changed_rects(surface->w / scale, surface->h / scale, changes, kPresentMaxRects, kPresentMergeSlack);
    picture_forget_changes();
    if (count == 0 && !everything)
        return;

    const bool locked = SDL_MUSTLOCK(surface);
    if (locked && SDL_LockSurface(surface) != 0)
        return;
    for (int i = 0; i < count; ++i) {
        const PictureRect& r = changes[i];
        copy_to_surface(surface, r);
        rects[i] = SDL_Rect{r.x * scale, r.y * scale, r.w * scale, r.h * scale};
    }
    if (locked)
        SDL_UnlockSurface(surface);
    // A whole repaint also sends the black margin a larger surface may have.
    if (everything)
        SDL_UpdateWindowSurface(window);
    else
        SDL_UpdateWindowSurfaceRects(window, rects, count);
}

// Shows or hides the pointer over the window as the display counter says.
// Called whenever the counter moves and once the window exists.
void apply_cursor()
{
    int wanted = cursor_counter < 0 ? SDL_DISABLE : SDL_ENABLE;
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
    if (picture_surface != nullptr) {
        SDL_FreeSurface(picture_surface);
        picture_surface = nullptr;
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

// The handlers' Shift argument: 1 Shift, 2 Ctrl, 4 Alt.
int16_t shift_state(uint16_t mod)
{
    return int16_t(((mod & KMOD_SHIFT) ? 1 : 0) | ((mod & KMOD_CTRL) ? 2 : 0) | ((mod & KMOD_ALT) ? 4 : 0));
}

// The handlers' button code: 1 left, 2 right, 4 middle; 0 for the others.
int16_t button_code(uint8_t button)
{
    switch (button) {
    case SDL_BUTTON_LEFT: return 1;
    case SDL_BUTTON_RIGHT: return 2;
    case SDL_BUTTON_MIDDLE: return 4;
    default: return 0;
    }
}

// A pointer position in window points to game pixels, fractions kept. On a
// HiDPI drawable the game pixels are `scale` drawable pixels wide.
void to_game_pixels(int x, int y, float& gx, float& gy)
{
    double px = 1.0, py = 1.0;
    pixels_per_point(px, py);
    gx = float(x * px / scale);
    gy = float(y * py / scale);
}

// Turns one SDL event into the game's window events and posts them; called
// for each queued SDL event by plat_process_events. Esc is both a key going
// down and the character typed; a close request is taken as Esc.
void translate(const SDL_Event& e)
{
    switch (e.type) {
    case SDL_KEYDOWN: {
        int16_t code = key_code(e.key.keysym);
        if (code == 0)
            break;
        post_event(key_down(code, shift_state(e.key.keysym.mod)));
        if (code == kKeyEsc)
            post_event(key_press(kKeyEsc));
        break;
    }
    case SDL_MOUSEMOTION: {
        float x = 0, y = 0;
        to_game_pixels(e.motion.x, e.motion.y, x, y);
        post_event(mouse_move(x, y));
        break;
    }
    case SDL_MOUSEBUTTONDOWN: {
        int16_t button = button_code(e.button.button);
        if (button == 0)
            break;
        float x = 0, y = 0;
        to_game_pixels(e.button.x, e.button.y, x, y);
        post_event(mouse_down(x, y, button));
        break;
    }
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE)
            post_event(key_press(kKeyEsc));
        else if (e.window.event == SDL_WINDOWEVENT_EXPOSED)
            present(true);
        break;
    case SDL_QUIT:
        post_event(key_press(kKeyEsc));
        break;
    case SDL_SYSWMEVENT:
        window_watch_note(e.syswm.msg);
        break;
    default:
        break;
    }
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

    window = SDL_CreateWindow("Pelmaric", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kClientWidth, kClientHeight,
                              SDL_WINDOW_SHOWN | SDL_WINDOW_ALLOW_HIGHDPI);
    if (window == nullptr)
        fail_to_open(SDL_GetError());
    sdl_set_window_icon(window);
    // Typed text is never read; with text input on, an input method could
    // swallow the game's keys.
    SDL_StopTextInput();
    window_watch_start(window);

    // SDL's window surface knows the usual pixel formats; on a deep-colour or
    // colour-mapped screen the picture goes through Xlib instead.
    picture_resize(kClientWidth, kClientHeight);
    if (SDL_GetWindowSurface(window) != nullptr)
        wrap_picture();
    else if (!x11_present_start(window))
        fail_to_open(SDL_GetError());
    present(true);
    apply_cursor();

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
    sdl_audio_poll(); // posts music_done() when the piece has ended
    // The window was destroyed from outside: the game ends as if closed.
    if (window_watch_lost())
        post_event(key_press(kKeyEsc));
    dispatch_events();
}

// SDL's pointer switch has no counter; ours decides when to flip it.
int32_t plat_show_cursor(bool show)
{
    cursor_counter += show ? 1 : -1;
    apply_cursor();
    return cursor_counter;
}

// Presents what was drawn since the last read, then reads the clock in
// whole 15.625 ms steps counted from program start.
uint32_t plat_tick_count()
{
    if (picture_changed())
        present(false);
    const auto elapsed = std::chrono::steady_clock::now() - program_start;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
    // n periods of 15.625 ms are n * 125 / 8 ms, exact in integers.
    const uint64_t periods = uint64_t(ns) / uint64_t(kTickPeriodNs);
    return uint32_t(periods * 125u / 8u);
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
