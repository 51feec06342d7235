// frame.cpp -- the cost of one whole run_frame() of a busy game on the memory platform.
#include "platform/memory/memory_platform.h"
#include "platform/core/recording.h"
#include "scene/backdrop.h"
#include "scene/skyline.h"
#include "shell/game_loop.h"
#include "bench/game_moment.h"
#include "shell/game_state.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

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
            post_event(mouse_move(x(gen), y(gen)));
        }
        if (frame % 2 == 0) {
            static constexpr int16_t keys[] = {kKeyA, kKeyS, kKeyD};
            post_event(key_down(keys[(frame / 90) % 3]));
        }
    }
};

// Frames a stretch runs from the saved moment before it is put back: one
// second of play, long enough for the frame's own rhythm, short enough that
// the game stays as busy as the moment chosen.
constexpr int kStretch = 64;

// Puts the moment back, with the game kept as the player's games are (every
// event appended to the record) when `kept`.
void start_stretch(const GameSnapshot& moment, bool kept)
{
    put_back(moment);
    if (kept)
        recording_start(1, kClientWidth, kClientHeight);
}

// A game from seed 1 played by the Player until wave 1's launch interval has
// come down to the first argument (80 at the wave's start, 16 at its last
// launch), then run frame by frame from that moment; kept as it is played
// when the second argument is 1.
void BM_BusyFrame(benchmark::State& state)
{
    const bool kept = state.range(1) != 0;
    mem_reset();
    start_up(1);
    Player player;
    // Start-up leaves the interval low so that frame 1 starts the wave: run
    // that frame before testing it.
    do {
        player.act();
        run_frame();
    } while (spawn_interval > state.range(0));
    GameSnapshot moment;
    save_game(moment);

    start_stretch(moment, kept);

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
            start_stretch(moment, kept);
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

BENCHMARK(BM_BusyFrame)
    ->ArgNames({"interval", "kept"})
    ->ArgsProduct({{60, 40, 20}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
