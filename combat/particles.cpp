// particles.cpp -- dot drawing and the particle pass.
#include "combat/particles.h"

#include "platform/platform.h"
#include "scene/backdrop.h"
#include "scene/visibility.h"
#include "shell/rnd.h"
#include "shell/rounding.h"

#include <algorithm>

namespace {

// Below this row a particle stops falling and only drifts sideways.
constexpr float kParticleFloor = 590;

// Where the pass last drew each particle slot's dot and the code of the cell
// it found there. A dot is erased exactly where it was drawn, unless
// something else has moved it since, so the next pass and the compaction
// take the code from here instead of looking it up again. Why an entry can
// be stale but never wrong, across the compaction's moves too: see the top
// of scene/visibility.h.
struct DrawnDot {
    float x, y;
    uint8_t code;
};
DrawnDot drawn[kParticleSlots];
uint32_t drawn_generation = 0;

// Forgets every entry when the cell map has changed since they were read.
void check_drawn(const DotSight& sight)
{
    if (sight.generation == drawn_generation)
        return;
    for (DrawnDot& d : drawn)
        d.code = kDotWorkOut;
    drawn_generation = sight.generation;
}

// The code of the cell particle slot i's dot lies in.
uint8_t code_where_drawn(const DotSight& sight, int16_t i, const Mover& p)
{
    const DrawnDot& d = drawn[i];
    if (d.x == p.x && d.y == p.y)
        return d.code;
    return dot_sight_code(sight, p.x, p.y);
}

// What erase_dot and draw_dot do once m is known to be visible, and so
// strictly inside the client.
void erase_shown(const Mover& m, const SkyRows& sky)
{
    // round16 of the row, which saturates only past 32767.
    const int32_t row = round_inside_client(m.y);
    plat_set_pixel(round_inside_client(m.x), row, sky_row_in(sky, int16_t(std::min(row, 32767))));
}

void draw_shown(const Mover& m)
{
    const double f = float(double(m.life) / m.maxlife);
    const Rgb colour{round_to_channel(m.r * f), round_to_channel(m.g * f), round_to_channel(m.b * f)};
    plat_set_pixel(round_inside_client(m.x), round_inside_client(m.y), colour);
}

} // namespace

void erase_dot(const Mover& m)
{
    if (dot_visible(m.x, m.y))
        erase_shown(m, sky_rows_open());
}

void draw_dot(const Mover& m)
{
    if (dot_visible(m.x, m.y))
        draw_shown(m);
}

void drop_trail(float x, float y, double drift, int16_t r, int16_t g, int16_t b, double life_range,
                double life_min)
{
    Mover* p = create(particles, particle_count);
    if (!p)
        return;
    p->x = x;
    p->y = y;
    p->dx = float(double(rnd()) * (2 * drift) - drift);
    p->dy = float(double(rnd()) * (2 * drift) - drift);
    p->r = r;
    p->g = g;
    p->b = b;
    p->life = round32(double(rnd()) * life_range + life_min);
    p->maxlife = p->life;
    p->gravity = 0;
}

// The busiest loop of a frame, up to 10,000 dots: everything it calls is
// compiled into it, and the dot test is asked of one sight for the whole
// pass, as erase_dot and draw_dot would ask it dot by dot.
[[gnu::flatten]] void particle_pass()
{
    DotSight sight = dot_sight_open();
    check_drawn(sight);
    const SkyRows sky = sky_rows_open();
    const int16_t n = particle_count;
    for (int16_t i = 1; i <= n; ++i) {
        Mover& p = particles[i];
        if (dot_sight_answer(sight, code_where_drawn(sight, i, p), p.x, p.y))
            erase_shown(p, sky);
        p.x = p.x + p.dx;
        p.y = p.y + p.dy;
        p.dy = p.dy + p.gravity;
        p.life = p.life - 1;
        if (p.y > kParticleFloor)
            p.dy = 0;
        const uint8_t code = dot_sight_code(sight, p.x, p.y);
        drawn[i] = DrawnDot{p.x, p.y, code};
        if (dot_sight_answer(sight, code, p.x, p.y))
            draw_shown(p);
    }
    dot_sight_close(sight);
}

void particle_compaction()
{
    // The pass has just drawn each dead particle in black; the erase puts the
    // sky back before the record goes.
    DotSight sight = dot_sight_open();
    check_drawn(sight);
    const SkyRows sky = sky_rows_open();
    compact(particles, particle_count, [&sight, &sky](const Mover& m) {
        const int16_t i = int16_t(&m - particles);
        if (dot_sight_answer(sight, code_where_drawn(sight, i, m), m.x, m.y))
            erase_shown(m, sky);
    });
    dot_sight_close(sight);
}
