// wav_header.h -- decides from a WAV file's size and header whether it is worth decoding as an effect.
#pragma once

#include <cstddef>
#include <cstdint>

// The largest effect file: 4 MiB, 24 s of 16-bit stereo at 44.1 kHz. The
// game's effects are 28 to 141 KB; anything much bigger is not an effect.
constexpr uint64_t kMaxEffectFileBytes = uint64_t(4) << 20;
// The longest effect, in seconds of sound. Bounds what decoding makes: the
// mixer holds every effect as 32-bit stereo at its own rate (44.1 kHz), so
// 30 s is at most 10.6 MB whatever the file's rate or sample size.
constexpr uint32_t kMaxEffectSeconds = 30;
// The sample rates, channel counts and sample sizes an effect may have. The
// rate bounds matter most: the mixer resamples to its own rate, and a file
// that claims 1 sample a second would grow 44,100 times.
constexpr uint32_t kMinEffectRate = 8000;
constexpr uint32_t kMaxEffectRate = 192000;
constexpr uint32_t kMaxEffectChannels = 8;
// The header may hold at most this many chunks before the sound data; each
// is one small read.
constexpr int kMaxChunksBeforeData = 16;

// Reads `size` bytes at `offset` of the file being checked into `out`;
// false when they are not all there.
struct WavReader {
    bool (*read_at)(void* context, uint64_t offset, uint8_t* out, size_t size);
    void* context;
};

// Where the sound lies in an accepted file, and what it is.
struct WavLayout {
    uint16_t channels;
    uint32_t rate;
    uint16_t bits;
    uint64_t data_offset; // of the first sample
    uint64_t data_bytes;
    uint64_t frames;
};

// True when a file of `file_size` bytes, read through `reader`, is an
// uncompressed PCM or 32-bit float WAV (plain or WAVE_FORMAT_EXTENSIBLE)
// within the bounds above, whose format chunk comes before its data and
// whose data lies wholly inside the file. Reads the RIFF header, the
// headers of the chunks before the data, and the format chunk's body, never
// a sample. Called on the game's thread before an effect is decoded, and
// again on the decoding thread over the bytes it decodes.
bool wav_effect_layout(uint64_t file_size, const WavReader& reader, WavLayout* layout);

// The same check over a file held whole in memory.
bool wav_effect_layout(const uint8_t* bytes, size_t size, WavLayout* layout);
