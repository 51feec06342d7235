// tables.h -- the records of everything that moves or lives a short while,
// and the four fixed tables that hold them.
//
// Live records sit in slots 1 to count with no gaps; slot 0 is never used.
// A creator raises the count and fills the new last slot; a table's
// compaction, right after its own pass, moves the last live record into each
// dead one's slot. Nothing is allocated after start-up.
#pragma once

#include <cstddef>
#include <cstdint>

// An enemy missile or a particle: one dot on the screen.
struct Mover {
    float x, y;
    float dx, dy;       // added to x and y once per frame
    int16_t r, g, b;    // base colour; components above 255 draw as 255
    int32_t life;       // frames left; dead below 1
    int32_t maxlife;    // life at creation; the dot fades by life / maxlife
    float gravity;      // added to dy once per frame (every creator uses 0)
};

// An interceptor in flight. It is never drawn: its trail shows it.
struct Shot {
    float x, y;
    float dx, dy;       // length 5, fixed at launch
    float tx, ty;       // the crosshair at launch
    int16_t r, g, b;    // colour of its trail
    int16_t state;      // 1 in flight, -1 arrived; dead below 1
};

// A blast zone: an invisible box that explodes every missile inside it.
struct Blast {
    float x, y;                      // centre
    float half_width, half_height;
    int32_t life;                    // frames left; dead below 1
};

constexpr int kMissileSlots = 1001;
constexpr int kParticleSlots = 10001;
constexpr int kShotSlots = 101;
constexpr int kBlastSlots = 101;

extern Mover missiles[kMissileSlots];
extern Mover particles[kParticleSlots];
extern Shot shots[kShotSlots];
extern Blast blasts[kBlastSlots];

extern int16_t missile_count;
extern int16_t particle_count;
extern int16_t shot_count;
extern int16_t blast_count;

inline bool is_dead(const Mover& m) { return m.life < 1; }
inline bool is_dead(const Shot& s) { return s.state < 1; }
inline bool is_dead(const Blast& b) { return b.life < 1; }

// Raises the table's count and hands back the new last slot for the creator
// to fill completely. A full table makes no record: it returns nullptr and
// leaves the count alone, and the creator skips that record (with its random
// draws) and carries on with the rest of its work.
template <typename Record, size_t Slots>
Record* create(Record (&table)[Slots], int16_t& count)
{
    if (count >= int16_t(Slots - 1))
        return nullptr;
    ++count;
    return &table[count];
}

// Removes every dead record: the last record is copied over a dead one and
// the same slot is tested again, since what arrived there may be dead too.
// The count is re-read at every test because it shrinks during the scan.
// `before_removal`, when given, sees each dead record just before it goes
// (the particle table erases its dot there).
template <typename Record, size_t Slots, typename BeforeRemoval>
void compact(Record (&table)[Slots], int16_t& count, BeforeRemoval before_removal)
{
    int16_t i = 1;
    while (i <= count) {
        if (!is_dead(table[i])) {
            ++i;
            continue;
        }
        before_removal(table[i]);
        table[i] = table[count];
        --count;
    }
}

template <typename Record, size_t Slots> void compact(Record (&table)[Slots], int16_t& count)
{
    compact(table, count, [](const Record&) {});
}

// Empties all four tables and zeroes every slot, as at program start.
// Called by start-up.
void tables_reset();

// Names every table for a walk over the whole game (shell/game_state.h).
template <typename Visitor> void visit_tables(Visitor& v)
{
    v.table("missiles", missiles, missile_count);
    v.table("particles", particles, particle_count);
    v.table("shots", shots, shot_count);
    v.table("blasts", blasts, blast_count);
}
