// game_state.h -- the whole game at once: reset it, walk it, save it and put it back.
//
// Each module names its own globals, next to their definitions, in a
// visit_<module>() template; the walk below only lists the modules. A visitor
// has two calls: value(name, global) for a single global and
// table(name, slots, count) for a fixed table with its live count. The
// runner prints a game's state with such a visitor; the benchmarks save a
// busy moment and put it back with the snapshot below.
#pragma once

#include "combat/missiles.h"
#include "combat/tables.h"
#include "scene/backdrop.h"
#include "scene/skyline.h"
#include "shell/game_loop.h"

#include <vector>

// Every module's globals, in a fixed order: the crosshair, the waves, the
// palette and ground, the skyline, the four tables.
template <typename Visitor> void visit_game(Visitor& v)
{
    visit_game_loop(v);
    visit_missiles(v);
    visit_backdrop(v);
    visit_skyline(v);
    visit_tables(v);
}

// Every module back to its state at program start. Start-up calls it first.
// The random generator is reset by its seeding, the platform by its backend.
void reset_game();

// The whole game's globals as bytes.
struct GameSnapshot {
    std::vector<unsigned char> bytes;
};

// Copies the game as it stands into `s` (allocates: not for the frame loop).
void save_game(GameSnapshot& s);

// Puts back exactly what save_game copied, and rebuilds what is derived from
// it (the buildings' index). The random generator is left as it is, and the
// picture is not repainted: the caller does that.
void restore_game(const GameSnapshot& s);
