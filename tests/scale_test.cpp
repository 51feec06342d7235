// scale_test.cpp -- every screen pixel of a scaled window aims at the game pixel the present shows there, never off the picture.
#include "platform/core/scale.h"
#include "shell/rounding.h"
#include "test_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace {

// What the present shows along one axis of a drawable: for each game column
// (row) lit alone in white on black, how much of it each drawable column
// (row) of the picture shows, 0 .. 255, read along the picture's first row
// (column).
struct Profile {
    int shown = 0;
    std::vector<uint8_t> part; // [g * shown + d]
    std::vector<uint8_t> most; // [d]: the most any game pixel shows there
    int at(int g, int d) const { return part[size_t(g) * size_t(shown) + size_t(d)]; }
};

Profile profile(bool rows, std::vector<uint32_t>& drawable, int w)
{
    const ScaleLayout& l = scale_layout();
    const int games = rows ? kClientHeight : kClientWidth;
    Profile p;
    p.shown = rows ? l.h : l.w;
    p.part.resize(size_t(games) * size_t(p.shown));
    for (int g = 0; g < games; ++g) {
        // Its neighbour across lit too, so the other axis blends nothing in.
        for (int k = 0; k < 2; ++k)
            plat_set_pixel(rows ? k : g, rows ? g : k, rgb(255, 255, 255));
        const PictureRect lit{0, 0, rows ? 2 : 800, rows ? 600 : 2};
        scale_copy(reinterpret_cast<uint8_t*>(drawable.data()), w * 4, &lit, 1, true);
        for (int d = 0; d < p.shown; ++d) {
            const size_t i = rows ? size_t(l.y + d) * size_t(w) + size_t(l.x) : size_t(l.y) * size_t(w) + size_t(l.x + d);
            p.part[size_t(g) * size_t(p.shown) + size_t(d)] = uint8_t(drawable[i] & 0xFF);
        }
        for (int k = 0; k < 2; ++k)
            plat_set_pixel(rows ? k : g, rows ? g : k, rgb(0, 0, 0));
    }
    p.most.assign(size_t(p.shown), 0);
    for (int g = 0; g < games; ++g)
        for (int d = 0; d < p.shown; ++d)
            p.most[size_t(d)] = uint8_t(std::max(int(p.most[size_t(d)]), p.at(g, d)));
    return p;
}

// Where the game puts a posted coordinate against what the present shows at
// drawable pixel d: 0 a game pixel shown most there, 1 a neighbour of one, 2
// further, 3 off the picture.
int miss(float posted, const Profile& p, int d, int games)
{
    const int at = round16(posted);
    if (at < 0 || at >= games)
        return 3;
    const int most = p.most[size_t(d)];
    if (p.at(at, d) == most)
        return 0;
    return (at > 0 && p.at(at - 1, d) == most) || (at + 1 < games && p.at(at + 1, d) == most) ? 1 : 2;
}

struct Sweep {
    long samples = 0, off_by_one = 0, further = 0, outside = 0, bars_moved = 0;
};

// Sweeps every drawable pixel of a w x h drawable with the pointer, at its
// top-left corner (SDL's whole points), and when scaled also at its centre
// and far edge (a browser's fractions; at 1x those go through as they are,
// see below).
Sweep sweep(int w, int h, const Profile& across, const Profile& down)
{
    const ScaleLayout& l = scale_layout();
    const std::vector<double> offsets = l.whole == 1 ? std::vector<double>{0.0} : std::vector<double>{0.0, 0.5, 0.999};
    Sweep s;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool inside = x >= l.x && x < l.x + l.w && y >= l.y && y < l.y + l.h;
            for (double f : offsets) {
                float gx = -1, gy = -1;
                const bool moved = scale_to_game(x + f, y + f, gx, gy);
                if (!inside) {
                    s.bars_moved += moved;
                    continue;
                }
                ++s.samples;
                const int worst = moved ? std::max(miss(gx, across, x - l.x, kClientWidth), miss(gy, down, y - l.y, kClientHeight)) : 3;
                s.off_by_one += worst == 1;
                s.further += worst == 2;
                s.outside += worst == 3;
            }
        }
    }
    std::printf("%dx%d (picture %dx%d at %d,%d): %ld samples, %ld off by one, %ld further, %ld outside\n", w, h,
                l.w, l.h, l.x, l.y, s.samples, s.off_by_one, s.further, s.outside);
    return s;
}

// How the game columns (rows) fare: the least and most of the screen one
// covers (its parts summed, in drawable pixels), and the least that the
// brightest drawable pixel showing it shows of it.
void fare(const Profile& p, int games, double& least, double& most, int& faintest)
{
    least = 1e9;
    most = 0;
    faintest = 255;
    for (int g = 0; g < games; ++g) {
        double covered = 0;
        int brightest = 0;
        for (int d = 0; d < p.shown; ++d) {
            covered += p.at(g, d) / 255.0;
            brightest = std::max(brightest, p.at(g, d));
        }
        least = std::min(least, covered);
        most = std::max(most, covered);
        faintest = std::min(faintest, brightest);
    }
}

} // namespace

// 1x, 2x, 3x, the fits of 1080p (1.8x) and 2160p (3.6x) screens, a square
// window (1.25x) and 640 x 480 with no window manager (0.8x). Every game
// pixel covers as much of the screen as any other, to within a blended seam,
// and even below 1x every one shows at least a quarter lit.
TEST(Scale, EveryScreenPixelAimsAtTheGamePixelShownThere)
{
    mem_reset();
    for (auto [w, h] : {std::pair{800, 600}, {1600, 1200}, {2400, 1800}, {3840, 2160}, {1920, 1080}, {1000, 1000},
                        {640, 480}}) {
        picture_resize(kClientWidth, kClientHeight);
        scale_set_drawable(w, h);
        std::vector<uint32_t> drawable(size_t(w) * size_t(h), 0);
        const Profile across = profile(false, drawable, w), down = profile(true, drawable, w);
        const Sweep s = sweep(w, h, across, down);
        EXPECT_GT(s.samples, 0) << w << "x" << h;
        EXPECT_EQ(s.off_by_one + s.further + s.outside, 0) << w << "x" << h;
        EXPECT_EQ(s.bars_moved, 0) << w << "x" << h << ": a point over a bar moved the crosshair";
        for (const Profile* p : {&across, &down}) {
            double least = 0, most = 0;
            int faintest = 0;
            fare(*p, p == &across ? kClientWidth : kClientHeight, least, most, faintest);
            std::printf("  %s: a game pixel covers %.3f to %.3f drawable pixels, at least %d/255 lit\n",
                        p == &across ? "columns" : "rows", least, most, faintest);
            EXPECT_LE(most - least, 0.35) << w << "x" << h;
            EXPECT_GE(faintest, 64) << w << "x" << h;
        }
    }
}

TEST(Scale, AtOneToOneTheFractionsGoThrough)
{
    scale_set_drawable(800, 600);
    float gx = 0, gy = 0;
    ASSERT_TRUE(scale_to_game(123.25, 456.75, gx, gy));
    EXPECT_EQ(gx, 123.25f);
    EXPECT_EQ(gy, 456.75f);
    // The far half of the last pixel would round off the picture.
    ASSERT_TRUE(scale_to_game(799.75, 599.5, gx, gy));
    EXPECT_EQ(round16(gx), 799);
    EXPECT_EQ(round16(gy), 599);
    EXPECT_GT(gx, 799.49f);
    EXPECT_FALSE(scale_to_game(800.0, 10.0, gx, gy));
    EXPECT_FALSE(scale_to_game(-0.01, 10.0, gx, gy));
}

// A pad's warp puts the pointer where it maps back to the aim's game pixel;
// below 1x, where some game pixels have no screen pixel, onto a neighbour.
TEST(Scale, TheWarpLandsOnTheAimsPixel)
{
    for (auto [w, h] : {std::pair{800, 600}, {2400, 1800}, {1920, 1080}, {640, 480}}) {
        scale_set_drawable(w, h);
        const bool every_pixel_shown = scale_layout().w >= kClientWidth;
        for (int g = 0; g < kClientWidth; ++g) {
            for (float f : {0.0f, 0.4f, -0.4f}) {
                double dx = 0, dy = 0;
                scale_from_game(float(g) + f, 300.0f, dx, dy);
                float gx = 0, gy = 0;
                ASSERT_TRUE(scale_to_game(std::floor(dx), std::floor(dy), gx, gy)) << w << "x" << h << " g " << g;
                if (every_pixel_shown)
                    EXPECT_EQ(round16(gx), std::clamp(g, 0, kClientWidth - 1)) << w << "x" << h;
                else
                    EXPECT_LE(std::abs(round16(gx) - g), 1) << w << "x" << h;
                EXPECT_EQ(round16(gy), 300) << w << "x" << h;
            }
        }
    }
}

// A present sends only what changed, one rectangle after another; the window
// must come out exactly as a whole repaint of the new picture would show it,
// at whole factors and fitted, above and below 1x, however the changes are
// gathered (a rectangle per changed row, or merged with slack).
TEST(Scale, PresentingTheChangesShowsWhatAWholeRepaintDoes)
{
    for (auto [w, h] : {std::pair{3840, 2160}, {1920, 1080}, {2400, 1800}, {1000, 1000}, {640, 480}}) {
        for (int slack : {0, 79, 1024}) {
            mem_reset();
            picture_resize(kClientWidth, kClientHeight);
            scale_set_drawable(w, h);
            std::mt19937 random(uint32_t(w + slack));
            auto paint = [&](int dots) {
                for (int i = 0; i < dots; ++i) {
                    const uint32_t r = random();
                    plat_set_pixel(int32_t(r % 800), int32_t((r >> 10) % 600), rgb(int32_t(r >> 24), int32_t(r >> 16 & 255), 9));
                }
            };
            bool first = true;
            auto show_changes = [&](std::vector<uint32_t>& drawable) {
                PictureRect rects[kPresentMaxRects];
                const int count = picture_changed_rects(kClientWidth, kClientHeight, rects, kPresentMaxRects, slack);
                picture_forget_changes();
                scale_copy(reinterpret_cast<uint8_t*>(drawable.data()), w * 4, rects, count, first);
                first = false;
            };
            std::vector<uint32_t> shown(size_t(w) * size_t(h), 0), whole(shown.size(), 0);
            paint(200000);
            picture_mark_all_changed();
            show_changes(shown);
            // Busy frames: scattered dots, a crosshair, dots at the edges and corners.
            for (int frame = 0; frame < 3; ++frame) {
                paint(800);
                plat_draw_line(100.0f + frame, 300.0f, 117.0f + frame, 300.0f, rgb(255, 0, 0));
                plat_draw_line(108.0f, 292.0f, 108.0f, 309.0f, rgb(255, 0, 0));
                for (auto [x, y] : {std::pair{0, 0}, {799, 0}, {0, 599}, {799, 599}, {400, 0}, {0, 300 + frame}})
                    plat_set_pixel(x, y, rgb(frame * 90, 255, 255));
                show_changes(shown);
            }
            const PictureRect all{0, 0, kClientWidth, kClientHeight};
            scale_copy(reinterpret_cast<uint8_t*>(whole.data()), w * 4, &all, 1, true);
            long wrong = 0;
            for (size_t i = 0; i < shown.size(); ++i)
                wrong += shown[i] != whole[i];
            EXPECT_EQ(wrong, 0) << w << "x" << h << ", slack " << slack;
        }
    }
}

namespace {

// One axis of a fitted picture, as sharp bilinear defines it: drawable pixel
// d of `shown` takes the two pixels around its centre on the picture
// enlarged by the smallest whole factor at or above the fit, and mixes them
// by distance, in 256ths; `from` and `next` are their game pixels.
struct Tap {
    int from, next, take;
};

Tap tap(int d, int shown, int game)
{
    const int k = std::max(1, int(std::ceil(double(shown) / game - 1e-9)));
    const int enlarged = game * k;
    const double c = std::clamp((d + 0.5) * enlarged / shown - 0.5, 0.0, double(enlarged - 1));
    const int i = int(c), j = std::min(i + 1, enlarged - 1);
    return Tap{i / k, j / k, int(std::nearbyint((c - i) * 256))};
}

// Each channel of a and b mixed, rounded.
uint32_t mixed(uint32_t a, uint32_t b, int take)
{
    uint32_t out = 0;
    for (int shift : {0, 8, 16}) {
        const int ca = int(a >> shift & 255), cb = int(b >> shift & 255);
        out |= uint32_t((ca * (256 - take) + cb * take + 128) >> 8) << shift;
    }
    return out;
}

} // namespace

// The fitted copy, however it is done, is exactly that filter: across first,
// each row rounded, then down; above and below 1x, wide and tall screens.
TEST(Scale, AFittedCopyIsTheEnlargedPictureFilteredLinearly)
{
    mem_reset();
    picture_resize(kClientWidth, kClientHeight);
    std::mt19937 random(24);
    for (int y = 0; y < kClientHeight; ++y)
        for (int x = 0; x < kClientWidth; ++x) {
            const uint32_t r = random();
            plat_set_pixel(x, y, rgb(int32_t(r & 255), int32_t(r >> 8 & 255), int32_t(r >> 16 & 255)));
        }
    const uint32_t* picture = picture_pixels();
    for (auto [w, h] : {std::pair{1920, 1080}, {3840, 2160}, {2560, 1440}, {1366, 768}, {1000, 1000}, {1234, 777},
                        {1700, 1000}, {640, 480}, {333, 250}}) {
        scale_set_drawable(w, h);
        const ScaleLayout l = scale_layout();
        ASSERT_EQ(l.whole, 0) << w << "x" << h;
        std::vector<uint32_t> drawable(size_t(w) * size_t(h), 0xFFFFFFFFu);
        const PictureRect all{0, 0, kClientWidth, kClientHeight};
        scale_copy(reinterpret_cast<uint8_t*>(drawable.data()), w * 4, &all, 1, true);
        std::vector<Tap> across(size_t(l.w));
        for (int d = 0; d < l.w; ++d)
            across[size_t(d)] = tap(d, l.w, kClientWidth);
        long wrong = 0;
        for (int dy = 0; dy < l.h; ++dy) {
            const Tap down = tap(dy, l.h, kClientHeight);
            const uint32_t* upper = picture + size_t(down.from) * kClientWidth;
            const uint32_t* lower = picture + size_t(down.next) * kClientWidth;
            for (int dx = 0; dx < l.w; ++dx) {
                const Tap& t = across[size_t(dx)];
                const uint32_t want = mixed(mixed(upper[t.from], upper[t.next], t.take),
                                            mixed(lower[t.from], lower[t.next], t.take), down.take);
                wrong += drawable[size_t(l.y + dy) * size_t(w) + size_t(l.x + dx)] != want;
            }
        }
        EXPECT_EQ(wrong, 0) << w << "x" << h << ": drawable pixels not as filtered";
    }
}

// Halved n times, the picture is what the page's filter brings down to the
// fit: never less than half of it (no game pixel passed over), and halved no
// more than that needs, at every width from a thumbnail to full size.
TEST(Scale, BelowHalfSizeThePictureIsHalvedJustEnough)
{
    for (int w = 100; w <= kClientWidth; ++w) {
        scale_set_drawable(w, w * kClientHeight / kClientWidth);
        const ScaleLayout& l = scale_layout();
        const int n = scale_halvings(l), filtered = kClientWidth >> n;
        EXPECT_GE(2 * l.w, filtered) << "width " << w << ", halved " << n << " times";
        if (n > 0) {
            EXPECT_LT(2 * l.w, filtered * 2) << "width " << w << ": halved once too often";
        }
    }
}
