// memory_platform.h -- the in-memory backend's controls, for tests and the runner.
//
// The memory backend shows the picture to nobody, takes its events from the
// queue its caller fills (post_event), reads a clock that never waits in real
// time and records every audio call. Ending the program throws ProgramEnded,
// which the runner and the tests catch, so a run can end without ending the
// process.
#pragma once

#include "platform/core/events.h"
#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <vector>

// Thrown by plat_end_program on this backend.
struct ProgramEnded {};

// One audio call: a sound effect start or a music-control property write.
struct AudioCall {
    bool is_sound;
    std::string name;   // effect path, or the property's value as text
    int32_t value;      // effect flags, or the property identifier
};

// Back to a new machine: a black W x H picture, pointer counter 0 (pointer
// shown), clock 0 advancing 16 ms per read, no queued events, no pads, empty
// logs and counts, no game kept or watched, the program folder set to `folder`.
void mem_reset(int w = kClientWidth, int h = kClientHeight, const std::string& folder = "/pelmaric");

// Resizes the client area (the picture, cleared to black), as a user might
// resize the window while the game runs.
void mem_set_client_size(int w, int h);

// The colour of a pixel of the picture; (0, 0, 0) outside it.
Rgb mem_pixel(int x, int y);


// How many plat_set_pixel calls were made since the reset.
uint64_t mem_pixel_writes();

// The clock: its next reading, and how much each reading advances it.
// mem_hold_tick(n): the next n readings leave it where it stands.
void mem_set_tick(uint32_t tick);
void mem_set_tick_step(uint32_t step);
void mem_hold_tick(uint32_t readings);
uint64_t mem_tick_reads();

// The pointer's display counter, as it stands and set directly; the
// plat_show_cursor calls since the reset; and whether the pointer would show
// over the window, as the counter last told this backend.
int32_t mem_cursor_counter();
void mem_set_cursor_counter(int32_t value);
uint64_t mem_cursor_calls();
bool mem_pointer_shown();

// The plat_show_picture calls since the reset, and the clock readings made
// before the last of them. Each call also forgets the picture's record of
// changes (platform/core/picture.h), as a backend does once it has shown them.
struct PictureShows {
    uint64_t count;
    uint64_t tick_reads;
};
PictureShows mem_picture_shows();

// Every audio call since the last reset, in order.
const std::vector<AudioCall>& mem_audio_calls();

// What the music device has been asked to do, for tests: "open PATH", "play",
// "close".
const std::vector<std::string>& mem_music_device_calls();

// Counts plat_process_events calls; the notification must arrive only there.
uint64_t mem_event_processing_calls();

// The last game kept (plat_keep_game) since the reset; empty if none.
const std::string& mem_kept_game();

// The verdict of the last watched game and whether it matched; "" if none.
const std::string& mem_replay_verdict();
bool mem_replay_matched();
