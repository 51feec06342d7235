// sdl_audio_stats.h -- counts of the audio backend's decoding work, for tests and benchmarks.
#pragma once

#include <cstdint>

struct SdlAudioStats {
    uint64_t effect_decodes; // WAV files decoded (a file changed or was first played)
    uint64_t music_loads;    // MIDI files handed to the synthesizer
};

// The counts since sdl_audio_open. Lets a test see that an unchanged file is
// not decoded again, which no sound in the output would show.
SdlAudioStats sdl_audio_stats();
