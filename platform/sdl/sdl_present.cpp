// sdl_present.cpp -- the picture shown on the SDL window surface (or through Xlib), enlarged, only what changed.
#include "platform/platform.h"
#include "platform/core/picture.h"
#include "platform/core/scale.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/sdl/sdl_window_watch.h"
#include "platform/sdl/sdl_x11_present.h"

#include <SDL.h>

#include <algorithm>
#include <vector>

namespace {

// The picture's pixels, 0x00RRGGBB, in SDL's name. X servers at depth 24 and
// 32 give window surfaces of this very format, so a present is a plain copy.
constexpr uint32_t kPictureFormat = SDL_PIXELFORMAT_RGB888;

// The window surface the picture was last shown on, and its size. When its
// pixels are not the picture's own, the enlarged picture is put together in
// `staging` (as large as the surface, made when the surface is adopted) and
// converted from there.
SDL_Surface* shown_on = nullptr;
int shown_w = 0, shown_h = 0;
std::vector<uint32_t> staging;

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

} // namespace

void sdl_present(bool everything)
{
    SDL_Window* window = sdl_window();
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
    if (direct)
        scale_copy(static_cast<uint8_t*>(surface->pixels), surface->pitch, changes, count, everything);
    else
        scale_copy(reinterpret_cast<uint8_t*>(staging.data()), scale_drawable_w() * 4, changes, count, everything);
    for (int i = 0; i < count; ++i) {
        const PictureRect to = scale_to_drawable(changes[i]);
        if (!direct)
            convert_from_staging(surface, to);
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
