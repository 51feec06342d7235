// midi_length.h -- how long the music plays, read from its MIDI file.
#pragma once

#include <cstddef>
#include <cstdint>

// Reads a Standard MIDI File held in memory and gives, in seconds, the time
// from its start to its last event over all tracks (End of Track included:
// it marks where the piece's last bar ends), with every tempo change applied.
// Returns false, leaving `seconds` alone, for data it cannot read through.
// Called when the music is opened, so the backend knows when a play of it
// has reached its end without waiting for the synthesizer's reverb to die.
bool midi_length_seconds(const uint8_t* data, size_t size, double* seconds);
