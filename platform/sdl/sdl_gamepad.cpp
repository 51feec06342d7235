// sdl_gamepad.cpp -- SDL's controllers plugged in and out, their buttons and sticks read into the shared pads.
#include "platform/sdl/sdl_gamepad.h"

#include "platform/core/pad.h"

namespace {

// The controller in each pad slot; null: a free slot.
SDL_GameController* controllers[kPadSlots];
SDL_JoystickID ids[kPadSlots];

// SDL's name of a button as the standard layout numbers it; -1 for one
// the game has no use for (SDL's extra paddles and the touchpad click).
int pad_button_of(int sdl_button)
{
    switch (sdl_button) {
    case SDL_CONTROLLER_BUTTON_A: return kPadSouth;
    case SDL_CONTROLLER_BUTTON_B: return kPadEast;
    case SDL_CONTROLLER_BUTTON_X: return kPadWest;
    case SDL_CONTROLLER_BUTTON_Y: return kPadNorth;
    case SDL_CONTROLLER_BUTTON_LEFTSHOULDER: return kPadLeftShoulder;
    case SDL_CONTROLLER_BUTTON_RIGHTSHOULDER: return kPadRightShoulder;
    case SDL_CONTROLLER_BUTTON_BACK: return kPadBack;
    case SDL_CONTROLLER_BUTTON_START: return kPadStart;
    case SDL_CONTROLLER_BUTTON_LEFTSTICK: return kPadLeftStickPress;
    case SDL_CONTROLLER_BUTTON_RIGHTSTICK: return kPadRightStickPress;
    case SDL_CONTROLLER_BUTTON_DPAD_UP: return kPadUp;
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN: return kPadDown;
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT: return kPadLeft;
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT: return kPadRight;
    case SDL_CONTROLLER_BUTTON_GUIDE: return kPadGuide;
    default: return -1;
    }
}

int find_slot(SDL_JoystickID id)
{
    for (int s = 0; s < kPadSlots; ++s)
        if (controllers[s] != nullptr && ids[s] == id)
            return s;
    return -1;
}

void plug_in(int device_index)
{
    SDL_GameController* controller = SDL_GameControllerOpen(device_index);
    if (controller == nullptr)
        return;
    const SDL_JoystickID id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
    // The added event of a pad already open (plugged in before start-up) may come twice.
    if (find_slot(id) >= 0) {
        SDL_GameControllerClose(controller);
        return;
    }
    for (int s = 0; s < kPadSlots; ++s) {
        if (controllers[s] == nullptr) {
            controllers[s] = controller;
            ids[s] = id;
            pad_unplug(pad_slot(s));
            pad_slot(s).connected = true;
            return;
        }
    }
    // More pads than slots: this one is not opened.
    SDL_GameControllerClose(controller);
}

// A pad refused while every slot was taken gets the slot just freed: the
// first controller SDL lists that is not open.
void plug_in_waiting()
{
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
        if (SDL_IsGameController(i) && find_slot(SDL_JoystickGetDeviceInstanceID(i)) < 0) {
            plug_in(i);
            return;
        }
    }
}

void unplug(SDL_JoystickID id)
{
    const int s = find_slot(id);
    if (s < 0)
        return;
    SDL_GameControllerClose(controllers[s]);
    controllers[s] = nullptr;
    pad_unplug(pad_slot(s));
    plug_in_waiting();
}

void button(const SDL_ControllerButtonEvent& e, bool down)
{
    const int s = find_slot(e.which);
    if (s >= 0)
        pad_button(pad_slot(s), pad_button_of(e.button), down);
}

// A stick axis as -1 .. 1.
float axis(SDL_GameController* c, SDL_GameControllerAxis a)
{
    return float(SDL_GameControllerGetAxis(c, a) / 32767.0);
}

} // namespace

void gamepad_start()
{
    // The launch buttons go by where they sit (West, South, East), not by
    // their labels, which Nintendo's layout puts elsewhere.
    SDL_SetHint(SDL_HINT_GAMECONTROLLER_USE_BUTTON_LABELS, "0");
    SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
}

bool gamepad_event(const SDL_Event& e)
{
    switch (e.type) {
    case SDL_CONTROLLERDEVICEADDED: plug_in(e.cdevice.which); return true;
    case SDL_CONTROLLERDEVICEREMOVED: unplug(e.cdevice.which); return true;
    case SDL_CONTROLLERBUTTONDOWN: button(e.cbutton, true); return true;
    case SDL_CONTROLLERBUTTONUP: button(e.cbutton, false); return true;
    default: return false;
    }
}

void gamepad_read_sticks()
{
    for (int s = 0; s < kPadSlots; ++s) {
        if (controllers[s] == nullptr)
            continue;
        pad_slot(s).stick_x = axis(controllers[s], SDL_CONTROLLER_AXIS_LEFTX);
        pad_slot(s).stick_y = axis(controllers[s], SDL_CONTROLLER_AXIS_LEFTY);
    }
}
