// pad.cpp -- what the pads did, turned into the game's mouse moves and key presses once a frame.
#include "platform/core/pad.h"

#include "platform/core/events.h"
#include "platform/core/pause.h"
#include "platform/platform.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

PadState pads[kPadSlots];

// What pad_frame saw of each pad the frame before: which buttons were down,
// and when a held launch button next repeats.
struct PadMemory {
    bool was_held[kPadButtonCount];
    uint64_t next_repeat[kPadButtonCount];
    int dpad_frames; // frames the d-pad has been held in some direction
};
PadMemory memory[kPadSlots];

float aim_x = 0, aim_y = 0;

// The key a launch button stands for, laid out as the launch points are:
// West and the left shoulder the left, South the centre, East and the right
// shoulder the right. 0 for the other buttons.
int16_t launch_key(int button)
{
    switch (button) {
    case kPadWest: case kPadLeftShoulder: return kKeyA;
    case kPadSouth: return kKeyS;
    case kPadEast: case kPadRightShoulder: return kKeyD;
    default: return 0;
    }
}

// Posts one pad's buttons: presses at once, held launch buttons as repeats.
void buttons_frame(const PadState& pad, PadMemory& m, uint64_t now_ms)
{
    bool pressed[kPadButtonCount];
    for (int b = 0; b < kPadButtonCount; ++b) {
        pressed[b] = pad.tapped[b] || (pad.held[b] && !m.was_held[b]);
        const int16_t key = launch_key(b);
        if (key == 0)
            continue;
        if (pressed[b]) {
            post_key(key);
            m.next_repeat[b] = now_ms + kRepeatDelayMs;
        } else if (pad.held[b] && now_ms >= m.next_repeat[b]) {
            post_key(key);
            // One repeat a frame at most: a stalled frame does not bring a burst.
            m.next_repeat[b] = std::max(m.next_repeat[b] + kRepeatIntervalMs, now_ms + 1);
        }
    }
    // Both together end the game, as Esc does: when the second of them goes down.
    const bool back = pad.held[kPadBack] || pad.tapped[kPadBack];
    const bool start = pad.held[kPadStart] || pad.tapped[kPadStart];
    if (back && start && (pressed[kPadBack] || pressed[kPadStart]))
        post_key(kKeyEsc);
    else if (pressed[kPadStart] && !back)
        pause_ask();
    for (int b = 0; b < kPadButtonCount; ++b)
        m.was_held[b] = pad.held[b];
}

// The d-pad's speed in its n-th frame held (from 0), game pixels a frame.
double dpad_speed(int n)
{
    if (n < kDpadFineFrames)
        return 1.0;
    return std::min(kStickTopSpeed, 1.0 + (kStickTopSpeed - 1.0) * (n - kDpadFineFrames + 1) / kDpadRampFrames);
}

// One pad's move of the crosshair this frame, in game pixels.
void aim_frame(const PadState& pad, PadMemory& m, double& dx, double& dy)
{
    const double x = std::clamp(double(pad.stick_x), -1.0, 1.0);
    const double y = std::clamp(double(pad.stick_y), -1.0, 1.0);
    const double tilt = std::hypot(x, y);
    if (tilt > kStickDeadZone) {
        const double t = std::min(1.0, (tilt - kStickDeadZone) / (1.0 - kStickDeadZone));
        const double speed = kStickTopSpeed * t * t;
        dx += x / tilt * speed;
        dy += y / tilt * speed;
    }
    const bool dpad = pad.held[kPadRight] || pad.held[kPadLeft] || pad.held[kPadDown] || pad.held[kPadUp];
    const double speed = dpad_speed(m.dpad_frames);
    m.dpad_frames = dpad ? m.dpad_frames + 1 : 0;
    dx += (int(pad.held[kPadRight]) - int(pad.held[kPadLeft])) * speed;
    dy += (int(pad.held[kPadDown]) - int(pad.held[kPadUp])) * speed;
}

} // namespace

PadState& pad_slot(int slot) { return pads[slot]; }

void pad_button(PadState& pad, int button, bool down)
{
    if (button < 0 || button >= kPadButtonCount)
        return;
    if (down && !pad.held[button])
        pad.tapped[button] = true;
    pad.held[button] = down;
}

void pad_unplug(PadState& pad) { pad = PadState{}; }

void pad_aim_at(float x, float y)
{
    aim_x = x;
    aim_y = y;
}

void post_pointer_move(float x, float y, int16_t shift)
{
    pad_aim_at(x, y);
    post_event(mouse_move(x, y, shift));
}

float pad_aim_x() { return aim_x; }
float pad_aim_y() { return aim_y; }

bool pad_frame(uint64_t now_ms)
{
    double dx = 0, dy = 0;
    for (int s = 0; s < kPadSlots; ++s) {
        PadState& pad = pads[s];
        if (!pad.connected) {
            memory[s] = PadMemory{};
            continue;
        }
        buttons_frame(pad, memory[s], now_ms);
        std::fill(std::begin(pad.tapped), std::end(pad.tapped), false);
        aim_frame(pad, memory[s], dx, dy);
    }
    if (dx == 0 && dy == 0)
        return false;
    // Inside the picture: the last whole pixel is as far as the aim goes.
    const float x = float(std::clamp(double(aim_x) + dx, 0.0, double(kClientWidth - 1)));
    const float y = float(std::clamp(double(aim_y) + dy, 0.0, double(kClientHeight - 1)));
    if (x == aim_x && y == aim_y)
        return false;
    aim_x = x;
    aim_y = y;
    post_event(mouse_move(x, y));
    return true;
}

PadWhilePaused pad_paused_frame()
{
    PadWhilePaused asked = PadWhilePaused::Nothing;
    for (int s = 0; s < kPadSlots; ++s) {
        PadState& pad = pads[s];
        PadMemory& m = memory[s];
        if (!pad.connected) {
            m = PadMemory{};
            continue;
        }
        auto pressed = [&](int b) { return pad.tapped[b] || (pad.held[b] && !m.was_held[b]); };
        const bool back = pad.held[kPadBack] || pad.tapped[kPadBack];
        const bool start = pad.held[kPadStart] || pad.tapped[kPadStart];
        if (back && start && (pressed(kPadBack) || pressed(kPadStart)))
            asked = PadWhilePaused::End;
        else if (asked == PadWhilePaused::Nothing && ((pressed(kPadStart) && !back) || pressed(kPadSouth)))
            asked = PadWhilePaused::PlayOn;
        for (int b = 0; b < kPadButtonCount; ++b) {
            m.was_held[b] = pad.held[b];
            if (pad.held[b])
                m.next_repeat[b] = UINT64_MAX;
        }
        std::fill(std::begin(pad.tapped), std::end(pad.tapped), false);
    }
    return asked;
}

void pad_forget()
{
    for (int s = 0; s < kPadSlots; ++s) {
        pads[s] = PadState{};
        memory[s] = PadMemory{};
    }
    aim_x = 0;
    aim_y = 0;
}
