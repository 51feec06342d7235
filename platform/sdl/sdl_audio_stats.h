// sdl_audio_stats.h -- counts of the audio backend's decoding work, for tests and benchmarks.
#pragma once

#include <cstdint>

struct SdlAudioStats {
    uint64_t effect_decodes;      // WAV decodings finished (a file changed or was first played)
    uint64_t decoder_done;        // decodings the decoding thread has ended, their effects started yet or not
    uint64_t effect_refusals;     // effect files refused by their size or header
    uint64_t effect_header_bytes; // bytes of effect files read on the game's thread
    uint64_t effects_decoding;    // effects whose decoding is under way now
    uint64_t music_loads;         // MIDI files handed to the synthesizer
};

// The counts since sdl_audio_open. Lets a test see that an unchanged file is
// not decoded again, or that a refused one was not read, which no sound in
// the output would show.
SdlAudioStats sdl_audio_stats();
