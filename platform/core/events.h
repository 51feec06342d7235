// events.h -- the window's events, one list for every backend and the runner.
//
// A backend turns what its window system reports into these events and posts
// them, in plat_process_events and nowhere else it runs the game's code; the
// game takes them from the queue right after, in order, and hands each to its
// handler (shell/dispatch.cpp). The queue knows nothing of the handlers.
#pragma once

#include <cstdint>

// Key codes as the handlers receive them: the code of the key as labelled,
// whatever Shift says.
constexpr int16_t kKeyEsc = 27;
constexpr int16_t kKeyA = 65; // launch from the left
constexpr int16_t kKeyD = 68; // launch from the right
constexpr int16_t kKeyS = 83; // launch from the centre

// Mouse button codes as the handlers receive them.
constexpr int16_t kButtonLeft = 1;
constexpr int16_t kButtonRight = 2;
constexpr int16_t kButtonMiddle = 4;

// The handlers' Shift argument: a bit for each modifier key held.
constexpr int16_t kShiftBit = 1;
constexpr int16_t kCtrlBit = 2;
constexpr int16_t kAltBit = 4;

constexpr int16_t shift_mask(bool shift, bool ctrl, bool alt)
{
    return int16_t((shift ? kShiftBit : 0) | (ctrl ? kCtrlBit : 0) | (alt ? kAltBit : 0));
}

enum class EventKind : uint8_t {
    KeyDown,   // Form_KeyDown(code, shift): a key went down (held keys repeat)
    KeyPress,  // Form_KeyPress(code): a character was typed
    MouseMove, // Form_MouseMove(0, shift, x, y)
    MouseDown, // Form_MouseDown(code, shift, x, y): code is the button
    MusicDone, // MMControl1_Done(): the music has played to its end
};

struct WindowEvent {
    EventKind kind;
    int16_t code;  // key code, or button code
    int16_t shift; // kShiftBit, kCtrlBit, kAltBit
    float x, y;    // client pixels, fractions kept
};

inline WindowEvent key_down(int16_t code, int16_t shift = 0) { return {EventKind::KeyDown, code, shift, 0, 0}; }
inline WindowEvent key_press(int16_t code) { return {EventKind::KeyPress, code, 0, 0, 0}; }
inline WindowEvent mouse_move(float x, float y, int16_t shift = 0) { return {EventKind::MouseMove, 0, shift, x, y}; }
inline WindowEvent mouse_down(float x, float y, int16_t button = kButtonLeft, int16_t shift = 0)
{
    return {EventKind::MouseDown, button, shift, x, y};
}
inline WindowEvent music_done() { return {EventKind::MusicDone, 0, 0, 0, 0}; }

// Queues an event for the next plat_process_events. Backends call it as they
// translate their input; the tests and the runner call it for their scripts.
// While a kept game is watched the player's events are dropped here
// (platform/core/recording.h).
// Room for thousands of events is made once, so a real window's input never
// allocates; only a script that queues more in one frame makes the queue grow.
void post_event(const WindowEvent& e);

// A key going down as the handlers receive it: Form_KeyDown, and for Esc
// also Form_KeyPress, since Esc is the one key the game reads that types a
// character. Backends call it for their keys and for what stands for a key
// (a pad's launch button, Back + Start).
void post_key(int16_t code, int16_t shift = 0);

// How many events wait.
int pending_events();

// The waiting event `index` places from the oldest (0 .. pending_events() - 1),
// left in the queue: for tests that look at what a backend posted.
WindowEvent peek_event(int index);

// The game's side of the queue, once a frame right after plat_process_events:
// begin_event_handover, then take_event until it returns false, handing each
// event to its handler before taking the next. The hand-over begins a frame
// of the game being kept (platform/core/recording.h).
void begin_event_handover();
// Takes the oldest queued event into *e and notes it in the game being kept;
// false when none waits. The event has left the queue before its handler
// runs, so an Esc that ends the game leaves the events after it unhandled.
bool take_event(WindowEvent* e);

// Empties the queue without handling anything (a new game in the same process).
void forget_events();
