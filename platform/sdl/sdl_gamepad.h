// sdl_gamepad.h -- controllers through SDL's GameController API, read into the shared pads (platform/core/pad.h).
//
// Here only what SDL says: which controllers are plugged in, their buttons
// and sticks. What a pad does in the game is platform/core/pad.cpp's.
#pragma once

#include <SDL.h>

// Turns on SDL's controller support (its mapping database, and
// SDL_GAMECONTROLLERCONFIG from the environment). Pads already plugged in
// arrive as device-added events. Called once by plat_open_window; without
// controller support the game plays on without pads.
void gamepad_start();

// Handles one SDL event if it is a controller's (plugged, unplugged, button)
// and returns true. Called for every SDL event (sdl_input.cpp, and sdl_pause.cpp while paused).
bool gamepad_event(const SDL_Event& e);

// Once a frame, from plat_process_events before pad_frame: reads each open
// controller's left stick into its pad.
void gamepad_read_sticks();
