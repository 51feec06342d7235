// sdl_audio.cpp -- opens and closes the SDL audio backend: the device, the mixer, the soundfont, and each part behind them.
//
// The effects are WAV files and the music one MIDI piece rendered by
// FluidSynth with the General MIDI soundfont, all played through SDL2_mixer.
// The mixer runs in floating point, which does not saturate while channels
// add up, and a peak limiter at its output keeps the sum below full scale:
// explosions chain, and many loud effects at once must never be clipped.
// sdl_audio_parts.h says which file does what.
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/sdl_audio_parts.h"

#include <SDL.h>
#include <alsa/asoundlib.h>
#include <fluidsynth.h>

#include <unistd.h>

#include <cstdlib>

using namespace sdl_audio;

bool sdl_audio::audio_ready = false;
SdlAudioStats sdl_audio::audio_stats{};

namespace {

// The player's sound switch (M), and whether a pause holds the sound.
bool sound_on = true;
bool held = false;

// How long a pause waits for the sound to fade out before it stops it
// anyway (an output that has stalled).
constexpr Uint32 kFadeWaitMs = 200;

constexpr int kRate = 44100;
// 1024 frames is 23 ms a buffer: short enough that an effect is heard in the
// frame after it starts, long enough not to starve on a busy two-core machine.
constexpr int kBufferFrames = 1024;

// The General MIDI soundfont the music is voiced for, then Debian's
// alternatives, which may point at another soundfont or at nothing.
constexpr const char* kSoundFonts[] = {
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/sounds/sf3/default-GM.sf3",
};

// Tells SDL_mixer which soundfont to give FluidSynth, unless the user chose
// one with SDL_SOUNDFONTS. Only a file that is there is named: a missing one
// would make the mixer pass over FluidSynth altogether.
void choose_soundfont()
{
    const char* chosen = std::getenv("SDL_SOUNDFONTS");
    if (chosen != nullptr && chosen[0] != '\0')
        return;
    for (const char* path : kSoundFonts) {
        if (access(path, R_OK) == 0) {
            Mix_SetSoundFonts(path);
            return;
        }
    }
}

// ALSA reports its own troubles on stderr, eight lines of them on a machine
// with no sound card. The game plays silently then and says nothing of it.
void quiet_alsa(const char*, int, const char*, int, const char*, ...) {}

} // namespace

void sdl_audio_open()
{
    if (audio_ready)
        return;
    snd_lib_error_set_handler(quiet_alsa);
    // FluidSynth prints its complaints (a file it cannot play, a missing
    // instrument) on stderr by default; the game reports nothing.
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
        fluid_set_log_function(level, nullptr, nullptr);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return; // no audio at all: the game runs silent

    // A WAV whose data is cut short is refused rather than played in part.
    SDL_SetHint(SDL_HINT_WAVE_TRUNCATION, "strict");
    choose_soundfont();
    Mix_Init(MIX_INIT_MID);

    // No changes allowed: SDL converts to whatever the device wants, and the
    // mixer always works in floats.
    if (Mix_OpenAudioDevice(kRate, AUDIO_F32SYS, 2, kBufferFrames, nullptr, 0) != 0) {
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return;
    }
    int rate = kRate;
    Uint16 format = AUDIO_F32SYS;
    int channels = 2;
    Mix_QuerySpec(&rate, &format, &channels);

    voices_open();
    music_reset();
    audio_stats = SdlAudioStats{};
    output_fade(!sound_on);
    output_clock_open(rate, channels);
    decoder_open();
    audio_ready = true;
}

void sdl_audio_poll()
{
    if (!audio_ready)
        return;
    effects_collect_decoded();
    music_poll_end();
}

void sdl_audio_close()
{
    if (!audio_ready)
        return;
    Mix_HaltChannel(-1);
    effects_close();
    music_release();
    output_clock_close();
    Mix_CloseAudio();
    Mix_Quit();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audio_ready = false;
}

void sdl_audio_switch_sound()
{
    sound_on = !sound_on;
    if (audio_ready && !held)
        output_fade(!sound_on);
}

bool sdl_audio_sound_on() { return sound_on; }

void sdl_audio_hold(bool hold)
{
    if (hold == held)
        return;
    held = hold;
    if (!audio_ready)
        return;
    if (hold) {
        output_fade(true);
        const Uint64 give_up = SDL_GetTicks64() + kFadeWaitMs;
        while (!output_faded_out() && SDL_GetTicks64() < give_up)
            SDL_Delay(2);
        // The clock stops first, so that no buffer counts the music as over.
        output_clock_stop(true);
        Mix_Pause(-1);
        Mix_PauseMusic();
    } else {
        Mix_Resume(-1);
        Mix_ResumeMusic();
        output_clock_stop(false);
        output_fade(!sound_on);
    }
}

SdlAudioStats sdl_audio_stats()
{
    SdlAudioStats now = audio_stats;
    now.effects_decoding = effects_decoding();
    now.decoder_done = decoder_decoded();
    return now;
}
