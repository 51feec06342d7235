// visibility.cpp -- the dot visibility test, answered per whole pixel cell where it can be.
#include "scene/visibility.h"

#include "platform/platform.h"
#include "scene/backdrop.h"
#include "scene/skyline.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>


namespace {

// What every point of a cell [c, c + 1) x [r, r + 1) gets from the full
// test. 0: the points disagree (or the cell was never classified), work it
// out. Otherwise bit 7 says hidden, and the low six bits name the building
// hit_building examines there, 0 when it examines none or is not reached.
constexpr uint8_t kExact = 0;
constexpr uint8_t kShown = 0x40;
constexpr uint8_t kHidden = 0xC0;
constexpr uint8_t kSlotBits = 0x3F;
constexpr int kMostSlots = kSlotBits; // a larger table is always worked out

// Down a column the codes come in a few runs: open sky, the rows between
// roof_top and the roof, the body, the gap down to the ground, the ground,
// with a row worked out wherever one gives way to the next. A column keeps
// each run's code and the row each run after the first starts at, so a
// lookup counts the starts at or above its row and never branches on where
// it landed. The whole table stays small enough to live in the first-level
// cache while a pass writes its dots all over the picture. A column with
// more runs than fit is worked out whole.
constexpr int kRuns = 9;
struct alignas(32) CellColumn {
    int16_t starts[kRuns - 1]; // ascending; an unused run starts at kNoRow
    uint8_t codes[kRuns];
};
constexpr int16_t kNoRow = INT16_MAX; // past every tabled row
constexpr int kCellColumns = 4096;
CellColumn cell_columns[kCellColumns];

// Cells are kept for columns 1 to table_columns - 1 and rows 1 to
// table_rows - 1: those lie wholly inside the client, so on_screen holds for
// every point of them. Other points are rare (the edges, off screen) and
// worked out.
float table_columns = 0;
float table_rows = 0;

// What the table was made for; any difference and it is made again.
bool cells_stale = true;
float cells_width = -1;
float cells_height = -1;
int16_t cells_roof_top = 0;

// How many of the column's starts lie at or above row r: the run r is in.
int run_of(const CellColumn& column, int16_t r)
{
    int run = 0;
    for (int k = 0; k < kRuns - 1; ++k)
        run += r >= column.starts[k];
    return run;
}

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

// The code of cell (c, r) of a column wholly on screen, whose ground bounds
// are low and high and whose examined building is `slot`.
uint8_t classify(int32_t r, double low, double high, int slot)
{
    if (r >= high)
        return kHidden; // under the ground: hit_building is never asked
    if (!(r + 1 <= low))
        return kExact;
    if (r + 1 <= roof_top)
        return kShown; // hit_building answers at its first test
    if (!(r > roof_top))
        return kExact;
    if (slot == 0)
        return kShown;
    if (slot < 0)
        return kExact;
    const Building& b = buildings[slot];
    const double top = double(b.y) - b.h, base = b.y;
    if (top < r && r + 1 <= base)
        return uint8_t(kHidden | slot);
    if (r + 1 <= top || r >= base)
        return uint8_t(kShown | slot);
    return kExact;
}

void fill_column(int32_t c)
{
    double low = 0, high = 0;
    ground_column_bounds(c, low, high);
    const int slot = examined_in_column(c);
    const int32_t rows = int32_t(table_rows);
    CellColumn& column = cell_columns[c];
    // Rows above both the roofs and the ground line are open sky, and rows
    // at or under the line's lowest point are ground: only what lies
    // between is classified row by row.
    const double sky = std::min(low, double(roof_top));
    const int32_t first = int32_t(std::clamp(std::floor(sky), 1.0, double(rows)));
    const int32_t ground = int32_t(std::clamp(std::ceil(high), double(first), double(rows)));
    int runs = 1;
    column.codes[0] = kShown;
    for (int32_t r = first; r <= ground && r < rows; ++r) {
        const uint8_t code = classify(r, low, high, slot);
        if (code == column.codes[runs - 1])
            continue;
        if (runs == kRuns) { // too many to keep: every row is worked out
            column.codes[0] = kExact;
            runs = 1;
            break;
        }
        column.starts[runs - 1] = int16_t(r);
        column.codes[runs++] = code;
    }
    for (int k = runs - 1; k < kRuns - 1; ++k)
        column.starts[k] = kNoRow;
    for (int k = runs; k < kRuns; ++k)
        column.codes[k] = kExact;
}

// Out of line, as is worked_out below: the lookup runs twice a dot with the
// picture's stores still draining, and must not spend a single push of its
// own on registers that only these need.
[[gnu::noinline]] void fill_all()
{
    const float width = plat_client_width(), height = plat_client_height();
    cells_stale = false;
    cells_width = width;
    cells_height = height;
    cells_roof_top = roof_top;
    const bool fits = 0 <= building_count && building_count <= kMostSlots;
    table_columns = !(fits && width >= 1) ? 0 : std::min(std::floor(width), float(kCellColumns));
    table_rows = !(fits && height >= 1) ? 0 : std::min(std::floor(height), float(kNoRow));
    for (int32_t c = 1; c < int32_t(table_columns); ++c)
        fill_column(c);
}

[[gnu::noinline]] bool worked_out(float x, float y)
{
    return on_screen(x, y) && above_ground(x, y) && !hit_building(x, y);
}

} // namespace

bool dot_visible(float x, float y)
{
    if (cells_stale || plat_client_width() != cells_width || plat_client_height() != cells_height ||
        roof_top != cells_roof_top)
        fill_all();
    // Also turns away NaN.
    if (x >= 1 && x < table_columns && y >= 1 && y < table_rows) {
        const CellColumn& column = cell_columns[int32_t(x)];
        const int run = run_of(column, int16_t(y));
        const uint8_t code = column.codes[run];
        if (code != kExact) {
            // Shown and hidden, touched or not, come mixed at random: a
            // branch here would guess wrong half the time.
            const int slot = code & kSlotBits;
            hit_index = int16_t(slot | (hit_index & -int(slot == 0)));
            return !(code & 0x80);
        }
    }
    return worked_out(x, y);
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
    const int32_t last = int32_t(table_columns) - 1;
    for (int32_t c = std::max(int32_t(from), 1); c <= std::min(int32_t(to), last); ++c)
        fill_column(c);
}
