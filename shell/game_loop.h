// game_loop.h -- start-up and the frame loop: the spine of the game.
#pragma once

#include <cstdint>

// The crosshair, in client pixels. Only Form_MouseMove writes them; the
// launch keys aim at them.
extern int16_t mouse_x;
extern int16_t mouse_y;

// The pointer's display counter as the game's last call left it: start-up
// hides the pointer, Esc shows it again. Part of a kept game's final state.
extern int32_t cursor_counter;

// The crosshair back to (0, 0), as at program start. Called by start-up.
void game_loop_reset();

// Names every global above for a walk over the whole game (shell/game_state.h).
template <typename Visitor> void visit_game_loop(Visitor& v)
{
    v.value("mouse_x", mouse_x);
    v.value("mouse_y", mouse_y);
}

// The program's entry once the platform is ready: start-up with a seed from
// the system clock, then the frame loop, which never returns. Each game is
// kept (shell/replay.h). The game ends
// only through Esc (or the window's close button, which acts as Esc).
[[noreturn]] void Form_Load();

// Start-up: opens the window, hides the pointer, seeds the generator with
// `seed`, paints sky and ground, builds the skyline, starts the music and
// shows the picture.
// Every module is first reset to its state at program start, so the runner
// and the tests can start many games in one process.
void start_up(uint32_t seed);

// One frame: crosshair and events, the waves, missiles, interceptors,
// particles and blast zones in their fixed order, the filler writes, the
// picture shown, and the wait for the next tick of the clock.
void run_frame();

// The frame's pieces, in the order run_frame calls them, for the tests.
void crosshair_step();
void filler_writes();
void tick_wait(uint32_t frame_start);
