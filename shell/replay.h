// replay.h -- every game kept as it is played, and a kept game watched again.
#pragma once

#include "platform/core/replay_file.h"

// Starts keeping the game start_up has just begun with `seed`. Called by
// Form_Load, for the player's games alone.
void keep_game(uint32_t seed);

// The game is over: called by Form_KeyPress once the pointer shows again,
// before the program ends, with `ended` true (Esc), and by the watching at
// the end of a recording that has no Esc, with `ended` false. A game being
// kept is handed to the platform with the digest of its final state; a game
// being watched is judged against its recording, and the program ends there
// with the verdict.
void game_over(bool ended);

// pelmaric --replay: plays `replay` in the window at the game's own pace,
// with its sound, the player's input ignored but for Esc (stop). At its end
// the verdict shows and the program ends; it never returns.
[[noreturn]] void Form_Replay(const Replay& replay);
