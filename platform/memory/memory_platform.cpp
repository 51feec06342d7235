// memory_platform.cpp -- the platform with no window: a manual clock, a log of the audio calls.
#include "platform/memory/memory_platform.h"

#include "platform/core/backend.h"
#include "platform/core/music_device.h"
#include "platform/core/pad.h"
#include "platform/core/pause.h"
#include "platform/core/picture.h"
#include "platform/core/recording.h"

namespace {

uint32_t tick = 0;
uint32_t tick_step = 16;
uint32_t tick_held = 0; // readings still to come before the clock moves again
uint64_t tick_reads = 0;

bool pointer_shown = true;
PictureShows shows{};

uint64_t processing_calls = 0;

std::string program_folder = "/pelmaric";
std::vector<AudioCall> audio_calls;
std::vector<std::string> device_calls;

std::string kept_game;
std::string replay_verdict;
bool replay_matched = false;

} // namespace

void mem_reset(int w, int h, const std::string& folder)
{
    picture_resize(w, h);
    forget_events();
    pad_forget();
    pause_forget();
    tick = 0;
    tick_step = 16;
    tick_held = 0;
    tick_reads = 0;
    pointer_reset();
    pointer_shown = true;
    shows = PictureShows{};
    processing_calls = 0;
    program_folder = folder;
    audio_calls.clear();
    device_calls.clear();
    music_control_reset();
    recording_reset();
    kept_game.clear();
    replay_verdict.clear();
    replay_matched = false;
}

void mem_set_client_size(int w, int h) { picture_resize(w, h); }

Rgb mem_pixel(int x, int y)
{
    if (x < 0 || y < 0 || x >= picture_width() || y >= picture_height())
        return Rgb{0, 0, 0};
    return picture_rgb(picture_pixels()[size_t(y) * size_t(picture_width()) + size_t(x)]);
}

uint64_t mem_pixel_writes() { return picture_pixel_writes(); }

void mem_set_tick(uint32_t value) { tick = value; }
void mem_set_tick_step(uint32_t step) { tick_step = step; }
void mem_hold_tick(uint32_t readings) { tick_held = readings; }
uint64_t mem_tick_reads() { return tick_reads; }

int32_t mem_cursor_counter() { return pointer_counter(); }
void mem_set_cursor_counter(int32_t value) { pointer_set_counter(value); }
uint64_t mem_cursor_calls() { return pointer_calls(); }
bool mem_pointer_shown() { return pointer_shown; }

PictureShows mem_picture_shows() { return shows; }

const std::vector<AudioCall>& mem_audio_calls() { return audio_calls; }
const std::vector<std::string>& mem_music_device_calls() { return device_calls; }
uint64_t mem_event_processing_calls() { return processing_calls; }

// ---- platform.h ------------------------------------------------------------

void plat_open_window() {}

// Nobody sees this picture; it is taken as shown, as a window would take it,
// and the call is counted, so the tests can tell when the frame loop shows
// its work.
void plat_show_picture()
{
    ++shows.count;
    shows.tick_reads = tick_reads;
    picture_forget_changes();
}

void plat_process_events()
{
    ++processing_calls;
}

void backend_show_pointer(bool shown) { pointer_shown = shown; }

// The runner plays every frame it is given: a pause asked for (a pad's
// Start) is passed over, and no time stands still.
void plat_hold_while_paused() {}

uint32_t plat_tick_count()
{
    ++tick_reads;
    uint32_t now = tick;
    if (tick_held > 0)
        --tick_held;
    else
        tick += tick_step;
    return now;
}

const char* plat_program_folder() { return program_folder.c_str(); }

void plat_end_program() { throw ProgramEnded{}; }

void plat_keep_game(const char* text, size_t size) { kept_game.assign(text, size); }

void plat_end_replay(const char* verdict, bool matched)
{
    replay_verdict = verdict;
    replay_matched = matched;
    throw ProgramEnded{};
}

const std::string& mem_kept_game() { return kept_game; }
const std::string& mem_replay_verdict() { return replay_verdict; }
bool mem_replay_matched() { return replay_matched; }

void plat_play_sound(const char* path, int32_t flags)
{
    audio_calls.push_back(AudioCall{true, path, flags});
}

// ---- music_device.h ----------------------------------------------------------

void music_device_note_write(int16_t id, const char* value_text)
{
    audio_calls.push_back(AudioCall{false, value_text, id});
}

bool music_device_open(const char* path)
{
    device_calls.push_back(std::string("open ") + path);
    return true;
}

void music_device_play() { device_calls.push_back("play"); }
void music_device_close() { device_calls.push_back("close"); }
