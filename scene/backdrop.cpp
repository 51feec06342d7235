// backdrop.cpp -- sky palettes, ground line, screen bounds, scene painting.
#include "scene/backdrop.h"

#include "scene/skyline.h"
#include "shell/rounding.h"

#include <cmath>

int16_t sky_type = 0;
Rgb ground_color = {0, 37, 0};

namespace {

// The sky's rows as sky_color gives them, for the palette and height in
// rows_palette and rows_height. Two divisions a row are too many to pay for
// every dot erased; a palette holds for a whole wave.
constexpr int kTabledRows = 4096;
Rgb sky_rows[kTabledRows];
int32_t tabled_rows = 0;    // rows 0 to tabled_rows - 1 are in the table
int16_t rows_palette = 0;
float rows_height = -1;     // no client is ever this tall: the first call fills

// Out of line: filled once a wave, it must not cost the repaint behind every
// dot a single register saved.
[[gnu::noinline]] void table_sky_rows(float height)
{
    rows_palette = sky_type;
    rows_height = height;
    // Row H too: a dot less than half a pixel above the bottom edge rounds
    // to it.
    double rows = std::floor(double(height)) + 2;
    tabled_rows = !(rows > 0) ? 0 : rows > kTabledRows ? kTabledRows : int32_t(rows);
    for (int32_t y = 0; y < tabled_rows; ++y)
        sky_rows[y] = sky_color(int16_t(y));
}

// Bounds of the ground line over each column [c, c + 1) of the client, for
// the size in ground_width and ground_height. The line, H - 5 sin((x/200)^2)
// - 50, has a slope of at most x / 4000, so over a column it stays within
// (c + 1) / 4000 of its value at c; a millionth of a pixel more covers the
// rounding of both evaluations many times over.
constexpr int kTabledColumns = 4096;
double ground_low[kTabledColumns];  // at or above the line's lowest y in the column
double ground_high[kTabledColumns]; // at or below its highest y
int32_t tabled_columns = 0;
float ground_width = -1;   // no client is ever this size: the first call fills
float ground_height = -1;

void table_ground_columns(float width, float height)
{
    ground_width = width;
    ground_height = height;
    double columns = std::floor(double(width)) + 1;
    tabled_columns = !(columns > 0) ? 0 : columns > kTabledColumns ? kTabledColumns : int32_t(columns);
    for (int32_t c = 0; c < tabled_columns; ++c)
        ground_column_bounds(c, ground_low[c], ground_high[c]);
}

} // namespace


void backdrop_reset()
{
    sky_type = 0;
    ground_color = rgb(0, 37, 0);
}

Rgb sky_color(int16_t row)
{
    // Every step in double, in the order written: y / H * 127 is (y / H) * 127,
    // which decides the rows that fall exactly halfway between two shades.
    double H = plat_client_height();
    double y = row;
    switch (sky_type) {
    case 1: // black to blue at mid-height, then blue fading while red rises
        if (y < H / 2)
            return rgb(0, 0, round16(y / H * 127));
        return rgb(round32((y - H / 2) / (H / 2) * 127), 0, round32(127 - y / H * 127));
    case 2: { // an even teal deepening downward
        int16_t c = round16(y / H * 57);
        return rgb(0, c, c);
    }
    case 3: // blue above the split, a dim yellow rising below it
        if (y < H / 1.4)
            return rgb(0, 0, round16((H - y) / H * 57));
        else {
            int32_t v = round32((y - H / 1.4) / (H / 1.4) * 127);
            return rgb(v, v, round32((H - y) / H * 57));
        }
    case 4: // black above the split, the same dim yellow without blue below
        if (y < H / 1.4)
            return rgb(0, 0, 0);
        else {
            int32_t v = round32((y - H / 1.4) / (H / 1.4) * 127);
            return rgb(v, v, 0);
        }
    default: // palette 0, and anything unknown: a black night
        return rgb(0, 0, 0);
    }
}

SkyRows sky_rows_open()
{
    const float height = plat_client_height();
    if (sky_type != rows_palette || height != rows_height)
        table_sky_rows(height);
    return SkyRows{sky_rows, tabled_rows};
}

Rgb sky_row_color(int16_t y)
{
    return sky_row_in(sky_rows_open(), y);
}

double ground_y(float x)
{
    double H = plat_client_height();
    double q = double(x) / 200;
    return H - std::sin(q * q) * 5 - 50;
}

void ground_column_bounds(int32_t c, double& low, double& high)
{
    const double at_c = ground_y(float(c));
    const double reach = (c + 1) / 4000.0 + 1e-6;
    low = at_c - reach;
    high = at_c + reach;
}

bool above_ground(float x, float y)
{
    // The line never leaves the band from H - 55 to H - 45: most points are
    // decided by the band alone.
    const double H = plat_client_height();
    if (y < H - 55)
        return true;
    if (y >= H - 45)
        return false;
    const float width = plat_client_width();
    if (width != ground_width || float(H) != ground_height)
        table_ground_columns(width, float(H));
    if (0 <= x && x < tabled_columns) {
        const int32_t c = int32_t(x);
        if (y < ground_low[c])
            return true;
        if (y >= ground_high[c])
            return false;
    }
    return double(y) < ground_y(x);
}

bool on_screen(float x, float y)
{
    return 0 < x && x < plat_client_width() && 0 < y && y < plat_client_height();
}

void paint_sky()
{
    // One row past the bottom edge too, so no row is ever left unpainted.
    int16_t end = round16(plat_client_height());
    for (int16_t y = 0; y <= end; ++y)
        plat_draw_line(0, y, plat_client_width(), y, sky_color(y));
}

void paint_ground()
{
    float W = plat_client_width();
    for (float x = 0; x <= W; x += 1) {
        float g = float(ground_y(x));
        plat_draw_line(x, g, x, plat_client_height(), ground_color);
    }
}

void paint_scene()
{
    plat_clear();
    paint_sky();
    paint_ground();
    int16_t n = building_count;
    for (int16_t i = 1; i <= n; ++i)
        drawbuilding(i);
}
