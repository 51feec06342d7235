// particle_scenario.h -- the particle benchmarks' scene: 10,000 live dots over a real skyline.
//
// Shared by particles.cpp (Google Benchmark, native) and particles_plain.cpp
// (a plain timing loop that also builds for WebAssembly), so both time the
// very same work.
#pragma once

#include "combat/particles.h"
#include "combat/tables.h"
#include "platform/memory/memory_platform.h"
#include "scene/backdrop.h"
#include "scene/skyline.h"
#include "shell/game_loop.h"

#include <random>

constexpr int kLive = kParticleSlots - 1; // 10,000: every slot in use
constexpr int kLongestLife = 15;          // lives 1..15: one particle in fifteen dies each frame

// A particle somewhere on the 800 x 600 screen. Spread evenly, about one in
// eight lies in the skyline's rows, where the building scan runs. Crowded
// onto the skyline, half lie anywhere (open sky, ground and all), a quarter
// in the band between the highest roof and the ground line, a quarter inside
// a building's body: the costliest place for a dot. Speeds span a trail's
// drift to an explosion's throw.
inline Mover spread_particle(std::mt19937& gen, int32_t life, bool crowd_skyline)
{
    std::uniform_real_distribution<float> unit(0, 1);
    Mover p{};
    float where = crowd_skyline ? unit(gen) : 0;
    if (where < 0.5f) {
        p.x = unit(gen) * 800;
        p.y = unit(gen) * 600;
    } else if (where < 0.75f || building_count == 0) {
        p.x = unit(gen) * 800;
        float ground = float(ground_y(p.x));
        p.y = roof_top + unit(gen) * (ground - roof_top);
    } else {
        const Building& b = buildings[1 + int(unit(gen) * building_count) % building_count];
        p.x = b.x + unit(gen) * b.w;
        p.y = b.y - unit(gen) * b.h;
    }
    p.dx = (unit(gen) - 0.5f) * 6;
    p.dy = (unit(gen) - 0.5f) * 6;
    p.r = 255;
    p.g = int16_t(unit(gen) * 255);
    p.b = 0;
    p.life = life;
    p.maxlife = life;
    p.gravity = 0;
    return p;
}

// Fills the empty slots up to 10,000 with particles at full life, as the
// explosions and trails of a busy frame would. Called outside the timing.
inline void refill(std::mt19937& gen, bool crowd_skyline)
{
    while (Mover* p = create(particles, particle_count))
        *p = spread_particle(gen, kLongestLife, crowd_skyline);
}

// A game started from seed 1 under sky `sky`, its particle table full of
// dots of every age; returns the share of them that are visible.
inline double start_particle_scene(std::mt19937& gen, int sky, bool crowd_skyline)
{
    mem_reset();
    start_up(1);
    sky_type = int16_t(sky);
    tables_reset();
    std::uniform_int_distribution<int32_t> life(1, kLongestLife);
    int visible = 0;
    while (Mover* p = create(particles, particle_count)) {
        *p = spread_particle(gen, life(gen), crowd_skyline);
        visible += on_screen(p->x, p->y) && double(p->y) < ground_y(p->x) && !hit_building(p->x, p->y);
    }
    return double(visible) / kLive;
}
