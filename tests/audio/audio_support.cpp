// audio_support.cpp -- fixtures, output capture and handler recorders for the audio tests.
#include "tests/audio/audio_support.h"

#include "platform/core/events.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/sdl_audio_stats.h"
#include "shell/handlers.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

// ---- Handlers ----------------------------------------------------------------------

std::vector<DoneCall> done_calls;
int restarts_wanted = 0;
std::string done_output_file;

namespace {
bool in_poll = false;
std::thread::id test_thread = std::this_thread::get_id();
} // namespace

void reset_handlers()
{
    done_calls.clear();
    restarts_wanted = 0;
    done_output_file.clear();
    test_thread = std::this_thread::get_id();
}

// As the backend's plat_process_events and the game's hand-over after it
// do: the poll queues the end of the piece, and taking it from the queue
// runs the notification.
void poll_audio()
{
    in_poll = true;
    sdl_audio_poll();
    begin_event_handover();
    WindowEvent e;
    while (take_event(&e))
        if (e.kind == EventKind::MusicDone)
            MMControl1_Done();
    in_poll = false;
}

void MMControl1_Done()
{
    uint64_t frames = 0;
    if (!done_output_file.empty()) {
        std::error_code error;
        uintmax_t size = std::filesystem::file_size(done_output_file, error);
        frames = error ? 0 : uint64_t(size) / (2 * sizeof(float));
    }
    DoneCall call{in_poll, std::this_thread::get_id() == test_thread, now_seconds(), -1.0, frames};
    if (restarts_wanted > 0) {
        --restarts_wanted;
        double start = now_seconds();
        plat_music_set_text(kMusicCommand, "close");
        plat_music_set_text(kMusicCommand, "open");
        plat_music_set_text(kMusicCommand, "play");
        call.restart_ms = (now_seconds() - start) * 1e3;
    }
    done_calls.push_back(call);
}

// ---- Files -------------------------------------------------------------------------

TempFolder::TempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "pelmaric-audio-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr)
        throw std::runtime_error("cannot make a temporary folder");
    path = name.data();
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> read_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {
void put_le(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}
void put_text(std::vector<uint8_t>& out, const char* text)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(text[i]));
}
} // namespace

std::vector<uint8_t> wav_bytes(const std::vector<float>& samples, int rate, int bits)
{
    int bytes_per_sample = bits / 8;
    uint32_t data_size = uint32_t(samples.size()) * uint32_t(bytes_per_sample);
    std::vector<uint8_t> out;
    put_text(out, "RIFF");
    put_le(out, 36 + data_size, 4);
    put_text(out, "WAVE");
    put_text(out, "fmt ");
    put_le(out, 16, 4);
    put_le(out, 1, 2); // PCM
    put_le(out, 1, 2); // mono
    put_le(out, uint32_t(rate), 4);
    put_le(out, uint32_t(rate * bytes_per_sample), 4);
    put_le(out, uint32_t(bytes_per_sample), 2);
    put_le(out, uint32_t(bits), 2);
    put_text(out, "data");
    put_le(out, data_size, 4);
    for (float s : samples) {
        float c = std::clamp(s, -1.0f, 1.0f);
        if (bits == 8)
            out.push_back(uint8_t(std::lround(128.0f + c * 127.0f)));
        else
            put_le(out, uint32_t(uint16_t(int16_t(std::lround(c * 32767.0f)))), 2);
    }
    return out;
}

std::vector<float> sine(double frequency, double seconds, double amplitude, int rate)
{
    std::vector<float> out(size_t(std::lround(seconds * rate)));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = float(amplitude * std::sin(2.0 * M_PI * frequency * double(i) / rate));
    return out;
}

std::vector<float> noise(double seconds, double amplitude, int rate, uint32_t seed)
{
    std::vector<float> out(size_t(std::lround(seconds * rate)));
    uint32_t x = seed | 1u;
    for (float& s : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s = float(amplitude * (double(x) / 2147483648.0 - 1.0));
    }
    return out;
}

std::vector<float> square(double frequency, double seconds, int rate)
{
    std::vector<float> out(size_t(std::lround(seconds * rate)));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = std::fmod(double(i) * frequency / rate, 1.0) < 0.5 ? 1.0f : -1.0f;
    return out;
}

std::vector<uint8_t> vlq(uint32_t value)
{
    std::vector<uint8_t> out{uint8_t(value & 0x7F)};
    while (value >>= 7)
        out.insert(out.begin(), uint8_t((value & 0x7F) | 0x80));
    return out;
}

std::vector<uint8_t> smf(int format, int division, const std::vector<std::vector<uint8_t>>& tracks)
{
    auto put_be = [](std::vector<uint8_t>& out, uint32_t value, int bytes) {
        for (int i = bytes - 1; i >= 0; --i)
            out.push_back(uint8_t(value >> (8 * i)));
    };
    std::vector<uint8_t> out;
    put_text(out, "MThd");
    put_be(out, 6, 4);
    put_be(out, uint32_t(format), 2);
    put_be(out, uint32_t(tracks.size()), 2);
    put_be(out, uint32_t(division), 2);
    for (const auto& track : tracks) {
        put_text(out, "MTrk");
        put_be(out, uint32_t(track.size()), 4);
        out.insert(out.end(), track.begin(), track.end());
    }
    return out;
}

// ---- Output --------------------------------------------------------------------------

Capture::Capture(const TempFolder& folder) : file(folder.file("mixed.raw")) {}

bool Capture::open()
{
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    sdl_audio_open();
    Uint16 format = 0;
    if (Mix_QuerySpec(&rate, &format, &channels) == 0)
        return false;
    return format == AUDIO_F32SYS && channels == 2;
}

std::vector<float> Capture::close()
{
    sdl_audio_close();
    std::vector<uint8_t> bytes = read_bytes(file);
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

uint64_t Capture::frames_written() const
{
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(file, error);
    return error || channels <= 0 ? 0 : uint64_t(size) / (sizeof(float) * uint64_t(channels));
}

bool Capture::wait_output(double seconds, bool poll)
{
    const uint64_t target = frames_written() + uint64_t(seconds * rate);
    return wait_until([&] { return frames_written() >= target; }, seconds + 10.0, poll);
}

double now_seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool wait_until(const std::function<bool()>& done, double timeout_seconds, bool poll)
{
    double end = now_seconds() + timeout_seconds;
    while (!done()) {
        if (now_seconds() > end)
            return false;
        if (poll)
            poll_audio();
        SDL_Delay(5);
    }
    return true;
}

bool wait_effects_done(double timeout_seconds)
{
    return wait_until([] { return sdl_audio_stats().effects_decoding == 0 && Mix_Playing(-1) == 0; },
                      timeout_seconds);
}

std::vector<float> left(const std::vector<float>& stereo)
{
    std::vector<float> out(stereo.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = stereo[2 * i];
    return out;
}

float peak(const std::vector<float>& mono, size_t from, size_t to)
{
    float p = 0.0f;
    for (size_t i = from; i < std::min(to, mono.size()); ++i)
        p = std::max(p, std::fabs(mono[i]));
    return p;
}

std::vector<Span> sound_spans(const std::vector<float>& mono, float threshold, size_t bridge)
{
    std::vector<Span> spans;
    for (size_t i = 0; i < mono.size(); ++i) {
        if (std::fabs(mono[i]) <= threshold)
            continue;
        if (!spans.empty() && i - spans.back().last <= bridge)
            spans.back().last = i;
        else
            spans.push_back(Span{i, i});
    }
    return spans;
}

double rising_crossings_per_second(const std::vector<float>& mono, size_t from, size_t to, int rate)
{
    int crossings = 0;
    for (size_t i = from + 1; i <= to && i < mono.size(); ++i)
        if (mono[i - 1] < 0.0f && mono[i] >= 0.0f)
            ++crossings;
    return double(crossings) * rate / double(to - from);
}

double tone_amplitude(const std::vector<float>& mono, size_t from, size_t to, double frequency, int rate)
{
    double w = 2.0 * M_PI * frequency / rate;
    double coeff = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (size_t i = from; i < to && i < mono.size(); ++i) {
        double s0 = mono[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / double(to - from);
}

std::vector<float> window_rms(const std::vector<float>& mono, size_t window)
{
    std::vector<float> out;
    for (size_t i = 0; i + window <= mono.size(); i += window) {
        double sum = 0.0;
        for (size_t j = i; j < i + window; ++j)
            sum += double(mono[j]) * mono[j];
        out.push_back(float(std::sqrt(sum / double(window))));
    }
    return out;
}

// ---- The process -----------------------------------------------------------------------

namespace {
// The number after `field` in a /proc/self file, or 0.
uint64_t proc_number(const char* file, const char* field)
{
    std::ifstream in(file);
    std::string line;
    size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0)
            return std::strtoull(line.c_str() + n, nullptr, 10);
    return 0;
}
} // namespace

double peak_memory_mb() { return double(proc_number("/proc/self/status", "VmHWM:")) / 1024.0; }

uint64_t bytes_read_by_process() { return proc_number("/proc/self/io", "rchar:"); }
