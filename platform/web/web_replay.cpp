// web_replay.cpp -- kept games in the browser: handed to the page's storage, and a watched game's verdict on the end screen.
//
// The page (web_replay.js) keeps the last 20 games in IndexedDB and offers
// the one just ended for watching again and for download. A replay to watch,
// dropped on the page or opened with its file button, is written to
// web_replay_path() in the game's memory file system and started as the desktop
// starts one, with --replay (shell/main.cpp); the page first asks
// web_replay_refusal whether it can be played.
#include "platform/platform.h"
#include "platform/core/replay_file.h"

#include <emscripten.h>

#include <string>

extern "C" {
// The page's side (web_replay.js).
void web_replay_keep(const char* text, int size);
void web_replay_verdict(const char* verdict, int matched);
}

void plat_keep_game(const char* text, size_t size) { web_replay_keep(text, int(size)); }

// The end screen shows the verdict; the page then ends as after Esc.
void plat_end_replay(const char* verdict, bool matched)
{
    web_replay_verdict(verdict, matched ? 1 : 0);
    plat_end_program();
}

namespace {

// Where the page puts the replay to watch, in the game's memory file system.
constexpr const char* kWatchPath = "/watch.replay";

} // namespace

extern "C" EMSCRIPTEN_KEEPALIVE const char* web_replay_path() { return kWatchPath; }

// Why the replay the page put at kWatchPath cannot be played here, or "" when it can.
extern "C" EMSCRIPTEN_KEEPALIVE const char* web_replay_refusal()
{
    static std::string why;
    Replay replay;
    why.clear();
    read_replay_for_window(kWatchPath, replay, why);
    return why.c_str();
}
