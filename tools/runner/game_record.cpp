// game_record.cpp -- the runner's records of a game: the state file and the trace lines.
#include "tools/runner/game_record.h"

#include "platform/memory/memory_platform.h"
#include "shell/game_state.h"
#include "shell/state_text.h"
#include "shell/rnd.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

// An effect's name as the game gave it: the part after the program folder,
// with the separators written back as backslashes.
std::string effect_name(const std::string& path)
{
    const size_t folder = std::strlen(kRecordFolder);
    std::string name = path.compare(0, folder, kRecordFolder) == 0 ? path.substr(folder) : path;
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

// The state file, with the pointer counter as this platform has it.
std::string state_json(long frames_run, bool ended) { return state_text(frames_run, ended, mem_cursor_counter()); }

// Counts and wave state by name: a trace line is a frame's summary, not the
// whole game.
std::string trace_json(long frame, const std::vector<std::string>& sounds)
{
    std::string list;
    for (size_t i = 0; i < sounds.size(); ++i)
        list += (i ? ", " : "") + json_string(sounds[i]);
    char head[512];
    std::snprintf(head, sizeof head,
                  "{\"frame\": %ld, \"rnd_draws\": %llu, \"missile_count\": %d, \"particle_count\": %d, "
                  "\"shot_count\": %d, \"blast_count\": %d, \"building_count\": %d, \"spawn_interval\": %d, "
                  "\"spawn_countdown\": %d, \"sky_type\": %d, \"sounds\": [",
                  frame, (unsigned long long)rnd_draws(), missile_count, particle_count, shot_count, blast_count,
                  building_count, spawn_interval, spawn_countdown, sky_type);
    return head + list + "]}\n";
}

