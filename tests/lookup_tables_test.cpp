// lookup_tables_test.cpp -- the building column index and the dot cells against a plain scan, the ground bounds and the sky row table against their formulas.
#include "test_support.h"

#include "scene/visibility.h"
#include "shell/game_state.h"

#include <cmath>
#include <random>
#include <vector>

namespace {

// hit_building and the scan agree on (px, py): the same answer, and
// hit_index set to the same slot or, when no span holds px, left alone.
void expect_same_as_scan(float px, float py)
{
    int16_t examined = 0;
    const bool want = scanned_hit(px, py, examined);
    hit_index = -3;
    const bool got = hit_building(px, py);
    ASSERT_EQ(got, want) << "at (" << px << ", " << py << ") with " << building_count << " buildings";
    ASSERT_EQ(hit_index, examined == 0 ? -3 : examined) << "at (" << px << ", " << py << ")";
}

// The points worth asking about a table: both edges of every span and the
// floats either side of them, the roof and base lines, and random points
// with fractional coordinates over the whole width and past both ends.
void probe_table(std::mt19937& gen, float width, float height)
{
    std::uniform_real_distribution<float> across(-40, width + 40), down(float(roof_top) - 5, height + 5);
    const int16_t n = building_count;
    for (int16_t i = 1; i <= n; ++i) {
        const Building b = buildings[i];
        const float right = float(double(b.x) + b.w);
        const float mid_y = float(double(b.y) - b.h / 2);
        for (float x : {b.x, right, float(double(b.x) + b.w / 2)}) {
            for (float px : {x, std::nextafter(x, -1e9f), std::nextafter(x, 1e9f)}) {
                for (float py : {mid_y, b.y, float(double(b.y) - b.h), down(gen)})
                    ASSERT_NO_FATAL_FAILURE(expect_same_as_scan(px, py));
            }
        }
    }
    for (int k = 0; k < 400; ++k)
        ASSERT_NO_FATAL_FAILURE(expect_same_as_scan(across(gen), down(gen)));
    // A NaN height passes the roof_top test and examines a building.
    for (int k = 0; k < 20; ++k)
        ASSERT_NO_FATAL_FAILURE(expect_same_as_scan(across(gen), std::nanf("")));
}

// A random table of n buildings around a client `width` wide: mostly spans
// like the generation's, some reaching past either edge, some sharing a left
// edge or lying inside another, a few empty or reversed.
void random_table(std::mt19937& gen, int16_t n, float width, float height)
{
    std::uniform_real_distribution<float> unit(0, 1);
    building_count = n;
    roof_top = int16_t(height - 120);
    for (int16_t i = 1; i <= n; ++i) {
        Building b = make_building(unit(gen) * (width + 60) - 30, height - 55 + unit(gen) * 10,
                                   unit(gen) * 10 + 15, unit(gen) * 55 + 10);
        if (unit(gen) < 0.3f)
            b.x = std::round(b.x * 4) / 4; // whole and quarter edges too
        const float kind = unit(gen);
        if (i > 1 && kind < 0.15f)
            b.x = buildings[1 + int(unit(gen) * (i - 1)) % (i - 1)].x; // the same left edge
        else if (i > 1 && kind < 0.3f) {
            const Building& outer = buildings[1 + int(unit(gen) * (i - 1)) % (i - 1)];
            b.x = outer.x + 2;
            b.w = 5; // inside another span
        } else if (kind < 0.35f)
            b.w = unit(gen) < 0.5f ? 0 : -3;
        buildings[i] = b;
    }
    index_buildings();
}

TEST(BuildingIndex, AgreesWithTheScanOnRandomSkylines)
{
    std::mt19937 gen(7);
    for (float width : {800.0f, 333.0f, 1024.0f, 17.0f, 801.0f}) {
        mem_reset(int(width), 600);
        for (int table = 0; table < 60; ++table) {
            std::uniform_int_distribution<int> count(0, 25);
            random_table(gen, int16_t(count(gen)), width, 600);
            ASSERT_NO_FATAL_FAILURE(probe_table(gen, width, 600));
        }
    }
}

TEST(BuildingIndex, AgreesWithTheScanOnGeneratedSkylinesAsBuildingsFall)
{
    std::mt19937 gen(11);
    const std::pair<int, int> sizes[] = {{800, 600}, {640, 480}, {1024, 768}, {333, 217}, {41, 300}};
    for (auto [w, h] : sizes) {
        for (uint32_t seed = 1; seed <= 6; ++seed) {
            new_game(seed, w, h);
            while (building_count > 0) {
                ASSERT_NO_FATAL_FAILURE(probe_table(gen, float(w), float(h)));
                std::uniform_int_distribution<int> slot(1, building_count);
                remove_building(int16_t(slot(gen)));
            }
            ASSERT_NO_FATAL_FAILURE(probe_table(gen, float(w), float(h)));
        }
    }
}

TEST(BuildingIndex, AgreesWithTheScanWhereTheTableOutgrowsTheIndex)
{
    std::mt19937 gen(5);
    mem_reset(800, 600);
    // More buildings than a column's mask holds.
    random_table(gen, 40, 800, 600);
    ASSERT_NO_FATAL_FAILURE(probe_table(gen, 800, 600));
    // A span wider than the index's columns; a building far out to the left.
    random_table(gen, 10, 800, 600);
    buildings[3].x = -20000;
    buildings[3].w = 20300;
    index_buildings();
    ASSERT_NO_FATAL_FAILURE(probe_table(gen, 800, 600));
    random_table(gen, 10, 800, 600);
    buildings[7].x = -3e9f;
    index_buildings();
    ASSERT_NO_FATAL_FAILURE(probe_table(gen, 800, 600));
    // Back to an ordinary table: the index takes over again.
    random_table(gen, 25, 800, 600);
    ASSERT_NO_FATAL_FAILURE(probe_table(gen, 800, 600));
    ASSERT_NO_FATAL_FAILURE(expect_same_as_scan(std::nanf(""), 560));
}

TEST(BuildingIndex, FollowsStrikesDuringPlay)
{
    // A held launch key under a falling wave: buildings fall by strikes, and
    // each removal must reach the index before the next dot is tested.
    std::mt19937 gen(3);
    new_game(9);
    int16_t standing = building_count;
    for (int f = 1; f <= 3000 && building_count > 20; ++f) {
        if (f % 2 == 0)
            post_event(key_down(kKeyS));
        ASSERT_TRUE(frame());
        if (building_count != standing || f % 200 == 0) {
            standing = building_count;
            ASSERT_NO_FATAL_FAILURE(probe_table(gen, 800, 600));
        }
    }
    EXPECT_LE(building_count, 20);
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

void expect_dot_as_plain(float x, float y)
{
    int16_t examined = 0;
    const bool want = plain_dot_visible(x, y, examined);
    hit_index = -3;
    const bool got = dot_visible(x, y);
    ASSERT_EQ(got, want) << "at (" << x << ", " << y << ") in " << plat_client_width() << "x"
                         << plat_client_height() << " with " << building_count << " buildings, roof_top " << roof_top;
    ASSERT_EQ(hit_index, examined == 0 ? -3 : examined) << "at (" << x << ", " << y << ")";
}

// A value, the floats either side of it, and a point a sixteenth of a pixel
// either side: a cell's edge is met from both sides and on the line.
std::vector<float> around(double v)
{
    const float f = float(v);
    return {f, std::nextafter(f, -1e30f), std::nextafter(f, 1e30f), float(v - 0.0625), float(v + 0.0625)};
}

// Every edge a cell can be cut by, crossed with every other: the client's
// sides, the whole pixel lines near them, each span's ends and each body's
// roof and base, roof_top, the ground line under each probe; then random
// fractional points, points far off, huge and NaN.
void probe_dots(std::mt19937& gen)
{
    const double W = plat_client_width(), H = plat_client_height();
    std::vector<double> xs = {0, 1, 2, W - 1, W, std::floor(W / 2) + 0.5};
    std::vector<double> ys = {0, 1, 2, H - 1, H, double(roof_top), roof_top + 0.5, roof_top - 1.0, roof_top + 1.0};
    for (int16_t i = 1; i <= building_count; ++i) {
        const Building& b = buildings[i];
        const double right = double(b.x) + b.w, top = double(b.y) - b.h;
        for (double x : {double(b.x), right, std::floor(double(b.x)), std::floor(right) + 1, double(b.x) + b.w / 2})
            xs.push_back(x);
        for (double y : {top, double(b.y), std::floor(top), std::floor(double(b.y)) + 1})
            ys.push_back(y);
    }
    for (double x : xs) {
        for (float px : around(x)) {
            std::vector<double> line_ys = ys;
            const double line = ground_y(px);
            for (double y : {line, std::floor(line), std::floor(line) + 1, line - 0.3, line + 0.3})
                line_ys.push_back(y);
            for (double y : line_ys)
                for (float py : around(y))
                    ASSERT_NO_FATAL_FAILURE(expect_dot_as_plain(px, py));
        }
    }
    std::uniform_real_distribution<float> across(-3, float(W) + 3), down(-3, float(H) + 3);
    std::uniform_real_distribution<float> band(float(roof_top) - 8, float(H) - 40);
    for (int k = 0; k < 1500; ++k) {
        ASSERT_NO_FATAL_FAILURE(expect_dot_as_plain(across(gen), down(gen)));
        ASSERT_NO_FATAL_FAILURE(expect_dot_as_plain(across(gen), band(gen)));
    }
    const float nan = std::nanf(""), inf = INFINITY;
    for (float odd : {nan, inf, -inf, -1.0f, -0.0f, 1e30f, -1e30f, 3e9f, 70000.5f}) {
        ASSERT_NO_FATAL_FAILURE(expect_dot_as_plain(odd, band(gen)));
        ASSERT_NO_FATAL_FAILURE(expect_dot_as_plain(across(gen), odd));
        ASSERT_NO_FATAL_FAILURE(expect_dot_as_plain(odd, odd));
    }
}

// Snaps some roofs, bases and spans onto whole and half pixels, where a
// cell's edge and a building's meet exactly.
void snap_some_edges(std::mt19937& gen)
{
    std::uniform_real_distribution<float> unit(0, 1);
    for (int16_t i = 1; i <= building_count; ++i) {
        Building& b = buildings[i];
        if (unit(gen) < 0.3f)
            b.y = std::round(b.y);
        if (unit(gen) < 0.3f)
            b.h = std::round(b.h * 2) / 2;
        if (unit(gen) < 0.3f)
            b.x = std::round(b.x);
        if (unit(gen) < 0.3f)
            b.w = std::round(b.w);
    }
    index_buildings();
}

TEST(DotCells, AgreeWithThePlainTestOnRandomSkylinesAndSizes)
{
    std::mt19937 gen(23);
    // Tiny, odd and ordinary sizes, and sizes past the table's columns and
    // rows, which must be worked out beyond them.
    const std::pair<int, int> sizes[] = {{800, 600}, {1, 1},    {2, 3},     {17, 9},     {333, 217},
                                         {801, 601}, {41, 300}, {5000, 700}, {300, 40000}, {800, 600}};
    for (auto [w, h] : sizes) {
        mem_reset(w, h);
        for (int table = 0; table < 8; ++table) {
            std::uniform_int_distribution<int> count(0, 25);
            random_table(gen, int16_t(count(gen)), float(w), float(h));
            snap_some_edges(gen);
            ASSERT_NO_FATAL_FAILURE(probe_dots(gen));
        }
    }
}

TEST(DotCells, AgreeWithThePlainTestAsBuildingsFall)
{
    std::mt19937 gen(29);
    const std::pair<int, int> sizes[] = {{800, 600}, {333, 217}, {1024, 768}};
    for (auto [w, h] : sizes) {
        for (uint32_t seed = 1; seed <= 2; ++seed) {
            new_game(seed, w, h);
            while (building_count > 0) {
                ASSERT_NO_FATAL_FAILURE(probe_dots(gen));
                std::uniform_int_distribution<int> slot(1, building_count);
                remove_building(int16_t(slot(gen)));
            }
            ASSERT_NO_FATAL_FAILURE(probe_dots(gen));
        }
        // Hand-made tables with overlaps, empty and reversed spans, losing
        // buildings one at a time: only the columns of the two moved spans
        // are refreshed.
        mem_reset(w, h);
        random_table(gen, 25, float(w), float(h));
        snap_some_edges(gen);
        while (building_count > 0) {
            std::uniform_int_distribution<int> slot(1, building_count);
            remove_building(int16_t(slot(gen)));
            ASSERT_NO_FATAL_FAILURE(probe_dots(gen));
        }
    }
}

TEST(DotCells, FollowWhatChangesWithoutTheIndex)
{
    std::mt19937 gen(31);
    new_game(4);
    ASSERT_NO_FATAL_FAILURE(probe_dots(gen));
    // roof_top and the client size written with nothing else called.
    roof_top = int16_t(roof_top + 7);
    ASSERT_NO_FATAL_FAILURE(probe_dots(gen));
    roof_top = int16_t(roof_top - 30);
    ASSERT_NO_FATAL_FAILURE(probe_dots(gen));
    mem_set_client_size(640, 480);
    ASSERT_NO_FATAL_FAILURE(probe_dots(gen));
    mem_set_client_size(800, 600);
    ASSERT_NO_FATAL_FAILURE(probe_dots(gen));
    // A saved moment put back after buildings fell.
    GameSnapshot saved;
    save_game(saved);
    remove_building(3);
    remove_building(1);
    ASSERT_NO_FATAL_FAILURE(probe_dots(gen));
    restore_game(saved);
    ASSERT_NO_FATAL_FAILURE(probe_dots(gen));
    // More buildings than a cell can name, then fewer again.
    random_table(gen, 70, 800, 600);
    ASSERT_NO_FATAL_FAILURE(probe_dots(gen));
    random_table(gen, 20, 800, 600);
    buildings[5].x = std::nanf("");
    buildings[9].w = std::nanf("");
    index_buildings();
    ASSERT_NO_FATAL_FAILURE(probe_dots(gen));
    remove_building(5);
    ASSERT_NO_FATAL_FAILURE(probe_dots(gen));
}

} // namespace
