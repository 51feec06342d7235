// skyline_test.cpp -- skyline generation, building drawing, the hit test, and its column index against a plain scan.
#include "test_support.h"

#include "shell/rnd.h"

#include <cmath>
#include <random>

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

} // namespace
