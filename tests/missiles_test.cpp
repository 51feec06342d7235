// missiles_test.cpp -- waves, launches, the missile pass and building strikes.
#include "test_support.h"

#include "combat/explosions.h"
#include "combat/missiles.h"
#include "shell/rnd.h"

#include <cmath>

namespace {

// Runs `frames` frames and notes the ones in which a missile was launched,
// by the changes of spawn_interval; returns the frames of the launches.
std::vector<int> launch_frames(int frames)
{
    std::vector<int> out;
    int16_t interval = spawn_interval;
    for (int f = 1; f <= frames; ++f) {
        EXPECT_TRUE(frame());
        if (spawn_interval != interval)
            out.push_back(f);
        interval = spawn_interval;
    }
    return out;
}

TEST(Waves, SixtyFiveLaunchesWithShrinkingGaps)
{
    new_game(5);
    std::vector<int> launches = launch_frames(3300);
    ASSERT_EQ(launches.size(), 65u);
    EXPECT_EQ(launches[0], 1); // the first frame starts wave 1 and launches
    for (size_t k = 1; k < launches.size(); ++k)
        EXPECT_EQ(launches[k] - launches[k - 1], 82 - int(k)) << k; // 81 down to 18
    EXPECT_EQ(launches[64] - launches[0], 3168);
    EXPECT_EQ(spawn_interval, 15);
}

TEST(Waves, ExhaustedWaveWaitsForAnEmptySkyThenStartsTheNext)
{
    new_game(5);
    launch_frames(3169); // all 65 launched by now
    ASSERT_EQ(spawn_interval, 15);
    while (missile_count > 0) {
        ASSERT_TRUE(frame());
        if (missile_count > 0) {
            EXPECT_EQ(spawn_countdown, -2);
            EXPECT_EQ(spawn_interval, 15);
        }
    }
    // The frame in which the last missile was removed: still the old wave.
    EXPECT_EQ(spawn_interval, 15);
    uint64_t draws = rnd_draws();
    ASSERT_TRUE(frame());
    EXPECT_EQ(spawn_interval, 79);
    EXPECT_EQ(missile_count, 1);
    EXPECT_GE(rnd_draws() - draws, 3u); // palette, angle, x (and window lights)
}

TEST(Waves, AnEmptySkyDoesNotCutAWaveShort)
{
    new_game(5);
    launch_frames(10);
    tables_reset(); // every missile gone early
    int16_t interval = spawn_interval;
    launch_frames(200);
    EXPECT_LT(spawn_interval, interval); // still launching the same wave
    EXPECT_GT(spawn_interval, 15);
}

TEST(Waves, WaveStartRepaintsUnderANewPaletteAndKeepsOtherObjects)
{
    new_game(8);
    quiet_sky();
    building_count = 0;
    spawn_interval = 15;
    shots[1] = Shot{10, 500, 0, -5, 10, 100, 255, 255, 0, 1};
    shot_count = 1;
    blasts[1] = Blast{-500, -500, 35, 35, 10};
    blast_count = 1;
    mem_set_tick(0);
    plat_set_pixel(300, 100, rgb(1, 2, 3)); // something the repaint must wipe
    uint64_t draws = rnd_draws();
    ASSERT_TRUE(frame());
    EXPECT_EQ(spawn_interval, 79);
    EXPECT_EQ(shot_count, 1);
    EXPECT_EQ(blast_count, 1);
    EXPECT_EQ(mem_pixel(300, 100), sky_color(100));
    // No building: the palette, the crosshair, the launch, the trail.
    EXPECT_EQ(rnd_draws() - draws, 1u + 1u + 2u + 3u);
}

TEST(MissilePass, LaunchFrameColourAndGreen355AtTheTop)
{
    new_game(13);
    ASSERT_TRUE(frame());
    ASSERT_EQ(missile_count, 1);
    const Mover& m = missiles[1];
    EXPECT_EQ(m.life, 4999);
    EXPECT_EQ(m.g, 355); // recoloured from y = 0 before the move
    EXPECT_EQ(m.r, 255);
    EXPECT_EQ(m.b, 0);
    EXPECT_GE(m.dy, std::sin(1.1780625f) - 1e-6f);
    EXPECT_GE(m.x, 0);
    EXPECT_LT(m.x, 801);
    // The first trail particle comes in the second update (life 4998).
    EXPECT_EQ(particle_count, 0);
    ASSERT_TRUE(frame());
    EXPECT_EQ(particle_count, 1);
    EXPECT_EQ(particles[1].g, missiles[1].g);
}

TEST(MissilePass, GroundOffScreenIsSilentGroundAndZoneDoBoth)
{
    quiet_game(17);
    missiles[1] = make_mover(-20, 560, 0, 1, 401); // past the ground, off screen
    missile_count = 1;
    size_t sounds = sounds_played().size();
    missile_pass();
    EXPECT_EQ(missiles[1].life, 0);
    EXPECT_EQ(sounds_played().size(), sounds);
    missile_compaction();
    EXPECT_EQ(missile_count, 0);

    missiles[1] = make_mover(300, 560, 0, 1, 401);
    missile_count = 1;
    blasts[1] = Blast{300, 560, 35, 35, 20};
    blast_count = 1;
    missile_pass();
    ASSERT_EQ(sounds_played().size(), sounds + 2);
    EXPECT_EQ(sounds_played()[sounds], "/pelmaric/poof.wav");
    EXPECT_EQ(sounds_played()[sounds + 1], "/pelmaric/ex2.wav");
    EXPECT_EQ(blast_count, 2);
}

TEST(MissilePass, TwoZonesTwoExplosionsAndTheChainInSlotOrder)
{
    quiet_game(17);
    // A missile inside two overlapping zones explodes twice.
    missiles[1] = make_mover(200, 200, 0, 1, 401);
    missile_count = 1;
    blasts[1] = Blast{190, 190, 35, 35, 20};
    blasts[2] = Blast{215, 215, 35, 35, 20};
    blast_count = 2;
    missile_pass();
    EXPECT_EQ(blast_count, 4);
    EXPECT_EQ(particle_count, 40);

    // Missiles 1 and 2 in one zone, closer than 35 to each other: 1 explodes
    // once, 2 twice (the zone, and the one 1 has just opened).
    quiet_game(17);
    missiles[1] = make_mover(300, 300, 0, 1, 401);
    missiles[2] = make_mover(310, 305, 0, 1, 401);
    missile_count = 2;
    blasts[1] = Blast{305, 305, 35, 35, 20};
    blast_count = 1;
    size_t sounds = sounds_played().size();
    missile_pass();
    EXPECT_EQ(blast_count, 4);
    EXPECT_EQ(sounds_played().size(), sounds + 3);
    EXPECT_EQ(missiles[1].life, 0);
    EXPECT_EQ(missiles[2].life, 0);
    EXPECT_EQ(blasts[2].x, 300);  // missile 1's zone
    EXPECT_EQ(blasts[3].x, 310);  // missile 2, twice
    EXPECT_EQ(blasts[4].x, 310);
}

TEST(Strike, SoundBurstSweepAndRemoval)
{
    quiet_game(17);
    sky_type = 2;
    paint_scene();
    building_count = 3;
    roof_top = 480;
    buildings[1] = make_building(100, 550, 20, 40);
    buildings[2] = make_building(300, 550, 20, 40);
    buildings[3] = make_building(500, 550, 20, 40);
    index_buildings();
    for (int i = 1; i <= 3; ++i)
        drawbuilding(int16_t(i));
    missiles[1] = make_mover(310, 519, 0, 1, 401); // into building 2
    missile_count = 1;
    size_t sounds = sounds_played().size();
    uint64_t draws = rnd_draws();
    missile_pass();
    EXPECT_EQ(missiles[1].life, 0);
    ASSERT_EQ(sounds_played().size(), sounds + 1);
    EXPECT_EQ(sounds_played().back(), "/pelmaric/exb.wav");
    ASSERT_EQ(particle_count, 75);
    for (int i = 1; i <= 25; ++i) {
        EXPECT_EQ(particles[i].g, 255);
        EXPECT_EQ(particles[i].life, 25);
        EXPECT_NEAR(std::hypot(double(particles[i].dx), double(particles[i].dy)), 10.0, 1e-5);
    }
    for (int i = 26; i <= 75; ++i) {
        EXPECT_EQ(particles[i].g, 0);
        EXPECT_GE(particles[i].life, 12);
        EXPECT_LE(particles[i].life, 37);
    }
    EXPECT_EQ(rnd_draws() - draws, 100u); // speed and life of each debris piece
    // The last building moved into the struck slot.
    ASSERT_EQ(building_count, 2);
    EXPECT_EQ(buildings[2].x, 500);
    EXPECT_EQ(roof_top, 480);
    // The sweep left greys from dark at the base to 37 at the roof.
    Rgb low = mem_pixel(305, 549), high = mem_pixel(305, 511);
    EXPECT_EQ(low.r, low.g);
    EXPECT_EQ(low.g, low.b);
    EXPECT_LE(low.r, 2);
    EXPECT_EQ(high, rgb(36, 36, 36));

    // Striking the last building removes it by the count alone.
    missiles[1] = make_mover(510, 519, 0, 1, 401);
    missile_count = 1;
    particle_count = 0;
    missile_pass();
    ASSERT_EQ(building_count, 1);
    EXPECT_EQ(buildings[1].x, 100);
}

TEST(Strike, WithEveryBuildingGoneMissilesOnlyEndOnTheGround)
{
    quiet_game(17);
    for (int i = 1; i <= 20; ++i)
        missiles[i] = make_mover(float(20 + 38 * i), 500, 0, 3, 400);
    missile_count = 20;
    for (int f = 0; f < 30; ++f) {
        missile_pass();
        missile_compaction();
    }
    EXPECT_EQ(missile_count, 0);
    int poofs = 0;
    for (const std::string& s : sounds_played())
        poofs += s == "/pelmaric/poof.wav";
    EXPECT_EQ(poofs, 20);
}

} // namespace
