// sdl_pause.cpp -- the pause on the desktop: the frame loop held between two frames, asleep on SDL's events, until the player plays on or ends the game.
#include "platform/core/events.h"
#include "platform/core/pad.h"
#include "platform/core/pause.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/sdl_gamepad.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/sdl/sdl_window_watch.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <chrono>

namespace {

// With no pad plugged in, the hold sleeps in the window system until an
// event comes; this only bounds a sleep. SDL reads pads only when asked, and
// would ask a thousand times a second: with one plugged in, the hold looks
// this often instead.
constexpr int kLongestSleepMs = 1000;
constexpr Uint32 kPadLookMs = 30;

bool next_event(SDL_Event& e)
{
    if (SDL_NumJoysticks() == 0)
        return SDL_WaitEventTimeout(&e, kLongestSleepMs) == 1;
    if (SDL_PollEvent(&e))
        return true;
    SDL_Delay(kPadLookMs);
    return SDL_PollEvent(&e) == 1;
}

// One event while paused. The window's keys work; Esc and the close button
// end the game, posted as during play; any mouse button plays on and is not
// passed on; every other input is the player's, not the game's, and is
// dropped, the pointer's moves with it.
void take(const SDL_Event& e)
{
    switch (e.type) {
    case SDL_KEYDOWN: {
        const SDL_Keysym& key = e.key.keysym;
        if (sdl_fullscreen_key(key)) {
            if (!e.key.repeat) {
                sdl_toggle_fullscreen();
                sdl_pause_screen_show();
            }
            break;
        }
        const int16_t code = sdl_key_code(key);
        if (code == kKeyEsc) {
            sdl_translate(e);
            pause_end_game();
            break;
        }
        if (e.key.repeat)
            break;
        switch (window_key(code, (key.mod & (KMOD_CTRL | KMOD_ALT | KMOD_GUI)) != 0)) {
        case WindowKey::Pause: pause_resume(); break;
        case WindowKey::Sound:
            sdl_audio_switch_sound();
            sdl_pause_screen_show();
            break;
        case WindowKey::Game: break;
        }
        break;
    }
    case SDL_MOUSEBUTTONDOWN: pause_resume(); break;
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
            sdl_translate(e);
            pause_end_game();
        } else if (e.window.event == SDL_WINDOWEVENT_EXPOSED || e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            sdl_pause_screen_show();
        }
        break;
    case SDL_QUIT:
        sdl_translate(e);
        pause_end_game();
        break;
    case SDL_SYSWMEVENT: window_watch_note(e.syswm.msg); break;
    default: gamepad_event(e); break;
    }
}

} // namespace

// An ending is left for the next frame's events to hand to the game (Esc's
// handler shows the pointer and ends the program there, before any pass), so
// that a game ended while paused ends as one ended in play: the same handler,
// the same events, in a frame of its own. The sound stays stopped then.
void plat_hold_while_paused()
{
    if (!pause_asked() || sdl_window() == nullptr)
        return;
    const auto began = std::chrono::steady_clock::now();
    sdl_audio_hold(true);
    sdl_pointer_over_pause(true);
    sdl_pause_screen_show();
    while (pause_asked()) {
        SDL_Event e;
        if (next_event(e))
            take(e);
        switch (pad_paused_frame()) {
        case PadWhilePaused::PlayOn: pause_resume(); break;
        case PadWhilePaused::End:
            post_key(kKeyEsc);
            pause_end_game();
            break;
        case PadWhilePaused::Nothing: break;
        }
        // Gone from outside: the next frame's events end the game.
        if (window_watch_lost())
            pause_end_game();
    }
    sdl_clock_leave_out(std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - began)
                            .count());
    sdl_pause_screen_hide();
    sdl_pointer_over_pause(false);
    if (pause_ending())
        return;
    sdl_audio_hold(false);
    sdl_present(true);
}
