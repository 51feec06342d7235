// particles.h -- the dots: how any Mover reaches the screen and leaves it,
// and the once-a-frame particle pass.
#pragma once

#include "combat/tables.h"

// Repaints the sky colour of m's row over m's pixel, where m is visible:
// strictly inside the client area, strictly above the ground line and not
// inside a building, tested in that order.
void erase_dot(const Mover& m);

// Paints m's pixel in its colour faded by life / maxlife, where m is visible.
void draw_dot(const Mover& m);

// Appends one trail dot at (x, y) in colour (r, g, b), drifting up to
// `drift` pixels a frame along each axis and living round(rnd() * life_range
// + life_min) frames. Draws dx, dy, then life. Missiles and interceptors leave
// these behind them; in a full table nothing is made and nothing is drawn.
void drop_trail(float x, float y, double drift, int16_t r, int16_t g, int16_t b, double life_range,
                double life_min);

// Erases, moves, ages and redraws every particle once. Frame loop step.
void particle_pass();

// Removes dead particles, erasing each one's dot first. Frame loop step,
// right after the particle pass.
void particle_compaction();
