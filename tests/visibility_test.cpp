// visibility_test.cpp -- the dot test: the screen's edges, the ground line and the buildings, and the cell map against the plain test over random skylines, sizes and falls.
#include "test_support.h"

#include "combat/particles.h"
#include "scene/visibility.h"
#include "shell/game_state.h"

#include <cmath>
#include <random>
#include <vector>

namespace {

TEST(Visibility, EdgesGroundLineAndBuildingsHideADot)
{
    blank_scene();
    building_count = 1;
    roof_top = 480;
    buildings[1] = make_building(300, 545, 20, 40);
    index_buildings();
    drawbuilding(1);
    std::vector<uint32_t> before = picture_copy();
    uint64_t writes = mem_pixel_writes();
    for (Mover m : {make_mover(0, 300), make_mover(800, 300), make_mover(400, 0), make_mover(400, 600),
                    make_mover(0, 550),                         // exactly on the ground line (x = 0)
                    make_mover(310, 530), make_mover(310.5f, 520.5f)}) { // inside the building
        draw_dot(m);
        erase_dot(m);
    }
    EXPECT_EQ(mem_pixel_writes(), writes);
    EXPECT_EQ(picture_copy(), before);
    // Just above the ground line at x = 0 it shows.
    draw_dot(make_mover(0.5f, 549));
    EXPECT_EQ(mem_pixel(0, 549), rgb(255, 255, 0));
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
