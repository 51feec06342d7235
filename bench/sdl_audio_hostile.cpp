// sdl_audio_hostile.cpp -- what hostile sound and music files cost the game's frame and memory.
//
// Each case puts one file where the game would read it, starts it the way
// the game does (an effect start, or the music's open and play), then plays
// on for a second as the game's frames would: a small effect started every
// 16 ms and the music's end polled, the longest of those starts kept. The
// counters are the first call's stall (and its own CPU time, which a loaded
// machine does not inflate), the longest later stall, and the
// process's peak memory (VmHWM), which is only the case's own when the case
// runs alone:
//
//     SDL_AUDIODRIVER=dummy build/bench_sdl_audio_hostile --benchmark_filter=wav_one_hertz
//
// Uses only the calls the game itself makes, so that it measures any version
// of the backend alike.
#include "platform/platform.h"
#include "bench/sdl_audio_bench.h"
#include "platform/sdl/sdl_audio.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint64_t kHugeBytes = 200'000'000;


// The calling thread's own CPU time, in milliseconds: a call's cost apart
// from the time other programs on a loaded machine took the core away.
double thread_cpu_ms()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) * 1e-6;
}

double ms_since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A field of /proc/self/status, in megabytes.
double status_mb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0)
            return std::atof(line.c_str() + n + 1) / 1024.0;
    return -1.0;
}

void put(std::vector<uint8_t>& out, uint64_t value, int bytes, bool big_endian = false)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(uint8_t(value >> (8 * (big_endian ? bytes - 1 - i : i))));
}

void put_text(std::vector<uint8_t>& out, const char* text)
{
    out.insert(out.end(), text, text + std::strlen(text));
}

// A PCM WAV header for `data_bytes` of sound.
std::vector<uint8_t> wav_header(uint32_t rate, int channels, int bits, uint32_t data_bytes)
{
    std::vector<uint8_t> out;
    put_text(out, "RIFF");
    put(out, 36 + uint64_t(data_bytes), 4);
    put_text(out, "WAVEfmt ");
    put(out, 16, 4);
    put(out, 1, 2);
    put(out, uint32_t(channels), 2);
    put(out, rate, 4);
    put(out, uint64_t(rate) * uint32_t(channels * bits / 8), 4);
    put(out, uint32_t(channels * bits / 8), 2);
    put(out, uint32_t(bits), 2);
    put_text(out, "data");
    put(out, data_bytes, 4);
    return out;
}

// Writes `head`, then noise up to `total` bytes; or, with `sparse`, a hole
// that reads as zeros and costs no disk.
void write_file(const fs::path& path, const std::vector<uint8_t>& head, uint64_t total, bool sparse)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    if (write(fd, head.data(), head.size()) != ssize_t(head.size())) {
        close(fd);
        return;
    }
    if (sparse) {
        if (ftruncate(fd, off_t(total)) != 0) {
            close(fd);
            return;
        }
    } else {
        std::vector<uint8_t> block(65536);
        uint32_t x = 12345;
        for (uint64_t done = head.size(); done < total;) {
            for (uint8_t& b : block) {
                x = x * 1664525u + 1013904223u;
                b = uint8_t(x >> 24);
            }
            size_t n = size_t(std::min<uint64_t>(block.size(), total - done));
            if (write(fd, block.data(), n) != ssize_t(n))
                break;
            done += n;
        }
    }
    close(fd);
}

// A MIDI file of one track: `events` notes `gap` ticks apart in running status,
// then an escape event (F7) of no bytes when `odd_status` is F7, or any
// other status byte alone, then End of Track.
// Written as it is made, so that a huge one costs this program nothing.
void write_midi(const fs::path& path, int division, uint64_t events, uint8_t odd_status = 0, uint8_t gap = 1)
{
    std::vector<uint8_t> tail;
    if (odd_status != 0)
        tail.insert(tail.end(), {0x01, odd_status, 0x00});
    tail.insert(tail.end(), {0x00, 0xFF, 0x2F, 0x00});
    uint64_t track_bytes = (events > 0 ? 4 + 3 * (events - 1) : 0) + tail.size();
    std::vector<uint8_t> out;
    put_text(out, "MThd");
    put(out, 6, 4, true);
    put(out, 0, 2, true);
    put(out, 1, 2, true);
    put(out, uint32_t(division), 2, true);
    put_text(out, "MTrk");
    put(out, track_bytes, 4, true);
    if (events > 0)
        out.insert(out.end(), {0x00, 0x90, 60, 100});
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    for (uint64_t i = 1; i < events; ++i) {
        out.push_back(gap);
        out.push_back(uint8_t(48 + i % 24));
        out.push_back(uint8_t(i % 2 ? 0 : 100));
        if (out.size() >= 65536) {
            file.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
            out.clear();
        }
    }
    out.insert(out.end(), tail.begin(), tail.end());
    file.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
}

// A short click, the effect started every frame after the case's own.
fs::path frame_effect()
{
    fs::path path = work_folder / "click.wav";
    std::vector<uint8_t> bytes = wav_header(44100, 1, 16, 8820);
    for (int i = 0; i < 4410; ++i)
        put(bytes, uint16_t(int16_t(8000 * std::sin(i * 0.1) * std::exp(-i / 800.0))), 2);
    write_file(path, bytes, bytes.size(), false);
    return path;
}

// Plays on for `seconds` at the game's pace and gives the longest start of
// the frame's effect.
double play_on(double seconds)
{
    std::string click = frame_effect().string();
    double longest = 0.0;
    Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
        Clock::time_point start = Clock::now();
        plat_play_sound(click.c_str(), 1);
        sdl_audio_poll();
        longest = std::max(longest, ms_since(start));
        SDL_Delay(16);
    }
    return longest;
}

void report(benchmark::State& state, double first_ms, double first_cpu_ms, double later_ms, double rss_before)
{
    state.counters["first_call_ms"] = first_ms;
    state.counters["first_call_cpu_ms"] = first_cpu_ms;
    state.counters["longest_later_ms"] = later_ms;
    state.counters["peak_mb"] = status_mb("VmHWM:");
    state.counters["rss_growth_mb"] = status_mb("VmRSS:") - rss_before;
}

enum EffectCase { kOneHertz, kOneHertzTenThousand, kValidHuge, kNotWavHuge, kLargestValid };

void effect_case(benchmark::State& state, EffectCase which)
{
    if (!audio_open) {
        state.SkipWithError("no audio device");
        return;
    }
    fs::path path = work_folder / "ex2.wav";
    switch (which) {
    case kOneHertz: // 30 KB that says 1 sample a second
        write_file(path, wav_header(1, 1, 16, 30000 - 44), 30000, false);
        break;
    case kOneHertzTenThousand:
        write_file(path, wav_header(1, 1, 16, 10000), 10044, false);
        break;
    case kValidHuge: // 200 MB of 16-bit stereo at 44.1 kHz
        write_file(path, wav_header(44100, 2, 16, uint32_t(kHugeBytes - 44)), kHugeBytes, true);
        break;
    case kNotWavHuge:
        write_file(path, {'n', 'o', 't', ' ', 'a', ' ', 's', 'o', 'u', 'n', 'd', '!'}, kHugeBytes, true);
        break;
    case kLargestValid: // 4 MiB of 16-bit stereo at 44.1 kHz, noise
        write_file(path, wav_header(44100, 2, 16, (4u << 20) - 44), 4u << 20, false);
        break;
    }
    double rss_before = status_mb("VmRSS:");
    for (auto _ : state) {
        double cpu_start = thread_cpu_ms();
        Clock::time_point start = Clock::now();
        plat_play_sound(path.c_str(), 1);
        double first = ms_since(start);
        double first_cpu = thread_cpu_ms() - cpu_start;
        state.SetIterationTime(first / 1e3);
        report(state, first, first_cpu, play_on(1.0), rss_before);
    }
    Mix_HaltChannel(-1);
}
BENCHMARK_CAPTURE(effect_case, wav_one_hertz, kOneHertz)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(effect_case, wav_one_hertz_10000_bytes, kOneHertzTenThousand)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(effect_case, wav_valid_200mb, kValidHuge)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(effect_case, not_wav_200mb, kNotWavHuge)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(effect_case, wav_largest_accepted, kLargestValid)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

enum MusicCase { kHugePiece, kLargestPiece, kLargestChord, kTimeCode, kOddEvent, kZeroLength };

void music_case(benchmark::State& state, MusicCase which)
{
    if (!audio_open) {
        state.SkipWithError("no audio device");
        return;
    }
    fs::path path = work_folder / "MUSIC4.MID";
    switch (which) {
    case kHugePiece:
        write_midi(path, 480, kHugeBytes / 3);
        break;
    case kLargestPiece: // just under 1 MiB, the limit: 350,000 notes a tick apart
        write_midi(path, 480, ((1u << 20) - 100) / 3);
        break;
    case kLargestChord: // the same notes all at once: a piece of no length
        write_midi(path, 480, ((1u << 20) - 100) / 3, 0, 0);
        break;
    case kTimeCode: // 25 frames a second, 40 ticks a frame
        write_midi(path, 0xE728, 100);
        break;
    case kOddEvent:
        write_midi(path, 480, 100, 0xF7);
        break;
    case kZeroLength: // End of Track alone
        write_midi(path, 480, 0);
        break;
    }
    fs::path previous = fs::current_path();
    fs::current_path(work_folder);
    double rss_before = status_mb("VmRSS:");
    for (auto _ : state) {
        double cpu_start = thread_cpu_ms();
        Clock::time_point start = Clock::now();
        plat_music_set_text(kMusicDeviceType, "Sequencer");
        plat_music_set_text(kMusicCommand, "Open");
        plat_music_set_text(kMusicCommand, "play");
        double first = ms_since(start);
        double first_cpu = thread_cpu_ms() - cpu_start;
        state.SetIterationTime(first / 1e3);
        report(state, first, first_cpu, play_on(which == kZeroLength || which == kLargestChord ? 3.0 : 2.0), rss_before);
    }
    plat_music_set_text(kMusicCommand, "close");
    fs::current_path(previous);
}
BENCHMARK_CAPTURE(music_case, midi_200mb, kHugePiece)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(music_case, midi_largest_accepted, kLargestPiece)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(music_case, midi_largest_chord, kLargestChord)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(music_case, midi_time_code, kTimeCode)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(music_case, midi_odd_event, kOddEvent)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(music_case, midi_zero_length, kZeroLength)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return audio_bench_main(argc, argv, "pelmaric-bench-hostile"); }
