// particles_test.cpp -- the object tables' rules and the dots on the screen.
#include "test_support.h"

#include "combat/explosions.h"
#include "combat/particles.h"
#include "shell/rnd.h"

namespace {

// A screen where the sky is easy to tell from anything drawn: palette 3.
void blank_scene()
{
    new_game(11);
    quiet_sky();
    sky_type = 3;
    plat_clear();
}

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

TEST(DrawDot, FadeRoundsHalvesToEvenAndCapsAt255)
{
    blank_scene();
    Mover m = make_mover(200, 200, 0, 0, 14);
    m.life = 7; // f = 0.5: 127.5 gives 128
    m.g = 0;
    draw_dot(m);
    EXPECT_EQ(mem_pixel(200, 200), rgb(128, 0, 0));
    m.r = 1;
    m.g = 355;
    m.life = 14;
    draw_dot(m);
    EXPECT_EQ(mem_pixel(200, 200), rgb(1, 255, 0));
    m.life = 0;
    draw_dot(m);
    EXPECT_EQ(mem_pixel(200, 200), rgb(0, 0, 0));
    // Positions round halves to even too.
    m = make_mover(10.5f, 11.5f);
    draw_dot(m);
    EXPECT_EQ(mem_pixel(10, 12), rgb(255, 255, 0));
}

TEST(Visibility, EdgesGroundLineAndBuildingsHideADot)
{
    blank_scene();
    building_count = 1;
    roof_top = 480;
    buildings[1] = make_building(300, 545, 20, 40);
    index_buildings();
    drawbuilding(1);
    std::vector<uint32_t> before = picture_copy();
    uint64_t writes = mem_pixel_writes();
    for (Mover m : {make_mover(0, 300), make_mover(800, 300), make_mover(400, 0), make_mover(400, 600),
                    make_mover(0, 550),                         // exactly on the ground line (x = 0)
                    make_mover(310, 530), make_mover(310.5f, 520.5f)}) { // inside the building
        draw_dot(m);
        erase_dot(m);
    }
    EXPECT_EQ(mem_pixel_writes(), writes);
    EXPECT_EQ(picture_copy(), before);
    // Just above the ground line at x = 0 it shows.
    draw_dot(make_mover(0.5f, 549));
    EXPECT_EQ(mem_pixel(0, 549), rgb(255, 255, 0));
}

TEST(ParticlePass, MovesAgesFadesAndLeavesTheSkyBehind)
{
    blank_scene();
    particles[1] = make_mover(100, 100, 2, 1, 2);
    particle_count = 1;
    particle_pass();
    EXPECT_EQ(particles[1].x, 102);
    EXPECT_EQ(particles[1].y, 101);
    EXPECT_EQ(particles[1].life, 1);
    EXPECT_EQ(mem_pixel(102, 101), rgb(128, 128, 0)); // 255 * 0.5 = 127.5
    particle_compaction();
    particle_pass(); // life 0: drawn black, then erased by the compaction
    EXPECT_EQ(mem_pixel(104, 102), rgb(0, 0, 0));
    particle_compaction();
    EXPECT_EQ(particle_count, 0);
    EXPECT_EQ(mem_pixel(104, 102), sky_color(102));
    EXPECT_EQ(mem_pixel(102, 101), sky_color(101));
}

TEST(ParticlePass, FloorAt590StopsTheFallButNotTheDrift)
{
    new_game(2, 800, 900); // a tall client: the ground line lies below 590
    quiet_sky();
    particles[1] = make_mover(100, 589, 1, 1, 50); // lands exactly on 590
    particles[2] = make_mover(200, 589.5f, 1, 1, 50); // passes below it
    particles[2].gravity = 0.5f;
    particle_count = 2;
    particle_pass();
    EXPECT_EQ(particles[1].y, 590);
    EXPECT_EQ(particles[1].dy, 1);
    EXPECT_EQ(particles[2].dy, 0);
    for (int i = 0; i < 5; ++i)
        particle_pass();
    EXPECT_EQ(particles[2].y, 590.5f);
    EXPECT_EQ(particles[2].dy, 0);
    EXPECT_EQ(particles[2].x, 206);
}

TEST(ParticlePass, OffScreenParticlesKeepMovingAndAgeing)
{
    blank_scene();
    particles[1] = make_mover(-50, 100, -3, 0, 20);
    particle_count = 1;
    uint64_t writes = mem_pixel_writes();
    for (int i = 0; i < 19; ++i)
        particle_pass();
    particle_compaction();
    EXPECT_EQ(particle_count, 1);
    EXPECT_EQ(particles[1].x, -107);
    EXPECT_EQ(particles[1].life, 1);
    EXPECT_EQ(mem_pixel_writes(), writes);
}

} // namespace
