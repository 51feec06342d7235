// web_backend.cpp -- platform.h in a web page: the canvas, keys, pointer, clock and ending.
//
// Built with Emscripten. The game's own loop runs unchanged: it shows the
// picture at the end of a frame (here, onto the canvas) and reads the clock
// until a step has passed, as on the desktop. A page must never block its
// browser, so this is the one place where the web differs: when the game
// waits for the next step, the clock read yields to the browser until that
// step begins (Asyncify's emscripten_sleep unwinds the game's stack and
// rewinds it afterwards), and the browser paints the canvas then. A game
// that falls behind its clock never waits, so it hands the browser control
// after every frame for as short a moment as the browser allows: no task of
// the page's is ever longer than one frame. Input and audio callbacks run
// during those yields; their events wait in the queue for the next
// plat_process_events, as on the desktop.
#include "platform/platform.h"
#include "platform/core/backend.h"
#include "platform/core/events.h"
#include "platform/core/pad.h"
#include "platform/core/pause.h"
#include "platform/core/picture.h"
#include "platform/core/scale.h"
#include "platform/web/web_page.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <vector>

namespace {

// The desktop's system timer, which paces the game: 64 steps a second.
constexpr double kTickPeriodMs = 1000.0 / kTimerTicksPerSecond;

// The game reads the clock once at a frame's start and then polls it until
// it moves on: the same step read a third time in a row means the game is
// waiting, and the read sleeps until the next step.
constexpr int kReadsBeforeWaiting = 3;

// While paused the game wakes this often, to play on soon after a key or a
// click, and otherwise leaves the browser alone: no frame, no animation
// callback. It reads the gamepads only at every fifth wake: in headless
// Chromium a read costs about 2 ms, and 20 reads a second cost 5 % of a core.
constexpr unsigned kPauseLookMs = 50;
constexpr int kPauseWakesAPadLook = 5;

// Anything that reads the clock without running frames still hands the
// browser control this often, so the page stays alive.
constexpr double kLongestBusyMs = 50.0;

double start_ms = 0;
double last_yield_ms = 0;
uint32_t frames_at_last_yield = 0;
uint64_t last_step = 0;
int same_step_reads = 0;

uint32_t frames = 0;
// Whether the pointer counter wants the pointer hidden, and what the page was last told.
bool pointer_hidden = false;
bool hidden_applied = false;
bool stopped = false;

// The picture as the canvas wants it: bytes R, G, B, A per pixel.
std::vector<uint32_t> rgba;

uint32_t rgba_word(uint32_t picture_word)
{
    return 0xFF000000u | (picture_word & 0xFFu) << 16 | (picture_word & 0xFF00u) | (picture_word >> 16 & 0xFFu);
}

// A span of a row for the canvas: a busy frame changes nearly every row
// from end to end. Told that the two never overlap, the compiler converts
// four pixels an operation (SIMD).
void convert_span(const uint32_t* __restrict from, uint32_t* __restrict to, int count)
{
    for (int i = 0; i < count; ++i)
        to[i] = rgba_word(from[i]);
}

// Hides or shows the pointer over the canvas as the counter wants, once the
// canvas is there.
void apply_cursor()
{
    if (pointer_hidden == hidden_applied || rgba.empty())
        return;
    web_page_hide_pointer(pointer_hidden);
    hidden_applied = pointer_hidden;
}

// The handler's key code. A browser's keyCode already is the desktop's
// virtual-key code of the key as labelled (letters as capitals, whatever
// Shift says); a key without one falls back on its position, "KeyQ" or
// "Digit1", as the desktop does for layouts without Latin letters.
int16_t key_code(const EmscriptenKeyboardEvent& e)
{
    if (e.keyCode > 0 && e.keyCode < 256)
        return int16_t(e.keyCode);
    const char* code = e.code;
    if (code[0] == 'K' && code[1] == 'e' && code[2] == 'y' && code[3] >= 'A' && code[3] <= 'Z' && code[4] == '\0')
        return int16_t(code[3]);
    if (code[0] == 'D' && code[1] == 'i' && code[2] == 'g' && code[3] == 'i' && code[4] == 't' && code[5] >= '0' &&
        code[5] <= '9' && code[6] == '\0')
        return int16_t(code[5]);
    return 0;
}

// The page's gamepads take the pad slots from 0 as the browser numbers them;
// its three launch pads, left to right, are one more pad with the buttons
// that launch from those points.
constexpr int kTouchSlot = kPadSlots - 1;
constexpr PadButton kTouchPadButtons[] = {kPadWest, kPadSouth, kPadEast};

// Some browsers leave a pad out of a frame's list now and then while it is
// held. That is no release: a pad keeps its state until it has been missing
// this many frames in a row, and only then is unplugged.
constexpr int kPadMissingFrames = 8;
int missing_frames[kTouchSlot] = {kPadMissingFrames + 1, kPadMissingFrames + 1, kPadMissingFrames + 1,
                                  kPadMissingFrames + 1, kPadMissingFrames + 1, kPadMissingFrames + 1,
                                  kPadMissingFrames + 1};

// The launch keys (A, S, D, from the keyboard or a pad) handed to the game,
// for the page's tests.
uint32_t launch_keys = 0;

// The handlers' button code for a DOM mouse button (0 left, 1 middle, 2
// right); 0 for the buttons they do not know.
int16_t button_code(int dom_button)
{
    switch (dom_button) {
    case 0: return kButtonLeft;
    case 1: return kButtonMiddle;
    case 2: return kButtonRight;
    default: return 0;
    }
}

// Every key reaches the game, with Ctrl or Alt too, as on the desktop. The
// game's own keys alone are kept from the browser (find-as-you-type, for one),
// so a shortcut keeps working; the page keeps the scrolling keys (web_page.js).
// In fullscreen, Esc is the browser's: it leaves fullscreen, and the game
// goes on.
EM_BOOL on_key_down(int, const EmscriptenKeyboardEvent* e, void*)
{
    if (stopped)
        return EM_FALSE;
    const int16_t code = key_code(*e);
    EmscriptenFullscreenChangeEvent screen;
    if (code == kKeyEsc && emscripten_get_fullscreen_status(&screen) == EMSCRIPTEN_RESULT_SUCCESS && screen.isFullscreen)
        return EM_FALSE;
    // P, Pause and M belong to the window (platform/core/pause.h).
    const WindowKey window_own = window_key(code, e->ctrlKey || e->altKey || e->metaKey);
    if (window_own != WindowKey::Game) {
        if (e->repeat)
            return EM_TRUE;
        if (window_own == WindowKey::Sound) {
            web_audio_switch_sound();
        } else if (pause_asked()) {
            pause_resume();
            web_page_pause(0);
        } else {
            pause_ask();
            web_page_pause(1);
        }
        return EM_TRUE;
    }
    // While paused the game hears no key but Esc, which ends it.
    if (pause_asked()) {
        if (code != kKeyEsc)
            return EM_FALSE;
        post_key(code, shift_mask(e->shiftKey, e->ctrlKey, e->altKey));
        pause_end_game();
        return EM_TRUE;
    }
    if (code != 0)
        post_key(code, shift_mask(e->shiftKey, e->ctrlKey, e->altKey));
    const bool games_own = code == kKeyEsc || code == kKeyA || code == kKeyS || code == kKeyD;
    return games_own && !e->ctrlKey && !e->altKey && !e->metaKey;
}

// Hands the browser control for `ms` milliseconds.
void yield_to_browser(double ms)
{
    emscripten_sleep(unsigned(ms));
    last_yield_ms = emscripten_get_now();
    frames_at_last_yield = frames;
}

// Hands the browser control only until it has done what was waiting: a
// message the page posts to itself. A zero-delay timeout would do the same
// but for the browsers' rule that holds each one in a chain of them back by
// 4 ms, a quarter of a step.
EM_ASYNC_JS(void, web_yield_a_moment, (), {
    await new Promise(function(resume) {
        var channel = new MessageChannel();
        channel.port1.onmessage = function() { resume(); };
        channel.port2.postMessage(0);
    });
});

void yield_a_moment()
{
    web_yield_a_moment();
    last_yield_ms = emscripten_get_now();
    frames_at_last_yield = frames;
}

// Hands each gamepad the page lists to the pad rules. A gamepad the page has
// not listed for kPadMissingFrames reads is unplugged: one missing from a
// single read keeps its held buttons, their delay and their rate.
void read_gamepads()
{
    for (int slot = 0; slot < kTouchSlot; ++slot)
        missing_frames[slot] = std::min(missing_frames[slot] + 1, kPadMissingFrames + 1);
    web_page_read_gamepads();
    for (int slot = 0; slot < kTouchSlot; ++slot)
        if (missing_frames[slot] > kPadMissingFrames)
            pad_slot(slot).connected = false;
}

uint64_t current_step()
{
    return uint64_t(std::floor((emscripten_get_now() - start_ms) / kTickPeriodMs));
}

} // namespace

void web_present(PutMode mode)
{
    PictureRect rects[kPresentMaxRects];
    const int count = picture_changed_rects(kClientWidth, kClientHeight, rects, kPresentMaxRects, kPresentMergeSlack);
    picture_forget_changes();
    if (count == 0)
        return;
    const uint32_t* pixels = picture_pixels();
    for (int i = 0; i < count; ++i) {
        const PictureRect& r = rects[i];
        for (int y = r.y; y < r.y + r.h; ++y) {
            const size_t at = size_t(y) * kClientWidth + size_t(r.x);
            convert_span(pixels + at, rgba.data() + at, r.w);
        }
    }
    web_page_put(reinterpret_cast<const uint8_t*>(rgba.data()), rects, count, mode == PutMode::OnePutPerPresent);
}

extern "C" EMSCRIPTEN_KEEPALIVE int web_scale_fit(int space_w, int space_h)
{
    scale_set_drawable(space_w, space_h);
    return scale_layout().w;
}

extern "C" EMSCRIPTEN_KEEPALIVE int web_scale_height() { return scale_layout().h; }
extern "C" EMSCRIPTEN_KEEPALIVE int web_scale_sharp_factor() { return scale_sharp_factor(scale_layout()); }
extern "C" EMSCRIPTEN_KEEPALIVE int web_scale_halvings() { return scale_halvings(scale_layout()); }

extern "C" EMSCRIPTEN_KEEPALIVE void web_post_mouse(int kind, int dom_button, int shift, int ctrl, int alt,
                                                    double canvas_x, double canvas_y)
{
    const ScaleLayout& l = scale_layout();
    float x = 0, y = 0;
    if (stopped || pause_asked() || !scale_to_game(l.x + canvas_x, l.y + canvas_y, x, y))
        return;
    const int16_t modifiers = shift_mask(shift, ctrl, alt);
    if (kind == 0) {
        post_pointer_move(x, y, modifiers);
    } else if (const int16_t code = button_code(dom_button)) {
        post_event(mouse_down(x, y, code, modifiers));
    }
}

extern "C" EMSCRIPTEN_KEEPALIVE void web_gamepad(int index, float stick_x, float stick_y, uint32_t buttons)
{
    if (index < 0 || index >= kTouchSlot)
        return;
    PadState& pad = pad_slot(index);
    missing_frames[index] = 0;
    pad.connected = true;
    pad.stick_x = stick_x;
    pad.stick_y = stick_y;
    for (int b = 0; b < kPadButtonCount; ++b)
        pad.held[b] = (buttons >> b & 1u) != 0;
}

extern "C" EMSCRIPTEN_KEEPALIVE void web_touch_pad(int point, int down)
{
    // While paused a pad's press is not the game's; its release still is.
    if (!stopped && point >= 0 && point < int(std::size(kTouchPadButtons)) && !(down && pause_asked()))
        pad_button(pad_slot(kTouchSlot), kTouchPadButtons[point], down != 0);
}

extern "C" EMSCRIPTEN_KEEPALIVE void web_pause()
{
    if (!stopped)
        pause_ask();
}

extern "C" EMSCRIPTEN_KEEPALIVE void web_play_on() { pause_resume(); }

extern "C" EMSCRIPTEN_KEEPALIVE void web_end_game()
{
    if (stopped || pause_ending())
        return;
    post_key(kKeyEsc);
    pause_end_game();
}

extern "C" EMSCRIPTEN_KEEPALIVE float web_aim_x() { return pad_aim_x(); }
extern "C" EMSCRIPTEN_KEEPALIVE float web_aim_y() { return pad_aim_y(); }

extern "C" EMSCRIPTEN_KEEPALIVE uint32_t web_frame_count() { return frames; }
extern "C" EMSCRIPTEN_KEEPALIVE uint32_t web_launch_count() { return launch_keys; }

void plat_open_window()
{
    if (!rgba.empty())
        return;
    picture_resize(kClientWidth, kClientHeight);
    rgba.assign(size_t(kClientWidth) * kClientHeight, 0xFF000000u);
    web_page_start(kClientWidth, kClientHeight);
    web_audio_open();
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, on_key_down);
    start_ms = emscripten_get_now();
    last_yield_ms = start_ms;
    plat_show_picture();
    apply_cursor();
    pad_slot(kTouchSlot).connected = true;
}

// Also where the end of the music becomes the control's notification, and
// where gamepads are read: once a frame, as the game steps. A gamepad the
// page has not listed for kPadMissingFrames frames is unplugged.
void plat_process_events()
{
    ++frames;
    read_gamepads();
    pad_frame(uint64_t(emscripten_get_now()));
    for (int i = 0; i < pending_events(); ++i) {
        const WindowEvent e = peek_event(i);
        launch_keys += e.kind == EventKind::KeyDown && (e.code == kKeyA || e.code == kKeyS || e.code == kKeyD);
    }
    if (web_audio_music_ended())
        post_event(music_done());
}

// The page shows its pause screen and holds the sound; the game sleeps in
// steps of kPauseLookMs, looking at the gamepads now and then. The clock
// moves on by the pause's length, so the next frame follows the last.
void plat_hold_while_paused()
{
    if (!pause_asked() || stopped)
        return;
    const double began = emscripten_get_now();
    web_page_pause(1);
    for (int look = 0; pause_asked(); ++look) {
        yield_to_browser(kPauseLookMs);
        if (look % kPauseWakesAPadLook != kPauseWakesAPadLook - 1)
            continue;
        read_gamepads();
        switch (pad_paused_frame()) {
        case PadWhilePaused::PlayOn: pause_resume(); break;
        case PadWhilePaused::End: web_end_game(); break;
        case PadWhilePaused::Nothing: break;
        }
    }
    start_ms += emscripten_get_now() - began;
    if (!pause_ending())
        web_page_pause(0);
}

// The page's pointer style is a switch; the shared counter (backend.cpp)
// says when to flip it.
void backend_show_pointer(bool shown)
{
    pointer_hidden = !shown;
    apply_cursor();
}

// Each rectangle is one putImageData: a frame where only the crosshair moved
// changes a pixel at the top-left corner (the filler writes) and one far
// away, which a single call would send as the box around both. In headless
// Chromium that present took about 8 us per rectangle against about 35 us as
// one box; a full repaint is one rectangle either way (bench/web/present.cpp).
// The browser paints the canvas when the game next yields to it.
void plat_show_picture()
{
    if (picture_changed())
        web_present(PutMode::PutPerRect);
}

// Whole 15.625 ms steps of performance.now() since the window opened, as
// milliseconds. See the top of this file for why a read may sleep.
uint32_t plat_tick_count()
{
    uint64_t step = current_step();
    same_step_reads = step == last_step ? same_step_reads + 1 : 1;
    if (same_step_reads >= kReadsBeforeWaiting) {
        const double next_ms = start_ms + double(step + 1) * kTickPeriodMs;
        yield_to_browser(std::ceil(std::fmax(0.0, next_ms - emscripten_get_now())));
        step = current_step();
        same_step_reads = step == last_step ? same_step_reads + 1 : 1;
    } else if (step != last_step && frames != frames_at_last_yield) {
        // The step moved on while a frame ran since the last yield: the game
        // is behind and starts its next frame now, after the browser's turn.
        yield_a_moment();
    } else if (emscripten_get_now() - last_yield_ms > kLongestBusyMs) {
        yield_to_browser(0);
    }
    last_step = step;
    return timer_steps_to_ms(step);
}

// The page's own folder: effects and music are URLs relative to it.
const char* plat_program_folder() { return "."; }

// The last picture stays on the canvas; the pointer was shown by the game.
// Nothing of the game runs after this.
void plat_end_program()
{
    plat_show_picture();
    stopped = true;
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, nullptr);
    web_page_stop();
    emscripten_force_exit(0);
    std::abort(); // not reached: force_exit unwinds the game for good
}
