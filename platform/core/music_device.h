// music_device.h -- what the music control asks of a backend.
//
// platform/core/music_control.cpp holds the control's properties and reads its
// commands; each backend supplies these four calls underneath it.
#pragma once

#include <cstdint>

// Every property write as it arrives, its value as text ("True", "False" or
// the string). The memory backend keeps a log of them; the real one ignores it.
void music_device_note_write(int16_t id, const char* value_text);

// Opens the MIDI file at `path` ("./MUSIC4.MID"), ready to play from its
// start. Returns false when it cannot be opened; nothing is reported.
bool music_device_open(const char* path);

// Starts the opened piece from its beginning and returns at once. The end of
// the piece later reaches the game as MMControl1_Done, raised inside
// plat_process_events.
void music_device_play();

// Stops the piece and releases it. Harmless when nothing is open.
void music_device_close();

// Forgets the control's device type and open state, as at program start.
// The memory backend's reset calls it between runs in one process.
void music_control_reset();
