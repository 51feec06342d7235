// frame.cpp -- the cost of one whole run_frame() of a busy game on the memory platform.
#include "combat/missiles.h"
#include "combat/tables.h"
#include "platform/memory/memory_platform.h"
#include "scene/backdrop.h"
#include "scene/skyline.h"
#include "shell/game_loop.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <iterator>
#include <random>

namespace {

// Every global the frame loop reads or writes, so a busy moment of a game can
// be put back again and again. The random generator is left to run on: its
// draws decide where things fly, not how much work a frame is.
struct GameMoment {
    Mover missiles[kMissileSlots];
    Mover particles[kParticleSlots];
    Shot shots[kShotSlots];
    Blast blasts[kBlastSlots];
    int16_t missile_count, particle_count, shot_count, blast_count;
    Building buildings[kBuildingSlots];
    int16_t building_count, roof_top, hit_index;
    int16_t spawn_interval, spawn_countdown;
    int16_t sky_type;
    Rgb ground_color;
    int16_t mouse_x, mouse_y;
};

// Copies the game as it stands into m; called once, at the chosen busy moment.
void save(GameMoment& m)
{
    std::copy(std::begin(missiles), std::end(missiles), m.missiles);
    std::copy(std::begin(particles), std::end(particles), m.particles);
    std::copy(std::begin(shots), std::end(shots), m.shots);
    std::copy(std::begin(blasts), std::end(blasts), m.blasts);
    m.missile_count = missile_count;
    m.particle_count = particle_count;
    m.shot_count = shot_count;
    m.blast_count = blast_count;
    std::copy(std::begin(buildings), std::end(buildings), m.buildings);
    m.building_count = building_count;
    m.roof_top = roof_top;
    m.hit_index = hit_index;
    m.spawn_interval = spawn_interval;
    m.spawn_countdown = spawn_countdown;
    m.sky_type = sky_type;
    m.ground_color = ground_color;
    m.mouse_x = mouse_x;
    m.mouse_y = mouse_y;
}

// Puts the game back exactly as save() found it; called at every stretch's end.
void restore(const GameMoment& m)
{
    std::copy(std::begin(m.missiles), std::end(m.missiles), missiles);
    std::copy(std::begin(m.particles), std::end(m.particles), particles);
    std::copy(std::begin(m.shots), std::end(m.shots), shots);
    std::copy(std::begin(m.blasts), std::end(m.blasts), blasts);
    missile_count = m.missile_count;
    particle_count = m.particle_count;
    shot_count = m.shot_count;
    blast_count = m.blast_count;
    std::copy(std::begin(m.buildings), std::end(m.buildings), buildings);
    building_count = m.building_count;
    roof_top = m.roof_top;
    hit_index = m.hit_index;
    spawn_interval = m.spawn_interval;
    spawn_countdown = m.spawn_countdown;
    sky_type = m.sky_type;
    ground_color = m.ground_color;
    mouse_x = m.mouse_x;
    mouse_y = m.mouse_y;
}

// A player who keeps a launch key down (the key repeat's keydown every other
// frame, cycling A, S and D between bursts) and sweeps the aim to a new sky
// point every eighth frame. Queues this frame's events; called before each
// frame, inside the timing, as the real platform's event queue fills too.
struct Player {
    std::mt19937 gen{2024};
    long frame = 0;

    void act()
    {
        ++frame;
        if (frame % 8 == 0) {
            std::uniform_real_distribution<float> x(1, 799), y(1, 480);
            mem_push_event({EventKind::MouseMove, 0, x(gen), y(gen)});
        }
        if (frame % 2 == 0) {
            static constexpr int16_t keys[] = {65, 83, 68};
            mem_push_event({EventKind::KeyDown, keys[(frame / 90) % 3], 0, 0});
        }
    }
};

// Frames a stretch runs from the saved moment before it is put back: one
// second of play, long enough for the frame's own rhythm, short enough that
// the game stays as busy as the moment chosen.
constexpr int kStretch = 64;

// A game from seed 1 played by the Player until wave 1's launch interval has
// come down to the argument (80 at the wave's start, 16 at its last launch),
// then run frame by frame from that moment.
void BM_BusyFrame(benchmark::State& state)
{
    mem_reset();
    start_up(1);
    Player player;
    // Start-up leaves the interval low so that frame 1 starts the wave: run
    // that frame before testing it.
    do {
        player.act();
        run_frame();
    } while (spawn_interval > state.range(0));
    static GameMoment moment; // some 430 KB: kept off the stack
    save(moment);

    // The wait for the next tick must end at its first poll: every clock
    // reading moves on a whole frame's worth of milliseconds.
    auto put_back = [&] {
        mem_reset();
        mem_set_tick_step(16);
        restore(moment);
        paint_scene();
    };
    put_back();

    double missiles_seen = 0, particles_seen = 0, shots_seen = 0, blasts_seen = 0;
    long in_stretch = 0;
    for (auto _ : state) {
        player.act();
        run_frame();

        missiles_seen += missile_count;
        particles_seen += particle_count;
        shots_seen += shot_count;
        blasts_seen += blast_count;
        if (++in_stretch == kStretch) {
            // Also empties the platform's audio log, which would otherwise
            // grow for the whole run.
            state.PauseTiming();
            put_back();
            in_stretch = 0;
            state.ResumeTiming();
        }
    }

    using benchmark::Counter;
    state.counters["missiles"] = Counter(missiles_seen, Counter::kAvgIterations);
    state.counters["particles"] = Counter(particles_seen, Counter::kAvgIterations);
    state.counters["shots"] = Counter(shots_seen, Counter::kAvgIterations);
    state.counters["blasts"] = Counter(blasts_seen, Counter::kAvgIterations);
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_BusyFrame)->ArgName("interval")->Arg(60)->Arg(40)->Arg(20)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
