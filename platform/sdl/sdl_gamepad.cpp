// sdl_gamepad.cpp -- pads plugged in and out, launch buttons with key repeat, stick and d-pad aim.
#include "platform/sdl/sdl_gamepad.h"

#include "platform/events.h"
#include "platform/platform.h"

#include <algorithm>
#include <cmath>

namespace {

// More pads than players ever plug in; a pad past these is not opened.
constexpr int kMaxPads = 8;

struct Pad {
    SDL_GameController* controller; // null: a free slot
    SDL_JoystickID id;
    bool held[SDL_CONTROLLER_BUTTON_MAX];
    uint64_t next_repeat[SDL_CONTROLLER_BUTTON_MAX]; // for held launch buttons
};

Pad pads[kMaxPads];
bool started = false;

// The key a launch button stands for, laid out as the launch points are:
// West and the left shoulder the left, South the centre, East and the right
// shoulder the right. 0 for the other buttons.
int16_t launch_key(int button)
{
    switch (button) {
    case SDL_CONTROLLER_BUTTON_X: case SDL_CONTROLLER_BUTTON_LEFTSHOULDER: return kKeyA;
    case SDL_CONTROLLER_BUTTON_A: return kKeyS;
    case SDL_CONTROLLER_BUTTON_B: case SDL_CONTROLLER_BUTTON_RIGHTSHOULDER: return kKeyD;
    default: return 0;
    }
}

Pad* find_pad(SDL_JoystickID id)
{
    for (Pad& p : pads)
        if (p.controller != nullptr && p.id == id)
            return &p;
    return nullptr;
}

void plug_in(int device_index)
{
    SDL_GameController* controller = SDL_GameControllerOpen(device_index);
    if (controller == nullptr)
        return;
    const SDL_JoystickID id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
    // The added event of a pad already open (plugged in before start-up) may come twice.
    if (find_pad(id) != nullptr) {
        SDL_GameControllerClose(controller);
        return;
    }
    for (Pad& p : pads) {
        if (p.controller == nullptr) {
            p = Pad{};
            p.controller = controller;
            p.id = id;
            return;
        }
    }
    SDL_GameControllerClose(controller);
}

void unplug(SDL_JoystickID id)
{
    if (Pad* p = find_pad(id)) {
        SDL_GameControllerClose(p->controller);
        *p = Pad{};
    }
}

void press(Pad& p, int button)
{
    p.held[button] = true;
    if (const int16_t key = launch_key(button)) {
        post_event(key_down(key));
        p.next_repeat[button] = SDL_GetTicks64() + kRepeatDelayMs;
    }
    // Both together end the game, as Esc does; Start alone is a stray press.
    if (p.held[SDL_CONTROLLER_BUTTON_BACK] && p.held[SDL_CONTROLLER_BUTTON_START] &&
        (button == SDL_CONTROLLER_BUTTON_BACK || button == SDL_CONTROLLER_BUTTON_START)) {
        post_event(key_down(kKeyEsc));
        post_event(key_press(kKeyEsc));
    }
}

// A stick axis as -1 .. 1.
double axis(SDL_GameController* c, SDL_GameControllerAxis a)
{
    return std::clamp(SDL_GameControllerGetAxis(c, a) / 32767.0, -1.0, 1.0);
}

} // namespace

void gamepad_start()
{
    started = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
}

bool gamepad_event(const SDL_Event& e)
{
    switch (e.type) {
    case SDL_CONTROLLERDEVICEADDED:
        plug_in(e.cdevice.which);
        return true;
    case SDL_CONTROLLERDEVICEREMOVED:
        unplug(e.cdevice.which);
        return true;
    case SDL_CONTROLLERBUTTONDOWN:
        if (Pad* p = find_pad(e.cbutton.which); p != nullptr && e.cbutton.button < SDL_CONTROLLER_BUTTON_MAX)
            press(*p, e.cbutton.button);
        return true;
    case SDL_CONTROLLERBUTTONUP:
        if (Pad* p = find_pad(e.cbutton.which); p != nullptr && e.cbutton.button < SDL_CONTROLLER_BUTTON_MAX)
            p->held[e.cbutton.button] = false;
        return true;
    default:
        return false;
    }
}

bool gamepad_frame(float& aim_x, float& aim_y)
{
    if (!started)
        return false;
    const uint64_t now = SDL_GetTicks64();
    double dx = 0, dy = 0;
    for (Pad& p : pads) {
        if (p.controller == nullptr)
            continue;
        for (int b = 0; b < SDL_CONTROLLER_BUTTON_MAX; ++b) {
            const int16_t key = launch_key(b);
            if (key == 0 || !p.held[b] || now < p.next_repeat[b])
                continue;
            post_event(key_down(key));
            // One repeat a frame at most: a stalled frame does not bring a burst.
            p.next_repeat[b] = std::max(p.next_repeat[b] + kRepeatIntervalMs, now + 1);
        }
        const double x = axis(p.controller, SDL_CONTROLLER_AXIS_LEFTX);
        const double y = axis(p.controller, SDL_CONTROLLER_AXIS_LEFTY);
        const double tilt = std::hypot(x, y);
        if (tilt > kStickDeadZone) {
            const double t = std::min(1.0, (tilt - kStickDeadZone) / (1.0 - kStickDeadZone));
            const double speed = kStickTopSpeed * t * t;
            dx += x / tilt * speed;
            dy += y / tilt * speed;
        }
        dx += SDL_GameControllerGetButton(p.controller, SDL_CONTROLLER_BUTTON_DPAD_RIGHT) -
              SDL_GameControllerGetButton(p.controller, SDL_CONTROLLER_BUTTON_DPAD_LEFT);
        dy += SDL_GameControllerGetButton(p.controller, SDL_CONTROLLER_BUTTON_DPAD_DOWN) -
              SDL_GameControllerGetButton(p.controller, SDL_CONTROLLER_BUTTON_DPAD_UP);
    }
    if (dx == 0 && dy == 0)
        return false;
    // Inside the picture: the last whole pixel is as far as the aim goes.
    const float x = float(std::clamp(double(aim_x) + dx, 0.0, double(kClientWidth - 1)));
    const float y = float(std::clamp(double(aim_y) + dy, 0.0, double(kClientHeight - 1)));
    const bool moved = x != aim_x || y != aim_y;
    aim_x = x;
    aim_y = y;
    return moved;
}
