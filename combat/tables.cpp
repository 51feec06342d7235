// tables.cpp -- storage for the four object tables.
#include "combat/tables.h"

#include <algorithm>
#include <iterator>

Mover missiles[kMissileSlots];
Mover particles[kParticleSlots];
Shot shots[kShotSlots];
Blast blasts[kBlastSlots];

int16_t missile_count = 0;
int16_t particle_count = 0;
int16_t shot_count = 0;
int16_t blast_count = 0;

void tables_reset()
{
    std::fill(std::begin(missiles), std::end(missiles), Mover{});
    std::fill(std::begin(particles), std::end(particles), Mover{});
    std::fill(std::begin(shots), std::end(shots), Shot{});
    std::fill(std::begin(blasts), std::end(blasts), Blast{});
    missile_count = 0;
    particle_count = 0;
    shot_count = 0;
    blast_count = 0;
}
