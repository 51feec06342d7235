// launch_flood.h -- the heaviest play the tables allow, shared by the worst-frame benchmarks.
//
// A hundred launches a frame aimed a few pixels from the left launch point,
// so every interceptor bursts in the frame it is launched: each frame then
// runs 100 interceptors, fills the particle table to 10,000 and keeps 100
// blast zones open, while wave 1 falls through them onto the skyline.
#pragma once

#include "platform/core/events.h"
#include "platform/memory/memory_platform.h"
#include "shell/game_state.h"

constexpr float kFloodAimX = 13, kFloodAimY = 546; // a few pixels from the left launch point
constexpr int kFloodLaunchesPerFrame = 100;         // as many as the shot table holds

// Queues one frame's launches; outside the timing, which covers run_frame alone.
inline void flood()
{
    for (int k = 0; k < kFloodLaunchesPerFrame; ++k)
        post_event(key_down(kKeyA));
}

// A game from seed 1 flooded until wave 1's launch interval has come down to
// `interval`, kept in `moment`.
inline void reach_flooded_moment(int interval, GameSnapshot& moment)
{
    mem_reset();
    start_up(1);
    post_event(mouse_move(kFloodAimX, kFloodAimY));
    do {
        flood();
        run_frame();
    } while (spawn_interval > interval);
    save_game(moment);
}
