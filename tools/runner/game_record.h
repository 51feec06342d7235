// game_record.h -- how the runner writes down a game: its state and one trace line a frame.
//
// Both are JSON, with floats to nine significant digits so that they read
// back exactly; the same game always gives the same bytes.
#pragma once

#include <string>
#include <vector>

// The program folder the runner gives the memory platform; effect names are
// written relative to it.
constexpr const char* kRecordFolder = "/pelmaric";

// An effect's name as the game gave it ("\ex2.wav") from the path the
// platform was asked to play.
std::string effect_name(const std::string& path);

// The whole game as it stands, after `frames_run` frames (`ended` when Esc
// ended it): the run's own facts, then every global of every module.
std::string state_json(long frames_run, bool ended);

// The trace line of `frame`: the counts of every table, the wave state, the
// palette and the effects started in the frame (`sounds`, as effect names).
std::string trace_json(long frame, const std::vector<std::string>& sounds);
