// pause.h -- the player's pause and the window's own keys: time that does not exist for the game.
//
// A pause is the window's business, as fullscreen is: the game never hears
// of it. The keys P and Pause, a pad's Start, the page's pause button, and
// the window losing focus or going out of sight ask for one; the frame loop
// then calls plat_hold_while_paused between two frames, and the backend
// holds there, asleep on its events, until the player plays on or ends the
// game. No frame runs meanwhile and the clock the game reads stands still,
// so the next frame is the one after the last.
#pragma once

#include <cstdint>

// The keys that belong to the window, as F11 does: P and Pause (pause and
// play on), M (sound off and on). Given a key in the handlers' key codes and
// whether Ctrl, Alt or Meta was held: with those the key is the game's like
// any other (and, in a browser, keeps its shortcut).
enum class WindowKey { Game, Pause, Sound };
WindowKey window_key(int16_t code, bool ctrl_alt_or_meta);

// Asks for a pause, taken by the next plat_hold_while_paused. Asking again
// while paused changes nothing.
void pause_ask();

// True from pause_ask until the player plays on or ends the game.
bool pause_asked();

// The player plays on: the pause ends, and the hold returns.
void pause_resume();

// The player ended the game while paused. The caller has posted what ends it
// as during play (Esc, or the close request); the hold returns and the next
// frame's crosshair step hands it to the game, which ends there, before any
// pass of that frame runs. True from then on.
void pause_end_game();
bool pause_ending();

// Back to playing, nothing asked: a new game in the same process.
void pause_forget();
