// scale.cpp -- the picture's place in the drawable, the maps between drawable and game pixels, and the enlarging copy.
#include "platform/scale.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

ScaleLayout layout{0, 0, kClientWidth, kClientHeight, 1};
int drawable_w = kClientWidth, drawable_h = kClientHeight;

// For each drawable column (row) of the picture's rectangle, the game column
// (row) it shows; and for each game column (row), the first drawable column
// (row) that shows it, with one more entry for the end.
int16_t source_x[kScaleMaxDrawable];
int16_t source_y[kScaleMaxDrawable];
int16_t first_x[kClientWidth + 1];
int16_t first_y[kClientHeight + 1];

// Fills a map for `shown` drawable pixels showing `game` game pixels: the
// pixel whose centre falls in a game pixel shows that game pixel.
void fill_map(int shown, int game, int16_t* source, int16_t* first)
{
    int next = 0;
    for (int d = 0; d < shown; ++d) {
        const int s = std::min(int((int64_t(2 * d + 1) * game) / (2 * int64_t(shown))), game - 1);
        source[d] = int16_t(s);
        while (next <= s)
            first[next++] = int16_t(d);
    }
    while (next <= game)
        first[next++] = int16_t(shown);
}

// Widens one row of game pixels `factor` times into dst.
template <int factor> void widen(uint32_t* dst, const uint32_t* src, int count)
{
    for (int i = 0; i < count; ++i)
        for (int k = 0; k < factor; ++k)
            *dst++ = src[i];
}

// One coordinate of scale_to_game: d is 0 .. shown, exclusive. The game
// rounds a position half to even, so at 1x the largest value kept is the
// one just below the last pixel's far half.
float game_at(double d, int shown, int game, const int16_t* source)
{
    if (shown == game)
        return std::min(float(d), std::nextafter(float(game) - 0.5f, 0.0f));
    return float(source[int(d)]);
}

// One coordinate of scale_from_game: the centre of the middle drawable pixel
// of game pixel g's run (g rounded as the game rounds it), in the picture's
// rectangle.
double drawable_at(float g, int shown, int game, const int16_t* first)
{
    if (shown <= 0)
        return 0;
    const int p = int(std::clamp(double(std::nearbyint(g)), 0.0, double(game - 1)));
    const int middle = first[p + 1] > first[p] ? (first[p] + first[p + 1] - 1) / 2 : std::min(int(first[p]), shown - 1);
    return middle + 0.5;
}

} // namespace

ScaleLayout scale_layout_for(int dw, int dh)
{
    dw = std::min(dw, kScaleMaxDrawable);
    dh = std::min(dh, kScaleMaxDrawable);
    if (dw <= 0 || dh <= 0)
        return ScaleLayout{0, 0, 0, 0, 0};
    const double fit = std::min(double(dw) / kClientWidth, double(dh) / kClientHeight);
    const int whole = int(std::floor(fit));
    ScaleLayout l{0, 0, 0, 0, 0};
    if (whole >= 1 && whole >= kScaleWholeShare * fit) {
        l.whole = whole;
        l.w = kClientWidth * whole;
        l.h = kClientHeight * whole;
    } else if (int64_t(dw) * kClientHeight <= int64_t(dh) * kClientWidth) {
        l.w = dw;
        l.h = std::min(dh, int(std::nearbyint(double(dw) * kClientHeight / kClientWidth)));
    } else {
        l.h = dh;
        l.w = std::min(dw, int(std::nearbyint(double(dh) * kClientWidth / kClientHeight)));
    }
    l.x = (dw - l.w) / 2;
    l.y = (dh - l.h) / 2;
    return l;
}

void scale_set_drawable(int dw, int dh)
{
    drawable_w = std::clamp(dw, 0, kScaleMaxDrawable);
    drawable_h = std::clamp(dh, 0, kScaleMaxDrawable);
    layout = scale_layout_for(dw, dh);
    fill_map(layout.w, kClientWidth, source_x, first_x);
    fill_map(layout.h, kClientHeight, source_y, first_y);
}

const ScaleLayout& scale_layout() { return layout; }
int scale_drawable_w() { return drawable_w; }
int scale_drawable_h() { return drawable_h; }
int scale_source_x(int x) { return source_x[x]; }
int scale_source_y(int y) { return source_y[y]; }

PictureRect scale_to_drawable(const PictureRect& r)
{
    const int x0 = first_x[r.x], x1 = first_x[r.x + r.w];
    const int y0 = first_y[r.y], y1 = first_y[r.y + r.h];
    return PictureRect{layout.x + x0, layout.y + y0, x1 - x0, y1 - y0};
}

int scale_bars(PictureRect bars[4])
{
    const int right = layout.x + layout.w, bottom = layout.y + layout.h;
    const PictureRect all[4] = {{0, 0, drawable_w, layout.y},
                                {0, bottom, drawable_w, drawable_h - bottom},
                                {0, layout.y, layout.x, layout.h},
                                {right, layout.y, drawable_w - right, layout.h}};
    int count = 0;
    for (const PictureRect& b : all)
        if (b.w > 0 && b.h > 0)
            bars[count++] = b;
    return count;
}

bool scale_to_game(double dx, double dy, float& gx, float& gy)
{
    if (layout.w <= 0 || layout.h <= 0)
        return false;
    const double x = dx - layout.x, y = dy - layout.y;
    if (!(x >= 0 && y >= 0 && x < layout.w && y < layout.h))
        return false;
    gx = game_at(x, layout.w, kClientWidth, source_x);
    gy = game_at(y, layout.h, kClientHeight, source_y);
    return true;
}

void scale_from_game(float gx, float gy, double& dx, double& dy)
{
    dx = layout.x + drawable_at(gx, layout.w, kClientWidth, first_x);
    dy = layout.y + drawable_at(gy, layout.h, kClientHeight, first_y);
}

void scale_copy(uint8_t* drawable, int pitch, const PictureRect& r)
{
    const PictureRect to = scale_to_drawable(r);
    if (to.w <= 0 || to.h <= 0)
        return;
    const uint32_t* pixels = picture_pixels();
    const int fx0 = to.x - layout.x;
    const uint8_t* previous = nullptr;
    int previous_source = -1;
    for (int y = to.y; y < to.y + to.h; ++y) {
        auto* dst = reinterpret_cast<uint32_t*>(drawable + size_t(y) * size_t(pitch)) + to.x;
        const int sy = source_y[y - layout.y];
        // The rows a game row is enlarged into are alike: copy the first.
        if (sy == previous_source) {
            std::memcpy(dst, previous, size_t(to.w) * 4);
            continue;
        }
        const uint32_t* src = pixels + size_t(sy) * kClientWidth;
        switch (layout.whole) {
        case 1: std::memcpy(dst, src + r.x, size_t(r.w) * 4); break;
        case 2: widen<2>(dst, src + r.x, r.w); break;
        case 3: widen<3>(dst, src + r.x, r.w); break;
        case 4: widen<4>(dst, src + r.x, r.w); break;
        default:
            for (int x = 0; x < to.w; ++x)
                dst[x] = src[source_x[fx0 + x]];
            break;
        }
        previous = reinterpret_cast<const uint8_t*>(dst);
        previous_source = sy;
    }
}
