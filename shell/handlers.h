// handlers.h -- the game window's event handlers.
//
// plat_process_events calls these, and only it does, once per frame inside
// the crosshair step. None of them draws.
#pragma once

#include <cstdint>

// A key went down (held keys repeat). key_code is the code of the labelled
// key: A 65, S 83, D 68 with or without Shift. Launches interceptors.
void Form_KeyDown(int16_t key_code, int16_t shift);

// A character was typed. Only Esc (27) does something: it ends the game.
void Form_KeyPress(int16_t key_ascii);

// The pointer moved to (x, y) in client pixels, fractions kept.
void Form_MouseMove(int16_t button, int16_t shift, float x, float y);

// A mouse button went down. The buttons have no role in the game.
void Form_MouseDown(int16_t button, int16_t shift, float x, float y);

// The music control's notification: the piece has played to its end.
void MMControl1_Done();
