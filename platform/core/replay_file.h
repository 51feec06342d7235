// replay_file.h -- a kept game as text: the runner's input script with a header and an end.
//
//     # pelmaric replay 1
//     # version 1.0.0
//     # seed 3735928559
//     # size 800x600
//     1 move 400.5 250
//     13 keydown 65
//     812 keydown 27
//     812 keypress 27
//     # frames 812
//     # digest 9f1c0a3b5e7d2f41
//
// The event lines are the ones the game's handlers received, frame by frame,
// in order (platform/core/event_text.h); every other line is a comment to the
// runner, so `pelmaric-sim --seed S --frames F --input FILE` plays it as it
// stands. The digest is the 64-bit FNV-1a of the state the runner's --state
// writes after those frames, in 16 hexadecimal digits.
//
// A replay file is untrusted: the reader takes no more than kReplayMaxBytes
// and kReplayMaxLines, and refuses a line it cannot read, events out of frame
// order or past the last frame, a missing or misplaced header line, a missing
// end (a truncated file), and a replay of another format or version, each
// with a one-line reason.
#pragma once

#include "platform/core/event_text.h"

#include <cstdint>
#include <string>
#include <vector>

// The program's version, as --version prints it.
extern const char* const kProgramVersion;

// The format this program writes and reads.
constexpr int kReplayFormat = 1;

// Caps on what the reader takes. A minute of play with a fast mouse makes
// about 1.5 MB (15 moves a frame); an hour of ordinary play a few MB.
constexpr size_t kReplayMaxBytes = size_t(64) << 20;
constexpr long kReplayMaxLines = 4000000;
// The longest line read; a recorded line is under 60 bytes.
constexpr size_t kReplayMaxLineBytes = 256;

struct ReplayHead {
    std::string version = kProgramVersion;
    uint32_t seed = 0;
    int width = 800, height = 600;
};

struct Replay {
    ReplayHead head;
    std::vector<TimedEvent> events; // in frame order
    long frames = 0;                // frames the game ran
    uint64_t digest = 0;            // of the final state
};

// The header lines, each ended by a line end.
std::string replay_head_text(const ReplayHead& head);

// The two closing lines: frames run and the digest.
std::string replay_end_text(long frames, uint64_t digest);

// One header or end line, "# KEY VALUE", as the reader takes it: true when
// `line` (no line end) is well formed and its key is one of "pelmaric"
// (the first line), "version", "seed", "size", "frames" and "digest"; fills
// `key` and the value it names. Other comment lines give false.
struct ReplayLine {
    std::string key;
    std::string text; // version
    uint64_t number = 0; // format, seed, frames, digest
    int width = 0, height = 0;
};
bool read_replay_line(const char* line, size_t length, ReplayLine& out);

// Reads a whole replay of `size` bytes. False with a one-line reason in
// `why` when it is refused; a replay of another version is refused here.
bool read_replay(const char* bytes, size_t size, Replay& out, std::string& why);

// Reads the file at `path` into `bytes`, no more than kReplayMaxBytes; false
// with a reason (a folder, missing, unreadable, too large).
bool read_replay_file(const char* path, std::string& bytes, std::string& why);

// A replay for the game window (the desktop's or the page's), which plays
// only kClientWidth x kClientHeight: the file at `path` read and checked.
bool read_replay_for_window(const char* path, Replay& out, std::string& why);

// The digest of a state text: 64-bit FNV-1a.
uint64_t replay_digest(const std::string& state_text);
