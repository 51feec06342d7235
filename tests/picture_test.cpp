// picture_test.cpp -- the shared picture: the line rule, clipping, and the record of what changed.
#include "platform/core/picture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr Rgb kRed{255, 0, 0};

uint32_t at(int x, int y) { return picture_pixels()[size_t(y) * size_t(picture_width()) + size_t(x)]; }

// The columns of row y that are red, as a list.
std::vector<int> red_columns(int y)
{
    std::vector<int> xs;
    for (int x = 0; x < picture_width(); ++x)
        if (at(x, y) == picture_word(kRed))
            xs.push_back(x);
    return xs;
}

std::vector<int> red_rows(int x)
{
    std::vector<int> ys;
    for (int y = 0; y < picture_height(); ++y)
        if (at(x, y) == picture_word(kRed))
            ys.push_back(y);
    return ys;
}

TEST(PictureLine, FirstPixelInLastOutHalvesToEvenBothWays)
{
    picture_resize(40, 30);
    plat_draw_line(2.5f, 3, 6.5f, 3, kRed); // 2.5 -> 2, 6.5 -> 6
    EXPECT_EQ(red_columns(3), (std::vector<int>{2, 3, 4, 5}));
    plat_draw_line(11.5f, 4, 7.5f, 4, kRed); // 12 down to 8, 8 left out
    EXPECT_EQ(red_columns(4), (std::vector<int>{9, 10, 11, 12}));
    plat_draw_line(5, 0.5f, 5, 3.5f, kRed); // rows 0 to 3, 4 left out
    plat_draw_line(6, 9, 6, 7, kRed);
    EXPECT_EQ(red_rows(5), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(red_rows(6), (std::vector<int>{8, 9}));
    // No length, or a slant, draws nothing.
    uint64_t writes = picture_pixel_writes();
    plat_draw_line(20, 20, 20.4f, 20.4f, kRed);
    plat_draw_line(20, 20, 25, 25, kRed);
    EXPECT_EQ(red_columns(20), std::vector<int>{});
    EXPECT_EQ(picture_pixel_writes(), writes); // lines are not pixel writes
}

TEST(PictureLine, ClippedAndNothingForFarOffOrNonFiniteEnds)
{
    picture_resize(40, 30);
    plat_draw_line(-100, 1, 5, 1, kRed);
    plat_draw_line(35, 2, 1e6f, 2, kRed);
    plat_draw_line(0, 3, 40, 3, kRed); // a whole row: (0, y) to (W, y)
    plat_draw_line(7, -5, 7, 2, kRed);
    EXPECT_EQ(red_columns(1), (std::vector<int>{0, 1, 2, 3, 4, 7}));
    EXPECT_EQ(red_columns(2), (std::vector<int>{35, 36, 37, 38, 39}));
    EXPECT_EQ(red_columns(3).size(), 40u);
    EXPECT_EQ(red_rows(7), (std::vector<int>{0, 1, 3}));
    // Off the picture entirely, beyond any sane range, or not a number.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    plat_draw_line(-50, 10, -1, 10, kRed);
    plat_draw_line(0, 30, 40, 30, kRed);
    plat_draw_line(-1e12f, 11, 1e12f, 11, kRed);
    plat_draw_line(nan, 12, 10, 12, kRed);
    plat_draw_line(0, 13, inf, 13, kRed);
    plat_draw_line(3, nan, 3, 20, kRed);
    for (int y = 10; y < 30; ++y)
        EXPECT_EQ(red_columns(y), std::vector<int>{}) << y;
    // Pixels outside are counted as writes but change nothing.
    uint64_t writes = picture_pixel_writes();
    plat_set_pixel(-1, 0, kRed);
    plat_set_pixel(40, 0, kRed);
    plat_set_pixel(0, 30, kRed);
    EXPECT_EQ(picture_pixel_writes(), writes + 3);
    EXPECT_EQ(red_columns(0), std::vector<int>{7});
}

TEST(PictureChanges, SpansGrowPerRowAndMergeIntoRectangles)
{
    picture_resize(100, 50);
    EXPECT_TRUE(picture_changed());
    EXPECT_EQ(picture_changed_x0(49), 0); // a new picture is all changed
    EXPECT_EQ(picture_changed_x1(49), 100);
    picture_forget_changes();
    EXPECT_FALSE(picture_changed());
    PictureRect rects[8];
    EXPECT_EQ(picture_changed_rects(100, 50, rects, 8, 0), 0);

    plat_set_pixel(10, 5, kRed);
    plat_set_pixel(30, 5, kRed);
    plat_draw_line(40, 6, 20, 6, kRed); // columns 21..40
    plat_set_pixel(200, 7, kRed);       // outside: no change
    EXPECT_TRUE(picture_changed());
    EXPECT_EQ(picture_changed_x0(5), 10);
    EXPECT_EQ(picture_changed_x1(5), 31);
    EXPECT_EQ(picture_changed_x0(6), 21);
    EXPECT_EQ(picture_changed_x1(6), 41);
    EXPECT_GE(picture_changed_x0(7), picture_changed_x1(7));

    // With no slack the two rows stay apart; with room for the 21 unchanged
    // pixels their union adds, they become one.
    ASSERT_EQ(picture_changed_rects(100, 50, rects, 8, 0), 2);
    EXPECT_EQ((std::vector<int>{rects[0].x, rects[0].y, rects[0].w, rects[0].h}), (std::vector<int>{10, 5, 21, 1}));
    EXPECT_EQ((std::vector<int>{rects[1].x, rects[1].y, rects[1].w, rects[1].h}), (std::vector<int>{21, 6, 20, 1}));
    EXPECT_EQ(picture_changed_rects(100, 50, rects, 8, 20), 2);
    ASSERT_EQ(picture_changed_rects(100, 50, rects, 8, 21), 1);
    EXPECT_EQ((std::vector<int>{rects[0].x, rects[0].y, rects[0].w, rects[0].h}), (std::vector<int>{10, 5, 31, 2}));
    // Out of rectangles: the rest joins the last one.
    plat_set_pixel(90, 40, kRed);
    ASSERT_EQ(picture_changed_rects(100, 50, rects, 1, 0), 1);
    EXPECT_EQ((std::vector<int>{rects[0].x, rects[0].y, rects[0].w, rects[0].h}), (std::vector<int>{10, 5, 81, 36}));
    // Only what is visible is asked for.
    ASSERT_EQ(picture_changed_rects(25, 6, rects, 8, 0), 1);
    EXPECT_EQ((std::vector<int>{rects[0].x, rects[0].y, rects[0].w, rects[0].h}), (std::vector<int>{10, 5, 15, 1}));

    picture_forget_changes();
    plat_clear();
    EXPECT_EQ(at(30, 5), 0u);
    ASSERT_EQ(picture_changed_rects(100, 50, rects, 8, 0), 1);
    EXPECT_EQ((std::vector<int>{rects[0].x, rects[0].y, rects[0].w, rects[0].h}), (std::vector<int>{0, 0, 100, 50}));
}

TEST(PictureResize, FollowsTheClientSizeTheGameReads)
{
    picture_resize(321, 123);
    EXPECT_EQ(plat_client_width(), 321.0f);
    EXPECT_EQ(plat_client_height(), 123.0f);
    EXPECT_EQ(picture_pixel_writes(), 0u);
    plat_set_pixel(320, 122, Rgb{1, 2, 3});
    EXPECT_EQ(at(320, 122), 0x010203u);
    EXPECT_EQ(picture_rgb(at(320, 122)), (Rgb{1, 2, 3}));
    picture_resize(800, 600);
}

} // namespace
