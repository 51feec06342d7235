// pad.h -- game pads as the game's mouse and keys: the stick and d-pad aim, the launch buttons fire and repeat.
//
// A backend reads what its system says of each pad (SDL's controllers, the
// browser's Gamepad API, the page's on-screen launch pads) into a PadState
// and calls pad_frame once a frame. The pads then play as the mouse and
// keyboard do: the stick and d-pad move the crosshair through the same mouse
// move the pointer gives, a launch button is the key A, S or D going down
// (repeating while held, like a held key), and Back and Start held together
// end the game as Esc does. Start alone asks for a pause (platform/core/pause.h),
// so a stray press cannot end a game.
#pragma once

#include <cstdint>

// The buttons as the standard layout numbers them (the browser's "standard"
// mapping gives them in this order), named by where they sit: South is A on
// an Xbox pad, West is X.
enum PadButton : uint8_t {
    kPadSouth, kPadEast, kPadWest, kPadNorth,
    kPadLeftShoulder, kPadRightShoulder, kPadLeftTrigger, kPadRightTrigger,
    kPadBack, kPadStart, kPadLeftStickPress, kPadRightStickPress,
    kPadUp, kPadDown, kPadLeft, kPadRight, kPadGuide,
    kPadButtonCount
};

// One pad as its system reports it.
struct PadState {
    bool connected;
    float stick_x, stick_y;        // the left stick, -1 .. 1, right and down positive
    bool held[kPadButtonCount];    // down now
    bool tapped[kPadButtonCount];  // went down since the last pad_frame, though it may be up again
};

// More pads than players ever plug in; a backend numbers its pads from 0.
constexpr int kPadSlots = 8;

// How a stick's tilt becomes speed: no move inside the radial dead zone (a
// share of full tilt), then a square curve (fine near the centre) up to the
// top speed, in game pixels a frame.
constexpr double kStickDeadZone = 0.15;
constexpr double kStickTopSpeed = 12.0;

// The d-pad moves one game pixel a frame for fine aim during its first
// kDpadFineFrames frames held, then faster each frame, reaching the stick's
// top speed kDpadRampFrames later (half a second in all): the field is
// crossed in under a second and a half.
constexpr int kDpadFineFrames = 8;
constexpr int kDpadRampFrames = 24;

// A held launch button repeats as a held key does on a default desktop:
// first after half a second, then 25 times a second.
constexpr uint64_t kRepeatDelayMs = 500;
constexpr uint64_t kRepeatIntervalMs = 40;

// The pad in `slot` (0 .. kPadSlots - 1), for its backend to fill. A backend
// that reads levels each frame sets `held` and the stick; one told of each
// press and release calls pad_button, so a press shorter than a frame counts.
PadState& pad_slot(int slot);

// A button went down or up, as an event-driven backend hears it.
void pad_button(PadState& pad, int button, bool down);

// The pad was pulled out: nothing of it lingers, a held button stops repeating.
void pad_unplug(PadState& pad);

// The pointer (or a finger) put the crosshair at (x, y), game pixels: the
// pads carry on from there, with no jump. The crosshair starts where the
// game starts it, (0, 0).
void pad_aim_at(float x, float y);

// The pointer (or a finger) moved to (x, y), game pixels: posts the game's
// mouse move, with the modifier keys in `shift`, and puts the pads' aim
// there. A backend hands the game every pointer move through this.
void post_pointer_move(float x, float y, int16_t shift = 0);

// Where the crosshair was last put, by the pointer or a pad.
float pad_aim_x();
float pad_aim_y();

// Once a frame, from plat_process_events, before the queued events are
// handed over: posts what the pads did (launch presses and their repeats,
// Back + Start as Esc, the crosshair's move, kept inside the picture).
// `now_ms` is the backend's clock in milliseconds, for the repeats. True
// when the pads moved the crosshair.
bool pad_frame(uint64_t now_ms);

// What the pads ask while the game is paused.
enum class PadWhilePaused { Nothing, PlayOn, End };

// Instead of pad_frame while the game is paused, each time the backend looks
// at its pads: Start or South pressed plays on, Back and Start together end
// the game (the caller posts Esc). Nothing is posted, and what is held now is
// taken as seen: a button held through the pause (the one that played on
// among them) neither launches nor repeats until it is pressed again.
PadWhilePaused pad_paused_frame();

// Every pad unplugged and the crosshair back at (0, 0): a new game in the
// same process (the memory backend's reset).
void pad_forget();
