// event_text.h -- window events as lines of text: "FRAME KIND ARGS...", for scripts and tools.
//
//     12 move 400 250      # the pointer to (400, 250)
//     13 keydown 65        # A
//     13 keypress 27       # Esc
//     14 mousedown 10 10   # a mouse button
//     20 music-done        # the music's end-of-piece notification
//
// A `#` starts a comment anywhere on a line; blank lines say nothing. FRAME is
// a whole number from 1; key codes are whole numbers from -32768 to 32767;
// coordinates are decimal numbers within a float's range.
#pragma once

#include "platform/core/events.h"

#include <cstddef>
#include <string>

enum class LineRead { Event, Nothing, Malformed };

struct TimedEvent {
    long frame;
    WindowEvent event;
};

// Reads one line of `length` bytes (no line end; a final carriage return is
// allowed). On Event fills `out`; on Malformed puts the reason in `why`.
// A NUL byte anywhere makes the line malformed.
LineRead read_event_line(const char* line, size_t length, TimedEvent& out, std::string& why);

// The line read_event_line reads back as `e` at `frame` (no line end).
std::string write_event_line(long frame, const WindowEvent& e);
