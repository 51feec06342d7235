// state_text.h -- the whole game as text: what the runner's --state writes, and the digest a kept game ends with.
//
// JSON, with floats to nine significant digits so that they read back
// exactly; the same game always gives the same bytes, natively and in
// WebAssembly. Built outside the frame loop only: it allocates.
#pragma once

#include <cstdint>
#include <string>

// The whole game as it stands, after `frames_run` frames (`ended` when Esc
// ended it), with the pointer's display counter as the game last moved it:
// the run's own facts, then every global of every module.
std::string state_text(long frames_run, bool ended, int32_t cursor_counter);

// The digest of that text (platform/core/replay_file.h), as a kept game records it.
uint64_t state_digest(long frames_run, bool ended, int32_t cursor_counter);

// `s` as a JSON string, quotes and backslashes escaped.
std::string json_string(const std::string& s);
