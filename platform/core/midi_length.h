// midi_length.h -- how long the music plays, read from its MIDI file.
#pragma once

#include <cstddef>
#include <cstdint>

// The largest music file the game plays: 1 MiB. A real piece is tens of
// kilobytes (the game's own is 12 KB); the synthesizer holds every
// event of a file in memory, tens of bytes each, and reads them all inside
// the mixer's lock when the piece starts, so a file of hundreds of
// megabytes would take gigabytes and freeze the game.
constexpr size_t kMaxMusicFileBytes = size_t(1) << 20;

// Reads a Standard MIDI File held in memory and gives, in seconds, the time
// from its start to its last event over all tracks (End of Track included:
// it marks where the piece's last bar ends), with every tempo change applied.
// Returns false, leaving `seconds` alone, for data it cannot read through,
// for a file over kMaxMusicFileBytes, and for what FluidSynth cannot play or
// would complain of on the terminal: a time-code division, a header longer
// than six bytes, an escape or system event, a data byte with its top bit
// set, running status after a meta or SysEx event, a standard meta event of
// the wrong length, a non-ASCII chunk type, more than 255 tracks, a track
// longer than 2^31 ticks, or more than 1000 events within 0.1 s (FluidSynth
// plays each buffer's events inside the mixer's lock, which an effect's
// start waits for: a 1 MiB chord held that lock for a second).
// Called when the music is opened, so the backend knows when a play of it
// has reached its end without waiting for the synthesizer's reverb to die.
bool midi_length_seconds(const uint8_t* data, size_t size, double* seconds);
