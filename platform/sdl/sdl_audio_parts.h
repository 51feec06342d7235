// sdl_audio_parts.h -- what the SDL audio backend's files share among themselves (sdl_audio.h is its face to the rest).
//
// The backend is one job a file: sdl_audio.cpp opens the device and closes
// it; sdl_audio_files.cpp reads files and tells their versions apart;
// sdl_audio_effects.cpp keeps the effects and checks their files;
// sdl_audio_decoder.cpp decodes them on a thread of its own;
// sdl_audio_voices.cpp limits the copies of an effect and hands out the
// channels; sdl_audio_limiter.cpp keeps the output under full scale and
// counts it; sdl_audio_music.cpp loads the piece and hears its end.
// Everything here runs on the game's thread unless it says otherwise, and
// lies in the namespace sdl_audio.
#pragma once

#include "platform/sdl/sdl_audio_stats.h"

#include <SDL_mixer.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace sdl_audio {

// True between a successful sdl_audio_open and sdl_audio_close: every call
// of the game does nothing while it is false, and the game runs silent.
extern bool audio_ready;

// The counts sdl_audio_stats reports; set to zero by sdl_audio_open.
extern SdlAudioStats audio_stats;

// The steady clock in nanoseconds, for telling starts within one frame apart.
inline uint64_t now_ns()
{
    return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

// ---- sdl_audio_files.cpp ------------------------------------------------------

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
FileStamp stamp_of(const struct stat& st);

// True when both stamps name the same version of the same file.
bool same_file(const FileStamp& a, const FileStamp& b);

// Opens a file for reading without waiting: a pipe put in the file's place
// would otherwise hang the game. -1 when it cannot be opened or is not a
// regular file (the pipe is refused here); `st` then says nothing.
int open_regular(const char* path, struct stat& st);

// Reads a regular file whole, with the stamp of the very version read.
// False when it cannot be opened or read, or holds more than `max_bytes`
// (then nothing is read). Called for effects on the decoding thread, for
// music on the game's.
bool read_whole_file(const char* path, uint64_t max_bytes, std::vector<uint8_t>& bytes, FileStamp& stamp);

// ---- sdl_audio_effects.cpp ----------------------------------------------------

// Takes the decoding thread's answers and, once no effect is left decoding,
// starts every effect whose start waited. Called by sdl_audio_poll once a
// frame, never between the starts of one frame.
void effects_collect_decoded();

// How many effects are being decoded now, for sdl_audio_stats.
uint64_t effects_decoding();

// Stops the decoding thread and frees every decoded sound. Called by
// sdl_audio_close after the channels were halted.
void effects_close();

// ---- sdl_audio_decoder.cpp ----------------------------------------------------

// One decoding asked of the decoding thread, and later its answer.
struct DecodeJob {
    int effect;
    std::string path;
    FileStamp stamp;
    Mix_Chunk* chunk; // the answer: null when the file could not be decoded
};

// Starts the decoding thread. Called by sdl_audio_open once the mixer is up;
// without a thread, effects are refused and the music still plays.
void decoder_open();

// True while the thread runs, so that a job queued will be answered.
bool decoder_running();

// How many decodings the thread has ended since it started, for sdl_audio_stats.
uint64_t decoder_decoded();

// Asks for `job` (its chunk null) to be decoded. Called by the effect cache
// once the file's header was found sound.
void decoder_queue(DecodeJob job);

// Frees a sound no longer wanted, on the thread: giving back megabytes of
// decoded sound costs a millisecond or more. Called by the effect cache when
// an effect's file changed.
void decoder_free(Mix_Chunk* chunk);

// True, with the answers to every job queued so far in `finished`, once the
// queue ran empty; false when nothing new is finished (then cheap: no lock).
// Called by effects_collect_decoded.
bool decoder_take_finished(std::vector<DecodeJob>& finished);

// Stops the thread and frees the sounds it still holds. Called by effects_close.
void decoder_close();

// ---- sdl_audio_voices.cpp -----------------------------------------------------

// Gives the mixer its channels at the effects' volume and forgets who had
// them. Called by sdl_audio_open.
void voices_open();

// Starts `chunk`, the decoded sound of effect number `effect`, within the
// limits on copies and phase; `last_start` is that effect's last start and
// moves to `now` when it is heard. Called by the effect cache.
void voice_start(int effect, Mix_Chunk* chunk, uint64_t now, uint64_t& last_start);

// ---- sdl_audio_limiter.cpp ----------------------------------------------------

// Resets the limiter and the output clock for output at `rate` frames a
// second in `channels` channels, and hooks them behind the mixer. Called by
// sdl_audio_open once the device is open.
void output_clock_open(int rate, int channels);

// Output frames a second, as the device was opened with.
int output_rate();

// The output's last gain, behind the limiter: it glides to 0 (`silent`) or
// back to 1 over a few milliseconds, so switching the sound off or pausing
// never clicks. output_faded_out() is true once a fade to 0 has ended.
void output_fade(bool silent);
bool output_faded_out();

// While stopped (a pause) the output clock does not count: the music is
// paused too, and its place in the piece must not run on.
void output_clock_stop(bool stopped);

// Unhooks the limiter from the mixer. Called by sdl_audio_close.
void output_clock_close();

// Asks the audio thread to note the first buffer that holds the music.
// Called just before the music is started, after it was halted.
void output_clock_await_music();

// Forgets a start asked for and not yet seen. Called when the music stops.
void output_clock_forget_music();

// False until the buffer holding the music's start was mixed; then how many
// output frames have been mixed since, and whether the music still sounded
// in the last buffer mixed.
bool output_clock_music(uint64_t& played_frames, bool& sounding);

// ---- sdl_audio_music.cpp ------------------------------------------------------

// Sets the music's volume and forgets the last end told. Called by
// sdl_audio_open.
void music_reset();

// Posts music_done() when the playing piece has reached its end. Called by
// sdl_audio_poll.
void music_poll_end();

// Stops and frees the loaded piece. Called by sdl_audio_close.
void music_release();

} // namespace sdl_audio
