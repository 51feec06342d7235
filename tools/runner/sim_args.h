// sim_args.h -- pelmaric-sim's command line and input script, read into plain values.
#pragma once

#include "platform/core/event_text.h"
#include "tools/runner/sim_failure.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct Options {
    bool have_seed = false, have_frames = false, have_size = false;
    bool verify = false; // --verify: seed, frames and size from the --input replay
    uint32_t seed = 0;
    long frames = 0;
    int width = 800, height = 600;
    std::string input, state, trace, audio_log, screenshot;
};

// The longest input line taken, its line end left out. A valid line is well
// under a hundred bytes; the cap keeps a file with no line ends from filling
// memory.
constexpr size_t kMaxInputLineBytes = 4096;

// Called by main with its arguments (--help already handled); throws
// SimFailure (kBadInput). Touches no file.
Options parse_options(int argc, char** argv);

// Called by main for --input: the events of the file at `path`, ordered by
// frame (file order within a frame). Throws SimFailure (kBadInput) naming the file, or
// the first bad line by number.
std::vector<TimedEvent> read_input(const std::string& path);

// The reader behind read_input, over any stream; called by it and by the
// fuzz target. Stops at the first bad line: one that is malformed, longer
// than kMaxInputLineBytes, or holds a NUL byte (nothing after it is read).
std::vector<TimedEvent> read_events(FILE* in, const std::string& name);
