// tables_test.cpp -- the object tables: removal in slot order and creation into a full table.
#include "test_support.h"

#include "combat/explosions.h"
#include "combat/particles.h"
#include "shell/rnd.h"

#include <vector>

namespace {

std::vector<int32_t> lives(int16_t count)
{
    std::vector<int32_t> out;
    for (int16_t i = 1; i <= count; ++i)
        out.push_back(particles[i].life);
    return out;
}

TEST(Compaction, EmptyAllDeadLastDeadAndTheFiveRecordExample)
{
    blank_scene();
    particle_compaction();
    EXPECT_EQ(particle_count, 0);

    // Records 1..5 carry their number as life; 2 and 5 are dead.
    for (int i = 1; i <= 5; ++i)
        particles[i] = make_mover(float(100 + 10 * i), 100, 0, 0, i * 10);
    particles[2].life = 0;
    particles[5].life = -1;
    particle_count = 5;
    particle_compaction();
    EXPECT_EQ(lives(particle_count), (std::vector<int32_t>{10, 40, 30}));

    // Only the last record dead: nothing else moves.
    particles[3].life = 0;
    particle_compaction();
    EXPECT_EQ(lives(particle_count), (std::vector<int32_t>{10, 40}));

    // Every record dead: each dot is erased exactly once.
    for (int i = 1; i <= 6; ++i)
        particles[i] = make_mover(float(100 + 10 * i), 100, 0, 0, 0);
    particle_count = 6;
    uint64_t writes = mem_pixel_writes();
    particle_compaction();
    EXPECT_EQ(particle_count, 0);
    EXPECT_EQ(mem_pixel_writes() - writes, 6u);
    for (int i = 1; i <= 6; ++i)
        EXPECT_EQ(mem_pixel(100 + 10 * i, 100), sky_color(100));
}

TEST(Compaction, ServesTheOtherTablesWithoutDrawing)
{
    blank_scene();
    shots[1].state = 1;
    shots[2].state = -1;
    shot_count = 2;
    blasts[1].life = 0;
    blasts[2].life = 5;
    blast_count = 2;
    uint64_t writes = mem_pixel_writes();
    compact(shots, shot_count);
    compact(blasts, blast_count);
    EXPECT_EQ(shot_count, 1);
    EXPECT_EQ(blast_count, 1);
    EXPECT_EQ(blasts[1].life, 5);
    EXPECT_EQ(mem_pixel_writes(), writes);
}

TEST(Creation, AFullTableMakesNothingAndWritesNothingPastItsEnd)
{
    blank_scene();
    // Fill every table to its limit and put a guard record past the particles.
    particle_count = 10000;
    shot_count = 100;
    blast_count = 100;
    missile_count = 1000;
    EXPECT_EQ(create(particles, particle_count), nullptr);
    EXPECT_EQ(create(shots, shot_count), nullptr);
    EXPECT_EQ(create(blasts, blast_count), nullptr);
    EXPECT_EQ(create(missiles, missile_count), nullptr);
    EXPECT_EQ(particle_count, 10000);
    EXPECT_EQ(missile_count, 1000);

    // An explosion into full tables: no record, no draws, the sound still plays.
    uint64_t draws = rnd_draws();
    size_t sounds = sounds_played().size();
    make_explosion(300, 300);
    EXPECT_EQ(rnd_draws(), draws);
    EXPECT_EQ(particle_count, 10000);
    EXPECT_EQ(blast_count, 100);
    EXPECT_EQ(sounds_played().size(), sounds + 1);

    // Room for three particles: three records with their six draws, and the zone.
    particle_count = 9997;
    blast_count = 99;
    make_explosion(300, 300);
    EXPECT_EQ(particle_count, 10000);
    EXPECT_EQ(blast_count, 100);
    EXPECT_EQ(rnd_draws(), draws + 6);
}

} // namespace
