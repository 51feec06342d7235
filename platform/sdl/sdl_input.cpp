// sdl_input.cpp -- SDL's keys, mouse, window events and pads turned into the game's window events.
#include "platform/core/events.h"
#include "platform/core/pad.h"
#include "platform/core/pause.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/sdl_gamepad.h"
#include "platform/core/scale.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/sdl/sdl_window_watch.h"

#include <SDL.h>

#include <cmath>

namespace {

// The window point the pointer was last warped to, after a pad moved the
// crosshair: the motion X reports for the warp is not the player's.
bool warped = false;
int warped_x = 0, warped_y = 0;

// The keys that belong to the window, as its close button does: F11, and
// Enter (either one) with either Alt. The game never sees them.
bool is_fullscreen_key(const SDL_Keysym& key)
{
    if (key.sym == SDLK_F11)
        return true;
    return (key.sym == SDLK_RETURN || key.sym == SDLK_KP_ENTER) && (key.mod & KMOD_ALT) != 0;
}

// The handler's key code for a key: the Windows virtual-key code of the key
// as labelled on the keyboard. Letters give their capital's ASCII code and
// digits theirs, whatever Shift and Caps Lock say. A key without such a code
// gives 0 and is not reported.
int16_t key_code(const SDL_Keysym& key)
{
    const SDL_Keycode k = key.sym;
    if (k >= 'a' && k <= 'z')
        return int16_t(k - 'a' + 'A');
    if (k >= '0' && k <= '9')
        return int16_t(k);
    switch (k) {
    case SDLK_BACKSPACE: return 8;
    case SDLK_TAB: return 9;
    case SDLK_RETURN: case SDLK_KP_ENTER: return 13;
    case SDLK_ESCAPE: return kKeyEsc;
    case SDLK_SPACE: return 32;
    case SDLK_PAGEUP: return 33;
    case SDLK_PAGEDOWN: return 34;
    case SDLK_END: return 35;
    case SDLK_HOME: return 36;
    case SDLK_LEFT: return 37;
    case SDLK_UP: return 38;
    case SDLK_RIGHT: return 39;
    case SDLK_DOWN: return 40;
    case SDLK_PRINTSCREEN: return 44;
    case SDLK_INSERT: return 45;
    case SDLK_DELETE: return 46;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return 16;
    case SDLK_LCTRL: case SDLK_RCTRL: return 17;
    case SDLK_LALT: case SDLK_RALT: return 18;
    case SDLK_PAUSE: return 19;
    case SDLK_CAPSLOCK: return 20;
    case SDLK_LGUI: return 91;
    case SDLK_RGUI: return 92;
    case SDLK_APPLICATION: return 93;
    case SDLK_KP_0: return 96;
    case SDLK_KP_MULTIPLY: return 106;
    case SDLK_KP_PLUS: return 107;
    case SDLK_KP_MINUS: return 109;
    case SDLK_KP_PERIOD: return 110;
    case SDLK_KP_DIVIDE: return 111;
    case SDLK_NUMLOCKCLEAR: return 144;
    case SDLK_SCROLLLOCK: return 145;
    case SDLK_SEMICOLON: return 186;
    case SDLK_EQUALS: return 187;
    case SDLK_COMMA: return 188;
    case SDLK_MINUS: return 189;
    case SDLK_PERIOD: return 190;
    case SDLK_SLASH: return 191;
    case SDLK_BACKQUOTE: return 192;
    case SDLK_LEFTBRACKET: return 219;
    case SDLK_BACKSLASH: return 220;
    case SDLK_RIGHTBRACKET: return 221;
    case SDLK_QUOTE: return 222;
    default: break;
    }
    if (k >= SDLK_KP_1 && k <= SDLK_KP_9)
        return int16_t(97 + (k - SDLK_KP_1));
    if (k >= SDLK_F1 && k <= SDLK_F12)
        return int16_t(112 + (k - SDLK_F1));
    // A layout whose letter keys do not produce Latin letters: take the key's
    // position, as the desktop's virtual-key codes do.
    const SDL_Scancode s = key.scancode;
    if (s >= SDL_SCANCODE_A && s <= SDL_SCANCODE_Z)
        return int16_t('A' + (s - SDL_SCANCODE_A));
    if (s >= SDL_SCANCODE_1 && s <= SDL_SCANCODE_9)
        return int16_t('1' + (s - SDL_SCANCODE_1));
    if (s == SDL_SCANCODE_0)
        return int16_t('0');
    return 0;
}

// The handlers' button code; 0 for the buttons they do not know.
int16_t button_code(uint8_t button)
{
    switch (button) {
    case SDL_BUTTON_LEFT: return kButtonLeft;
    case SDL_BUTTON_RIGHT: return kButtonRight;
    case SDL_BUTTON_MIDDLE: return kButtonMiddle;
    default: return 0;
    }
}

// A pointer position in window points to game pixels, fractions kept. False
// over a black bar: that is no place in the game, as outside the window.
bool to_game_pixels(int x, int y, float& gx, float& gy)
{
    double px = 1.0, py = 1.0;
    sdl_pixels_per_point(px, py);
    return scale_to_game(x * px, y * py, gx, gy);
}

} // namespace

// A close request is taken as the character Esc types. The window's own
// keys and every change of size repaint the whole window.
void sdl_translate(const SDL_Event& e)
{
    switch (e.type) {
    case SDL_KEYDOWN: {
        if (is_fullscreen_key(e.key.keysym)) {
            if (!e.key.repeat)
                sdl_toggle_fullscreen();
            break;
        }
        int16_t code = key_code(e.key.keysym);
        if (code == 0)
            break;
        const uint16_t mod = e.key.keysym.mod;
        // P, Pause and M belong to the window too (platform/core/pause.h).
        const WindowKey window_own = window_key(code, (mod & (KMOD_CTRL | KMOD_ALT | KMOD_GUI)) != 0);
        if (window_own != WindowKey::Game) {
            if (e.key.repeat)
                break;
            if (window_own == WindowKey::Pause)
                pause_ask();
            else
                sdl_audio_switch_sound();
            break;
        }
        post_key(code, shift_mask(mod & KMOD_SHIFT, mod & KMOD_CTRL, mod & KMOD_ALT));
        break;
    }
    case SDL_MOUSEMOTION: {
        if (warped && e.motion.x == warped_x && e.motion.y == warped_y)
            break;
        warped = false;
        float x = 0, y = 0;
        if (!to_game_pixels(e.motion.x, e.motion.y, x, y))
            break;
        post_pointer_move(x, y);
        break;
    }
    case SDL_MOUSEBUTTONDOWN: {
        int16_t button = button_code(e.button.button);
        if (button == 0)
            break;
        float x = 0, y = 0;
        if (to_game_pixels(e.button.x, e.button.y, x, y))
            post_event(mouse_down(x, y, button));
        break;
    }
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE)
            post_event(key_press(kKeyEsc));
        else if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
            sdl_present(true); // at once: the pointer's next moves map by the new size
        else if (e.window.event == SDL_WINDOWEVENT_EXPOSED)
            sdl_repaint();
        // A game nobody sees or plays does not play on by itself.
        else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST || e.window.event == SDL_WINDOWEVENT_MINIMIZED ||
                 e.window.event == SDL_WINDOWEVENT_HIDDEN)
            pause_ask();
        break;
    case SDL_QUIT:
        post_event(key_press(kKeyEsc));
        break;
    case SDL_SYSWMEVENT:
        window_watch_note(e.syswm.msg);
        break;
    default:
        gamepad_event(e);
        break;
    }
}

int16_t sdl_key_code(const SDL_Keysym& key) { return key_code(key); }

bool sdl_fullscreen_key(const SDL_Keysym& key) { return is_fullscreen_key(key); }

void sdl_warp_pointer_to_aim()
{
    SDL_Window* window = sdl_window();
    if (SDL_GetMouseFocus() != window)
        return;
    double dx = 0, dy = 0, px = 1, py = 1;
    scale_from_game(pad_aim_x(), pad_aim_y(), dx, dy);
    sdl_pixels_per_point(px, py);
    warped_x = int(std::floor(dx / px));
    warped_y = int(std::floor(dy / py));
    warped = true;
    SDL_WarpMouseInWindow(window, warped_x, warped_y);
}
