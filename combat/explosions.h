// explosions.h -- explosions and the blast zones they open.
#pragma once

#include "combat/tables.h"

// An explosion at (x, y): a ring of 20 yellow particles of random speed and
// life, one blast zone of 70 x 70 pixels living 20 frames, and the explosion
// sound. Called by the shot pass on arrival and by the missile pass for every
// zone a missile is caught in.
void make_explosion(float x, float y);

// True when (px, py) lies strictly inside zone b: a point on its edge is out.
bool in_blast_zone(const Blast& b, float px, float py);

// Takes one frame of life from every zone. Frame loop step.
void blast_aging();

// Removes the zones that have aged out. Frame loop step, right after aging.
void blast_compaction();
