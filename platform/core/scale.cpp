// scale.cpp -- the picture's place in the drawable, the maps between drawable and game pixels, and the enlarging copy.
#include "platform/core/scale.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

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

// A fitted picture is shown sharp but even: enlarged by the smallest whole
// factor at or above the fit with nearest neighbour, then brought to the fit
// size with linear filtering, so every game pixel covers the same share of
// the screen and only the one-pixel seams between game pixels are blended
// (below 1x the same filter brings the picture down and no game pixel is
// dropped). For each drawable column (row): the game column (row) it starts
// from and how much, in 256ths, of the next one it takes in.
int16_t blend_from_x[kScaleMaxDrawable];
int16_t blend_from_y[kScaleMaxDrawable];
uint16_t blend_x[kScaleMaxDrawable];
uint16_t blend_y[kScaleMaxDrawable];
// For each game column (row) of a fitted picture, the drawable columns
// (rows) that show any of it, half-open: its own and the seams that take it in.
int16_t shows_x0[kClientWidth], shows_x1[kClientWidth];
int16_t shows_y0[kClientHeight], shows_y1[kClientHeight];

// The columns of a fitted picture by game column, which filter_columns
// needs: the drawable columns showing each game column alone (fill_n of them
// from fill_x), then the one that mixes it with the next (seam_x, taking
// seam_take of the next and seam_keep of its own, in 256ths, for each of its
// four bytes); a game column with no such seam names its first column, and
// mixes in none of the next. Fitted, no game column has two seams.
int16_t fill_x[kClientWidth], fill_n[kClientWidth], seam_x[kClientWidth];
uint16_t seam_keep[kClientWidth * 4], seam_take[kClientWidth * 4];
// Spans this narrow are filtered column by column.
constexpr int kFewColumns = 16;
// One game row's seams, mixed.
uint32_t seam_colour[kClientWidth];
// The longest fill.
int fill_longest = 0;

// Game rows filtered across the picture's columns, kept for the length of
// one copy, so that the seams of neighbouring rectangles filter each game row
// once: the game row each buffer holds (-1: none) and the picture's columns
// [x0, x1) done.
constexpr int kFilteredRows = 3;
uint32_t filtered[kFilteredRows][kScaleMaxDrawable];
struct Filtered {
    int row, x0, x1;
} filtered_held[kFilteredRows];

// The picture as the drawable shows it when fitted (made at the first fitted
// copy, once); false until a copy of the whole picture fills it. A changed
// row's span is wide where a few dots lie far apart, and a fitted copy
// filters every game row it covers: only the game pixels that differ from
// this are copied.
std::vector<uint32_t> shown_picture;
bool shown_known = false;

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

// The smallest whole factor at or above the scale of `shown` drawable pixels
// showing `game` game pixels; at least 1.
int enlarge_factor(int shown, int game) { return std::max(1, int(std::ceil(double(shown) / game - 1e-9))); }

// The blend tables for `shown` drawable pixels showing `game` game pixels
// fitted; a whole factor takes in nothing of the next pixel.
void fill_blend(int shown, int game, bool fitted, int16_t* from, uint16_t* weight, int16_t* shows0, int16_t* shows1)
{
    for (int g = 0; g < game; ++g)
        shows0[g] = shows1[g] = -1;
    const int factor = enlarge_factor(shown, game);
    const int64_t enlarged = int64_t(game) * factor;
    for (int d = 0; d < shown; ++d) {
        // The drawable pixel's centre on the enlarged picture, whose pixel
        // centres lie at i + 0.5: linear filtering mixes the two around it.
        const double c = std::clamp((d + 0.5) * double(enlarged) / shown - 0.5, 0.0, double(enlarged - 1));
        const int64_t i = int64_t(c);
        const int s = int(i / factor), next = int(std::min(i + 1, enlarged - 1) / factor);
        from[d] = int16_t(s);
        weight[d] = fitted && next != s ? uint16_t(std::nearbyint((c - double(i)) * 256)) : 0;
        // A drawable pixel takes in only the game pixel after its own: each
        // game pixel's share is one unbroken run.
        for (int g = s; g <= (weight[d] != 0 ? s + 1 : s); ++g) {
            if (shows0[g] < 0)
                shows0[g] = int16_t(d);
            shows1[g] = int16_t(d + 1);
        }
    }
    // Below 1x a game pixel may show nowhere: an empty run where it would be.
    for (int g = game - 1; g >= 0; --g)
        if (shows0[g] < 0)
            shows0[g] = shows1[g] = g + 1 < game ? shows0[g + 1] : int16_t(shown);
}

// The game-column tables of filter_columns, from the blend tables of `shown`
// fitted drawable columns.
void fill_columns(int shown)
{
    int first = 0;
    for (int g = 0; g < kClientWidth; ++g) {
        while (first < shown && blend_from_x[first] < g)
            ++first;
        fill_x[g] = int16_t(first);
        fill_n[g] = 0;
        seam_x[g] = int16_t(first);
        for (int c = 0; c < 4; ++c) {
            seam_keep[g * 4 + c] = 256;
            seam_take[g * 4 + c] = 0;
        }
    }
    fill_longest = 0;
    for (int d = 0; d < shown; ++d) {
        const int g = blend_from_x[d];
        if (blend_x[d] == 0) {
            fill_longest = std::max(fill_longest, int(++fill_n[g]));
            continue;
        }
        seam_x[g] = int16_t(d);
        for (int c = 0; c < 4; ++c) {
            seam_keep[g * 4 + c] = uint16_t(256 - blend_x[d]);
            seam_take[g * 4 + c] = blend_x[d];
        }
    }
}

// A channel mixed: `keep` 256ths of a and `take` of b, which make 256,
// rounded. Byte by byte, so that the compiler takes many channels at once in
// 16-bit lanes: a channel times its weight fits 16 bits, and since the
// weights make 256 so does the rounded sum. The picture's top byte is 0, and
// so stays.
inline uint8_t blend(uint8_t a, uint8_t b, uint16_t keep, uint16_t take)
{
    return uint8_t(uint16_t(uint16_t(a * keep) + uint16_t(b * take) + 128u) >> 8);
}

// Pixels a and b mixed, taking `w` 256ths of b.
inline uint32_t mix(uint32_t a, uint32_t b, uint32_t w)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8)
        out |= uint32_t(blend(uint8_t(a >> shift), uint8_t(b >> shift), uint16_t(256 - w), uint16_t(w))) << shift;
    return out;
}

// Rows a and b blended into out, taking `w` 256ths of b.
void mix_rows(const uint32_t* a, const uint32_t* b, uint32_t* out, int count, uint32_t w)
{
    const auto* pa = reinterpret_cast<const uint8_t*>(a);
    const auto* pb = reinterpret_cast<const uint8_t*>(b);
    auto* po = reinterpret_cast<uint8_t*>(out);
    for (int i = 0; i < count * 4; ++i)
        po[i] = blend(pa[i], pb[i], uint16_t(256 - w), uint16_t(w));
}

// Game row src filtered across the picture's columns [x0, x1) into out,
// which may take correct columns outside [x0, x1) as well. Each game column
// is a fill of its own colour, four at a time, then its seam, mixed for all
// the game columns at once (see fill_columns).
void filter_columns(const uint32_t* src, uint32_t* out, int x0, int x1)
{
    // A few columns around a dot: each by itself, not worth the tables.
    if (x1 - x0 <= kFewColumns) {
        for (int x = x0; x < x1; ++x) {
            const int g = blend_from_x[x];
            out[x] = blend_x[x] == 0 ? src[g] : mix(src[g], src[g + 1], blend_x[x]);
        }
        return;
    }
    const int g0 = blend_from_x[x0], g1 = blend_from_x[x1 - 1] + 1;
    // Column 799 has no seam and no column after it to mix in.
    const int mixed = std::min(g1, kClientWidth - 1);
    const auto* from = reinterpret_cast<const uint8_t*>(src);
    auto* seam = reinterpret_cast<uint8_t*>(seam_colour);
    for (int i = g0 * 4; i < mixed * 4; ++i)
        seam[i] = blend(from[i], from[i + 4], seam_keep[i], seam_take[i]);
    if (g1 == kClientWidth)
        seam_colour[kClientWidth - 1] = src[kClientWidth - 1];
    // Four at a time, at least once, runs past a game column's fill into
    // columns that later game columns write: up to the last game columns,
    // whose stores would pass x1 and go exactly.
    const int span = std::max(4, (fill_longest + 3) & ~3);
    int exact = g1;
    while (exact > g0 && fill_x[exact - 1] + span > x1)
        --exact;
    int g = g0;
    for (; g < exact; ++g) {
        const uint32_t v = src[g];
        const uint32_t four[4] = {v, v, v, v};
        uint32_t* fill = out + fill_x[g];
        std::memcpy(fill, four, sizeof four);
        for (int k = 4; k < fill_n[g]; k += 4)
            std::memcpy(fill + k, four, sizeof four);
        out[seam_x[g]] = seam_colour[g];
    }
    for (; g < g1; ++g) {
        for (int k = 0; k < fill_n[g]; ++k)
            out[fill_x[g] + k] = src[g];
        out[seam_x[g]] = seam_colour[g];
    }
}

// Game row sy filtered across the picture's columns [x0, x1) at least, in a
// buffer other than `keep`.
const uint32_t* filtered_game_row(int sy, int x0, int x1, const uint32_t* keep)
{
    const uint32_t* src = picture_pixels() + size_t(sy) * kClientWidth;
    int k = 0;
    while (k < kFilteredRows && filtered_held[k].row != sy)
        ++k;
    if (k < kFilteredRows) {
        // Held: widened to the columns asked for, unless that would filter
        // more columns between the two than were asked for.
        Filtered& f = filtered_held[k];
        if (std::max(x0 - f.x1, f.x0 - x1) <= x1 - x0) {
            if (x0 < f.x0)
                filter_columns(src, filtered[k], x0, f.x0);
            if (x1 > f.x1)
                filter_columns(src, filtered[k], f.x1, x1);
            f.x0 = std::min(f.x0, x0);
            f.x1 = std::max(f.x1, x1);
            return filtered[k];
        }
    } else {
        // Rows are asked for top to bottom: the topmost held is the one
        // least likely to be asked for again.
        k = -1;
        for (int i = 0; i < kFilteredRows; ++i)
            if (filtered[i] != keep && (k < 0 || filtered_held[i].row < filtered_held[k].row))
                k = i;
    }
    filter_columns(src, filtered[k], x0, x1);
    filtered_held[k] = Filtered{sy, x0, x1};
    return filtered[k];
}

// The fitted copy of the drawable rectangle `to`, which lies in the picture.
void blend_copy(uint8_t* drawable, int pitch, const PictureRect& to)
{
    const int x0 = to.x - layout.x, x1 = x0 + to.w;
    for (int y = to.y; y < to.y + to.h; ++y) {
        auto* dst = reinterpret_cast<uint32_t*>(drawable + size_t(y) * size_t(pitch)) + to.x;
        const int fy = y - layout.y, sy = blend_from_y[fy];
        const uint32_t w = blend_y[fy];
        const uint32_t* upper = filtered_game_row(sy, x0, x1, nullptr);
        if (w == 0) {
            std::memcpy(dst, upper + x0, size_t(to.w) * 4);
            continue;
        }
        const uint32_t* lower = filtered_game_row(sy + 1, x0, x1, upper) + x0;
        mix_rows(upper + x0, lower, dst, to.w, w);
    }
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
    shown_known = false;
    fill_map(layout.w, kClientWidth, source_x, first_x);
    fill_map(layout.h, kClientHeight, source_y, first_y);
    fill_blend(layout.w, kClientWidth, layout.whole == 0, blend_from_x, blend_x, shows_x0, shows_x1);
    fill_blend(layout.h, kClientHeight, layout.whole == 0, blend_from_y, blend_y, shows_y0, shows_y1);
    fill_columns(layout.w);
}

const ScaleLayout& scale_layout() { return layout; }
int scale_drawable_w() { return drawable_w; }
int scale_sharp_factor(const ScaleLayout& l) { return l.whole == 0 ? enlarge_factor(l.w, kClientWidth) : 0; }
int scale_drawable_h() { return drawable_h; }

int scale_halvings(const ScaleLayout& l)
{
    int n = 0;
    while (n < 3 && (l.w << (n + 1)) < kClientWidth)
        ++n;
    return n;
}

PictureRect scale_to_drawable(const PictureRect& r)
{
    if (r.w <= 0 || r.h <= 0)
        return PictureRect{layout.x, layout.y, 0, 0};
    int x0 = first_x[r.x], x1 = first_x[r.x + r.w];
    int y0 = first_y[r.y], y1 = first_y[r.y + r.h];
    // Fitted, the seams on either side mix in the rectangle's edge pixels:
    // exactly the drawable pixels that show any of it.
    if (layout.whole == 0) {
        x0 = shows_x0[r.x];
        x1 = std::max(x0, int(shows_x1[r.x + r.w - 1]));
        y0 = shows_y0[r.y];
        y1 = std::max(y0, int(shows_y1[r.y + r.h - 1]));
    }
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

namespace {

void copy_whole_factor(uint8_t* drawable, int pitch, const PictureRect& r, const PictureRect& to);

// One rectangle of scale_copy.
void copy_rect(uint8_t* drawable, int pitch, const PictureRect& r)
{
    const PictureRect to = scale_to_drawable(r);
    if (to.w <= 0 || to.h <= 0)
        return;
    if (layout.whole == 0) {
        blend_copy(drawable, pitch, to);
        return;
    }
    copy_whole_factor(drawable, pitch, r, to);
}

// The runs of game pixels of one rectangle that differ from shown_picture,
// found before any is copied.
struct Run {
    int x, y, w;
};
constexpr int kMaxRuns = 4096;
Run runs[kMaxRuns];

// The fitted copy of the game rectangle r where the drawable already shows
// shown_picture: each run of game pixels that differ from it (runs a few
// pixels apart taken as one), then shown_picture brought up to date. Mostly
// changed (a new sky), the rectangle goes whole: its rows' seams are then
// mixed once, not once for each row's run.
void copy_differences(uint8_t* drawable, int pitch, const PictureRect& r)
{
    constexpr int kJoin = 4;
    int count = 0;
    long differ = 0;
    const long most = long(r.w) * r.h / 2;
    // Half the picture or more changed at once is a new scene: not searched.
    const bool large = long(r.w) * r.h >= long(kClientWidth) * kClientHeight / 2;
    for (int y = r.y; y < r.y + r.h && !large && differ <= most && count < kMaxRuns; ++y) {
        const uint32_t* now = picture_pixels() + size_t(y) * kClientWidth;
        const uint32_t* was = shown_picture.data() + size_t(y) * kClientWidth;
        const int end = r.x + r.w;
        for (int x = r.x; x < end && count < kMaxRuns;) {
            while (x < end && now[x] == was[x])
                ++x;
            if (x == end)
                break;
            const int first = x;
            int last = x;
            for (; x < end && x - last <= kJoin; ++x)
                if (now[x] != was[x])
                    last = x;
            runs[count++] = Run{first, y, last + 1 - first};
            differ += last + 1 - first;
            x = last + 1;
        }
    }
    if (large || differ > most || count == kMaxRuns) {
        copy_rect(drawable, pitch, r);
        for (int y = r.y; y < r.y + r.h; ++y)
            std::memcpy(shown_picture.data() + size_t(y) * kClientWidth + r.x,
                        picture_pixels() + size_t(y) * kClientWidth + r.x, size_t(r.w) * 4);
        return;
    }
    for (int i = 0; i < count; ++i) {
        const Run& run = runs[i];
        const PictureRect to = scale_to_drawable(PictureRect{run.x, run.y, run.w, 1});
        if (to.w > 0 && to.h > 0)
            blend_copy(drawable, pitch, to);
        const size_t at = size_t(run.y) * kClientWidth + size_t(run.x);
        std::memcpy(shown_picture.data() + at, picture_pixels() + at, size_t(run.w) * 4);
    }
}

// One rectangle of scale_copy at a whole factor, nearest neighbour.
void copy_whole_factor(uint8_t* drawable, int pitch, const PictureRect& r, const PictureRect& to)
{
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

} // namespace

void scale_copy(uint8_t* drawable, int pitch, const PictureRect* rects, int count, bool everything)
{
    // The picture has changed since the last copy: no filtered row holds.
    for (Filtered& f : filtered_held)
        f = Filtered{-1, 0, 0};
    if (layout.whole != 0 || layout.w <= 0 || layout.h <= 0) {
        shown_known = false;
        for (int i = 0; i < count; ++i)
            copy_rect(drawable, pitch, rects[i]);
        return;
    }
    if (everything || !shown_known) {
        for (int i = 0; i < count; ++i)
            copy_rect(drawable, pitch, rects[i]);
        // Known from here on once the whole picture has been copied.
        shown_known = count == 1 && rects[0].x == 0 && rects[0].y == 0 && rects[0].w == kClientWidth &&
                      rects[0].h == kClientHeight;
        if (shown_known) {
            shown_picture.resize(size_t(kClientWidth) * kClientHeight);
            std::memcpy(shown_picture.data(), picture_pixels(), shown_picture.size() * 4);
        }
        return;
    }
    for (int i = 0; i < count; ++i)
        copy_differences(drawable, pitch, rects[i]);
}
