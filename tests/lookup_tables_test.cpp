// lookup_tables_test.cpp -- the building column index against a plain scan, the ground bounds and the sky row table against their formulas.
#include "test_support.h"

#include <cmath>
#include <random>
#include <vector>

namespace {

// The hit test as the rule states it, over the table as it stands: the first
// building in slot order whose span strictly holds px is the only one
// examined. `examined` is the slot it examined, or 0.
bool scanned_hit(float px, float py, int16_t& examined)
{
    examined = 0;
    if (py <= roof_top)
        return false;
    for (int16_t i = 1; i <= building_count; ++i) {
        const Building& b = buildings[i];
        if (double(b.x) < double(px) && double(px) < double(b.x) + double(b.w)) {
            examined = i;
            return double(b.y) - double(b.h) < double(py) && double(py) < double(b.y);
        }
    }
    return false;
}

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
                    expect_same_as_scan(px, py);
            }
        }
    }
    for (int k = 0; k < 400; ++k)
        expect_same_as_scan(across(gen), down(gen));
    // A NaN height passes the roof_top test and examines a building.
    for (int k = 0; k < 20; ++k)
        expect_same_as_scan(across(gen), std::nanf(""));
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
            probe_table(gen, width, 600);
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
                probe_table(gen, float(w), float(h));
                std::uniform_int_distribution<int> slot(1, building_count);
                remove_building(int16_t(slot(gen)));
            }
            probe_table(gen, float(w), float(h));
        }
    }
}

TEST(BuildingIndex, AgreesWithTheScanWhereTheTableOutgrowsTheIndex)
{
    std::mt19937 gen(5);
    mem_reset(800, 600);
    // More buildings than a column's mask holds.
    random_table(gen, 40, 800, 600);
    probe_table(gen, 800, 600);
    // A span wider than the index's columns; a building far out to the left.
    random_table(gen, 10, 800, 600);
    buildings[3].x = -20000;
    buildings[3].w = 20300;
    index_buildings();
    probe_table(gen, 800, 600);
    random_table(gen, 10, 800, 600);
    buildings[7].x = -3e9f;
    index_buildings();
    probe_table(gen, 800, 600);
    // Back to an ordinary table: the index takes over again.
    random_table(gen, 25, 800, 600);
    probe_table(gen, 800, 600);
    expect_same_as_scan(std::nanf(""), 560);
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
            mem_push_event(key_down(kKeyS));
        ASSERT_TRUE(frame());
        if (building_count != standing || f % 200 == 0) {
            standing = building_count;
            probe_table(gen, 800, 600);
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

} // namespace
