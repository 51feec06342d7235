// sdl_video.cpp -- the game window on SDL2: drawing surface, events, pointer and clock.
//
// The game draws as onto a window that keeps its picture: single pixels and
// one-pixel lines that stay until drawn over. Here that picture is a pixel
// buffer of 800 x 600 game pixels held in the window surface's own format.
// Drawing only writes the buffer and notes which part of each row changed;
// the changed rows reach the screen when the game next reads the clock,
// which it does at least once per frame while it waits for the next one.
// The window surface path (no GPU, no vsync) keeps one present well under a
// millisecond and keeps Mesa out of the process.
#include "platform/platform.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/sdl_icon.h"
#include "platform/sdl/sdl_window_watch.h"
#include "shell/handlers.h"

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

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// The timer the game paces itself by ticks 64 times a second.
constexpr int64_t kTickPeriodNs = 15'625'000;

// A present sends the changed part of the picture as rectangles, each one
// request to the X server. Neighbouring changes go as one rectangle when that
// adds at most kMergeSlack unchanged pixels, about what a request costs (on
// Xvfb, sweeping 0 to 2048 gave the best times around 1024); past
// kMaxPresentRects rectangles the rest of the changes join the last one.
constexpr int kMergeSlack = 1024;
constexpr int kMaxPresentRects = 512;

const std::chrono::steady_clock::time_point program_start = std::chrono::steady_clock::now();

SDL_Window* window = nullptr;
bool audio_open = false;

// The picture in game pixels, row-major, in `buffer_format`.
std::vector<uint32_t> buffer(size_t(kWidth) * kHeight);
uint32_t buffer_format = SDL_PIXELFORMAT_ARGB8888;
SDL_Surface* buffer_surface = nullptr; // the buffer seen as an SDL surface, for converting blits

// Each colour channel's value already shifted into place for buffer_format,
// so that setting a pixel is three table reads and two ors.
uint32_t red_bits[256], green_bits[256], blue_bits[256];
uint32_t opaque_bits = 0;
uint32_t black = 0;

// What changed since the last present: per row, the columns [x0, x1).
int16_t changed_x0[kHeight];
int16_t changed_x1[kHeight];
bool changed = false;

// The window surface the picture was last copied to, and the whole factor
// each game pixel is enlarged by on it.
SDL_Surface* shown_on = nullptr;
int shown_w = 0, shown_h = 0;
int scale = 1;

int32_t cursor_counter = 0;
int applied_cursor = SDL_ENABLE;

// A colour as a pixel value of the buffer. Called for every pixel drawn.
uint32_t map_colour(Rgb c) { return red_bits[c.r] | green_bits[c.g] | blue_bits[c.b] | opaque_bits; }

// Notes that columns [x0, x1) of row y were drawn, for the next present.
void mark_changed(int y, int x0, int x1)
{
    if (x0 < changed_x0[y])
        changed_x0[y] = int16_t(x0);
    if (x1 > changed_x1[y])
        changed_x1[y] = int16_t(x1);
    changed = true;
}

// Notes the whole picture for the next present: after a clear, a new
// window surface or an expose.
void mark_all_changed()
{
    std::fill(std::begin(changed_x0), std::end(changed_x0), int16_t(0));
    std::fill(std::begin(changed_x1), std::end(changed_x1), int16_t(kWidth));
    changed = true;
}

// Starts a new list of changes once a present has taken them.
void forget_changes()
{
    std::fill(std::begin(changed_x0), std::end(changed_x0), int16_t(kWidth));
    std::fill(std::begin(changed_x1), std::end(changed_x1), int16_t(0));
    changed = false;
}

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

// Chooses the buffer's pixel format: the window surface's own when it has
// 32-bit pixels (then presenting is a plain copy), else ARGB8888 converted by
// SDL at each present. Fills the channel tables for it.
void choose_buffer_format(const SDL_Surface* surface)
{
    buffer_format = surface->format->BytesPerPixel == 4 ? surface->format->format : uint32_t(SDL_PIXELFORMAT_ARGB8888);
    SDL_PixelFormat* f = SDL_AllocFormat(buffer_format);
    if (f == nullptr)
        fail_to_open(SDL_GetError());
    for (uint32_t v = 0; v < 256; ++v) {
        red_bits[v] = ((v >> f->Rloss) << f->Rshift) & f->Rmask;
        green_bits[v] = ((v >> f->Gloss) << f->Gshift) & f->Gmask;
        blue_bits[v] = ((v >> f->Bloss) << f->Bshift) & f->Bmask;
    }
    opaque_bits = f->Amask;
    black = map_colour(Rgb{0, 0, 0});
    SDL_FreeFormat(f);

    buffer_surface = SDL_CreateRGBSurfaceWithFormatFrom(buffer.data(), kWidth, kHeight, 32, kWidth * 4, buffer_format);
    if (buffer_surface == nullptr)
        fail_to_open(SDL_GetError());
    SDL_SetSurfaceBlendMode(buffer_surface, SDL_BLENDMODE_NONE);
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

// Copies the game-pixel rectangle r of the buffer onto the window surface,
// each pixel enlarged to scale x scale.
void copy_to_surface(SDL_Surface* surface, const SDL_Rect& r)
{
    if (surface->format->format == buffer_format) {
        for (int y = r.y; y < r.y + r.h; ++y) {
            const uint32_t* src = &buffer[size_t(y) * kWidth + r.x];
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
        SDL_Rect from = r;
        SDL_Rect to{r.x * scale, r.y * scale, r.w * scale, r.h * scale};
        if (scale == 1)
            SDL_BlitSurface(buffer_surface, &from, surface, &to);
        else
            SDL_BlitScaled(buffer_surface, &from, surface, &to);
    }
}

// Gathers the changed pixels within the visible w x h game pixels into at
// most kMaxPresentRects rectangles, top to bottom; returns how many.
int collect_changes(int visible_w, int visible_h, SDL_Rect* rects)
{
    int count = 0;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0; // the rectangle being grown, half-open
    for (int y = 0; y < visible_h; ++y) {
        const int rx0 = changed_x0[y];
        const int rx1 = std::min<int>(changed_x1[y], visible_w);
        if (rx0 >= rx1)
            continue;
        if (count > 0) {
            const int ux0 = std::min(x0, rx0), ux1 = std::max(x1, rx1);
            const int unchanged = (ux1 - ux0) * (y + 1 - y0) - (x1 - x0) * (y1 - y0) - (rx1 - rx0);
            if (unchanged <= kMergeSlack || count == kMaxPresentRects) {
                x0 = ux0;
                x1 = ux1;
                y1 = y + 1;
                rects[count - 1] = SDL_Rect{x0, y0, x1 - x0, y1 - y0};
                continue;
            }
        }
        x0 = rx0;
        x1 = rx1;
        y0 = y;
        y1 = y + 1;
        rects[count++] = SDL_Rect{x0, y0, x1 - x0, y1 - y0};
    }
    return count;
}

// Sends what changed since the last present (or, with `everything`, the
// whole picture) to the screen. Never touches a window that is gone.
void present(bool everything)
{
    if (window == nullptr || window_watch_lost())
        return;
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (surface == nullptr)
        return;
    if (surface != shown_on || surface->w != shown_w || surface->h != shown_h) {
        adopt_surface(surface);
        everything = true;
    }
    if (everything)
        mark_all_changed();

    // Only the part of the picture that fits on the surface is copied.
    SDL_Rect rects[kMaxPresentRects];
    const int count = collect_changes(std::min(kWidth, surface->w / scale), std::min(kHeight, surface->h / scale), rects);
    forget_changes();
    if (count == 0 && !everything)
        return;

    const bool locked = SDL_MUSTLOCK(surface);
    if (locked && SDL_LockSurface(surface) != 0)
        return;
    for (int i = 0; i < count; ++i) {
        copy_to_surface(surface, rects[i]);
        rects[i] = SDL_Rect{rects[i].x * scale, rects[i].y * scale, rects[i].w * scale, rects[i].h * scale};
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
    if (buffer_surface != nullptr) {
        SDL_FreeSurface(buffer_surface);
        buffer_surface = nullptr;
    }
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
    case SDLK_ESCAPE: return 27;
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

// Hands one SDL event to the game's handler for it; called for each queued
// event by plat_process_events. Esc and a close request end the program
// inside Form_KeyPress.
void dispatch(const SDL_Event& e)
{
    switch (e.type) {
    case SDL_KEYDOWN: {
        int16_t code = key_code(e.key.keysym);
        if (code == 0)
            break;
        Form_KeyDown(code, shift_state(e.key.keysym.mod));
        if (code == 27)
            Form_KeyPress(27);
        break;
    }
    case SDL_MOUSEMOTION: {
        float x = 0, y = 0;
        to_game_pixels(e.motion.x, e.motion.y, x, y);
        Form_MouseMove(0, 0, x, y);
        break;
    }
    case SDL_MOUSEBUTTONDOWN: {
        int16_t button = button_code(e.button.button);
        if (button == 0)
            break;
        float x = 0, y = 0;
        to_game_pixels(e.button.x, e.button.y, x, y);
        Form_MouseDown(button, 0, x, y);
        break;
    }
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE)
            Form_KeyPress(27);
        else if (e.window.event == SDL_WINDOWEVENT_EXPOSED)
            present(true);
        break;
    case SDL_QUIT:
        Form_KeyPress(27);
        break;
    case SDL_SYSWMEVENT:
        window_watch_note(e.syswm.msg);
        break;
    default:
        break;
    }
}

// A coordinate rounded to a whole pixel, halves to even, kept within a range
// where every step of a line loop is still far off the surface. NaN gives
// false: such a line draws nothing.
bool whole_pixel(float v, int32_t& out)
{
    double r = std::nearbyint(double(v));
    if (std::isnan(r))
        return false;
    r = std::clamp(r, -1.0e9, 1.0e9);
    out = int32_t(r);
    return true;
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

    window = SDL_CreateWindow("Pelmaric", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kWidth, kHeight,
                              SDL_WINDOW_SHOWN | SDL_WINDOW_ALLOW_HIGHDPI);
    if (window == nullptr)
        fail_to_open(SDL_GetError());
    sdl_set_window_icon(window);
    // Typed text is never read; with text input on, an input method could
    // swallow the game's keys.
    SDL_StopTextInput();
    window_watch_start(window);

    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (surface == nullptr)
        fail_to_open(SDL_GetError());
    choose_buffer_format(surface);
    std::fill(buffer.begin(), buffer.end(), black);
    present(true);
    apply_cursor();

    std::atexit(shut_down);
    sdl_audio_open();
    audio_open = true;
}

float plat_client_width() { return float(kWidth); }
float plat_client_height() { return float(kHeight); }

// Writes the buffer only; the pixel reaches the screen at the next clock read.
void plat_set_pixel(int32_t x, int32_t y, Rgb colour)
{
    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight)
        return;
    buffer[size_t(y) * kWidth + x] = map_colour(colour);
    mark_changed(y, x, x + 1);
}

// Same pixels as the memory backend's line, clipped to the client area first
// so that far-off end points cost nothing.
void plat_draw_line(float x1, float y1, float x2, float y2, Rgb colour)
{
    int32_t ax = 0, ay = 0, bx = 0, by = 0;
    if (!whole_pixel(x1, ax) || !whole_pixel(y1, ay) || !whole_pixel(x2, bx) || !whole_pixel(y2, by))
        return;
    // The pixels covered, as a half-open range [lo, hi): from the first end
    // point towards the second, which is left out.
    if (ay == by) {
        if (ax == bx || ay < 0 || ay >= kHeight)
            return;
        const int32_t lo = std::max(bx > ax ? ax : bx + 1, 0);
        const int32_t hi = std::min(bx > ax ? bx : ax + 1, kWidth);
        if (lo >= hi)
            return;
        const uint32_t value = map_colour(colour);
        std::fill(&buffer[size_t(ay) * kWidth + lo], &buffer[size_t(ay) * kWidth + hi], value);
        mark_changed(ay, lo, hi);
    } else if (ax == bx) {
        if (ax < 0 || ax >= kWidth)
            return;
        const int32_t lo = std::max(by > ay ? ay : by + 1, 0);
        const int32_t hi = std::min(by > ay ? by : ay + 1, kHeight);
        const uint32_t value = map_colour(colour);
        for (int32_t y = lo; y < hi; ++y) {
            buffer[size_t(y) * kWidth + ax] = value;
            mark_changed(y, ax, ax + 1);
        }
    }
}

void plat_clear()
{
    std::fill(buffer.begin(), buffer.end(), black);
    mark_all_changed();
}

// Also the one place where the audio half checks for the end of the music,
// and where a window destroyed from outside ends the game.
void plat_process_events()
{
    SDL_Event e;
    while (SDL_PollEvent(&e))
        dispatch(e);
    sdl_audio_poll();
    // The window was destroyed from outside: the game ends as if closed.
    if (window_watch_lost())
        Form_KeyPress(27);
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
    if (changed)
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
