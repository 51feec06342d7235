// backdrop.h -- the sky palettes, the ground line, the screen bounds and the
// painting of the whole scene.
//
// Nothing of the backdrop is stored as pixels: any sky pixel can be repainted
// from its row, any ground column from its x.
#pragma once

#include "platform/platform.h"

#include <cstdint>

// The current palette, 0 to 4. Start-up and every wave start draw it anew.
extern int16_t sky_type;

// The ground's dark green, RGB(0, 37, 0), set at start-up and each wave start.
extern Rgb ground_color;

// Palette 0 and the ground's green, as at program start. Called by start-up.
void backdrop_reset();

// Names every global above for a walk over the whole game (shell/game_state.h).
template <typename Visitor> void visit_backdrop(Visitor& v)
{
    v.value("sky_type", sky_type);
    v.value("ground_color", ground_color);
}

// The sky colour of screen row y under the current palette and client height.
// The crosshair and erase_dot use it to put the sky back behind a pixel.
Rgb sky_color(int16_t y);

// sky_color(y) from a table of the rows 0 to H, filled anew whenever the
// palette or the client height has changed since the last call; rows outside
// it are computed. What erase_dot repaints behind every dot.
Rgb sky_row_color(int16_t y);

// That table, brought up to date, for a pass that repaints thousands of dots
// while neither the palette nor the client height changes (the particle
// pass): it checks once, not at every dot. sky_row_in(t, y) is then
// sky_row_color(y).
struct SkyRows {
    const Rgb* rows;
    int32_t count; // rows 0 to count - 1 are in the table
};
SkyRows sky_rows_open();

inline Rgb sky_row_in(const SkyRows& table, int16_t y)
{
    if (0 <= y && y < table.count)
        return table.rows[y];
    return sky_color(y);
}

// The height of the wavy ground surface at x: H - sin((x/200)^2) * 5 - 50.
double ground_y(float x);

// Bounds on the ground line over the whole column [c, c + 1), 0 <= c: every
// x of it has low <= ground_y(x) <= high, under the current client height. above_ground's column table and the dot cells
// (scene/visibility.h) decide most points by them.
void ground_column_bounds(int32_t c, double& low, double& high);

// double(y) < ground_y(x), the same answer for every point, with the sine
// worked out only within a fraction of a pixel of the line: bounds of the
// line over each whole column are kept for the client size they were made
// for. The dot test asks it of every dot on screen.
bool above_ground(float x, float y);

// True when (x, y) lies strictly inside the client area.
bool on_screen(float x, float y);

// Paints every sky row, 0 to H included, then every ground column, 0 to W
// included. Start-up runs these two alone on the fresh black window.
void paint_sky();
void paint_ground();

// A wave start's full repaint: clear to black, sky, ground, then the standing
// buildings in table order.
void paint_scene();
