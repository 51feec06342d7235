// test_support.h -- helpers shared by the unit tests on the memory platform.
#pragma once

#include "combat/missiles.h"
#include "combat/tables.h"
#include "platform/memory/memory_platform.h"
#include "platform/core/picture.h"
#include "scene/backdrop.h"
#include "scene/skyline.h"
#include "shell/game_loop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

// A new 800 x 600 game from `seed`, start-up done, no frame run yet.
inline void new_game(uint32_t seed = 1, int w = 800, int h = 600)
{
    mem_reset(w, h);
    start_up(seed);
}

// An empty scene: every table empty and no building standing. Tests then
// place what they need by hand, and call index_buildings() once they have.
inline void quiet_sky()
{
    tables_reset();
    building_count = 0;
    index_buildings();
}

// A running game with nothing in the air: the wave has launched everything,
// so no missile is launched and, while one flies, no new wave starts.
inline void quiet_game(uint32_t seed)
{
    new_game(seed);
    quiet_sky();
    spawn_interval = 15;
    spawn_countdown = -2;
}

// A screen where the sky is easy to tell from anything drawn: palette 3.
inline void blank_scene()
{
    new_game(11);
    quiet_sky();
    sky_type = 3;
    plat_clear();
}

inline Mover make_mover(float x, float y, float dx = 0, float dy = 0, int32_t life = 10)
{
    Mover m{};
    m.x = x;
    m.y = y;
    m.dx = dx;
    m.dy = dy;
    m.r = 255;
    m.g = 255;
    m.b = 0;
    m.life = life;
    m.maxlife = life;
    m.gravity = 0;
    return m;
}

inline Building make_building(float x, float base, float w, float h)
{
    Building b{};
    b.x = x;
    b.y = base;
    b.w = w;
    b.h = h;
    b.r = 0;
    b.g = 100;
    b.b = 50;
    return b;
}

// A random table of n buildings around a client `width` wide: mostly spans
// like the generation's, some reaching past either edge, some sharing a left
// edge or lying inside another, a few empty or reversed.
inline void random_table(std::mt19937& gen, int16_t n, float width, float height)
{
    std::uniform_real_distribution<float> unit(0, 1);
    building_count = n;
    roof_top = int16_t(height - 120);
    for (int16_t i = 1; i <= n; ++i) {
        Building b = make_building(unit(gen) * (width + 60) - 30, height - 55 + unit(gen) * 10,
                                   unit(gen) * 10 + 15, unit(gen) * 55 + 10);
        if (unit(gen) < 0.3f)
            b.x = std::round(b.x * 4) / 4; // whole and quarter edges too
        const float kind = unit(gen);
        if (i > 1 && kind < 0.15f)
            b.x = buildings[1 + int(unit(gen) * (i - 1)) % (i - 1)].x; // the same left edge
        else if (i > 1 && kind < 0.3f) {
            const Building& outer = buildings[1 + int(unit(gen) * (i - 1)) % (i - 1)];
            b.x = outer.x + 2;
            b.w = 5; // inside another span
        } else if (kind < 0.35f)
            b.w = unit(gen) < 0.5f ? 0 : -3;
        buildings[i] = b;
    }
    index_buildings();
}

// Runs a frame; returns false if the frame ended the program.
inline bool frame()
{
    try {
        run_frame();
        return true;
    } catch (const ProgramEnded&) {
        return false;
    }
}

// The whole picture as it stands, to compare with a later one.
inline std::vector<uint32_t> picture_copy()
{
    const uint32_t* p = picture_pixels();
    return std::vector<uint32_t>(p, p + size_t(picture_width()) * size_t(picture_height()));
}

inline std::vector<std::string> sounds_played()
{
    std::vector<std::string> out;
    for (const AudioCall& c : mem_audio_calls())
        if (c.is_sound)
            out.push_back(c.name);
    return out;
}

// ---- The rules written out plainly, to hold the fast paths against ----------

// The hit test as the rule states it, over the table as it stands: the first
// building in slot order whose span strictly holds px is the only one
// examined. `examined` is the slot it examined, or 0.
inline bool scanned_hit(float px, float py, int16_t& examined)
{
    examined = 0;
    if (py <= roof_top)
        return false;
    for (int16_t i = 1; i <= building_count; ++i) {
        const Building& b = buildings[i];
        if (double(b.x) < double(px) && double(px) < double(b.x) + double(b.w)) {
            examined = i;
            return double(b.y) - double(b.h) < double(py) && double(py) < double(b.y);
        }
    }
    return false;
}

// The dot test as written out in full: on screen, strictly above the line,
// then the scan. `examined` is what hit_building leaves in hit_index, 0 when
// it is not reached or examines nothing.
inline bool plain_dot_visible(float x, float y, int16_t& examined)
{
    examined = 0;
    const double W = plat_client_width(), H = plat_client_height();
    if (!(0 < x && x < W && 0 < y && y < H))
        return false;
    const double q = double(x) / 200;
    if (!(double(y) < H - std::sin(q * q) * 5 - 50))
        return false;
    return !scanned_hit(x, y, examined);
}
