// handlers.h -- the game window's event handlers.
//
// dispatch_events calls these, and only it does, once per frame inside the
// crosshair step, for the events of platform/core/events.h (whose key codes
// they receive). None of them draws.
#pragma once

#include <cstdint>

// A key went down (held keys repeat). key_code is the code of the labelled
// key, with or without Shift: kKeyA, kKeyS and kKeyD launch interceptors.
void Form_KeyDown(int16_t key_code, int16_t shift);

// A character was typed. Only Esc (kKeyEsc) does something: it ends the game.
void Form_KeyPress(int16_t key_ascii);

// The pointer moved to (x, y) in client pixels, fractions kept.
void Form_MouseMove(int16_t button, int16_t shift, float x, float y);

// A mouse button went down. The buttons have no role in the game.
void Form_MouseDown(int16_t button, int16_t shift, float x, float y);

// The music control's notification: the piece has played to its end.
void MMControl1_Done();

// Hands every event the platform has queued to its handler, oldest first.
// Called by the crosshair step right after plat_process_events, and by
// nothing else of the game.
void dispatch_events();
