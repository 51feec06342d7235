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

} // namespace

void erase_dot(const Mover& m)
{
    if (!dot_visible(m.x, m.y))
        return;
    // round16 of the row, which saturates only past 32767.
    const int32_t row = round_inside_client(m.y);
    plat_set_pixel(round_inside_client(m.x), row, sky_row_color(int16_t(std::min(row, 32767))));
}

void draw_dot(const Mover& m)
{
    if (!dot_visible(m.x, m.y))
        return;
    float f = float(double(m.life) / m.maxlife);
    Rgb colour = rgb(round16(m.r * double(f)), round16(m.g * double(f)), round16(m.b * double(f)));
    plat_set_pixel(round_inside_client(m.x), round_inside_client(m.y), colour);
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

void particle_pass()
{
    int16_t n = particle_count;
    for (int16_t i = 1; i <= n; ++i) {
        Mover& p = particles[i];
        erase_dot(p);
        p.x = p.x + p.dx;
        p.y = p.y + p.dy;
        p.dy = p.dy + p.gravity;
        p.life = p.life - 1;
        if (p.y > kParticleFloor)
            p.dy = 0;
        draw_dot(p);
    }
}

void particle_compaction()
{
    // The pass has just drawn each dead particle in black; the erase puts the
    // sky back before the record goes.
    compact(particles, particle_count, erase_dot);
}
