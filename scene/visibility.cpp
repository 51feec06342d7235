// visibility.cpp -- the dot visibility test, answered per whole pixel cell where it can be.
#include "scene/visibility.h"

#include "platform/platform.h"
#include "scene/backdrop.h"
#include "scene/skyline.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kMostSlots = kDotSlotBits; // a larger table is always worked out

// One byte a cell, column by column, over only the rows where the ground
// line and the buildings lie (a third of the screen, 800 x 600): small
// enough to stay near the processor while a pass stores its dots all over
// the picture. Fixed in size so that no frame allocates; a client too wide
// for it has its rightmost columns worked out.
constexpr int32_t kCellMapBytes = 4 << 20;
uint8_t cell_map[kCellMapBytes];

// The sight every question starts from: what dot_sight_open hands out.
DotSight mapped{cell_map, 0, 0, 0, 0, 0, 0, 0};

// What the map was made for; any difference and it is made again.
bool cells_stale = true;
float cells_width = -1;
float cells_height = -1;
int16_t cells_roof_top = 0;

// The building hit_building examines for every x of column c, given that it
// gets past roof_top: the first in table order whose open span holds x. -1
// when that is not the same building over the whole column.
int examined_in_column(int32_t c)
{
    const int16_t n = building_count;
    for (int16_t i = 1; i <= n; ++i) {
        const Building& b = buildings[i];
        const double left = b.x, right = double(b.x) + b.w;
        if (!(left < right)) // empty, reversed or NaN: holds no point at all
            continue;
        if (left < c && c + 1 <= right)
            return i;
        if (right <= c || left >= c + 1)
            continue;
        return -1; // an edge of this span cuts the column
    }
    return 0;
}

// The rows where a column's code can change. Every comparison classify
// makes between a whole row r and a bound is r >= t or r < t for a whole row
// t, written beside it (a NaN bound stays NaN, and both forms stay false, as
// the comparison it stands for); so down a column the code can change only
// at these rows, and fill_column takes them, and nothing else, as its turns.
// A column with no single examined building leaves the last four NaN.
enum RowTest {
    kUnderGround,  // r >= high          <=>  r >= ceil(high)
    kClearOfGround, // r + 1 <= low      <=>  r <  floor(low)
    kAboveRoofs,   // r + 1 <= roof_top  <=>  r <  roof_top
    kUnderRoofTop, // r > roof_top       <=>  r >= roof_top + 1
    kUnderRoof,    // roof < r           <=>  r >= floor(roof) + 1
    kAboveBase,    // r + 1 <= base      <=>  r <  floor(base)
    kAboveRoof,    // r + 1 <= roof      <=>  r <  floor(roof)
    kOnOrUnderBase, // r >= base         <=>  r >= ceil(base)
    kRowTests
};

struct ColumnRows {
    double at[kRowTests];
    int slot; // the examined building, 0 none, -1 not the same over the column
};

ColumnRows column_tests(double low, double high, int slot)
{
    constexpr double kNever = std::numeric_limits<double>::quiet_NaN();
    const double roof = slot > 0 ? double(buildings[slot].y) - buildings[slot].h : kNever;
    const double base = slot > 0 ? double(buildings[slot].y) : kNever;
    return ColumnRows{{std::ceil(high), std::floor(low), double(roof_top), roof_top + 1.0, std::floor(roof) + 1,
                       std::floor(base), std::floor(roof), std::ceil(base)},
                      slot};
}

// The code of cell (c, r) of a column wholly on screen, from its row tests.
uint8_t classify(int32_t r, const ColumnRows& t)
{
    if (r >= t.at[kUnderGround])
        return kDotHidden; // under the ground: hit_building is never asked
    if (!(r < t.at[kClearOfGround]))
        return kDotWorkOut;
    if (r < t.at[kAboveRoofs])
        return kDotShown; // hit_building answers at its first test
    if (!(r >= t.at[kUnderRoofTop]))
        return kDotWorkOut;
    if (t.slot == 0)
        return kDotShown;
    if (t.slot < 0)
        return kDotWorkOut;
    if (r >= t.at[kUnderRoof] && r < t.at[kAboveBase])
        return uint8_t(kDotHidden | t.slot);
    if (r < t.at[kAboveRoof] || r >= t.at[kOnOrUnderBase])
        return uint8_t(kDotShown | t.slot);
    return kDotWorkOut;
}

// The rows of column c that need classifying, [first, last): above them
// every cell is open sky (shown, nothing examined: the ground and every roof
// lie lower), from `last` down every cell is ground.
void column_rows(int32_t c, int32_t rows, double& low, double& high, int32_t& first, int32_t& last)
{
    ground_column_bounds(c, low, high);
    const double sky = std::min(low, double(roof_top));
    first = int32_t(std::clamp(std::floor(sky), 1.0, double(rows)));
    last = int32_t(std::clamp(std::ceil(high), double(first), double(rows)));
}

// Classifies each stretch of column c between two of its row tests once and
// writes it along the stretch.
void fill_column(int32_t c)
{
    const int32_t top = mapped.top, bottom = mapped.bottom;
    double low = 0, high = 0;
    int32_t first = 0, last = 0;
    column_rows(c, int32_t(mapped.rows), low, high, first, last);
    const ColumnRows tests = column_tests(low, high, examined_in_column(c));
    uint8_t* column = cell_map + size_t(c) * size_t(mapped.stride);
    std::fill(column, column + (first - top), kDotShown);
    std::fill(column + (last - top), column + (bottom + 1 - top), kDotHidden);

    int32_t turns[kRowTests + 1];
    int count = 0;
    for (double row : tests.at)
        if (row > first && row < last) // NaN and rows outside never count
            turns[count++] = int32_t(row);
    turns[count++] = last;
    // At most nine: put in order by insertion.
    for (int k = 1; k < count; ++k)
        for (int m = k; m > 0 && turns[m - 1] > turns[m]; --m)
            std::swap(turns[m - 1], turns[m]);
    int32_t from = first;
    for (int k = 0; k < count; ++k) {
        if (turns[k] <= from)
            continue;
        std::fill(column + (from - top), column + (turns[k] - top), classify(from, tests));
        from = turns[k];
    }
}

[[gnu::noinline]] void fill_all()
{
    const float width = plat_client_width(), height = plat_client_height();
    cells_stale = false;
    cells_width = width;
    cells_height = height;
    cells_roof_top = roof_top;
    ++mapped.generation;
    mapped.columns = 0;
    mapped.rows = 0;
    mapped.stride = 0;
    const bool fits = 0 <= building_count && building_count <= kMostSlots;
    if (!(fits && width >= 2 && height >= 2))
        return;
    const int32_t rows = int32_t(std::min(std::floor(height), 1e9f));
    int32_t columns = int32_t(std::min(std::floor(width), 1e9f));
    // The band between the highest first row and the lowest ground row of
    // any column, and a row either side that stands for all the rest.
    int32_t band_top = rows, band_bottom = 1;
    for (int32_t c = 1; c < columns; ++c) {
        double low = 0, high = 0;
        int32_t first = 0, last = 0;
        column_rows(c, rows, low, high, first, last);
        band_top = std::min(band_top, first);
        band_bottom = std::max(band_bottom, last);
    }
    band_bottom = std::max(band_bottom, band_top);
    const int32_t map_rows = band_bottom - band_top + 2;
    columns = std::min(columns, kCellMapBytes / map_rows);
    if (columns < 2)
        return;
    mapped.columns = float(columns);
    mapped.rows = float(rows);
    mapped.stride = map_rows;
    mapped.top = band_top - 1;
    mapped.bottom = band_bottom;
    for (int32_t c = 1; c < columns; ++c)
        fill_column(c);
}

} // namespace

DotSight dot_sight_open()
{
    if (cells_stale || plat_client_width() != cells_width || plat_client_height() != cells_height ||
        roof_top != cells_roof_top)
        fill_all();
    DotSight sight = mapped;
    sight.hit = hit_index;
    return sight;
}

void dot_sight_close(const DotSight& sight)
{
    hit_index = sight.hit;
}

// Out of line, as is fill_all: the particle pass compiles everything it
// calls into its loop, but not these.
[[gnu::noinline]] DotAnswer dot_work_out(float x, float y, int16_t hit)
{
    hit_index = hit;
    const bool shown = on_screen(x, y) && above_ground(x, y) && !hit_building(x, y);
    return {shown, hit_index};
}

bool dot_visible(float x, float y)
{
    DotSight sight = dot_sight_open();
    const bool shown = dot_sight_answer(sight, dot_sight_code(sight, x, y), x, y);
    dot_sight_close(sight);
    return shown;
}

void dot_cells_forget()
{
    cells_stale = true;
}

void dot_cells_refresh(float left, float width)
{
    if (cells_stale)
        return;
    const double from = std::floor(double(left)), to = std::floor(double(left) + width);
    if (!(from > -1e9 && from < 1e9 && to > -1e9 && to < 1e9)) {
        cells_stale = true;
        return;
    }
    ++mapped.generation;
    const int32_t last = int32_t(mapped.columns) - 1;
    for (int32_t c = std::max(int32_t(from), 1); c <= std::min(int32_t(to), last); ++c)
        fill_column(c);
}
