// seeded_game.cpp -- the real window playing the game of one seed, then holding its picture still, for screenshots.
//
// Usage: seeded_game SEED FRAMES
// Starts the game as the program does but with the given seed, runs FRAMES
// frames with no input (pausing between frames when asked, as the game
// does), prints "frozen" and then only keeps the window
// alive: events are still handled (the window's keys, resizes, exposes) and
// presented, but no frame runs, so the picture stays the one pelmaric-sim
// --seed SEED --frames FRAMES --screenshot writes.
#include "platform/platform.h"
#include "shell/game_loop.h"
#include "shell/handlers.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: seeded_game SEED FRAMES\n", stderr);
        return 2;
    }
    start_up(uint32_t(std::strtoul(argv[1], nullptr, 10)));
    // Paused between frames as the game is, so a pause can be checked against the runner.
    for (long frame = std::strtol(argv[2], nullptr, 10); frame > 0; --frame) {
        plat_hold_while_paused();
        run_frame();
    }
    std::puts("frozen");
    std::fflush(stdout);
    for (;;) {
        plat_process_events();
        dispatch_events();
        plat_show_picture();
        SDL_Delay(5);
    }
}
