// rnd.h -- the game's single random generator and its draw counter.
#pragma once

#include <cstdint>

// Restarts the generator from `seed`. Start-up calls it once; the headless
// runner and the tests pass their own seeds so that a game can be replayed.
void rnd_seed(uint32_t seed);

// One uniform draw in [0, 1), in single precision: the top 24 bits of a
// 32-bit Mersenne Twister output, so every value is exact in a float.
float rnd();

// Draws made since the last rnd_seed; the runner reports it.
uint64_t rnd_draws();
