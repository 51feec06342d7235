// missiles.cpp -- waves of enemy missiles, their flight, and building strikes.
#include "combat/missiles.h"

#include "combat/explosions.h"
#include "combat/particles.h"
#include "combat/tables.h"
#include "platform/platform.h"
#include "scene/backdrop.h"
#include "scene/skyline.h"
#include "shell/rnd.h"
#include "shell/rounding.h"
#include "shell/sound.h"

#include <cmath>

int16_t spawn_interval = 0;
int16_t spawn_countdown = 0;

namespace {

constexpr int16_t kWaveFirstInterval = 80;
constexpr int16_t kWaveLastInterval = 15; // 65 launches: 80 down to 16
constexpr int32_t kMissileLife = 5000;

// Fills p as a piece of a strike's burst, thrown from missile m at angle a.
void fill_burst_particle(Mover& p, const Mover& m, double a, double speed, int16_t r, int16_t g, int32_t life)
{
    p.x = m.x;
    p.y = m.y;
    p.dx = float(std::sin(a) * speed);
    p.dy = float(std::cos(a) * speed);
    p.r = r;
    p.g = g;
    p.b = 0;
    p.life = life;
    p.maxlife = life;
    p.gravity = 0;
}

// Missile m has hit building hit_index: a sound, a ring of yellow sparks, a
// burst of red debris, the collapse sweep over the building's area, and the
// building leaves the table.
void strike(Mover& m)
{
    m.life = 0;
    sound("\\exb.wav", 1);

    for (int k = 1; k <= 25; ++k) {
        if (Mover* p = create(particles, particle_count))
            fill_burst_particle(*p, m, 6.283 / 25 * k + 3.1415 / 2, 10, 255, 255, 25);
    }
    for (int k = 1; k <= 50; ++k) {
        Mover* p = create(particles, particle_count);
        if (!p)
            continue;
        double speed = double(rnd()) * 3;
        int32_t life = round32(double(rnd()) * 25 + 12);
        fill_burst_particle(*p, m, 6.283 / 50 * k + 3.1415 / 2, speed, 255, 0, life);
    }

    // The collapse sweep climbs from the base to the roof, each row flashed
    // yellow and left grey, darkest at the base.
    const Building b = buildings[hit_index];
    float right = float(double(b.x) + b.w);
    for (int q = 1; q <= 100; ++q) {
        float t = float(double(b.h) * (q / 100.0));
        float row = float(double(b.y) - t);
        plat_draw_line(b.x, row, right, row, rgb(255, 255, 0));
        int32_t v = round32(q / 100.0 * 37);
        plat_draw_line(b.x, row, right, row, rgb(v, v, v));
    }

    remove_building(hit_index);
}

} // namespace

void missiles_reset()
{
    spawn_interval = 0;
    spawn_countdown = 0;
}

void wave_step()
{
    if (spawn_interval > kWaveLastInterval)
        return;
    spawn_countdown = -1;
    if (missile_count != 0)
        return;

    spawn_interval = kWaveFirstInterval;
    spawn_countdown = 0;
    ground_color = rgb(0, 37, 0);
    sky_type = round16(double(rnd()) * 4);
    paint_scene();
}

void launch_step()
{
    if (spawn_countdown != 0) {
        spawn_countdown = int16_t(spawn_countdown - 1);
        return;
    }
    spawn_countdown = spawn_interval;
    spawn_interval = int16_t(spawn_interval - 1);

    Mover* m = create(missiles, missile_count);
    if (!m)
        return;
    // Within 3.1415/8 of straight down (y grows downward), anywhere along a
    // fixed 800 pixels of the top edge.
    float angle = float(double(rnd()) * (3.1415 / 4) - 3.1415 / 8 + 3.1415 / 2);
    m->x = float(double(rnd()) * 800);
    m->y = 0;
    m->dx = float(std::cos(double(angle)));
    m->dy = float(std::sin(double(angle)));
    m->r = 255;
    m->g = 255;
    m->b = 255;
    m->life = kMissileLife;
    m->maxlife = kMissileLife;
    m->gravity = 0;
}

void missile_pass()
{
    int16_t n = missile_count;
    for (int16_t i = 1; i <= n; ++i) {
        Mover& m = missiles[i];
        erase_dot(m);

        // Yellow high in the sky, orange lower down, red near the ground;
        // green goes up to 355, drawn as 255.
        m.r = 255;
        m.g = round16((1 - double(m.y) / plat_client_height()) * 355);
        m.b = 0;

        m.dy = m.dy + m.gravity;
        m.x = m.x + m.dx;
        m.y = m.y + m.dy;
        m.life = m.life - 1;

        // A faint dot in its current colour every third update.
        if (m.life % 3 == 0)
            drop_trail(m.x, m.y, 0.125, m.r, m.g, m.b, 50, 20);

        // The ground, the zones and the buildings each act on their own: one
        // missile can end in all three in the same update.
        if (double(m.y) > ground_y(m.x)) {
            m.life = 0;
            if (on_screen(m.x, m.y))
                sound("\\poof.wav", 1);
        }

        // Zones opened by this missile's own explosions lie past `zones` and
        // are left for the missiles after it.
        int16_t zones = blast_count;
        for (int16_t j = 1; j <= zones; ++j) {
            if (in_blast_zone(blasts[j], m.x, m.y)) {
                m.life = 0;
                make_explosion(m.x, m.y);
            }
        }

        if (hit_building(m.x, m.y))
            strike(m);

        draw_dot(m);
    }
}

void missile_compaction() { compact(missiles, missile_count); }
