// pause.cpp -- whether the player paused, shared by every backend and the pads.
#include "platform/core/pause.h"

namespace {

bool asked = false;
bool ending = false;

constexpr int16_t kKeyP = 80;
constexpr int16_t kKeyPause = 19;
constexpr int16_t kKeyM = 77;

} // namespace

WindowKey window_key(int16_t code, bool ctrl_alt_or_meta)
{
    if (ctrl_alt_or_meta)
        return WindowKey::Game;
    if (code == kKeyP || code == kKeyPause)
        return WindowKey::Pause;
    if (code == kKeyM)
        return WindowKey::Sound;
    return WindowKey::Game;
}

void pause_ask()
{
    if (!ending)
        asked = true;
}

bool pause_asked() { return asked; }

void pause_resume() { asked = false; }

void pause_end_game()
{
    asked = false;
    ending = true;
}

bool pause_ending() { return ending; }

void pause_forget()
{
    asked = false;
    ending = false;
}
