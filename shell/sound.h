// sound.h -- sound effects and the music.
#pragma once

#include <cstdint>

// Starts the effect `filename` ("\ex2.wav": a backslash, then the file's
// name) from the program's folder, with `flags` (always 1: asynchronous), and
// returns at once. A missing file goes unnoticed.
void sound(const char* filename, int32_t flags);

// Opens and starts the music through the music control. Called once by
// start-up, after the skyline is drawn. The control's notification at the
// piece's end restarts it (MMControl1_Done, shell/handlers.h).
void music_start();
