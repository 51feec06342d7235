// sdl_audio_voices.cpp -- the mixer's channels for effects: copies of one effect limited, in-phase starts dropped, the oldest stolen.
#include "platform/core/audio_mixing.h"
#include "platform/sdl/sdl_audio_parts.h"

#include <array>

using namespace sdl_audio;

namespace {

constexpr int kChannels = 32;
constexpr uint64_t kInPhaseNs = uint64_t(kEffectInPhaseMs) * 1'000'000;

// Which effect each mixing channel was last given, and when.
struct Voice {
    int effect = -1;
    uint64_t started = 0;
};

std::array<Voice, kChannels> voices;

// The channel given to the oldest sound still playing, for when every
// channel is busy. -1 if none is (which the caller never sees in practice).
int oldest_channel()
{
    int oldest = -1;
    for (int ch = 0; ch < kChannels; ++ch)
        if (Mix_Playing(ch) && (oldest < 0 || voices[size_t(ch)].started < voices[size_t(oldest)].started))
            oldest = ch;
    return oldest;
}

} // namespace

void sdl_audio::voices_open()
{
    Mix_AllocateChannels(kChannels);
    Mix_Volume(-1, int(MIX_MAX_VOLUME * kEffectVolume));
    voices.fill(Voice{});
}

void sdl_audio::voice_start(int effect, Mix_Chunk* chunk, uint64_t now, uint64_t& last_start)
{
    if (last_start != 0 && now - last_start < kInPhaseNs)
        return;

    int copies = 0;
    int oldest_copy = -1;
    for (int ch = 0; ch < kChannels; ++ch) {
        const Voice& voice = voices[size_t(ch)];
        if (voice.effect != effect || !Mix_Playing(ch) || Mix_FadingChannel(ch) == MIX_FADING_OUT)
            continue;
        ++copies;
        if (oldest_copy < 0 || voice.started < voices[size_t(oldest_copy)].started)
            oldest_copy = ch;
    }
    if (copies >= kCopiesPerEffect)
        Mix_FadeOutChannel(oldest_copy, kStealFadeMs);

    int channel = Mix_PlayChannel(-1, chunk, 0);
    if (channel < 0) {
        channel = oldest_channel();
        if (channel < 0)
            return;
        Mix_HaltChannel(channel);
        channel = Mix_PlayChannel(channel, chunk, 0);
        if (channel < 0)
            return;
    }
    voices[size_t(channel)] = Voice{effect, now};
    last_start = now;
}
