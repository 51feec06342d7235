// memory_platform.cpp -- the platform on an in-memory surface with a manual clock.
#include "platform/memory/memory_platform.h"

#include "platform/music_device.h"
#include "shell/handlers.h"

#include <cmath>
#include <deque>

namespace {

int width = 800;
int height = 600;
std::vector<Rgb> surface(size_t(800) * 600);
std::deque<ScriptedEvent> events;

uint64_t pixel_writes = 0;
uint64_t origin_writes = 0;

uint32_t tick = 0;
uint32_t tick_step = 16;
uint64_t tick_reads = 0;

int32_t cursor_counter = 0;
uint64_t cursor_calls = 0;

uint64_t processing_calls = 0;

std::string program_folder = "/pelmaric";
std::vector<AudioCall> audio_calls;
std::vector<std::string> device_calls;

void put(int32_t x, int32_t y, Rgb colour)
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return;
    surface[size_t(y) * width + x] = colour;
}

int32_t whole(float v) { return int32_t(std::nearbyint(double(v))); }

} // namespace

void mem_reset(int w, int h, const std::string& folder)
{
    mem_set_client_size(w, h);
    events.clear();
    pixel_writes = origin_writes = 0;
    tick = 0;
    tick_step = 16;
    tick_reads = 0;
    cursor_counter = 0;
    cursor_calls = 0;
    processing_calls = 0;
    program_folder = folder;
    audio_calls.clear();
    device_calls.clear();
    music_control_reset();
}

void mem_set_client_size(int w, int h)
{
    width = w;
    height = h;
    surface.assign(size_t(w) * size_t(h), Rgb{0, 0, 0});
}

Rgb mem_pixel(int x, int y)
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return Rgb{0, 0, 0};
    return surface[size_t(y) * width + x];
}

const std::vector<Rgb>& mem_surface() { return surface; }
int mem_width() { return width; }
int mem_height() { return height; }

void mem_push_event(const ScriptedEvent& event) { events.push_back(event); }
size_t mem_pending_events() { return events.size(); }

uint64_t mem_pixel_writes() { return pixel_writes; }
uint64_t mem_pixel_writes_at_origin() { return origin_writes; }

void mem_set_tick(uint32_t value) { tick = value; }
void mem_set_tick_step(uint32_t step) { tick_step = step; }
uint64_t mem_tick_reads() { return tick_reads; }

int32_t mem_cursor_counter() { return cursor_counter; }
void mem_set_cursor_counter(int32_t value) { cursor_counter = value; }
uint64_t mem_cursor_calls() { return cursor_calls; }

const std::vector<AudioCall>& mem_audio_calls() { return audio_calls; }
const std::vector<std::string>& mem_music_device_calls() { return device_calls; }
uint64_t mem_event_processing_calls() { return processing_calls; }

// ---- platform.h ------------------------------------------------------------

void plat_open_window() {}

float plat_client_width() { return float(width); }
float plat_client_height() { return float(height); }

void plat_set_pixel(int32_t x, int32_t y, Rgb colour)
{
    ++pixel_writes;
    if (x == 0 && y == 0)
        ++origin_writes;
    put(x, y, colour);
}

void plat_draw_line(float x1, float y1, float x2, float y2, Rgb colour)
{
    int32_t ax = whole(x1), ay = whole(y1), bx = whole(x2), by = whole(y2);
    if (ay == by) {
        int32_t step = bx > ax ? 1 : -1;
        for (int32_t x = ax; x != bx; x += step)
            put(x, ay, colour);
    } else if (ax == bx) {
        int32_t step = by > ay ? 1 : -1;
        for (int32_t y = ay; y != by; y += step)
            put(ax, y, colour);
    }
}

void plat_clear() { surface.assign(surface.size(), Rgb{0, 0, 0}); }

void plat_process_events()
{
    ++processing_calls;
    // Take each event off the queue before dispatching it, so that an Esc that
    // ends the run leaves the events after it unhandled, as a real exit would.
    while (!events.empty()) {
        ScriptedEvent e = events.front();
        events.pop_front();
        switch (e.kind) {
        case EventKind::MouseMove: Form_MouseMove(0, 0, e.x, e.y); break;
        case EventKind::KeyDown: Form_KeyDown(e.code, 0); break;
        case EventKind::KeyPress: Form_KeyPress(e.code); break;
        case EventKind::MouseDown: Form_MouseDown(1, 0, e.x, e.y); break;
        case EventKind::MusicDone: MMControl1_Done(); break;
        }
    }
}

int32_t plat_show_cursor(bool show)
{
    ++cursor_calls;
    cursor_counter += show ? 1 : -1;
    return cursor_counter;
}

uint32_t plat_tick_count()
{
    ++tick_reads;
    uint32_t now = tick;
    tick += tick_step;
    return now;
}

const char* plat_program_folder() { return program_folder.c_str(); }

void plat_end_program() { throw ProgramEnded{}; }

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
