// sdl_audio_music.cpp -- the music control's device on the desktop: one MIDI piece loaded through FluidSynth, and its end told to the game.
#include "platform/core/events.h"
#include "platform/core/music_device.h"
#include "platform/core/midi_length.h"
#include "platform/sdl/sdl_audio_parts.h"

#include <cmath>
#include <string>

using namespace sdl_audio;

namespace {

// FluidSynth at full gain renders the game's piece with peaks near 1.5 and an
// RMS near 0.19 (TimGM6mb); at 48/128 it peaks near 0.55, about as loud on
// average as the effects, so music and an explosion fit together.
constexpr int kMusicVolume = 48;
// A piece that ends at once (an empty track, or one the synthesizer gives
// up on) would otherwise be restarted at every frame.
constexpr uint64_t kMinLoopNs = 1'000'000'000;

// The music piece as last loaded. `bytes` stay alive as long as `music`,
// which may read from them while it plays.
struct Piece {
    std::string path;
    FileStamp stamp;
    std::vector<uint8_t> bytes;
    Mix_Music* music = nullptr;
    uint64_t length_frames = 0; // from the file's own events and tempo map
};

Piece piece;

// A play has been started and its end not yet told to the game.
bool awaiting_end = false;
// When the game was last told that the piece ended (steady clock, ns).
uint64_t last_end_told = 0;

} // namespace

void sdl_audio::music_reset()
{
    Mix_VolumeMusic(kMusicVolume);
    last_end_told = 0;
}

void sdl_audio::music_poll_end()
{
    uint64_t played = 0;
    bool sounding = false;
    if (!awaiting_end || !output_clock_music(played, sounding))
        return;
    // The synthesizer stopping by itself before the piece's length (it
    // normally rings on for seconds past it) also ends the play, so that a
    // failed rendition cannot stop the loop.
    bool ended = played >= piece.length_frames || !sounding;
    uint64_t now = now_ns();
    if (!ended || (last_end_told != 0 && now - last_end_told < kMinLoopNs))
        return;
    awaiting_end = false;
    last_end_told = now;
    post_event(music_done()); // the game restarts the piece when it handles this
}

// Stops and frees the loaded piece, when the file is gone or has changed,
// and at close. Nothing is then playing or awaited.
void sdl_audio::music_release()
{
    if (piece.music != nullptr) {
        Mix_HaltMusic();
        Mix_FreeMusic(piece.music);
    }
    piece = Piece{};
    awaiting_end = false;
    output_clock_forget_music();
}

// ---- music_device.h --------------------------------------------------------------

void music_device_note_write(int16_t, const char*) {}

bool music_device_open(const char* path)
{
    if (!audio_ready)
        return false;
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) > kMaxMusicFileBytes) {
        music_release();
        return false;
    }
    // The game reopens the piece at every loop; loading it again would read
    // the whole soundfont (tens of milliseconds), so an unchanged file keeps
    // its loaded music.
    if (piece.music != nullptr && piece.path == path && same_file(piece.stamp, stamp_of(st)))
        return true;

    music_release();
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
    ++audio_stats.music_loads;
    fresh.length_frames = uint64_t(std::llround(seconds * output_rate()));
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
    output_clock_await_music();
    if (Mix_PlayMusic(piece.music, 0) != 0) {
        output_clock_forget_music();
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
    output_clock_forget_music();
    awaiting_end = false;
}
