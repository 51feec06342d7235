// sdl_audio_limiter.cpp -- behind the mixer: the peak limiter that keeps the sum under full scale, and the output clock the music's end is heard by.
#include "platform/core/audio_mixing.h"
#include "platform/sdl/sdl_audio_parts.h"

#include <algorithm>
#include <atomic>
#include <cmath>

using namespace sdl_audio;

namespace {

int rate_heard = 44100;
int channels_heard = 2;

// Shared with the audio thread. The game thread arms `start_pending` just
// before starting the music; the first mixed buffer that finds the music
// playing records where in the output it began. Position in the piece is
// then counted in output frames, the clock the listener hears.
std::atomic<uint64_t> mixed_frames{0};
std::atomic<bool> start_pending{false};
std::atomic<bool> start_seen{false};
std::atomic<uint64_t> start_frame{0};
std::atomic<bool> music_sounding{false};
std::atomic<bool> clock_stopped{false};

// The last gain: the game thread sets the goal, the audio thread glides
// `gain` toward it by `fade_step` a sample frame and says when it is silent.
constexpr double kFadeSeconds = 0.01;
std::atomic<bool> fade_to_silence{false};
std::atomic<bool> faded_out{false};
float gain = 1.0f;
float fade_step = 1.0f;

// The limiter's envelope: the recent peak, decaying at `release_step` a
// sample frame. Audio thread only.
float envelope = 0.0f;
float release_step = 1.0f;

// Scales each sample frame by kLimiterCeiling / envelope whenever the
// envelope is above kLimiterCeiling. The envelope jumps to any higher peak
// at once, so no output sample can exceed the ceiling, and falls back smoothly.
void limit(float* samples, int frames, int channels)
{
    float env = envelope;
    for (int f = 0; f < frames; ++f) {
        float* frame = samples + size_t(f) * size_t(channels);
        float peak = 0.0f;
        for (int c = 0; c < channels; ++c)
            peak = std::max(peak, std::fabs(frame[c]));
        env = std::max(peak, env * release_step);
        if (env > kLimiterCeiling) {
            float gain = kLimiterCeiling / env;
            for (int c = 0; c < channels; ++c)
                frame[c] *= gain;
        }
    }
    envelope = env;
}

// Glides each sample frame's gain toward the goal.
void fade(float* samples, int frames, int channels)
{
    const float goal = fade_to_silence.load(std::memory_order_relaxed) ? 0.0f : 1.0f;
    if (gain == goal && goal == 1.0f)
        return;
    for (int f = 0; f < frames; ++f) {
        gain = goal > gain ? std::min(goal, gain + fade_step) : std::max(goal, gain - fade_step);
        float* frame = samples + size_t(f) * size_t(channels);
        for (int c = 0; c < channels; ++c)
            frame[c] *= gain;
    }
    faded_out.store(gain == 0.0f, std::memory_order_release);
}

// Runs on the audio thread after each buffer is mixed, with the mixer locked:
// limits the buffer, notes the start of a requested play of the music, and
// advances the output clock.
void SDLCALL after_mix(void*, Uint8* stream, int length)
{
    int frames = length / int(sizeof(float) * size_t(channels_heard));
    limit(reinterpret_cast<float*>(stream), frames, channels_heard);
    fade(reinterpret_cast<float*>(stream), frames, channels_heard);
    if (clock_stopped.load(std::memory_order_acquire))
        return;

    uint64_t before = mixed_frames.load(std::memory_order_relaxed);
    bool playing = Mix_PlayingMusic() != 0;
    if (playing && start_pending.load(std::memory_order_acquire)) {
        // The music cannot start while a buffer is being mixed, so this
        // buffer is the first that holds it.
        start_pending.store(false, std::memory_order_relaxed);
        start_frame.store(before, std::memory_order_relaxed);
        start_seen.store(true, std::memory_order_release);
    }
    music_sounding.store(playing, std::memory_order_relaxed);
    mixed_frames.store(before + uint64_t(frames), std::memory_order_release);
}

} // namespace

void sdl_audio::output_clock_open(int rate, int channels)
{
    rate_heard = rate;
    channels_heard = channels;
    envelope = 0.0f;
    release_step = float(std::exp(-1.0 / (kLimiterReleaseSeconds * rate)));
    mixed_frames.store(0);
    start_pending.store(false);
    start_seen.store(false);
    music_sounding.store(false);
    clock_stopped.store(false);
    fade_step = float(1.0 / (kFadeSeconds * rate));
    gain = fade_to_silence.load() ? 0.0f : 1.0f;
    faded_out.store(gain == 0.0f);
    Mix_SetPostMix(after_mix, nullptr);
}

int sdl_audio::output_rate() { return rate_heard; }

void sdl_audio::output_fade(bool silent)
{
    if (silent != fade_to_silence.load())
        faded_out.store(false);
    fade_to_silence.store(silent);
}

bool sdl_audio::output_faded_out() { return faded_out.load(std::memory_order_acquire); }

void sdl_audio::output_clock_stop(bool stopped) { clock_stopped.store(stopped, std::memory_order_release); }

void sdl_audio::output_clock_close() { Mix_SetPostMix(nullptr, nullptr); }

void sdl_audio::output_clock_await_music()
{
    start_seen.store(false, std::memory_order_relaxed);
    start_pending.store(true, std::memory_order_release);
}

void sdl_audio::output_clock_forget_music() { start_pending.store(false); }

bool sdl_audio::output_clock_music(uint64_t& played_frames, bool& sounding)
{
    if (!start_seen.load(std::memory_order_acquire))
        return false;
    played_frames = mixed_frames.load(std::memory_order_acquire) - start_frame.load(std::memory_order_relaxed);
    sounding = music_sounding.load(std::memory_order_relaxed);
    return true;
}
