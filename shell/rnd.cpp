// rnd.cpp -- the game's random generator.
#include "shell/rnd.h"

#include <random>

namespace {
std::mt19937 gen(0);
uint64_t draws = 0;
} // namespace

void rnd_seed(uint32_t seed)
{
    gen.seed(seed);
    draws = 0;
}

float rnd()
{
    ++draws;
    return float(gen() >> 8) * 0x1p-24f;
}

uint64_t rnd_draws() { return draws; }
