// combat_test.cpp -- interceptors, explosions and blast zones.
#include "test_support.h"

#include "combat/explosions.h"
#include "combat/interceptors.h"
#include "combat/missiles.h"
#include "shell/handlers.h"
#include "shell/rnd.h"

#include <cmath>

namespace {

// Keeps the wave exhausted without letting a new one start: one harmless
// missile far off screen, falling nowhere near the ground.
void hold_wave()
{
    missiles[1] = make_mover(-5000, -5000, 0, 0, 5000);
    missile_count = 1;
}

void aim(float x, float y) { Form_MouseMove(0, 0, x, y); }

TEST(Launch, KeysPointsAndAVelocityOfLengthFive)
{
    quiet_game(21);
    aim(300, 200);
    struct Case { int16_t key; float x; };
    for (Case c : {Case{kKeyA, 10}, Case{kKeyS, 400}, Case{kKeyD, 790}}) {
        shot_count = 0;
        Form_KeyDown(c.key, 0);
        Form_KeyDown(c.key, 1); // with Shift: the same key code, the same launch
        ASSERT_EQ(shot_count, 2);
        const Shot& s = shots[1];
        EXPECT_EQ(s.x, c.x);
        EXPECT_EQ(s.y, float(ground_y(c.x)));
        EXPECT_EQ(s.tx, 300);
        EXPECT_EQ(s.ty, 200);
        EXPECT_EQ(s.state, 1);
        EXPECT_NEAR(std::hypot(double(s.dx), double(s.dy)), 5.0, 1e-5);
        EXPECT_EQ((std::vector<int>{s.r, s.g, s.b}), (std::vector<int>{255, 255, 0}));
    }
    shot_count = 0;
    const int16_t others[] = {97, 66, kKeyEsc, 32, 0}; // 'a' is not A's key code
    for (int16_t key : others)
        Form_KeyDown(key, 0);
    EXPECT_EQ(shot_count, 0);
}

TEST(Launch, AimsWhereTheCrosshairIsWhenTheKeyIsHandled)
{
    quiet_game(21);
    hold_wave();
    post_event(mouse_move(100, 100));
    post_event(key_down(kKeyA));
    post_event(mouse_move(600, 50));
    post_event(key_down(kKeyD));
    ASSERT_TRUE(frame());
    ASSERT_EQ(shot_count, 2);
    EXPECT_EQ(shots[1].tx, 100);
    EXPECT_EQ(shots[2].tx, 600);
    // Each was moved once, with one trail particle each, in the launch frame.
    EXPECT_NEAR(std::hypot(shots[1].x - 10.0, shots[1].y - ground_y(10)), 5.0, 1e-4);
    EXPECT_EQ(particle_count, 2);
}

TEST(Launch, AFullShotTableIgnoresTheKey)
{
    quiet_game(21);
    aim(400, 100);
    for (int i = 0; i < 120; ++i)
        Form_KeyDown(kKeyS, 0);
    EXPECT_EQ(shot_count, 100);
}

// Flies one interceptor from `key` at (tx, ty) until it explodes; returns
// the explosion point, or NaN if it has not arrived within `frames`.
std::pair<float, float> fly(int16_t key, float tx, float ty, int frames = 400)
{
    quiet_game(21);
    hold_wave();
    aim(tx, ty);
    Form_KeyDown(key, 0);
    for (int f = 0; f < frames; ++f) {
        int16_t zones = blast_count;
        shot_pass();
        shot_compaction();
        if (blast_count > zones)
            return {blasts[blast_count].x, blasts[blast_count].y};
    }
    return {NAN, NAN};
}

TEST(Arrival, WithinOneStepOfTheAimPointOnTheLaunchSide)
{
    struct Case { int16_t key; float tx, ty; };
    for (Case c : {Case{kKeyA, 300, 200}, Case{kKeyS, 123, 77}, Case{kKeyD, 700, 500}, Case{kKeyA, 780, 20},
                   Case{kKeyD, 20, 300}, Case{kKeyS, 401, 100}}) {
        auto [x, y] = fly(c.key, c.tx, c.ty);
        ASSERT_FALSE(std::isnan(x)) << c.key << " " << c.tx << "," << c.ty;
        EXPECT_LT(std::hypot(x - c.tx, y - c.ty), 5.0);
        EXPECT_EQ(shot_count, 0);
        // Short of the target, seen from the launch point.
        double lx = c.key == kKeyA ? 10 : c.key == kKeyS ? 400 : 790;
        EXPECT_LE(std::hypot(x - lx, y - ground_y(float(lx))), std::hypot(c.tx - lx, c.ty - ground_y(float(lx))) + 1e-3);
    }
}

TEST(Arrival, StraightUpAlongTheRowAndOntoTheLaunchPointAllExplode)
{
    // Straight above each launch point (dx = 0).
    for (auto [key, x] : {std::pair<int16_t, float>{kKeyA, 10}, {kKeyS, 400}, {kKeyD, 790}}) {
        auto [ex, ey] = fly(key, x, 100);
        EXPECT_NEAR(ex, x, 1e-3);
        EXPECT_NEAR(ey, 100, 5.0);
    }
    // Straight down, through the ground.
    EXPECT_FALSE(std::isnan(fly(kKeyA, 10, 590).first));
    // Along the launch point's own pixel row: launch y is about 549.99,
    // so the target row 550 gives a tiny dy.
    auto [rx, ry] = fly(kKeyA, 400, 550);
    EXPECT_NEAR(rx, 400, 5.0);
    EXPECT_NEAR(ry, 550, 0.5);
    // Exactly on the launch point (d = 0): no velocity, and it explodes in its
    // first update. Only a whole launch point can be aimed at exactly: key D
    // in a client 10 pixels wide launches from x = 0, where the ground is H - 50.
    new_game(21, 10, 600);
    quiet_sky();
    spawn_interval = 15;
    hold_wave();
    aim(0, 550);
    Form_KeyDown(kKeyD, 0);
    ASSERT_EQ(shot_count, 1);
    EXPECT_EQ(shots[1].dx, 0);
    EXPECT_EQ(shots[1].dy, 0);
    shot_pass();
    EXPECT_EQ(shots[1].state, -1);
    ASSERT_EQ(blast_count, 1);
    EXPECT_EQ(blasts[1].x, 0);
    EXPECT_EQ(blasts[1].y, 550);
}

TEST(Explosion, TwentyYellowParticlesAZoneAndOneSound)
{
    quiet_game(21);
    uint64_t draws = rnd_draws();
    size_t sounds = sounds_played().size();
    make_explosion(250, 150);
    EXPECT_EQ(rnd_draws() - draws, 40u);
    ASSERT_EQ(particle_count, 20);
    for (int i = 1; i <= 20; ++i) {
        const Mover& p = particles[i];
        EXPECT_EQ(p.x, 250);
        EXPECT_EQ(p.y, 150);
        EXPECT_GE(p.life, 12);
        EXPECT_LE(p.life, 14);
        EXPECT_EQ(p.maxlife, p.life);
        EXPECT_LT(std::hypot(double(p.dx), double(p.dy)), 6.0);
        EXPECT_EQ((std::vector<int>{p.r, p.g, p.b}), (std::vector<int>{255, 255, 0}));
    }
    // Particle k flies at angle 6.283/20*k + pi/2: dx = sin, dy = cos.
    double a1 = 6.283 / 20 * 1 + 3.1415 / 2;
    EXPECT_NEAR(std::atan2(double(particles[1].dx), double(particles[1].dy)), a1, 1e-5);
    ASSERT_EQ(blast_count, 1);
    EXPECT_EQ(blasts[1].half_width, 35);
    EXPECT_EQ(blasts[1].half_height, 35);
    EXPECT_EQ(blasts[1].life, 20);
    ASSERT_EQ(sounds_played().size(), sounds + 1);
    EXPECT_EQ(sounds_played().back(), "/pelmaric/ex2.wav");
}

TEST(BlastZone, StrictEdgesAndOverlaps)
{
    Blast b{100, 100, 35, 35, 20};
    EXPECT_TRUE(in_blast_zone(b, 100, 100));
    EXPECT_TRUE(in_blast_zone(b, 134.9f, 65.1f));
    EXPECT_FALSE(in_blast_zone(b, 135, 100));
    EXPECT_FALSE(in_blast_zone(b, 65, 100));
    EXPECT_FALSE(in_blast_zone(b, 100, 135));
    EXPECT_FALSE(in_blast_zone(b, 100, 65));
    Blast other{130, 130, 35, 35, 20};
    EXPECT_TRUE(in_blast_zone(b, 120, 120) && in_blast_zone(other, 120, 120));
}

TEST(BlastZone, AgesOutInTheFrameOfItsTwentiethAgeing)
{
    quiet_game(21);
    hold_wave();
    make_explosion(400, 100); // made before this frame's ageing
    for (int f = 1; f <= 19; ++f) {
        ASSERT_TRUE(frame());
        ASSERT_EQ(blast_count, 1) << f;
        EXPECT_EQ(blasts[1].life, 20 - f);
    }
    ASSERT_TRUE(frame());
    EXPECT_EQ(blast_count, 0);
}

TEST(Explosion, InterceptorBurstNearTheAimPointOnScreen)
{
    quiet_game(21);
    hold_wave();
    sky_type = 1;
    paint_scene();
    post_event(mouse_move(400, 200));
    post_event(key_down(kKeyS));
    int f = 0;
    while (blast_count == 0 && f < 100) {
        ASSERT_TRUE(frame());
        ++f;
    }
    ASSERT_EQ(blast_count, 1);
    EXPECT_EQ(f, 70); // 350 pixels at 5 a frame, arriving within one step
    ASSERT_TRUE(frame());
    // Yellowish burst pixels within the ring's reach of the aim point.
    int burst = 0;
    for (int y = 185; y <= 215; ++y)
        for (int x = 385; x <= 415; ++x) {
            Rgb p = mem_pixel(x, y);
            burst += p.r > 60 && p.r == p.g && p.b == 0;
        }
    EXPECT_GE(burst, 5);
}

} // namespace
