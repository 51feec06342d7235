// picture.cpp -- the game's one picture: pixels, lines, clearing, and the record of changes.
#include "platform/core/picture.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

int width = kClientWidth;
int height = kClientHeight;
std::vector<uint32_t> pixels(size_t(kClientWidth) * kClientHeight);
uint64_t pixel_writes = 0;

// Per row, the columns [x0, x1) drawn since the last forget.
std::vector<int32_t> changed_x0(kClientHeight, 0);
std::vector<int32_t> changed_x1(kClientHeight, kClientWidth);
bool any_change = true;

void mark_changed(int y, int x0, int x1)
{
    if (x0 < changed_x0[size_t(y)])
        changed_x0[size_t(y)] = x0;
    if (x1 > changed_x1[size_t(y)])
        changed_x1[size_t(y)] = x1;
    any_change = true;
}

// A line's end point to a whole pixel, halves to even. False for NaN and for
// anything so far off that stepping to it would overflow: such a line draws
// nothing. Within the range every later step stays exact.
bool whole_pixel(float v, int32_t& out)
{
    double r = std::nearbyint(double(v));
    if (!(r >= -1.0e9 && r <= 1.0e9))
        return false;
    out = int32_t(r);
    return true;
}

} // namespace

void picture_resize(int w, int h)
{
    width = w;
    height = h;
    pixels.assign(size_t(w) * size_t(h), 0);
    changed_x0.assign(size_t(h), 0);
    changed_x1.assign(size_t(h), w);
    any_change = true;
    pixel_writes = 0;
}

int picture_width() { return width; }
int picture_height() { return height; }
const uint32_t* picture_pixels() { return pixels.data(); }
uint64_t picture_pixel_writes() { return pixel_writes; }

bool picture_changed() { return any_change; }
int picture_changed_x0(int y) { return changed_x0[size_t(y)]; }
int picture_changed_x1(int y) { return changed_x1[size_t(y)]; }

void picture_mark_all_changed()
{
    std::fill(changed_x0.begin(), changed_x0.end(), 0);
    std::fill(changed_x1.begin(), changed_x1.end(), width);
    any_change = true;
}

void picture_forget_changes()
{
    std::fill(changed_x0.begin(), changed_x0.end(), width);
    std::fill(changed_x1.begin(), changed_x1.end(), 0);
    any_change = false;
}

int picture_changed_rects(int visible_w, int visible_h, PictureRect* rects, int max_rects, int slack)
{
    visible_w = std::min(visible_w, width);
    visible_h = std::min(visible_h, height);
    int count = 0;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0; // the rectangle being grown, half-open
    for (int y = 0; y < visible_h; ++y) {
        const int rx0 = changed_x0[size_t(y)];
        const int rx1 = std::min(changed_x1[size_t(y)], visible_w);
        if (rx0 >= rx1)
            continue;
        if (count > 0) {
            const int ux0 = std::min(x0, rx0), ux1 = std::max(x1, rx1);
            const long unchanged = long(ux1 - ux0) * (y + 1 - y0) - long(x1 - x0) * (y1 - y0) - (rx1 - rx0);
            if (unchanged <= slack || count == max_rects) {
                x0 = ux0;
                x1 = ux1;
                y1 = y + 1;
                rects[count - 1] = PictureRect{x0, y0, x1 - x0, y1 - y0};
                continue;
            }
        }
        x0 = rx0;
        x1 = rx1;
        y0 = y;
        y1 = y + 1;
        rects[count++] = PictureRect{x0, y0, x1 - x0, y1 - y0};
    }
    return count;
}

// ---- platform.h: drawing, for every backend -----------------------------------

float plat_client_width() { return float(width); }
float plat_client_height() { return float(height); }

void plat_set_pixel(int32_t x, int32_t y, Rgb colour)
{
    ++pixel_writes;
    // Negative coordinates wrap to huge ones: one test a side.
    if (uint32_t(x) >= uint32_t(width) || uint32_t(y) >= uint32_t(height))
        return;
    pixels[size_t(y) * size_t(width) + size_t(x)] = picture_word(colour);
    // Called for every dot drawn or erased, in rows at random: widen the
    // row's span without a branch that would guess.
    int32_t& x0 = changed_x0[size_t(y)];
    int32_t& x1 = changed_x1[size_t(y)];
    x0 = std::min(x0, x);
    x1 = std::max(x1, x + 1);
    any_change = true;
}

void plat_draw_line(float x1, float y1, float x2, float y2, Rgb colour)
{
    int32_t ax = 0, ay = 0, bx = 0, by = 0;
    if (!whole_pixel(x1, ax) || !whole_pixel(y1, ay) || !whole_pixel(x2, bx) || !whole_pixel(y2, by))
        return;
    const uint32_t word = picture_word(colour);
    // The pixels covered, as a half-open range [lo, hi): from the first end
    // point towards the second, which is left out; then clipped.
    if (ay == by) {
        if (ax == bx || ay < 0 || ay >= height)
            return;
        const int32_t lo = std::max(bx > ax ? ax : bx + 1, 0);
        const int32_t hi = std::min(bx > ax ? bx : ax + 1, width);
        if (lo >= hi)
            return;
        uint32_t* row = &pixels[size_t(ay) * size_t(width)];
        std::fill(row + lo, row + hi, word);
        mark_changed(ay, lo, hi);
    } else if (ax == bx) {
        if (ax < 0 || ax >= width)
            return;
        const int32_t lo = std::max(by > ay ? ay : by + 1, 0);
        const int32_t hi = std::min(by > ay ? by : ay + 1, height);
        for (int32_t y = lo; y < hi; ++y) {
            pixels[size_t(y) * size_t(width) + size_t(ax)] = word;
            mark_changed(y, ax, ax + 1);
        }
    }
    // A slanting line is never asked for: the game draws only rows and columns.
}

void plat_clear()
{
    std::fill(pixels.begin(), pixels.end(), 0);
    picture_mark_all_changed();
}
