// sdl_pause_screen.cpp -- the pause screen on the desktop: the picture dimmed, a pause sign, and the controls in words (SDL2_ttf, a font found by fontconfig).
//
// The screen is put together in a buffer of its own, as large as the
// window's drawable, and sent to the window in place of the picture; the
// picture never gets a pixel of it. Text is drawn at the drawable's own
// resolution, so it stays sharp on a large screen. Without a font (none
// installed, or SDL2_ttf failing) the screen is the dimmed picture and the
// sign alone.
#include "platform/core/picture.h"
#include "platform/core/scale.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/sdl/sdl_window_watch.h"
#include "platform/sdl/sdl_x11_present.h"

#include <SDL.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The dimmed picture keeps this share of its light: the game is still seen
// under the words, which stay readable over the brightest sky.
constexpr uint32_t kDimShare256 = 90;

// Sizes as shares of the picture's height on the window.
constexpr double kSignHeight = 0.12;
constexpr double kTitleSize = 0.075;
constexpr double kLineSize = 0.032;

const char* const kLines[] = {
    "P, Pause, a click, or a pad's Start or South: play on",
    "Esc, the close button, or a pad's Back + Start: end the game",
    "Mouse aims; A, S, D launch; F11 or Alt+Enter: fullscreen",
    "Pad: stick or d-pad aims; West, South, East, shoulders launch",
};

std::vector<uint32_t> screen;
int screen_w = 0, screen_h = 0;

bool ttf_tried = false;
std::string regular_file, bold_file;
TTF_Font* title_font = nullptr;
TTF_Font* line_font = nullptr;
int title_px = 0, line_px = 0;

// The file of the font fontconfig gives for `pattern` ("" when none).
std::string font_file(const char* pattern)
{
    std::string file;
    FcPattern* wanted = FcNameParse(reinterpret_cast<const FcChar8*>(pattern));
    if (wanted == nullptr)
        return file;
    FcConfigSubstitute(nullptr, wanted, FcMatchPattern);
    FcDefaultSubstitute(wanted);
    FcResult result = FcResultNoMatch;
    FcPattern* found = FcFontMatch(nullptr, wanted, &result);
    FcChar8* path = nullptr;
    if (found != nullptr && FcPatternGetString(found, FC_FILE, 0, &path) == FcResultMatch && path != nullptr)
        file = reinterpret_cast<const char*>(path);
    if (found != nullptr)
        FcPatternDestroy(found);
    FcPatternDestroy(wanted);
    return file;
}

// The fonts at the sizes this window wants; null when there are none.
void open_fonts(int picture_h)
{
    if (!ttf_tried) {
        ttf_tried = true;
        if (TTF_Init() != 0 || !FcInit())
            return;
        regular_file = font_file("DejaVu Sans");
        bold_file = font_file("DejaVu Sans:bold");
        // The files are all the game wants of fontconfig: its caches go.
        FcFini();
    }
    const int want_title = std::max(12, int(picture_h * kTitleSize));
    const int want_line = std::max(10, int(picture_h * kLineSize));
    if (title_font == nullptr || want_title != title_px) {
        if (title_font != nullptr)
            TTF_CloseFont(title_font);
        title_font = bold_file.empty() ? nullptr : TTF_OpenFont(bold_file.c_str(), want_title);
        title_px = want_title;
    }
    if (line_font == nullptr || want_line != line_px) {
        if (line_font != nullptr)
            TTF_CloseFont(line_font);
        line_font = regular_file.empty() ? nullptr : TTF_OpenFont(regular_file.c_str(), want_line);
        line_px = want_line;
    }
}

void fill(int x0, int y0, int w, int h, uint32_t colour)
{
    for (int y = std::max(0, y0); y < std::min(screen_h, y0 + h); ++y)
        for (int x = std::max(0, x0); x < std::min(screen_w, x0 + w); ++x)
            screen[size_t(y) * size_t(screen_w) + size_t(x)] = colour;
}

// Writes `text` centred on column cx with its top at row y; returns its height.
int write(TTF_Font* font, const char* text, int cx, int y)
{
    if (font == nullptr)
        return 0;
    SDL_Surface* rendered = TTF_RenderUTF8_Blended(font, text, SDL_Color{255, 255, 255, 255});
    if (rendered == nullptr)
        return 0;
    SDL_Surface* argb = SDL_ConvertSurfaceFormat(rendered, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(rendered);
    if (argb == nullptr)
        return 0;
    const int x0 = cx - argb->w / 2;
    for (int row = 0; row < argb->h; ++row) {
        const int sy = y + row;
        if (sy < 0 || sy >= screen_h)
            continue;
        const auto* from = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(argb->pixels) + row * argb->pitch);
        for (int col = 0; col < argb->w; ++col) {
            const int sx = x0 + col;
            if (sx < 0 || sx >= screen_w)
                continue;
            const uint32_t a = from[col] >> 24;
            uint32_t& to = screen[size_t(sy) * size_t(screen_w) + size_t(sx)];
            uint32_t out = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                const uint32_t under = to >> shift & 0xFF, over = from[col] >> shift & 0xFF;
                out |= ((under * (255 - a) + over * a + 127) / 255) << shift;
            }
            to = out;
        }
    }
    const int height = argb->h;
    SDL_FreeSurface(argb);
    return height;
}

// The dimmed picture, the sign and the words, in `screen`.
void compose()
{
    std::fill(screen.begin(), screen.end(), 0u);
    const PictureRect whole{0, 0, kClientWidth, kClientHeight};
    scale_copy(reinterpret_cast<uint8_t*>(screen.data()), screen_w * 4, &whole, 1, true);
    for (uint32_t& p : screen)
        p = ((p >> 16 & 0xFF) * kDimShare256 >> 8) << 16 | ((p >> 8 & 0xFF) * kDimShare256 >> 8) << 8 |
            ((p & 0xFF) * kDimShare256 >> 8);

    const ScaleLayout& l = scale_layout();
    const int cx = l.x + l.w / 2;
    const int sign_h = std::max(12, int(l.h * kSignHeight));
    const int bar_w = std::max(4, sign_h / 3);
    int y = l.y + int(l.h * 0.16);
    fill(cx - bar_w - bar_w / 3, y, bar_w, sign_h, 0xFFFFFF);
    fill(cx + bar_w / 3, y, bar_w, sign_h, 0xFFFFFF);
    y += sign_h + sign_h / 4;

    open_fonts(l.h);
    y += write(title_font, "Paused", cx, y);
    y += line_px;
    for (const char* line : kLines)
        y += write(line_font, line, cx, y) + line_px / 3;
    y += line_px / 2;
    write(line_font, sdl_audio_sound_on() ? "M: sound off (the sound is on)" : "M: sound on (the sound is off)", cx, y);
}

} // namespace

void sdl_pause_screen_show()
{
    SDL_Window* window = sdl_window();
    if (window == nullptr || window_watch_lost())
        return;
    // The plain picture first: that brings the layout up to the window's size.
    sdl_present(true);
    const int w = std::min(scale_drawable_w(), kScaleMaxDrawable), h = std::min(scale_drawable_h(), kScaleMaxDrawable);
    if (w <= 0 || h <= 0)
        return;
    if (w != screen_w || h != screen_h) {
        screen.assign(size_t(w) * size_t(h), 0u);
        screen_w = w;
        screen_h = h;
    }
    compose();
    if (x11_present_active()) {
        x11_present_whole(screen.data(), screen_w, screen_h);
        return;
    }
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (surface == nullptr || surface->w < screen_w || surface->h < screen_h)
        return;
    const bool locked = SDL_MUSTLOCK(surface);
    if (locked && SDL_LockSurface(surface) != 0)
        return;
    SDL_ConvertPixels(screen_w, screen_h, SDL_PIXELFORMAT_RGB888, screen.data(), screen_w * 4, surface->format->format,
                      surface->pixels, surface->pitch);
    if (locked)
        SDL_UnlockSurface(surface);
    SDL_UpdateWindowSurface(window);
}

void sdl_pause_screen_hide()
{
    screen = std::vector<uint32_t>();
    screen_w = screen_h = 0;
}
