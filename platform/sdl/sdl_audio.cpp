// sdl_audio.cpp -- the game's sound effects and music, played through SDL2_mixer.
//
// Effects are WAV files looked up each time they are started, checked by
// their size and header on the game's thread and decoded on a thread of
// their own, so that no file can stall a frame; the music is one MIDI piece
// rendered by FluidSynth with the General MIDI soundfont. The
// mixer runs in floating point, which does not saturate while channels add up,
// and a peak limiter at its output keeps the sum below full scale: explosions
// chain, and many loud effects at once must never be clipped.
#include "platform/platform.h"
#include "platform/music_device.h"
#include "platform/sdl/midi_length.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/sdl_audio_stats.h"
#include "platform/sdl/wav_header.h"
#include "platform/events.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <alsa/asoundlib.h>
#include <fluidsynth.h>

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
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
// A piece that ends at once (an empty track, or one the synthesizer gives
// up on) would otherwise be restarted at every frame.
constexpr uint64_t kMinLoopNs = 1'000'000'000;

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

// Opens a file for reading without waiting: a pipe put in the file's place
// would otherwise hang the game. -1 when it cannot be opened or is not a
// regular file (the pipe is refused here); `st` then says nothing.
int open_regular(const char* path, struct stat& st)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

// Reads a regular file whole, with the stamp of the very version read.
// False when it cannot be opened or read, or holds more than `max_bytes`
// (then nothing is read).
bool read_whole_file(const char* path, uint64_t max_bytes, std::vector<uint8_t>& bytes, FileStamp& stamp)
{
    struct stat st;
    int fd = open_regular(path, st);
    if (fd < 0)
        return false;
    bool ok = uint64_t(st.st_size) <= max_bytes;
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

// One effect file as last looked at. `chunk` is null while the version in
// `stamp` is being decoded, and when it was refused (too big, a header out
// of bounds, not a sound): then it plays nothing until the file changes.
struct Effect {
    std::string path;
    FileStamp stamp;
    bool checked = false;  // `stamp` names a version that was checked
    bool decoding = false; // that version is with the decoding thread
    Mix_Chunk* chunk = nullptr;
    uint64_t last_start = 0;
    uint64_t pending_start = 0; // asked for while decoding; 0: none
};

// One decoding asked of the decoding thread, and later its answer.
struct DecodeJob {
    int effect;
    std::string path;
    FileStamp stamp;
    Mix_Chunk* chunk; // the answer: null when the file could not be decoded
};

// The decoding thread and what it shares with the game's thread. Finished
// jobs are handed back together once the queue is empty, so that effects
// first started in one frame also begin in one frame. The thread also frees
// the sounds of files that changed: giving back megabytes of decoded sound
// costs a millisecond or more.
struct Decoder {
    std::thread thread;
    std::mutex lock;
    std::condition_variable wake;
    std::vector<DecodeJob> queued;   // guarded by `lock`
    std::vector<DecodeJob> finished; // guarded by `lock`
    std::vector<Mix_Chunk*> unused;  // guarded by `lock`
    std::atomic<bool> have_finished{false};
    bool stopping = false; // guarded by `lock`
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
Decoder decoder;
Piece piece;
SdlAudioStats stats{};

// A play has been started and its end not yet told to the game.
bool awaiting_end = false;
// When the game was last told that the piece ended (steady clock, ns).
uint64_t last_end_told = 0;

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

// Runs on the decoding thread: reads the file whole (it was checked, but
// may have changed since), checks it again, and hands it to the mixer,
// which converts it to the output format. The mixer's loader touches
// nothing the audio thread or the game's thread changes.
Mix_Chunk* decode_file(const std::string& path, const FileStamp& stamp)
{
    std::vector<uint8_t> bytes;
    FileStamp read_stamp;
    WavLayout layout;
    if (!read_whole_file(path.c_str(), kMaxEffectFileBytes, bytes, read_stamp) || !same_file(read_stamp, stamp) ||
        !wav_effect_layout(bytes.data(), bytes.size(), &layout))
        return nullptr;
    SDL_RWops* source = SDL_RWFromConstMem(bytes.data(), int(bytes.size()));
    return source != nullptr ? Mix_LoadWAV_RW(source, 1) : nullptr;
}

void decoder_main()
{
    // A batch thread never preempts the thread that wakes it: handing it a
    // file must not hand it the game's core in the middle of a frame.
    sched_param no_priority{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &no_priority);
    std::vector<DecodeJob> done;
    std::unique_lock<std::mutex> hold(decoder.lock);
    for (;;) {
        decoder.wake.wait(hold, [] { return decoder.stopping || !decoder.queued.empty() || !decoder.unused.empty(); });
        if (decoder.stopping)
            break;
        if (!decoder.unused.empty()) {
            std::vector<Mix_Chunk*> unused;
            unused.swap(decoder.unused);
            hold.unlock();
            for (Mix_Chunk* chunk : unused)
                Mix_FreeChunk(chunk); // also stops copies still playing
            hold.lock();
            continue;
        }
        DecodeJob job = std::move(decoder.queued.front());
        decoder.queued.erase(decoder.queued.begin());
        hold.unlock();
        job.chunk = decode_file(job.path, job.stamp);
        done.push_back(std::move(job));
        hold.lock();
        if (decoder.queued.empty()) {
            for (DecodeJob& d : done)
                decoder.finished.push_back(std::move(d));
            done.clear();
            decoder.have_finished.store(true, std::memory_order_release);
        }
    }
    // Closing: what was decoded but not handed back is freed by the closer.
    for (DecodeJob& d : done)
        decoder.finished.push_back(std::move(d));
}

// Reads the header of `effect`'s file as `st` found it, through `fd`, and
// queues its decoding when the header is sound. Otherwise the effect is left
// refused until the file changes: only the header was read.
void check_and_queue(Effect& effect, int index, int fd, const struct stat& st, uint64_t now)
{
    if (effect.chunk != nullptr) {
        {
            std::lock_guard<std::mutex> hold(decoder.lock);
            decoder.unused.push_back(effect.chunk);
        }
        decoder.wake.notify_one();
    }
    effect.chunk = nullptr;
    effect.stamp = stamp_of(st);
    effect.checked = true;

    struct Source {
        int fd;
        uint64_t* counted;
    } source{fd, &stats.effect_header_bytes};
    auto read_at = [](void* context, uint64_t offset, uint8_t* out, size_t size) {
        Source& s = *static_cast<Source*>(context);
        ssize_t got = pread(s.fd, out, size, off_t(offset));
        if (got > 0)
            *s.counted += uint64_t(got);
        return got == ssize_t(size);
    };
    WavLayout layout;
    if (!decoder.thread.joinable() || !wav_effect_layout(uint64_t(st.st_size), WavReader{read_at, &source}, &layout)) {
        ++stats.effect_refusals;
        return;
    }
    effect.decoding = true;
    effect.pending_start = now;
    {
        std::lock_guard<std::mutex> hold(decoder.lock);
        decoder.queued.push_back(DecodeJob{index, effect.path, effect.stamp, nullptr});
    }
    decoder.wake.notify_one();
}

void start_effect(Effect& effect, int index, uint64_t now);

// Takes the decoding thread's answers, and starts the effects whose starts
// waited for them. Called from every start and every poll.
void collect_decoded()
{
    if (!decoder.have_finished.load(std::memory_order_acquire))
        return;
    std::vector<DecodeJob> finished;
    {
        std::lock_guard<std::mutex> hold(decoder.lock);
        finished.swap(decoder.finished);
        decoder.have_finished.store(false, std::memory_order_relaxed);
    }
    uint64_t now = now_ns();
    for (DecodeJob& job : finished) {
        Effect& effect = effects[size_t(job.effect)];
        effect.decoding = false;
        effect.chunk = job.chunk;
        ++stats.effect_decodes;
        if (effect.chunk != nullptr && effect.pending_start != 0)
            start_effect(effect, job.effect, now);
        effect.pending_start = 0;
    }
}

void stop_decoder()
{
    if (!decoder.thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> hold(decoder.lock);
        decoder.stopping = true;
    }
    decoder.wake.notify_one();
    decoder.thread.join();
    for (DecodeJob& job : decoder.finished)
        if (job.chunk != nullptr)
            Mix_FreeChunk(job.chunk);
    for (Mix_Chunk* chunk : decoder.unused)
        Mix_FreeChunk(chunk);
    decoder.queued.clear();
    decoder.finished.clear();
    decoder.unused.clear();
    decoder.have_finished.store(false);
    decoder.stopping = false;
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

// Starts a decoded effect, within the limits on copies and phase.
void start_effect(Effect& effect, int index, uint64_t now)
{
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
    last_end_told = 0;
    try {
        decoder.thread = std::thread(decoder_main);
    } catch (const std::system_error&) {
        // No thread to decode on: effects are refused, the music still plays.
    }
    audio_ready = true;
}

void sdl_audio_poll()
{
    if (!audio_ready)
        return;
    collect_decoded();
    if (!awaiting_end || !start_seen.load(std::memory_order_acquire))
        return;
    uint64_t played = mixed_frames.load(std::memory_order_acquire) - start_frame.load(std::memory_order_relaxed);
    // The synthesizer stopping by itself before the piece's length (it
    // normally rings on for seconds past it) also ends the play, so that a
    // failed rendition cannot stop the loop.
    bool ended = played >= piece.length_frames || !music_sounding.load(std::memory_order_relaxed);
    uint64_t now = now_ns();
    if (!ended || (last_end_told != 0 && now - last_end_told < kMinLoopNs))
        return;
    awaiting_end = false;
    last_end_told = now;
    post_event(music_done()); // the game restarts the piece when it handles this
}

void sdl_audio_close()
{
    if (!audio_ready)
        return;
    Mix_HaltChannel(-1);
    stop_decoder();
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

SdlAudioStats sdl_audio_stats()
{
    SdlAudioStats now = stats;
    now.effects_decoding = uint64_t(std::count_if(effects.begin(), effects.end(), [](const Effect& e) { return e.decoding; }));
    return now;
}

// ---- platform.h ------------------------------------------------------------------

void plat_play_sound(const char* path, int32_t flags)
{
    (void)flags; // every effect is asynchronous here
    if (!audio_ready || path == nullptr)
        return;
    collect_decoded();
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
    uint64_t now = now_ns();
    if (effect.decoding) {
        // Starts while it decodes are one start, made when it is ready. A
        // change of the file meanwhile is seen at the first start after.
        if (effect.pending_start == 0)
            effect.pending_start = now;
        return;
    }
    if (!effect.checked || !same_file(effect.stamp, stamp_of(st))) {
        int fd = open_regular(path, st);
        if (fd < 0)
            return;
        check_and_queue(effect, index, fd, st, now);
        close(fd);
        return;
    }
    if (effect.chunk != nullptr)
        start_effect(effect, index, now);
}

// ---- music_device.h --------------------------------------------------------------

void music_device_note_write(int16_t, const char*) {}

bool music_device_open(const char* path)
{
    if (!audio_ready)
        return false;
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) > kMaxMusicFileBytes) {
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
    if (!read_whole_file(path, kMaxMusicFileBytes, fresh.bytes, fresh.stamp) ||
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
