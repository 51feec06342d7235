// sdl_audio_effect.cpp -- what starting an effect and restarting the music cost the game's frame.
//
// Effects start in the middle of a frame's passes and the music restarts from
// a frame's event processing, so both must be cheap when their files have not
// changed: an effect start well under 0.1 ms, the music's restart (close,
// open, play) under 1 ms. The changed-file cases show what the caches save.
// An effect of the largest size accepted must not stall the frame by more
// than 2 ms: its start only reads the header and hands the file to the
// decoding thread, and the decoding cost shows why it cannot be done here.
// Runs on any SDL audio driver; SDL_AUDIODRIVER defaults to "dummy" here
// (set it to "disk" to hear the result in a file). Without an audio device
// every benchmark reports why and measures nothing.
#include "platform/platform.h"
#include "bench/sdl_audio_bench.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/sdl_audio_stats.h"
#include "platform/core/wav_header.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Two starts of one effect closer than this are taken as one by the backend;
// the benchmarks that time real starts wait this long between them.
constexpr int kBetweenStartsMs = 10;


fs::path program_folder()
{
    std::error_code error;
    fs::path exe = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::current_path() : exe.parent_path();
}

void write_file(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void put(std::vector<uint8_t>& out, uint32_t value, int bytes, bool big_endian = false)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(uint8_t(value >> (8 * (big_endian ? bytes - 1 - i : i))));
}

// A stand-in for ex2.wav when the asset generator has not run: 0.4 s of
// decaying noise, 16-bit mono at 44.1 kHz.
std::vector<uint8_t> noise_wav()
{
    const uint32_t frames = 17640;
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
    put(out, 36 + frames * 2, 4);
    for (char c : std::string("WAVEfmt "))
        out.push_back(uint8_t(c));
    put(out, 16, 4);
    put(out, 1, 2);
    put(out, 1, 2);
    put(out, 44100, 4);
    put(out, 88200, 4);
    put(out, 2, 2);
    put(out, 16, 2);
    for (char c : std::string("data"))
        out.push_back(uint8_t(c));
    put(out, frames * 2, 4);
    uint32_t x = 1;
    for (uint32_t i = 0; i < frames; ++i) {
        x = x * 1664525u + 1013904223u;
        double level = 20000.0 * std::exp(-double(i) / 6000.0);
        put(out, uint32_t(uint16_t(int16_t(level * (double(x >> 16) / 32768.0 - 1.0)))), 2);
    }
    return out;
}

// A stand-in for MUSIC4.MID: eight bars of quarter notes.
std::vector<uint8_t> short_piece()
{
    std::vector<uint8_t> track = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xC0, 0x00};
    for (int i = 0; i < 32; ++i) {
        uint8_t note = uint8_t(60 + (i * 5) % 12);
        for (uint8_t b : {uint8_t(0x00), uint8_t(0x90), note, uint8_t(100), uint8_t(0x83), uint8_t(0x60),
                          uint8_t(0x80), note, uint8_t(0)})
            track.push_back(b);
    }
    for (uint8_t b : {0x00, 0xFF, 0x2F, 0x00})
        track.push_back(b);
    std::vector<uint8_t> out = {'M', 'T', 'h', 'd'};
    put(out, 6, 4, true);
    put(out, 0, 2, true);
    put(out, 1, 2, true);
    put(out, 480, 2, true);
    for (char c : std::string("MTrk"))
        out.push_back(uint8_t(c));
    put(out, uint32_t(track.size()), 4, true);
    out.insert(out.end(), track.begin(), track.end());
    return out;
}

// The game's file from beside the program when there is one, else the stand-in.
fs::path place(const char* name, const std::vector<uint8_t>& stand_in)
{
    fs::path target = work_folder / name;
    fs::path game_file = program_folder() / name;
    std::error_code error;
    if (fs::exists(game_file))
        fs::copy_file(game_file, target, fs::copy_options::overwrite_existing, error);
    if (!fs::exists(target))
        write_file(target, stand_in);
    return target;
}

// Gives the file a new modification time, as a rewrite would.
void touch(const fs::path& path)
{
    fs::last_write_time(path, fs::last_write_time(path) + std::chrono::milliseconds(1));
}

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The calling thread's own CPU time: what a call cost, apart from the
// time other programs on a loaded machine took the core away.
double thread_cpu_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

bool ready(benchmark::State& state)
{
    if (!audio_open)
        state.SkipWithError("no audio device (Mix_OpenAudio failed)");
    return audio_open;
}

// Starts the music (from a stand-in when the game's is not there) so that
// the mixer renders it while effects start, as in the game.
void start_music()
{
    fs::path previous = fs::current_path();
    fs::current_path(work_folder);
    place("MUSIC4.MID", short_piece());
    plat_music_set_text(kMusicDeviceType, "Sequencer");
    plat_music_set_text(kMusicCommand, "open");
    plat_music_set_text(kMusicCommand, "play");
    fs::current_path(previous);
}

// A start of an unchanged effect that really plays: one frame's effect.
// Argument 1: with the music playing, whose rendering holds the mixer's lock
// for part of each buffer.
void effect_start_unchanged(benchmark::State& state)
{
    if (!ready(state))
        return;
    if (state.range(0) != 0)
        start_music();
    std::string path = place("ex2.wav", noise_wav()).string();
    plat_play_sound(path.c_str(), 1); // first start decodes
    while (sdl_audio_stats().effects_decoding != 0) {
        SDL_Delay(1);
        sdl_audio_poll();
    }
    SDL_Delay(kBetweenStartsMs);
    uint64_t decodes = sdl_audio_stats().effect_decodes;
    double longest = 0.0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        plat_play_sound(path.c_str(), 1);
        double took = seconds_since(start);
        state.SetIterationTime(took);
        longest = std::max(longest, took);
        SDL_Delay(kBetweenStartsMs);
    }
    state.counters["longest_us"] = longest * 1e6;
    if (sdl_audio_stats().effect_decodes != decodes)
        state.SkipWithError("an unchanged file was decoded again");
    Mix_HaltChannel(-1);
    plat_music_set_text(kMusicCommand, "close");
}
BENCHMARK(effect_start_unchanged)->Arg(0)->Arg(1)->UseManualTime()->Iterations(400)->Unit(benchmark::kMicrosecond);

// More starts of the effect within the same frame: a chain's burst.
void effect_start_same_frame(benchmark::State& state)
{
    if (!ready(state))
        return;
    std::string path = place("ex2.wav", noise_wav()).string();
    plat_play_sound(path.c_str(), 1);
    for (auto _ : state)
        plat_play_sound(path.c_str(), 1);
    Mix_HaltChannel(-1);
}
BENCHMARK(effect_start_same_frame)->Unit(benchmark::kMicrosecond);

// A start right after the file changed: it is decoded again. Timed with the
// frame's poll before it, where the start decoded since the last frame begins.
void effect_start_changed(benchmark::State& state)
{
    if (!ready(state))
        return;
    fs::path file = work_folder / "changing.wav";
    fs::copy_file(place("ex2.wav", noise_wav()), file, fs::copy_options::overwrite_existing);
    std::string path = file.string();
    for (auto _ : state) {
        touch(file);
        Clock::time_point start = Clock::now();
        sdl_audio_poll();
        plat_play_sound(path.c_str(), 1);
        state.SetIterationTime(seconds_since(start));
        SDL_Delay(kBetweenStartsMs);
    }
    Mix_HaltChannel(-1);
}
BENCHMARK(effect_start_changed)->UseManualTime()->Iterations(100)->Unit(benchmark::kMicrosecond);

// The largest effect accepted, kMaxEffectFileBytes of noise: 16-bit stereo
// at 44.1 kHz (23.8 s), which the mixer only widens to floats, or with
// `resampled` eight channels of floats at 192 kHz (0.68 s), which it mixes
// down and resamples.
std::vector<uint8_t> largest_wav(bool resampled = false)
{
    const uint32_t channels = resampled ? 8 : 2, rate = resampled ? 192000 : 44100;
    const uint32_t frame_bytes = resampled ? 32 : 4;
    const uint32_t data_bytes = uint32_t(kMaxEffectFileBytes - 44) / frame_bytes * frame_bytes;
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
    put(out, 36 + data_bytes, 4);
    for (char c : std::string("WAVEfmt "))
        out.push_back(uint8_t(c));
    put(out, 16, 4);
    put(out, resampled ? 3 : 1, 2);
    put(out, channels, 2);
    put(out, rate, 4);
    put(out, rate * frame_bytes, 4);
    put(out, frame_bytes, 2);
    put(out, resampled ? 32 : 16, 2);
    for (char c : std::string("data"))
        out.push_back(uint8_t(c));
    put(out, data_bytes, 4);
    uint32_t x = 7;
    while (out.size() + frame_bytes <= kMaxEffectFileBytes) {
        x = x * 1664525u + 1013904223u;
        if (resampled) {
            float sample = float(int32_t(x) >> 8) / 8388608.0f * 0.5f;
            uint32_t word;
            std::memcpy(&word, &sample, 4);
            for (uint32_t c = 0; c < channels; ++c)
                put(out, word, 4);
        } else {
            put(out, x, 4);
        }
    }
    out.resize(size_t(kMaxEffectFileBytes), 0);
    return out;
}

// A start of the largest effect right after its file changed: the frame's
// share is the header check and the hand-over. `ready_ms` is how long after
// the start the decoded sound began, polled every millisecond as a frame
// would every 15.6 ms; `cpu_us` is the start's own CPU time, which other
// programs on a loaded machine do not inflate as they do the wall time.
void effect_start_largest_changed(benchmark::State& state)
{
    if (!ready(state))
        return;
    fs::path file = work_folder / "largest.wav";
    write_file(file, largest_wav());
    std::string path = file.string();
    double longest = 0.0, ready_total = 0.0, ready_longest = 0.0, cpu_total = 0.0, cpu_longest = 0.0;
    for (auto _ : state) {
        touch(file);
        double cpu_start = thread_cpu_seconds();
        Clock::time_point start = Clock::now();
        plat_play_sound(path.c_str(), 1);
        double took = seconds_since(start);
        double cpu = thread_cpu_seconds() - cpu_start;
        cpu_total += cpu;
        cpu_longest = std::max(cpu_longest, cpu);
        state.SetIterationTime(took);
        longest = std::max(longest, took);
        while (sdl_audio_stats().effects_decoding != 0) {
            SDL_Delay(1);
            sdl_audio_poll();
        }
        double ready_after = seconds_since(start);
        ready_total += ready_after;
        ready_longest = std::max(ready_longest, ready_after);
        Mix_HaltChannel(-1);
    }
    state.counters["longest_us"] = longest * 1e6;
    state.counters["cpu_us"] = cpu_total / double(state.iterations()) * 1e6;
    state.counters["cpu_longest_us"] = cpu_longest * 1e6;
    state.counters["ready_ms"] = ready_total / double(state.iterations()) * 1e3;
    state.counters["ready_longest_ms"] = ready_longest * 1e3;
}
BENCHMARK(effect_start_largest_changed)->UseManualTime()->Iterations(30)->Unit(benchmark::kMicrosecond);

// What decoding the largest effect would cost the frame if it were done on
// the game's thread: the mixer's loader and converter, from memory.
// Argument 1: the file that must be resampled.
void effect_decode_largest_here(benchmark::State& state)
{
    if (!ready(state))
        return;
    std::vector<uint8_t> bytes = largest_wav(state.range(0) != 0);
    for (auto _ : state) {
        SDL_RWops* source = SDL_RWFromConstMem(bytes.data(), int(bytes.size()));
        Mix_Chunk* chunk = Mix_LoadWAV_RW(source, 1);
        if (chunk == nullptr) {
            state.SkipWithError("the mixer refused the file");
            return;
        }
        Mix_FreeChunk(chunk);
    }
}
BENCHMARK(effect_decode_largest_here)->Arg(0)->Arg(1)->Iterations(20)->Unit(benchmark::kMillisecond);

// The game's restart at the piece's end (MMControl1_Done): close, open, play,
// with the file unchanged.
void music_restart(benchmark::State& state)
{
    if (!ready(state))
        return;
    fs::path previous = fs::current_path();
    fs::current_path(work_folder);
    place("MUSIC4.MID", short_piece());
    plat_music_set_text(kMusicDeviceType, "Sequencer");
    plat_music_set_text(kMusicCommand, "open");
    plat_music_set_text(kMusicCommand, "play");
    uint64_t loads = sdl_audio_stats().music_loads;
    double longest = 0.0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        plat_music_set_text(kMusicCommand, "close");
        plat_music_set_text(kMusicCommand, "open");
        plat_music_set_text(kMusicCommand, "play");
        double took = seconds_since(start);
        state.SetIterationTime(took);
        longest = std::max(longest, took);
        SDL_Delay(5); // the music plays on between restarts, as in the game
    }
    state.counters["longest_us"] = longest * 1e6;
    if (sdl_audio_stats().music_loads != loads)
        state.SkipWithError("the restart loaded the piece again");
    plat_music_set_text(kMusicCommand, "close");
    fs::current_path(previous);
}
BENCHMARK(music_restart)->UseManualTime()->Iterations(300)->Unit(benchmark::kMicrosecond);

// Open and play with a changed file, as at start-up: the piece is loaded,
// which reads the whole soundfont.
void music_first_open_and_play(benchmark::State& state)
{
    if (!ready(state))
        return;
    fs::path previous = fs::current_path();
    fs::current_path(work_folder);
    fs::path file = place("MUSIC4.MID", short_piece());
    plat_music_set_text(kMusicDeviceType, "Sequencer");
    for (auto _ : state) {
        plat_music_set_text(kMusicCommand, "close");
        touch(file);
        Clock::time_point start = Clock::now();
        plat_music_set_text(kMusicCommand, "open");
        plat_music_set_text(kMusicCommand, "play");
        state.SetIterationTime(seconds_since(start));
    }
    plat_music_set_text(kMusicCommand, "close");
    fs::current_path(previous);
}
BENCHMARK(music_first_open_and_play)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return audio_bench_main(argc, argv, "pelmaric-bench-audio"); }
