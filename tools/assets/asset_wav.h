// asset_wav.h -- mono sample buffers for the game's sound effects and the
// 16-bit WAV files the game plays them from.
#pragma once

#include <cstdint>
#include <vector>

// Every effect is made and stored at CD rate, the rate the mixer opens at.
constexpr int kSampleRate = 44100;

// One mono effect, full scale at +-1.0.
using Samples = std::vector<double>;

// Shapes both ends so the effect neither starts nor stops with a click: a
// raised-cosine rise over fade_in_s from an exact zero, and a raised-cosine
// fall over fade_out_s to an exact zero on the last sample. Called on a
// finished effect, before it is normalised.
void fade_ends(Samples& samples, double fade_in_s, double fade_out_s);

// Scales the effect so its largest magnitude is exactly `peak` (0.708 is
// -3 dBFS), which leaves the mixer headroom when several blasts overlap.
// An all-silent effect is left as it is.
void normalise_peak(Samples& samples, double peak);

// The bytes of a canonical 44-byte-header RIFF/WAVE file holding the effect
// as 16-bit signed PCM, mono, rounded to the nearest step.
std::vector<uint8_t> wav_file_bytes(const Samples& samples);
