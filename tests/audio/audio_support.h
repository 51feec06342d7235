// audio_support.h -- what the audio tests share: fixtures written on the fly,
// the captured output of the mixer, and the game's handlers as recorders.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// ---- The handlers of shell/handlers.h, as the tests see them ------------------

// One MMControl1_Done call.
struct DoneCall {
    bool inside_poll;     // raised while poll_audio() was running
    bool on_test_thread;  // on the thread that runs the test
    double seconds;       // steady-clock time of the call
    double restart_ms;    // time spent restarting the piece, when it did
    uint64_t output_frames; // frames in the output file then (see done_output_file)
};

// Every MMControl1_Done since the last reset, and how many of them should
// restart the piece the way the game does (close, open, play).
extern std::vector<DoneCall> done_calls;
extern int restarts_wanted;
// The disk driver's output file, whose size each call notes; empty: none.
extern std::string done_output_file;
void reset_handlers();

// Calls sdl_audio_poll the way plat_process_events does, marking that a
// notification raised now came from inside it.
void poll_audio();

// ---- Files -----------------------------------------------------------------------

// A fresh folder under the temporary folder, removed with its contents when
// the object goes.
struct TempFolder {
    std::string path;
    TempFolder();
    ~TempFolder();
    std::string file(const std::string& name) const { return path + "/" + name; }
};

void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> read_bytes(const std::string& path);

// A PCM WAV file of mono samples in [-1, 1] (values outside are clamped),
// 16 or 8 bits.
std::vector<uint8_t> wav_bytes(const std::vector<float>& samples, int rate, int bits = 16);

std::vector<float> sine(double frequency, double seconds, double amplitude, int rate);
std::vector<float> noise(double seconds, double amplitude, int rate, uint32_t seed);
// A full-scale square wave: every sample at +1 or -1.
std::vector<float> square(double frequency, double seconds, int rate);

// A Standard MIDI File from raw track bodies (events with delta times,
// End of Track included by the caller).
std::vector<uint8_t> smf(int format, int division, const std::vector<std::vector<uint8_t>>& tracks);
std::vector<uint8_t> vlq(uint32_t value);

// ---- The mixer's output --------------------------------------------------------

// Opens the backend on SDL's disk audio driver writing into a file of
// `folder`; close() closes the backend and reads the samples back
// (interleaved stereo floats, the format the backend opens).
struct Capture {
    std::string file;
    int rate = 0;
    int channels = 0;
    explicit Capture(const TempFolder& folder);
    // False when the backend did not open the format this reader expects.
    bool open();
    std::vector<float> close();
    // Waits until the mixer has written `seconds` more of output: a pause
    // measured on the audio clock.
    bool wait_output(double seconds, bool poll = true);
    // Frames the mixer has written so far: the audio clock's reading.
    uint64_t frames_written() const;
};

// Polls `done` every few milliseconds (calling poll_audio() in between, as
// the game's frames would, unless `poll` is false) until it holds or
// `timeout_seconds` pass.
bool wait_until(const std::function<bool()>& done, double timeout_seconds, bool poll = true);

// Waits until no effect is being decoded or waits to start, and no effect
// channel is playing.
bool wait_effects_done(double timeout_seconds = 10.0);

double now_seconds();

// The left channel of interleaved stereo.
std::vector<float> left(const std::vector<float>& stereo);

float peak(const std::vector<float>& mono, size_t from = 0, size_t to = SIZE_MAX);

// Runs of sound: stretches where |sample| > threshold, joined across gaps
// shorter than `bridge` samples. Each as [first, last] sample indexes.
struct Span {
    size_t first, last;
    size_t length() const { return last - first + 1; }
};
std::vector<Span> sound_spans(const std::vector<float>& mono, float threshold, size_t bridge);

// Crossings of zero going up per second between two indexes: the frequency
// of a clean tone.
double rising_crossings_per_second(const std::vector<float>& mono, size_t from, size_t to, int rate);

// The strength of one frequency in a stretch (Goertzel), as an amplitude.
double tone_amplitude(const std::vector<float>& mono, size_t from, size_t to, double frequency, int rate);

// RMS of consecutive windows of `window` samples.
std::vector<float> window_rms(const std::vector<float>& mono, size_t window);

// ---- The process ---------------------------------------------------------------

// The peak resident memory so far (VmHWM), in megabytes.
double peak_memory_mb();
// Bytes read so far by the whole process through read() and pread() (rchar).
uint64_t bytes_read_by_process();
