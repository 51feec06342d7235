// sdl_audio.cpp -- the game's sound effects and music, played through SDL2_mixer.
//
// Effects are WAV files looked up each time they are started; the music is
// one MIDI piece rendered by FluidSynth with the General MIDI soundfont. The
// mixer runs in floating point, which does not saturate while channels add up,
// and a peak limiter at its output keeps the sum below full scale: explosions
// chain, and many loud effects at once must never be clipped.
#include "platform/platform.h"
#include "platform/music_device.h"
#include "platform/sdl/midi_length.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/sdl_audio_stats.h"
#include "platform/events.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <alsa/asoundlib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
// 1024 frames is 23 ms a buffer: short enough that an effect is heard in the
// frame after it starts, long enough not to starve on a busy two-core machine.
constexpr int kBufferFrames = 1024;

// How the sum is kept clean, in three layers:
//  - A start of an effect that already started less than kInPhaseNs ago
//    adds nothing: copies started in one frame play in phase, so they would
//    only double the amplitude. A chain that bursts 20 explosions in one
//    frame is heard as one explosion (plus its other effects).
//  - At most kCopiesPerEffect copies of one effect sound together; a further
//    start fades the oldest copy out over kStealFadeMs instead of cutting it.
//  - Channels play at kEffectVolume (3/4), and a limiter at the mixer's
//    output scales the sum down whenever it would pass kCeiling, recovering
//    over kReleaseSeconds. The limiter makes clipping impossible; the first
//    two layers keep it from having to work hard.
constexpr int kChannels = 32;
constexpr int kCopiesPerEffect = 4;
constexpr int kEffectVolume = MIX_MAX_VOLUME * 3 / 4;
constexpr int kStealFadeMs = 20;
constexpr uint64_t kInPhaseNs = 8'000'000;
constexpr float kCeiling = 0.97f;
// FluidSynth at full gain renders the game's piece with peaks near 1.5 and an
// RMS near 0.19 (TimGM6mb); at 48/128 it peaks near 0.55, about as loud on
// average as the effects, so music and an explosion fit together.
constexpr int kMusicVolume = 48;
constexpr double kReleaseSeconds = 0.15;

// The General MIDI soundfont the music is voiced for, then Debian's
// alternatives, which may point at another soundfont or at nothing.
constexpr const char* kSoundFonts[] = {
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/sounds/sf3/default-GM.sf3",
};

// What identifies one version of a file: a rewrite changes the times or the
// size, a replacement changes the inode. (A rewrite to the same size within
// the file system's clock tick goes unnoticed until the file changes again.)
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};
    timespec changed{};
};

// The stamp of what stat() or fstat() found.
FileStamp stamp_of(const struct stat& st)
{
    return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

// True when both stamps name the same version of the same file.
bool same_file(const FileStamp& a, const FileStamp& b)
{
    return a.device == b.device && a.inode == b.inode && a.size == b.size &&
           a.modified.tv_sec == b.modified.tv_sec && a.modified.tv_nsec == b.modified.tv_nsec &&
           a.changed.tv_sec == b.changed.tv_sec && a.changed.tv_nsec == b.changed.tv_nsec;
}

// Reads a regular file whole, with the stamp of the very version read.
// False when it cannot be opened or read.
bool read_whole_file(const char* path, std::vector<uint8_t>& bytes, FileStamp& stamp)
{
    // Non-blocking, so that a pipe put in the file's place cannot hang the
    // game; it is refused as not a regular file.
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        bytes.resize(size_t(st.st_size));
        size_t done = 0;
        while (ok && done < bytes.size()) {
            ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
            if (got > 0)
                done += size_t(got);
            else
                ok = false; // error, or the file shrank under us
        }
        stamp = stamp_of(st);
    }
    close(fd);
    return ok;
}

// The steady clock in nanoseconds, for telling starts within one frame apart.
uint64_t now_ns()
{
    return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

// One effect file as last decoded. `chunk` is null when that version could
// not be decoded (empty, truncated, not a sound): it plays nothing until the
// file changes.
struct Effect {
    std::string path;
    FileStamp stamp;
    bool decoded = false;
    Mix_Chunk* chunk = nullptr;
    uint64_t last_start = 0;
};

// Which effect each mixing channel was last given, and when.
struct Voice {
    int effect = -1;
    uint64_t started = 0;
};

// The music piece as last loaded. `bytes` stay alive as long as `music`,
// which may read from them while it plays.
struct Piece {
    std::string path;
    FileStamp stamp;
    std::vector<uint8_t> bytes;
    Mix_Music* music = nullptr;
    uint64_t length_frames = 0; // from the file's own events and tempo map
};

bool audio_ready = false;
int output_rate = kRate;
int output_channels = 2;
std::vector<Effect> effects;
std::array<Voice, kChannels> voices;
Piece piece;
SdlAudioStats stats{};

// A play has been started and its end not yet told to the game.
bool awaiting_end = false;

// Shared with the audio thread. The game thread arms `start_pending` just
// before starting the music; the first mixed buffer that finds the music
// playing records where in the output it began. Position in the piece is
// then counted in output frames, the clock the listener hears.
std::atomic<uint64_t> mixed_frames{0};
std::atomic<bool> start_pending{false};
std::atomic<bool> start_seen{false};
std::atomic<uint64_t> start_frame{0};
std::atomic<bool> music_sounding{false};

// The limiter's envelope: the recent peak, decaying at `release_step` a
// sample frame. Audio thread only.
float envelope = 0.0f;
float release_step = 1.0f;

// Scales each sample frame by kCeiling / envelope whenever the envelope is
// above kCeiling. The envelope jumps to any higher peak at once, so no output
// sample can exceed kCeiling, and falls back smoothly.
void limit(float* samples, int frames, int channels)
{
    float env = envelope;
    for (int f = 0; f < frames; ++f) {
        float* frame = samples + size_t(f) * size_t(channels);
        float peak = 0.0f;
        for (int c = 0; c < channels; ++c)
            peak = std::max(peak, std::fabs(frame[c]));
        env = std::max(peak, env * release_step);
        if (env > kCeiling) {
            float gain = kCeiling / env;
            for (int c = 0; c < channels; ++c)
                frame[c] *= gain;
        }
    }
    envelope = env;
}

// Runs on the audio thread after each buffer is mixed, with the mixer locked:
// limits the buffer, notes the start of a requested play of the music, and
// advances the output clock.
void SDLCALL after_mix(void*, Uint8* stream, int length)
{
    int frames = length / int(sizeof(float) * size_t(output_channels));
    limit(reinterpret_cast<float*>(stream), frames, output_channels);

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

// The effect kept for `path`, or -1 the first time the path is played. The
// game has a handful of effects, so a walk through them beats hashing.
int find_effect(const char* path)
{
    for (size_t i = 0; i < effects.size(); ++i)
        if (effects[i].path == path)
            return int(i);
    return -1;
}

// Decodes the effect's file as it is now. Leaves the effect undecoded when
// the file cannot be read, so the next start tries again.
void decode(Effect& effect)
{
    std::vector<uint8_t> bytes;
    FileStamp stamp;
    if (!read_whole_file(effect.path.c_str(), bytes, stamp))
        return;
    if (effect.chunk != nullptr)
        Mix_FreeChunk(effect.chunk); // also stops copies of the old version
    effect.chunk = nullptr;
    // Only WAV files are effects. Other data is not offered to the mixer,
    // whose search through its other decoders leaks the reader when none
    // takes it.
    bool wav = bytes.size() >= 12 && std::memcmp(bytes.data(), "RIFF", 4) == 0 &&
               std::memcmp(bytes.data() + 8, "WAVE", 4) == 0;
    if (wav) {
        SDL_RWops* source = SDL_RWFromConstMem(bytes.data(), int(bytes.size()));
        if (source != nullptr)
            effect.chunk = Mix_LoadWAV_RW(source, 1);
    }
    effect.stamp = stamp;
    effect.decoded = true;
    ++stats.effect_decodes;
}

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

// Stops and frees the loaded piece, when the file is gone or has changed,
// and at close. Nothing is then playing or awaited.
void release_piece()
{
    if (piece.music != nullptr) {
        Mix_HaltMusic();
        Mix_FreeMusic(piece.music);
    }
    piece = Piece{};
    awaiting_end = false;
    start_pending.store(false);
}

// ALSA reports its own troubles on stderr, eight lines of them on a machine
// with no sound card. The game plays silently then and says nothing of it.
void quiet_alsa(const char*, int, const char*, int, const char*, ...) {}

} // namespace

// ---- sdl_audio.h --------------------------------------------------------------

void sdl_audio_open()
{
    if (audio_ready)
        return;
    snd_lib_error_set_handler(quiet_alsa);
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
    output_rate = rate;
    output_channels = channels;

    Mix_AllocateChannels(kChannels);
    Mix_Volume(-1, kEffectVolume);
    Mix_VolumeMusic(kMusicVolume);
    voices.fill(Voice{});
    stats = SdlAudioStats{};

    envelope = 0.0f;
    release_step = float(std::exp(-1.0 / (kReleaseSeconds * output_rate)));
    mixed_frames.store(0);
    start_pending.store(false);
    start_seen.store(false);
    music_sounding.store(false);
    Mix_SetPostMix(after_mix, nullptr);
    audio_ready = true;
}

void sdl_audio_poll()
{
    if (!audio_ready || !awaiting_end || !start_seen.load(std::memory_order_acquire))
        return;
    uint64_t played = mixed_frames.load(std::memory_order_acquire) - start_frame.load(std::memory_order_relaxed);
    // The synthesizer stopping by itself before the piece's length (it
    // normally rings on for seconds past it) also ends the play, so that a
    // failed rendition cannot stop the loop.
    bool ended = played >= piece.length_frames || !music_sounding.load(std::memory_order_relaxed);
    if (!ended)
        return;
    awaiting_end = false;
    post_event(music_done()); // the game restarts the piece when it handles this
}

void sdl_audio_close()
{
    if (!audio_ready)
        return;
    Mix_HaltChannel(-1);
    release_piece();
    for (Effect& effect : effects)
        if (effect.chunk != nullptr)
            Mix_FreeChunk(effect.chunk);
    effects.clear();
    Mix_SetPostMix(nullptr, nullptr);
    Mix_CloseAudio();
    Mix_Quit();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audio_ready = false;
}

SdlAudioStats sdl_audio_stats() { return stats; }

// ---- platform.h ------------------------------------------------------------------

void plat_play_sound(const char* path, int32_t flags)
{
    (void)flags; // every effect is asynchronous here
    if (!audio_ready || path == nullptr)
        return;
    // One stat() per start keeps the lookup live: a file added, rewritten or
    // removed while the game runs is seen at its next start.
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return;
    int index = find_effect(path);
    if (index < 0) {
        effects.emplace_back();
        effects.back().path = path;
        index = int(effects.size()) - 1;
    }
    Effect& effect = effects[size_t(index)];
    if (!effect.decoded || !same_file(effect.stamp, stamp_of(st)))
        decode(effect);
    if (effect.chunk == nullptr)
        return;

    uint64_t now = now_ns();
    if (effect.last_start != 0 && now - effect.last_start < kInPhaseNs)
        return;

    int copies = 0;
    int oldest_copy = -1;
    for (int ch = 0; ch < kChannels; ++ch) {
        const Voice& voice = voices[size_t(ch)];
        if (voice.effect != index || !Mix_Playing(ch) || Mix_FadingChannel(ch) == MIX_FADING_OUT)
            continue;
        ++copies;
        if (oldest_copy < 0 || voice.started < voices[size_t(oldest_copy)].started)
            oldest_copy = ch;
    }
    if (copies >= kCopiesPerEffect)
        Mix_FadeOutChannel(oldest_copy, kStealFadeMs);

    int channel = Mix_PlayChannel(-1, effect.chunk, 0);
    if (channel < 0) {
        channel = oldest_channel();
        if (channel < 0)
            return;
        Mix_HaltChannel(channel);
        channel = Mix_PlayChannel(channel, effect.chunk, 0);
        if (channel < 0)
            return;
    }
    voices[size_t(channel)] = Voice{index, now};
    effect.last_start = now;
}

// ---- music_device.h --------------------------------------------------------------

void music_device_note_write(int16_t, const char*) {}

bool music_device_open(const char* path)
{
    if (!audio_ready)
        return false;
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
        release_piece();
        return false;
    }
    // The game reopens the piece at every loop; loading it again would read
    // the whole soundfont (tens of milliseconds), so an unchanged file keeps
    // its loaded music.
    if (piece.music != nullptr && piece.path == path && same_file(piece.stamp, stamp_of(st)))
        return true;

    release_piece();
    Piece fresh;
    fresh.path = path;
    // A file that cannot be read through to its end is refused, as the
    // sequencer refuses it: FluidSynth would only fail later, at play, and
    // complain on stderr.
    double seconds = 0.0;
    if (!read_whole_file(path, fresh.bytes, fresh.stamp) ||
        !midi_length_seconds(fresh.bytes.data(), fresh.bytes.size(), &seconds))
        return false;
    SDL_RWops* source = SDL_RWFromConstMem(fresh.bytes.data(), int(fresh.bytes.size()));
    if (source == nullptr)
        return false;
    fresh.music = Mix_LoadMUSType_RW(source, MUS_MID, 1);
    if (fresh.music == nullptr)
        return false;
    ++stats.music_loads;
    fresh.length_frames = uint64_t(std::llround(seconds * output_rate));
    piece = std::move(fresh);
    return true;
}

void music_device_play()
{
    if (!audio_ready || piece.music == nullptr)
        return;
    // Halted first, so that the audio thread cannot mistake the previous
    // play for this one when it looks for the start.
    Mix_HaltMusic();
    start_seen.store(false, std::memory_order_relaxed);
    start_pending.store(true, std::memory_order_release);
    if (Mix_PlayMusic(piece.music, 0) != 0) {
        start_pending.store(false);
        awaiting_end = false;
        return;
    }
    awaiting_end = true;
}

void music_device_close()
{
    if (!audio_ready)
        return;
    // The piece stays loaded for the reopening that follows at each loop.
    Mix_HaltMusic();
    start_pending.store(false);
    awaiting_end = false;
}
