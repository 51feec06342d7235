// game_moment.h -- a moment of a game kept aside and put back, for the benchmarks that replay one.
#pragma once

#include "combat/missiles.h"
#include "combat/tables.h"
#include "scene/backdrop.h"
#include "scene/skyline.h"
#include "shell/game_loop.h"

#include <algorithm>
#include <iterator>

// Every global the frame loop reads or writes, so a busy moment of a game can
// be put back again and again. The random generator is left to run on: its
// draws decide where things fly, not how much work a frame is. Some 430 KB:
// keep one in static storage, not on the stack.
struct GameMoment {
    Mover missiles[kMissileSlots];
    Mover particles[kParticleSlots];
    Shot shots[kShotSlots];
    Blast blasts[kBlastSlots];
    int16_t missile_count, particle_count, shot_count, blast_count;
    Building buildings[kBuildingSlots];
    int16_t building_count, roof_top, hit_index;
    int16_t spawn_interval, spawn_countdown;
    int16_t sky_type;
    Rgb ground_color;
    int16_t mouse_x, mouse_y;
};

// Copies the game as it stands into m; called once, at the chosen moment.
inline void save(GameMoment& m)
{
    std::copy(std::begin(missiles), std::end(missiles), m.missiles);
    std::copy(std::begin(particles), std::end(particles), m.particles);
    std::copy(std::begin(shots), std::end(shots), m.shots);
    std::copy(std::begin(blasts), std::end(blasts), m.blasts);
    m.missile_count = missile_count;
    m.particle_count = particle_count;
    m.shot_count = shot_count;
    m.blast_count = blast_count;
    std::copy(std::begin(buildings), std::end(buildings), m.buildings);
    m.building_count = building_count;
    m.roof_top = roof_top;
    m.hit_index = hit_index;
    m.spawn_interval = spawn_interval;
    m.spawn_countdown = spawn_countdown;
    m.sky_type = sky_type;
    m.ground_color = ground_color;
    m.mouse_x = mouse_x;
    m.mouse_y = mouse_y;
}

// Puts the game back exactly as save() found it; called at every stretch's
// end. The buildings table changes behind the column index here, so the
// index is rebuilt from it.
inline void restore(const GameMoment& m)
{
    std::copy(std::begin(m.missiles), std::end(m.missiles), missiles);
    std::copy(std::begin(m.particles), std::end(m.particles), particles);
    std::copy(std::begin(m.shots), std::end(m.shots), shots);
    std::copy(std::begin(m.blasts), std::end(m.blasts), blasts);
    missile_count = m.missile_count;
    particle_count = m.particle_count;
    shot_count = m.shot_count;
    blast_count = m.blast_count;
    std::copy(std::begin(m.buildings), std::end(m.buildings), buildings);
    building_count = m.building_count;
    roof_top = m.roof_top;
    hit_index = m.hit_index;
    spawn_interval = m.spawn_interval;
    spawn_countdown = m.spawn_countdown;
    sky_type = m.sky_type;
    ground_color = m.ground_color;
    mouse_x = m.mouse_x;
    mouse_y = m.mouse_y;
    index_buildings();
}
