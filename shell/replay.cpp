// replay.cpp -- hands a finished game to the platform to keep, and plays a kept one back.
#include "shell/replay.h"

#include "platform/platform.h"
#include "platform/core/recording.h"
#include "shell/game_loop.h"
#include "shell/state_text.h"

#include <cinttypes>
#include <cstdio>
#include <string>

namespace {

const Replay* watched = nullptr;
long watched_frame = 0; // the frame being watched, from 1

} // namespace

void keep_game(uint32_t seed)
{
    recording_start(seed, int(plat_client_width()), int(plat_client_height()));
}

void game_over(bool ended)
{
    if (recording_on()) {
        std::string why;
        const long frames = recording_frames();
        const std::string text = recording_finish(state_digest(frames, ended, cursor_counter), why);
        if (text.empty())
            std::fprintf(stderr, "pelmaric: this game cannot be kept: %s\n", why.c_str());
        else
            plat_keep_game(text.data(), text.size());
    } else if (watching_on() && watched != nullptr) {
        const uint64_t digest = state_digest(watched_frame, ended, cursor_counter);
        if (digest == watched->digest && watched_frame == watched->frames)
            plat_end_replay("matched", true);
        char line[200];
        std::snprintf(line, sizeof line,
                      "mismatch: the recording ends at frame %ld with digest %016" PRIx64
                      ", this replay ended at frame %ld with digest %016" PRIx64,
                      watched->frames, watched->digest, watched_frame, digest);
        plat_end_replay(line, false);
    }
}

void Form_Replay(const Replay& replay)
{
    watched = &replay;
    watching_start();
    start_up(replay.head.seed);
    size_t next = 0;
    for (watched_frame = 1; watched_frame <= replay.frames; ++watched_frame) {
        // P pauses a replay as it pauses a game: between two frames.
        plat_hold_while_paused();
        for (; next < replay.events.size() && replay.events[next].frame == watched_frame; ++next)
            recording_post(replay.events[next].event);
        run_frame();
        if (watching_stopped()) {
            while (plat_show_cursor(true) <= 0) {
            }
            plat_end_program();
        }
    }
    // A recording that ends with no Esc: the state after its last frame.
    watched_frame = replay.frames;
    game_over(false);
    plat_end_program(); // not reached: game_over has ended the program
}
