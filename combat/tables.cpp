// tables.cpp -- storage for the four object tables.
#include "combat/tables.h"

Mover missiles[kMissileSlots];
Mover particles[kParticleSlots];
Shot shots[kShotSlots];
Blast blasts[kBlastSlots];

int16_t missile_count = 0;
int16_t particle_count = 0;
int16_t shot_count = 0;
int16_t blast_count = 0;

void clear_tables()
{
    missile_count = 0;
    particle_count = 0;
    shot_count = 0;
    blast_count = 0;
}
