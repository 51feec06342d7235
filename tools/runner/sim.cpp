// sim.cpp -- pelmaric-sim: the real game on the memory platform, headless.
//
// Runs start-up and a number of frames with no window, no audio device and no
// waiting, feeding scripted input, and writes what happened in forms other
// programs read: the final state, a trace line per frame, the audio calls and
// a screenshot. The same seed and input always give the same bytes.
//
// Every output is written whole or not at all (sim_outputs.cpp says how, and
// where it cannot be). Exit status: 0 done, 1 an output could not be written
// or memory ran out (nothing is left behind), 2 bad arguments or input
// (nothing runs); a signal that ends the run takes the temporary files away.
// With --verify the input is a kept game (platform/core/replay_file.h), played
// with its own seed, frames and size: 0 when the final state has the digest
// it recorded, 1 when not.
#include "platform/core/event_text.h"
#include "platform/memory/memory_platform.h"
#include "platform/core/picture.h"
#include "platform/core/replay_file.h"
#include "shell/game_loop.h"
#include "tools/runner/game_record.h"
#include "tools/assets/png_writer.h"
#include "tools/runner/sim_args.h"
#include "tools/runner/sim_outputs.h"

#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

const char* kUsage =
    "usage: pelmaric-sim --seed N --frames F [--size WxH] [--input FILE]\n"
    "                    [--state FILE] [--trace FILE] [--audio-log FILE] [--screenshot FILE.png]\n"
    "       pelmaric-sim --input REPLAY --verify [--state FILE] ...\n"
    "       pelmaric-sim --help\n";

const char* kHelp =
    "Runs Pelmaric headless: start-up and F frames of the real game with no window,\n"
    "no sound and no waiting, and writes what happened. The same seed and input\n"
    "always give the same bytes.\n"
    "\n"
    "  --seed N           seed of the game's random generator, 0 to 4294967295\n"
    "  --frames F         frames to run after start-up (0: start-up only)\n"
    "  --size WxH         client area, 1 to 8192 each (default 800x600)\n"
    "  --input FILE       events, one per line: FRAME KIND ARGS... (# comments)\n"
    "  --state FILE       the final state, as one JSON object\n"
    "  --trace FILE       one JSON line per frame\n"
    "  --audio-log FILE   one line per sound effect and music-control write\n"
    "  --screenshot FILE  the final picture, as a PNG\n"
    "  --verify           plays the replay given by --input (a kept game) with its\n"
    "                     seed, frames and size, and prints \"matched\" when the\n"
    "                     final state has the recorded digest, else a mismatch line\n"
    "\n"
    "Exit status: 0 done (with --verify: matched), 1 an output could not be written\n"
    "(with --verify: or a mismatch), 2 bad arguments or input.\n";

// Writes the audio calls made since `done` and returns the new count; adds
// each effect's name to `sounds`.
size_t log_audio(Output& log, long frame, size_t done, std::vector<std::string>& sounds)
{
    const std::vector<AudioCall>& calls = mem_audio_calls();
    char line[64];
    for (; done < calls.size(); ++done) {
        const AudioCall& c = calls[done];
        if (c.is_sound)
            sounds.push_back(effect_name(c.name));
        if (!log)
            continue;
        if (c.is_sound) {
            std::snprintf(line, sizeof line, "%ld sound ", frame);
            log.write(line + effect_name(c.name) + " " + std::to_string(c.value) + "\n");
        } else {
            std::snprintf(line, sizeof line, "%ld music %d ", frame, c.value);
            log.write(line + c.name + "\n");
        }
    }
    return done;
}

// Still reading the input when memory runs out: a bad input, status 2.
bool reading_input = true;

// Reads the replay to verify and takes its seed, frames and size into `o`.
Replay read_replay_options(Options& o)
{
    Replay replay;
    std::string bytes, why;
    if (!read_replay_file(o.input.c_str(), bytes, why) || !read_replay(bytes.data(), bytes.size(), replay, why))
        throw SimFailure{kBadInput, "cannot verify " + o.input + ": " + why, false};
    o.seed = replay.head.seed;
    o.frames = replay.frames;
    o.width = replay.head.width;
    o.height = replay.head.height;
    return replay;
}

int run(Options o, Outputs& out)
{
    Replay replay;
    if (o.verify)
        replay = read_replay_options(o);
    std::vector<TimedEvent> events = o.verify          ? std::move(replay.events)
                                     : o.input.empty() ? std::vector<TimedEvent>{}
                                                       : read_input(o.input);
    out.open(o);
    reading_input = false;

    mem_reset(o.width, o.height, kRecordFolder);
    start_up(o.seed);
    std::vector<std::string> sounds;
    size_t logged = log_audio(out.audio, 0, 0, sounds);

    long frames_run = 0;
    bool ended = false;
    size_t next_event = 0;
    for (long frame = 1; frame <= o.frames; ++frame) {
        for (; next_event < events.size() && events[next_event].frame == frame; ++next_event)
            post_event(events[next_event].event);
        sounds.clear();
        try {
            run_frame();
        } catch (const ProgramEnded&) {
            ended = true;
        }
        logged = log_audio(out.audio, frame, logged, sounds);
        frames_run = frame;
        // The frame in which Esc ends the game writes no trace line.
        if (ended)
            break;
        if (out.trace)
            out.trace.write(trace_json(frame, sounds));
        // A full disk ends the run at once rather than after every frame.
        out.check();
    }

    if (out.state)
        out.state.write(state_json(frames_run, ended));
    if (out.screenshot) {
        std::vector<uint8_t> png = encode_png(picture_pixels(), picture_width(), picture_height());
        out.screenshot.write(reinterpret_cast<const char*>(png.data()), png.size());
    }
    out.commit();
    if (!o.verify)
        return 0;
    const uint64_t digest = replay_digest(state_json(frames_run, ended));
    const bool matched = digest == replay.digest;
    if (matched)
        std::puts("matched");
    else
        std::printf("mismatch: the replay ends at frame %ld with digest %016" PRIx64
                    ", this run ended at frame %ld with digest %016" PRIx64 "\n",
                    replay.frames, replay.digest, frames_run, digest);
    // A verdict nobody could read is no match.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "pelmaric-sim: cannot write the verdict: %s\n", reason(errno ? errno : EIO).c_str());
        return 1;
    }
    return matched ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    // A file-size limit then shows as a failed write, reported like any other.
    std::signal(SIGXFSZ, SIG_IGN);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            std::fputs("\n", stdout);
            std::fputs(kHelp, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    prepare_outputs();
    Outputs out;
    try {
        return run(parse_options(argc, argv), out);
    } catch (const SimFailure& f) {
        out.discard();
        std::fprintf(stderr, "pelmaric-sim: %s\n", f.message.c_str());
        if (f.show_usage)
            std::fputs(kUsage, stderr);
        return f.status;
    } catch (const std::bad_alloc&) {
        out.discard();
        std::fputs(reading_input ? "pelmaric-sim: out of memory reading the input\n" : "pelmaric-sim: out of memory\n",
                   stderr);
        return reading_input ? kBadInput : kOutputFailed;
    }
}
