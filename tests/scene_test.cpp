// scene_test.cpp -- sky palettes, ground line, bounds, skyline and hit test.
#include "test_support.h"

#include "shell/rnd.h"

#include <cmath>

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

TEST(Skyline, GenerationRangesRoofTopAndDraws)
{
    new_game(42);
    ASSERT_EQ(building_count, 25);
    double highest = 1e9;
    for (int i = 1; i <= 25; ++i) {
        const Building& b = buildings[i];
        EXPECT_GE(b.x, 0);
        EXPECT_LT(b.x, 800);
        EXPECT_GE(b.w, 15);
        EXPECT_LT(b.w, 25);
        EXPECT_GE(b.h, 10);
        EXPECT_LT(b.h, 65);
        EXPECT_EQ(b.r, 0);
        EXPECT_LE(b.g, 120);
        EXPECT_LE(b.b, 75);
        // The base is the lower of the ground points under both edges.
        double base = std::max(ground_y(b.x), ground_y(float(double(b.x) + b.w)));
        EXPECT_EQ(b.y, float(base));
        highest = std::min(highest, double(b.y) - b.h);
    }
    EXPECT_EQ(roof_top, int16_t(std::nearbyint(highest)));
}

TEST(Skyline, BuildingBodyLinesAndWindowLattice)
{
    mem_reset(800, 600);
    building_count = 1;
    // h = 10.3: ten body lines; windows at rows y-8.3 .. y-2.3, columns x+2 .. x+12.
    buildings[1] = make_building(100, 500, 15, 10.3f);
    buildings[1].g = 120;
    rnd_seed(5);
    drawbuilding(1);
    EXPECT_EQ(rnd_draws(), 6u * 4u); // six columns, four rows
    // Lines k = 1..10 at rows round(500 - k); the base row itself stays black.
    EXPECT_EQ(mem_pixel(100, 500), rgb(0, 0, 0));
    for (int k = 1; k <= 10; ++k) {
        float f = float(double(k) / 10.3f);
        int row = int(std::nearbyint(double(float(500.0 - double(f) * 10.3f))));
        EXPECT_EQ(mem_pixel(101, row).g, int(std::nearbyint(120 * double(f)))) << k;
    }
    EXPECT_EQ(mem_pixel(101, 489), rgb(0, 0, 0)); // above the roof
    // Window dots are yellow lights: red equals green, no blue.
    for (int wx = 102; wx <= 112; wx += 2) {
        for (float wy = 500 - 10.3f + 2; wy <= 498; wy += 2) {
            Rgb d = mem_pixel(wx, int(std::nearbyint(wy)));
            EXPECT_EQ(d.r, d.g);
            EXPECT_EQ(d.b, 0);
        }
    }
}

TEST(HitBuilding, StrictEdgesRoofTopAndFirstSpanOnly)
{
    mem_reset(800, 600);
    roof_top = 401;
    building_count = 2;
    buildings[1] = make_building(100, 550, 20, 20); // x 100..120, roof 530
    buildings[2] = make_building(110, 550, 20, 50); // x 110..130, roof 500
    index_buildings();
    hit_index = 0;
    EXPECT_TRUE(hit_building(105, 540));
    EXPECT_EQ(hit_index, 1);
    EXPECT_FALSE(hit_building(100, 540)); // left edge
    EXPECT_FALSE(hit_building(130, 540)); // right edge of building 2
    EXPECT_FALSE(hit_building(105, 550)); // base
    EXPECT_FALSE(hit_building(105, 530)); // roof
    // Inside B but only A, the first span containing x, is examined.
    hit_index = 0;
    EXPECT_FALSE(hit_building(115, 515));
    EXPECT_EQ(hit_index, 1);
    EXPECT_TRUE(hit_building(125, 515));
    EXPECT_EQ(hit_index, 2);
    // Outside every span: hit_index stays.
    EXPECT_FALSE(hit_building(300, 540));
    EXPECT_EQ(hit_index, 2);
    // At or above roof_top nothing is examined, even inside a roof that
    // reaches half a pixel higher.
    buildings[1] = make_building(100, 550, 20, 149.4f); // roof line 400.6
    index_buildings();
    hit_index = 0;
    EXPECT_FALSE(hit_building(105, 400.8f));
    EXPECT_FALSE(hit_building(105, 401));
    EXPECT_EQ(hit_index, 0);
    EXPECT_TRUE(hit_building(105, 401.5f));
    building_count = 0;
    index_buildings();
    hit_index = 7;
    EXPECT_FALSE(hit_building(105, 540));
    EXPECT_EQ(hit_index, 7);
}

} // namespace
