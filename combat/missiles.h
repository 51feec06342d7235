// missiles.h -- the enemy: waves, launches, and the missiles' flight and end.
#pragma once

#include <cstdint>

// What the next launch gives to spawn_countdown; shrinks by one per launch.
// A wave is exhausted once it is 15 or less.
extern int16_t spawn_interval;

// Frames until the next launch; the launch step that finds it at 0 launches.
extern int16_t spawn_countdown;

// Both back to 0, as at program start. Called by start-up.
void missiles_reset();

// Names every global above for a walk over the whole game (shell/game_state.h).
template <typename Visitor> void visit_missiles(Visitor& v)
{
    v.value("spawn_interval", spawn_interval);
    v.value("spawn_countdown", spawn_countdown);
}

// Starts a new wave when the old one has launched all 65 missiles and the sky
// is empty: new palette, whole scene repainted. Frame loop step.
void wave_step();

// Counts down to the next launch, or launches one missile from the top edge.
// Frame loop step, right after the wave step.
void launch_step();

// Moves, recolours and draws every missile, drops its trail, and ends it on
// the ground, in blast zones or on a building. Frame loop step.
void missile_pass();

// Removes the missiles that ended. Frame loop step, right after the pass.
void missile_compaction();
