// skyline.cpp -- skyline generation, building drawing and the hit test.
#include "scene/skyline.h"

#include "platform/platform.h"
#include "scene/backdrop.h"
#include "shell/rnd.h"
#include "shell/rounding.h"

#include <algorithm>
#include <iterator>

Building buildings[kBuildingSlots];
int16_t building_count = 0;
int16_t roof_top = 0;
int16_t hit_index = 0;

void skyline_reset()
{
    std::fill(std::begin(buildings), std::end(buildings), Building{});
    building_count = 0;
    roof_top = 0;
    hit_index = 0;
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
    // Both edges are tested together, without a branch between them: for
    // dots scattered over the skyline either answer is as likely, and a
    // mispredicted branch per building costs more than the comparison.
    const double x = px;
    const int16_t n = building_count;
    for (int16_t i = 1; i <= n; ++i) {
        const Building& b = buildings[i];
        bool in_span = (b.x < px) & (x < double(b.x) + b.w);
        if (in_span) {
            hit_index = i;
            return double(b.y) - b.h < py && py < b.y;
        }
    }
    return false;
}

void remove_building(int16_t i)
{
    buildings[i] = buildings[building_count];
    --building_count;
}
