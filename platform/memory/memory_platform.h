// memory_platform.h -- the in-memory backend's controls, for tests and the runner.
//
// The memory backend draws into an RGB array, takes its events from a script,
// reads a clock that never waits in real time and records every audio call.
// Ending the program throws ProgramEnded, which the runner and the tests
// catch, so a run can end without ending the process.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <vector>

// Thrown by plat_end_program on this backend.
struct ProgramEnded {};

enum class EventKind { MouseMove, KeyDown, KeyPress, MouseDown, MusicDone };

struct ScriptedEvent {
    EventKind kind;
    int16_t code;  // key code for KeyDown and KeyPress
    float x, y;    // position for MouseMove and MouseDown
};

// One audio call: a sound effect start or a music-control property write.
struct AudioCall {
    bool is_sound;
    std::string name;   // effect path, or the property's value as text
    int32_t value;      // effect flags, or the property identifier
};

// Back to a new machine: a black W x H surface, pointer counter 0, clock 0
// advancing 16 ms per read, no queued events, empty logs, the program folder
// set to `folder`.
void mem_reset(int w = 800, int h = 600, const std::string& folder = "/pelmaric");

// Resizes the client area (and the surface, cleared to black).
void mem_set_client_size(int w, int h);

// The colour of a pixel of the surface; (0, 0, 0) outside it.
Rgb mem_pixel(int x, int y);

// Whole surface, row-major RGB triplets, for screenshots.
const std::vector<Rgb>& mem_surface();
int mem_width();
int mem_height();

// Queues an event for the next plat_process_events call.
void mem_push_event(const ScriptedEvent& event);
size_t mem_pending_events();

// How many plat_set_pixel calls were made, and how many at (0, 0).
uint64_t mem_pixel_writes();
uint64_t mem_pixel_writes_at_origin();

// The clock: its next reading, and how much each reading advances it.
void mem_set_tick(uint32_t tick);
void mem_set_tick_step(uint32_t step);
uint64_t mem_tick_reads();

// The pointer's display counter, as it stands and set directly.
int32_t mem_cursor_counter();
void mem_set_cursor_counter(int32_t value);
uint64_t mem_cursor_calls();

// Every audio call since the last reset, in order.
const std::vector<AudioCall>& mem_audio_calls();

// What the music device has been asked to do, for tests: "open PATH", "play",
// "close".
const std::vector<std::string>& mem_music_device_calls();

// Counts plat_process_events calls; the notification must arrive only there.
uint64_t mem_event_processing_calls();
