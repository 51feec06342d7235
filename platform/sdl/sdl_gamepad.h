// sdl_gamepad.h -- controllers through SDL's GameController API: aim with the stick or d-pad, launch with the buttons.
//
// A pad plays as the keyboard and mouse do: its launch buttons reach the game
// as the keys A, S and D going down (repeating while held, like a held key),
// its stick and d-pad move the crosshair through the same mouse move the
// pointer gives, and Back and Start held together end the game as Esc does.
#pragma once

#include <SDL.h>

// Turns on SDL's controller support (its mapping database, and
// SDL_GAMECONTROLLERCONFIG from the environment). Pads already plugged in
// arrive as device-added events. Called once by plat_open_window; without
// controller support the game plays on without pads.
void gamepad_start();

// Handles one SDL event if it is a controller's (plugged, unplugged, button)
// and returns true; launch presses and the end of the game are posted at
// once. Called by the video half for every SDL event.
bool gamepad_event(const SDL_Event& e);

// Once a frame, from plat_process_events: posts the repeats of held launch
// buttons and moves the aim (aim_x, aim_y, game pixels, kept inside the
// picture) by the sticks and d-pads. True when the aim moved.
bool gamepad_frame(float& aim_x, float& aim_y);

// How a stick's tilt becomes speed: no move inside the radial dead zone (a
// share of full tilt), then a square curve up to the top speed, in game
// pixels a frame. The d-pad moves one game pixel a frame.
constexpr double kStickDeadZone = 0.15;
constexpr double kStickTopSpeed = 12.0;

// A held launch button repeats as a held key does on a default desktop.
constexpr uint64_t kRepeatDelayMs = 500;
constexpr uint64_t kRepeatIntervalMs = 40;
