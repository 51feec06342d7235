// skyline.cpp -- skyline generation, building drawing and the hit test.
#include "scene/skyline.h"

#include "platform/platform.h"
#include "scene/backdrop.h"
#include "scene/visibility.h"
#include "shell/rnd.h"
#include "shell/rounding.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

Building buildings[kBuildingSlots];
int16_t building_count = 0;
int16_t roof_top = 0;
int16_t hit_index = 0;

namespace {

// The column index: for every whole pixel column a building's span touches,
// one bit per slot (bit i - 1 for slot i) of the buildings whose open span
// may hold a point of that column. A lookup then tests only those buildings,
// lowest slot first, which is the scan's table order, so the first building
// found is the one the scan would have found. The columns come from the
// buildings themselves, not from the client width, so nothing here goes
// stale when the window changes size.
constexpr int kIndexedSlots = 32;      // bits in a column's mask
constexpr int kIndexedColumns = 8192;  // a skyline wider than this is scanned
constexpr double kIndexedReach = 1e9;  // spans beyond +-this are scanned too

uint32_t column_slots[kIndexedColumns];
int32_t first_column = 0; // the whole column column_slots[0] stands for
// No span holds a point at or left of span_left, or at or right of
// span_right; with no building both are such that every point is outside.
double span_left = std::numeric_limits<double>::infinity();
double span_right = -std::numeric_limits<double>::infinity();
// False when the table does not fit the index: hit_building scans instead.
bool indexed = true;

void index_columns();

// The scan in table order, for tables the index cannot hold.
bool scan_buildings(float px, float py)
{
    const double x = px;
    const int16_t n = building_count;
    for (int16_t i = 1; i <= n; ++i) {
        const Building& b = buildings[i];
        if (b.x < px && x < double(b.x) + b.w) {
            hit_index = i;
            return double(b.y) - b.h < py && py < b.y;
        }
    }
    return false;
}

} // namespace


void skyline_reset()
{
    std::fill(std::begin(buildings), std::end(buildings), Building{});
    building_count = 0;
    roof_top = 0;
    hit_index = 0;
    index_buildings();
}

void generate_skyline()
{
    roof_top = round16(plat_client_height());
    building_count = 25;
    for (int16_t i = 1; i <= 25; ++i) {
        Building& b = buildings[i];
        b.x = float(double(rnd()) * plat_client_width());
        b.w = float(double(rnd()) * 10 + 15);
        b.h = float(double(rnd()) * 55 + 10);
        // Stand on the lower of the two ground points under the edges, so the
        // body covers the ground between them.
        double left = ground_y(b.x);
        double right = ground_y(float(double(b.x) + b.w));
        b.y = float(left > right ? left : right);
        if (double(b.y) - b.h < roof_top)
            roof_top = round16(double(b.y) - b.h);
        b.r = 0;
        b.g = round16(double(rnd()) * 120);
        b.b = round16(double(rnd()) * 75);
        drawbuilding(i);
    }
    index_buildings();
}

void drawbuilding(int16_t i)
{
    const Building b = buildings[i];

    // Body: one line per whole pixel of height, from nearly black just above
    // the base to the full roof colour at the top.
    float h = b.h;
    float right = float(double(b.x) + b.w);
    for (float k = 1; k <= h; k += 1) {
        float f = float(double(k) / h);
        Rgb colour = rgb(round16(b.r * double(f)), round16(b.g * double(f)), round16(b.b * double(f)));
        float row = float(double(b.y) - double(f) * h);
        plat_draw_line(b.x, row, right, row, colour);
    }

    // Windows: every other pixel, column by column, top to bottom, each a
    // yellow light of random brightness.
    float first_x = float(double(b.x) + 2);
    float last_x = float(double(b.x) + b.w - 2);
    for (float wx = first_x; wx <= last_x; wx += 2) {
        float first_y = float(double(b.y) - b.h + 2);
        float last_y = float(double(b.y) - 2);
        for (float wy = first_y; wy <= last_y; wy += 2) {
            int16_t d = round16(double(rnd()) * 227);
            plat_set_pixel(round32(wx), round32(wy), rgb(d, d, 0));
        }
    }
}

bool hit_building(float px, float py)
{
    if (py <= roof_top)
        return false;
    if (!indexed)
        return scan_buildings(px, py);
    const double x = px;
    // Also turns away NaN, and keeps the column below inside the index.
    if (!(span_left < x && x < span_right))
        return false;
    int32_t column = int32_t(x); // toward zero; the floor is one less below zero
    if (double(column) > x)
        --column;
    uint32_t slots = column_slots[column - first_column];
    while (slots != 0) {
        const int16_t i = int16_t(std::countr_zero(slots) + 1);
        slots &= slots - 1;
        const Building& b = buildings[i];
        if (b.x < px && x < double(b.x) + b.w) {
            hit_index = i;
            return double(b.y) - b.h < py && py < b.y;
        }
    }
    return false;
}

void remove_building(int16_t i)
{
    // The column index is small and made anew whole. The dot cells are not:
    // only the columns under the building that goes and the one that takes
    // its slot can see a different first building, so only those are made
    // again.
    const Building gone = buildings[i], moved = buildings[building_count];
    buildings[i] = buildings[building_count];
    --building_count;
    index_columns();
    dot_cells_refresh(gone.x, gone.w);
    dot_cells_refresh(moved.x, moved.w);
}

void index_buildings()
{
    index_columns();
    dot_cells_forget();
}

namespace {

void index_columns()
{
    span_left = std::numeric_limits<double>::infinity();
    span_right = -std::numeric_limits<double>::infinity();
    indexed = false;
    const int16_t n = building_count;
    if (n > kIndexedSlots)
        return;
    // A span is the open interval (x, x + w), its right edge in double as the
    // lookup computes it. An empty or reversed span holds no point at all.
    for (int16_t i = 1; i <= n; ++i) {
        const Building& b = buildings[i];
        const double left = b.x, right = double(b.x) + b.w;
        if (left < right) {
            span_left = std::fmin(span_left, left);
            span_right = std::fmax(span_right, right);
        }
    }
    if (!(span_left < span_right)) { // no building holds any point
        indexed = true;
        return;
    }
    if (!(-kIndexedReach < span_left && span_right < kIndexedReach))
        return;
    first_column = int32_t(std::floor(span_left));
    const int32_t columns = int32_t(std::floor(span_right)) - first_column + 1;
    if (columns > kIndexedColumns)
        return;
    std::memset(column_slots, 0, sizeof(uint32_t) * size_t(columns));
    // Every point x of a span has floor(x) between floor(left) and
    // floor(right), both included: marking those columns misses none.
    for (int16_t i = 1; i <= n; ++i) {
        const Building& b = buildings[i];
        const double left = b.x, right = double(b.x) + b.w;
        if (!(left < right))
            continue;
        const int32_t from = int32_t(std::floor(left)) - first_column;
        const int32_t to = int32_t(std::floor(right)) - first_column;
        for (int32_t c = from; c <= to; ++c)
            column_slots[c] |= uint32_t(1) << (i - 1);
    }
    indexed = true;
}

} // namespace
