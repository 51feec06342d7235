// game_moment.h -- a busy moment of a game, kept and put back by the frame benchmarks between their stretches.
#pragma once

#include "platform/memory/memory_platform.h"
#include "scene/backdrop.h"
#include "shell/game_state.h"

// Puts the game back as `moment` holds it, on a new memory platform whose
// clock moves a whole frame at every reading, so that the wait for the next
// tick ends at its first poll. The reset also empties the audio log, which
// would otherwise grow for the whole run. The random generator runs on: its
// draws decide where things fly, not how much work a frame is.
inline void put_back(const GameSnapshot& moment)
{
    mem_reset();
    mem_set_tick_step(16);
    restore_game(moment);
    paint_scene();
}
