// asset_midi.h -- turns the score of music_score.h into the game's MUSIC4.MID.
#pragma once

#include <cstdint>
#include <vector>

// The bytes of a format-1 Standard MIDI File of the whole score: a
// conductor track (title, tempo, metre, key, section markers) then one
// track each for bass, melody, pad and drums, every track closing exactly
// on the final bar line. Throws std::runtime_error naming the section, part
// and bar when the score cannot be read, so a typo fails the build.
std::vector<uint8_t> midi_file_bytes();
