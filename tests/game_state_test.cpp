// game_state_test.cpp -- a game in a used process is a fresh one; a saved moment comes back whole.
#include "platform/core/event_text.h"
#include "shell/game_state.h"
#include "test_support.h"
#include "tools/runner/game_record.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A restless player: aims, fires every few frames, holds keys down.
std::string script(uint32_t seed, long frames)
{
    std::string text;
    unsigned state = seed * 2654435761u + 1;
    auto next = [&] { return (state = state * 1103515245u + 12345u) >> 16; };
    const int16_t keys[] = {kKeyA, kKeyS, kKeyD};
    // Each launch aims where the pointer was left: the first one, before
    // any move, aims at the crosshair's starting place.
    for (long f = 20; f <= frames; f += 1 + long(next() % 4)) {
        text += write_event_line(f, key_down(keys[next() % 3])) + "\n";
        text += write_event_line(f, mouse_move(float(next() % 800), float(next() % 500) + 0.5f)) + "\n";
    }
    return text;
}

// Plays `frames` frames of game `seed` in this process with the events of
// `input`, recording as the runner does.
void play_here(uint32_t seed, long frames, const std::string& input, std::string& trace, std::string& state)
{
    std::vector<TimedEvent> events;
    std::istringstream lines(input);
    for (std::string line, why; std::getline(lines, line);) {
        TimedEvent t{};
        if (read_event_line(line.data(), line.size(), t, why) == LineRead::Event)
            events.push_back(t);
    }
    mem_reset(800, 600, kRecordFolder);
    start_up(seed);
    trace.clear();
    size_t next = 0, heard = 0;
    for (long f = 1; f <= frames; ++f) {
        for (; next < events.size() && events[next].frame == f; ++next)
            post_event(events[next].event);
        EXPECT_TRUE(frame());
        std::vector<std::string> sounds;
        for (; heard < mem_audio_calls().size(); ++heard)
            if (mem_audio_calls()[heard].is_sound)
                sounds.push_back(effect_name(mem_audio_calls()[heard].name));
        trace += trace_json(f, sounds);
    }
    state = state_json(frames, false);
}

TEST(GameState, AGameAfterAnotherInOneProcessIsAFreshProcessGame)
{
    char folder[] = "/tmp/pelmaric-state-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const long frames = 1500;
    for (uint32_t seed : {3u, 11u, 42u}) {
        // First a game that leaves everything used: full tables, a moved
        // crosshair, buildings struck, Esc at the end.
        std::string trace, state;
        play_here(seed + 1000, 900, script(seed + 1000, 900), trace, state);
        post_event(key_press(kKeyEsc));
        EXPECT_FALSE(frame());

        const std::string input = script(seed, frames);
        const std::string dir = folder;
        std::ofstream(dir + "/input.txt") << input;
        std::string command = std::string(PELMARIC_SIM) + " --seed " + std::to_string(seed) + " --frames " +
                              std::to_string(frames) + " --input " + dir + "/input.txt --trace " + dir +
                              "/trace.jsonl --state " + dir + "/state.json";
        ASSERT_EQ(std::system(command.c_str()), 0);

        play_here(seed, frames, input, trace, state);
        EXPECT_EQ(trace, slurp(dir + "/trace.jsonl")) << "seed " << seed;
        EXPECT_EQ(state, slurp(dir + "/state.json")) << "seed " << seed;
    }
    std::system((std::string("rm -rf ") + folder).c_str());
}

TEST(GameState, ASavedMomentComesBackWhole)
{
    std::string trace, state;
    play_here(5, 400, script(5, 400), trace, state);
    GameSnapshot moment;
    save_game(moment);
    const std::string before = state_json(400, false);

    play_here(6, 300, script(6, 300), trace, state); // a different game altogether
    ASSERT_NE(state_json(400, false), before);
    restore_game(moment);
    // The random generator and the platform are not part of the game's
    // globals; the rest is exactly as saved.
    std::string after = state_json(400, false);
    auto without_run_facts = [](const std::string& s) { return s.substr(s.find('\n')); };
    EXPECT_EQ(without_run_facts(after), without_run_facts(before));
}

} // namespace
