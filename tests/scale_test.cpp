// scale_test.cpp -- every screen pixel of a scaled window aims at the game pixel the present shows there, never off the picture.
#include "platform/scale.h"
#include "shell/rounding.h"
#include "test_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// The picture coded so that each game pixel's colour names its own place.
void code_picture()
{
    picture_resize(kClientWidth, kClientHeight);
    for (int y = 0; y < kClientHeight; ++y)
        for (int x = 0; x < kClientWidth; ++x)
            plat_set_pixel(x, y, Rgb{uint8_t(x), uint8_t(x >> 8 | (y & 0x3F) << 2), uint8_t(y >> 6)});
}

int coded_x(uint32_t word) { return int(word >> 16 & 0xFF) | int(word >> 8 & 3) << 8; }
int coded_y(uint32_t word) { return int(word >> 10 & 0x3F) | int(word & 0xFF) << 6; }

struct Sweep {
    long samples = 0, off_by_one = 0, further = 0, outside = 0, bars_moved = 0;
};

// Where the game puts a posted coordinate against the game pixel shown:
// 0 the same, 1 a neighbour, 2 further, 3 off the picture.
int miss(float posted, int limit, int shown)
{
    const int at = round16(posted);
    return at < 0 || at >= limit ? 3 : at == shown ? 0 : std::abs(at - shown) == 1 ? 1 : 2;
}

// Presents the coded picture into a drawable of w x h and sweeps every
// drawable pixel with the pointer, at its top-left corner (SDL's whole
// points), and when scaled also at its centre and far edge (a browser's
// fractions; at 1x those go through as they are, see below).
Sweep sweep(int w, int h)
{
    scale_set_drawable(w, h);
    std::vector<uint32_t> drawable(size_t(w) * size_t(h), 0xFFFFFFFFu);
    scale_copy(reinterpret_cast<uint8_t*>(drawable.data()), w * 4, PictureRect{0, 0, kClientWidth, kClientHeight});
    const ScaleLayout& l = scale_layout();
    const std::vector<double> offsets = l.whole == 1 ? std::vector<double>{0.0} : std::vector<double>{0.0, 0.5, 0.999};
    Sweep s;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool inside = x >= l.x && x < l.x + l.w && y >= l.y && y < l.y + l.h;
            const uint32_t word = drawable[size_t(y) * size_t(w) + size_t(x)];
            for (double f : offsets) {
                float gx = -1, gy = -1;
                const bool moved = scale_to_game(x + f, y + f, gx, gy);
                if (!inside) {
                    s.bars_moved += moved;
                    continue;
                }
                ++s.samples;
                if (!moved) {
                    ++s.outside;
                    continue;
                }
                const int worst = std::max(miss(gx, kClientWidth, coded_x(word)), miss(gy, kClientHeight, coded_y(word)));
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

} // namespace

// 1x, 2x, 3x, the fits of 1080p (1.8x) and 2160p (3.6x) screens, a square
// window (1.25x) and 640 x 480 with no window manager (0.8x).
TEST(Scale, EveryScreenPixelAimsAtTheGamePixelShownThere)
{
    mem_reset();
    code_picture();
    for (auto [w, h] : {std::pair{800, 600}, {1600, 1200}, {2400, 1800}, {3840, 2160}, {1920, 1080}, {1000, 1000},
                        {640, 480}}) {
        const Sweep s = sweep(w, h);
        EXPECT_GT(s.samples, 0) << w << "x" << h;
        EXPECT_EQ(s.off_by_one + s.further + s.outside, 0) << w << "x" << h;
        EXPECT_EQ(s.bars_moved, 0) << w << "x" << h << ": a point over a bar moved the crosshair";
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
