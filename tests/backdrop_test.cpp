// backdrop_test.cpp -- sky palettes, the ground line, scene painting, and the ground bounds and sky row table against their formulas.
#include "test_support.h"

#include "shell/rnd.h"

#include <cmath>
#include <random>

namespace {

Rgb sky(int16_t palette, int16_t row)
{
    sky_type = palette;
    return sky_color(row);
}

TEST(Sky, PaletteRowsAtTheEdgesAndSplits)
{
    mem_reset(800, 600);
    // Row 0.
    EXPECT_EQ(sky(0, 0), rgb(0, 0, 0));
    EXPECT_EQ(sky(1, 0), rgb(0, 0, 0));
    EXPECT_EQ(sky(2, 0), rgb(0, 0, 0));
    EXPECT_EQ(sky(3, 0), rgb(0, 0, 57));
    EXPECT_EQ(sky(4, 0), rgb(0, 0, 0));
    // Palette 1: mid-height takes the lower band; 63.5 rounds to the even 64.
    EXPECT_EQ(sky(1, 299), rgb(0, 0, 63));
    EXPECT_EQ(sky(1, 300), rgb(0, 0, 64));
    EXPECT_EQ(sky(1, 599), rgb(127, 0, 0));
    // Palette 2: 28.5 rounds to 28.
    EXPECT_EQ(sky(2, 300), rgb(0, 28, 28));
    // Palettes 3 and 4 split at 428.571...: 428 above, 429 below.
    EXPECT_EQ(sky(3, 428).b, 16);
    EXPECT_EQ(sky(3, 429).b, 16);
    EXPECT_EQ(sky(3, 428).r, 0);
    EXPECT_EQ(sky(4, 428), rgb(0, 0, 0));
    EXPECT_EQ(sky(4, 429), rgb(0, 0, 0));
    EXPECT_EQ(sky(3, 599), rgb(51, 51, 0));
    EXPECT_EQ(sky(4, 599), rgb(51, 51, 0));
    // Row 600, one below the client area, which the sky painting reaches.
    EXPECT_EQ(sky(1, 600), rgb(127, 0, 0));
    EXPECT_EQ(sky(2, 600), rgb(0, 57, 57));
    EXPECT_EQ(sky(3, 600), rgb(51, 51, 0));
    EXPECT_EQ(sky(4, 600), rgb(51, 51, 0));
    // Unknown palettes are black.
    EXPECT_EQ(sky(7, 599), rgb(0, 0, 0));
    EXPECT_EQ(sky(-1, 300), rgb(0, 0, 0));
}

TEST(Sky, FollowsTheClientHeightAtOnce)
{
    mem_reset(800, 300);
    EXPECT_EQ(sky(2, 300), rgb(0, 57, 57));
    mem_set_client_size(800, 600);
    EXPECT_EQ(sky(2, 300), rgb(0, 28, 28));
}

TEST(Ground, HeightsAndBounds)
{
    mem_reset(800, 600);
    EXPECT_EQ(ground_y(0), 550.0);
    EXPECT_NEAR(ground_y(251), 545.0, 0.01);
    EXPECT_NEAR(ground_y(434), 555.0, 0.01);
    EXPECT_NEAR(ground_y(800), 551.44, 0.01);
    for (float x = 0; x <= 1000; x += 0.5f) {
        EXPECT_GE(ground_y(x), 545.0);
        EXPECT_LE(ground_y(x), 555.0);
    }
    EXPECT_FALSE(on_screen(0, 300));
    EXPECT_FALSE(on_screen(800, 300));
    EXPECT_FALSE(on_screen(400, 0));
    EXPECT_FALSE(on_screen(400, 600));
    EXPECT_TRUE(on_screen(0.5f, 0.5f));
    EXPECT_TRUE(on_screen(799.9f, 599.9f));
}

TEST(ScenePainting, SkyRowsGroundColumnsAndBuildingsInTableOrder)
{
    mem_reset(800, 600);
    sky_type = 2;
    ground_color = rgb(0, 37, 0);
    building_count = 2;
    buildings[1] = make_building(100, 540, 40, 30); // behind
    buildings[2] = make_building(120, 540, 40, 30); // in front where they overlap
    buildings[2].g = 10;
    buildings[2].b = 0;
    paint_scene();
    for (int y : {0, 150, 300, 470})
        for (int x : {0, 399, 799})
            EXPECT_EQ(mem_pixel(x, y), sky_color(int16_t(y))) << x << "," << y;
    for (int x : {0, 250, 434, 799})
        EXPECT_EQ(mem_pixel(x, 599), rgb(0, 37, 0));
    // The top body line of building 2 lies over building 1 at x 130.
    Rgb top_of_2 = mem_pixel(130, 511);
    EXPECT_EQ(top_of_2.g, 10);
}

TEST(ScenePainting, NoBuildingsLeftPaintsSkyAndGroundOnly)
{
    mem_reset(800, 600);
    sky_type = 1;
    building_count = 0;
    paint_scene();
    for (int x = 0; x < 800; x += 7) {
        int ground = int(std::ceil(ground_y(float(x))));
        for (int y = 0; y < 600; y += 3) {
            Rgb want = y < ground - 1 ? sky_color(int16_t(y)) : rgb(0, 37, 0);
            if (y >= ground - 1 && y <= ground + 1)
                continue; // the ground's rounded top edge
            ASSERT_EQ(mem_pixel(x, y), want) << x << "," << y;
        }
    }
}

TEST(GroundColumns, AboveGroundAgreesWithTheLineEverywhere)
{
    std::mt19937 gen(17);
    std::uniform_real_distribution<float> unit(0, 1);
    // Sizes change with no other call between: the bounds must follow both.
    const std::pair<int, int> sizes[] = {{800, 600}, {800, 900}, {333, 217}, {333, 600}, {1024, 768}, {5000, 600}, {800, 600}};
    for (auto [w, h] : sizes) {
        mem_set_client_size(w, h);
        for (int k = 0; k < 20000; ++k) {
            // Fractional points over the client and a little past both sides,
            // and on or a hair either side of the line itself.
            const float x = unit(gen) * float(w + 20) - 10;
            const double line = ground_y(x);
            const float near[] = {float(line), std::nextafter(float(line), 0.0f), std::nextafter(float(line), 1e9f),
                                  float(line - unit(gen) * 0.3), float(line + unit(gen) * 0.3),
                                  float(h) - 56 + unit(gen) * 12};
            for (float y : near)
                ASSERT_EQ(above_ground(x, y), double(y) < line) << w << "x" << h << " at (" << x << ", " << y << ")";
        }
        EXPECT_FALSE(above_ground(std::nanf(""), float(h) - 50));
        EXPECT_FALSE(above_ground(10, std::nanf("")));
    }
}

TEST(SkyRows, EqualSkyColorForEveryPaletteAndHeight)
{
    mem_reset(800, 600);
    // Heights change under a kept palette and palettes under a kept height,
    // with no other call between: the table must notice either.
    for (int height : {600, 300, 217, 1, 768, 1081, 5000}) {
        mem_set_client_size(64, height);
        for (int16_t palette : {0, 1, 2, 3, 4, 7, -1}) {
            sky_type = palette;
            for (int y = -3; y <= height + 3; ++y)
                ASSERT_EQ(sky_row_color(int16_t(y)), sky_color(int16_t(y)))
                    << "palette " << palette << " height " << height << " row " << y;
        }
    }
    for (int16_t palette = 0; palette <= 4; ++palette) {
        sky_type = palette;
        for (int height : {480, 599, 600, 601}) {
            mem_set_client_size(8, height);
            for (int y = 0; y <= height + 1; ++y)
                ASSERT_EQ(sky_row_color(int16_t(y)), sky_color(int16_t(y)))
                    << "palette " << palette << " height " << height << " row " << y;
        }
    }
}

} // namespace
