// particles_test.cpp -- dots drawn and faded, and the particle pass and compaction, also against the same frames written out plainly.
#include "combat/particles.h"
#include "scene/visibility.h"
#include "shell/game_state.h"
#include "shell/rounding.h"
#include "test_support.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <random>

namespace {

// The frame's two particle steps as the rules state them, dot by dot, with
// no index, no cell map and nothing remembered between frames.
bool plain_visible(float x, float y)
{
    int16_t examined = 0;
    const bool shown = plain_dot_visible(x, y, examined);
    if (examined != 0)
        hit_index = examined;
    return shown;
}

void plain_erase(const Mover& m)
{
    if (plain_visible(m.x, m.y))
        plat_set_pixel(round32(m.x), round32(m.y), sky_color(round16(m.y)));
}

void plain_pass()
{
    for (int16_t i = 1; i <= particle_count; ++i) {
        Mover& p = particles[i];
        plain_erase(p);
        p.x = p.x + p.dx;
        p.y = p.y + p.dy;
        p.dy = p.dy + p.gravity;
        p.life = p.life - 1;
        if (p.y > 590)
            p.dy = 0;
        if (plain_visible(p.x, p.y)) {
            const float f = float(double(p.life) / p.maxlife);
            plat_set_pixel(round32(p.x), round32(p.y),
                           rgb(round16(p.r * double(f)), round16(p.g * double(f)), round16(p.b * double(f))));
        }
    }
}

void plain_compaction()
{
    compact(particles, particle_count, plain_erase);
}

void plain_steps()
{
    plain_pass();
    plain_compaction();
}

// Everything the two steps can change, to compare after every frame.
struct After {
    std::vector<uint32_t> picture;
    std::vector<Mover> movers;
    int16_t hit;
    uint64_t writes;
};

After after_frame(uint64_t writes_before)
{
    After a{picture_copy(), {}, hit_index, mem_pixel_writes() - writes_before};
    for (int16_t i = 1; i <= particle_count; ++i)
        a.movers.push_back(particles[i]);
    return a;
}

void put_picture(const std::vector<uint32_t>& words)
{
    const int w = picture_width(), h = picture_height();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            plat_set_pixel(x, y, picture_rgb(words[size_t(y) * size_t(w) + size_t(x)]));
}

// A particle where dots cost the most and go wrong the most easily: on
// building edges, roofs and bases, cell edges, the ground line, the client's
// sides, roof_top; fading from any colour, some already dead, some with
// speeds that carry them across a cell edge or not at all.
Mover awkward_particle(std::mt19937& gen)
{
    std::uniform_real_distribution<float> unit(0, 1);
    const float W = plat_client_width(), H = plat_client_height();
    Mover p = make_mover(unit(gen) * W, unit(gen) * H, (unit(gen) - 0.5f) * 6, (unit(gen) - 0.5f) * 6,
                         int32_t(unit(gen) * 20));
    const float pick = unit(gen);
    if (building_count > 0 && pick < 0.5f) {
        const Building& b = buildings[1 + int(unit(gen) * building_count) % building_count];
        const float xs[] = {b.x, b.x + b.w, std::floor(b.x), b.x + unit(gen) * b.w};
        const float ys[] = {b.y, b.y - b.h, std::floor(b.y - b.h) + 1, b.y - unit(gen) * b.h};
        p.x = xs[int(unit(gen) * 4) % 4];
        p.y = ys[int(unit(gen) * 4) % 4];
    } else if (pick < 0.7f) {
        p.y = float(ground_y(p.x)) + (unit(gen) - 0.5f);
    } else if (pick < 0.8f) {
        p.y = roof_top + (unit(gen) - 0.5f) * 2;
    } else if (pick < 0.85f) {
        p.x = std::floor(p.x) + (unit(gen) < 0.5f ? 0.0f : 0.5f);
        p.y = std::floor(p.y) + (unit(gen) < 0.5f ? 0.0f : 0.5f);
    } else if (pick < 0.9f) {
        p.x = unit(gen) < 0.5f ? 0 : W - unit(gen);
    }
    const float still = unit(gen);
    if (still < 0.2f) // still, so it is erased where it was drawn
        p.dx = p.dy = 0;
    else if (still < 0.3f) // straight down: only its row changes
        p.dx = 0;
    p.r = int16_t(unit(gen) * 400 - 50);
    p.g = int16_t(unit(gen) * 300);
    p.b = int16_t(unit(gen) * 255);
    p.maxlife = std::max(p.life, int32_t(1 + unit(gen) * 30));
    return p;
}

void fill_particles(std::mt19937& gen, int16_t count)
{
    while (particle_count < count) {
        Mover* p = create(particles, particle_count);
        *p = awkward_particle(gen);
    }
}

// Runs `frames` frames of the particle steps, `steps` (the real ones or the
// plain ones) with `between(frame)` before each, from the same saved game
// and picture, and gives what stood after each frame.
std::vector<After> play(const GameSnapshot& start, const std::vector<uint32_t>& picture, int frames,
                        const std::function<void()>& steps, const std::function<void(int)>& between)
{
    restore_game(start);
    put_picture(picture);
    std::vector<After> out;
    for (int f = 0; f < frames; ++f) {
        between(f);
        const uint64_t writes = mem_pixel_writes();
        steps();
        out.push_back(after_frame(writes));
    }
    return out;
}

void expect_same_frames(const std::vector<After>& got, const std::vector<After>& want, const char* what)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t f = 0; f < got.size(); ++f) {
        ASSERT_EQ(got[f].movers.size(), want[f].movers.size()) << what << ", frame " << f;
        for (size_t i = 0; i < got[f].movers.size(); ++i) {
            const Mover &a = got[f].movers[i], &b = want[f].movers[i];
            ASSERT_TRUE(std::memcmp(&a, &b, sizeof a) == 0) << what << ", frame " << f << ", particle " << i + 1;
        }
        ASSERT_EQ(got[f].hit, want[f].hit) << what << ", frame " << f;
        ASSERT_EQ(got[f].writes, want[f].writes) << what << ", frame " << f;
        ASSERT_TRUE(got[f].picture == want[f].picture) << what << ", frame " << f;
    }
}

void real_steps()
{
    particle_pass();
    particle_compaction();
}

// Between frames, what a game and its tests do to the particles and to
// what the cell map is made from: buildings fall, particles are made,
// moved by hand or put back from a saved moment, roof_top moves, the
// client is resized.
void disturb(std::mt19937& gen, int frame, const GameSnapshot& early)
{
    std::uniform_real_distribution<float> unit(0, 1);
    switch (frame % 8) {
    case 1:
        if (building_count > 0)
            remove_building(int16_t(1 + int(unit(gen) * building_count) % building_count));
        break;
    case 2:
        fill_particles(gen, int16_t(std::min(particle_count + 300, kParticleSlots - 1)));
        break;
    case 3: // the same slots, other points, some with one coordinate kept:
            // nothing may come from where they were
        for (int16_t i = 1; i <= particle_count; i += 3)
            std::swap(particles[i], particles[particle_count + 1 - i]);
        for (int16_t i = 2; i <= particle_count; i += 3)
            (i % 2 == 0 ? particles[i].y : particles[i].x) += 7;
        break;
    case 4:
        roof_top = int16_t(roof_top + (frame % 16 == 4 ? 9 : -9));
        break;
    case 5: // a moment put back: the particles stand where they stood frames ago
        if (frame == 5)
            restore_game(early);
        break;
    case 6:
        if (frame == 14)
            mem_set_client_size(640, 480);
        break;
    default:
        break;
    }
}

TEST(ParticlePass, DrawsErasesAndCompactsAsThePlainStepsOverManyFrames)
{
    for (uint32_t seed : {3u, 8u}) {
        new_game(seed);
        std::mt19937 gen(seed);
        tables_reset();
        fill_particles(gen, 6000);
        GameSnapshot start, early;
        save_game(start);
        const std::vector<uint32_t> picture = picture_copy();
        // The real steps, once on their own to leave their memory of where
        // they drew in a state the plain run below knows nothing of.
        real_steps();
        save_game(early);

        std::mt19937 real_gen(seed * 7), plain_gen(seed * 7);
        const auto got = play(start, picture, 24, real_steps, [&](int f) { disturb(real_gen, f, early); });
        mem_set_client_size(800, 600);
        const auto want =
            play(start, picture, 24, plain_steps, [&](int f) { disturb(plain_gen, f, early); });
        mem_set_client_size(800, 600);
        ASSERT_NO_FATAL_FAILURE(expect_same_frames(got, want, seed == 3 ? "seed 3" : "seed 8"));
    }
}

TEST(ParticlePass, CompactionAfterTheMapChangesUnderTheDeadDots)
{
    // A building falls between the pass and the compaction: the dead dots
    // drawn over its cells are erased by what the cells say now.
    new_game(5);
    std::mt19937 gen(5);
    tables_reset();
    fill_particles(gen, 4000);
    for (int16_t i = 1; i <= particle_count; i += 2)
        particles[i].life = 1;
    GameSnapshot start;
    save_game(start);
    const std::vector<uint32_t> picture = picture_copy();
    auto pass_fall_compaction = [](void (*pass)(), void (*compaction)()) {
        return [pass, compaction] {
            pass();
            remove_building(int16_t(1 + building_count / 2));
            compaction();
        };
    };
    const auto got = play(start, picture, 1, pass_fall_compaction(particle_pass, particle_compaction), [](int) {});
    const auto want = play(start, picture, 1, pass_fall_compaction(plain_pass, plain_compaction), [](int) {});
    ASSERT_NO_FATAL_FAILURE(expect_same_frames(got, want, "a fall between pass and compaction"));
}

TEST(DotColour, RoundToChannelIsTheClampOfRound16)
{
    std::mt19937 gen(41);
    std::vector<double> values = {0.0, -0.0, 0.5, 1.5, 2.5, 254.5, 255.0, 255.5, 256.0, -0.5, -1.5, -1.0,
                                  0x1p51, -0x1p51, 0x1p52, 0x1p53 + 2, 1e300, -1e300, INFINITY, -INFINITY,
                                  std::nan(""), 32767.5, 32768.0, -32768.5, 127.49999999999999};
    std::uniform_real_distribution<double> colour(-300, 600), wide(-1e6, 1e6);
    std::uniform_int_distribution<int> half(-600, 1200);
    for (int k = 0; k < 200000; ++k) {
        values.push_back(colour(gen));
        values.push_back(wide(gen));
        values.push_back(half(gen) + 0.5);
        values.push_back(std::nextafter(half(gen) + 0.5, 1e9));
        values.push_back(std::nextafter(half(gen) + 0.5, -1e9));
    }
    for (double v : values) {
        const uint8_t want = rgb(round16(v), 0, 0).r;
        ASSERT_EQ(round_to_channel(v), want) << "at " << v;
    }
}

TEST(DotPosition, RoundInsideClientIsRound32)
{
    std::mt19937 gen(43);
    std::vector<float> values = {0.5f, 1.5f, 2.5f, 599.5f, 799.5f, 1e-30f, std::nextafter(0.5f, 1.0f),
                                 std::nextafter(0.5f, 0.0f), 32767.5f, 65535.5f, 1048575.5f};
    std::uniform_real_distribution<float> inside(0, 1 << 20);
    std::uniform_int_distribution<int> whole(0, 1 << 20);
    for (int k = 0; k < 200000; ++k) {
        values.push_back(inside(gen));
        values.push_back(float(whole(gen)) + 0.5f);
        values.push_back(std::nextafter(float(whole(gen)) + 0.5f, 0.0f));
        values.push_back(std::nextafter(float(whole(gen)) + 0.5f, 1e9f));
    }
    for (float v : values)
        ASSERT_EQ(round_inside_client(v), round32(v)) << "at " << v;
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
