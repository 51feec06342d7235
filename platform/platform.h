// platform.h -- the window, clock, pointer and audio as the game sees them.
//
// This is the only door between the game and the machine. Three backends
// implement it, chosen at link time: platform/sdl/ for the real window and
// sound, platform/web/ for the browser, platform/memory/ for tests and the
// headless runner. Nothing here
// knows the game's rules; the game knows nothing of SDL.
#pragma once

#include <cstddef>
#include <cstdint>

// A 24-bit colour. Components above 255 are taken as 255 when composed.
struct Rgb {
    uint8_t r, g, b;
};

inline Rgb rgb(int32_t r, int32_t g, int32_t b)
{
    auto clamp = [](int32_t c) { return uint8_t(c > 255 ? 255 : (c < 0 ? 0 : c)); };
    return Rgb{clamp(r), clamp(g), clamp(b)};
}

inline bool operator==(Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

// ---- Window ----------------------------------------------------------------

// The client area as designed, in game pixels; the real backends open their
// window at this size.
constexpr int kClientWidth = 800;
constexpr int kClientHeight = 600;

// Opens the game window (caption "Pelmaric", 800 x 600 client pixels, black)
// and makes it visible. Called once, first thing in start-up. The real
// backend ends the process with status 1 and one line on stderr when no
// window can be had.
void plat_open_window();

// Client width and height in game pixels. The game reads them at every use.
float plat_client_width();
float plat_client_height();

// SetPixelV: sets one pixel. A pixel outside the client area is not drawn.
void plat_set_pixel(int32_t x, int32_t y, Rgb colour);

// Draws a one-pixel horizontal or vertical line. End points are rounded to
// whole pixels (halves to even); the line covers its first pixel and stops
// short of its last, so (0, y)-(W, y) fills exactly one row of W pixels.
// Pixels outside the client area are not drawn.
void plat_draw_line(float x1, float y1, float x2, float y2, Rgb colour);

// Clears the whole client area to black.
void plat_clear();

// Puts on the screen everything drawn since the last call. Called by the
// frame loop at the end of each frame, after the filler writes and before the
// tick wait, and once at the end of start-up; a backend may also repaint by
// itself, when its window is uncovered or resized. Nothing else shows the
// picture: the clock read below only reads the clock.
void plat_show_picture();

// ---- Events, pointer, clock --------------------------------------------------

// Reads what the window system has for the game and posts it into the event
// queue (platform/core/events.h), which the game then hands to its handlers.
// Called once per frame by the crosshair step, and nowhere else.
void plat_process_events();

// ShowCursor: moves the pointer's display counter one step up (show) or down
// and returns the new value. The pointer is hidden over the window while the
// counter is negative. The counter starts at 0. One counter serves every
// backend (platform/core/backend.h).
int32_t plat_show_cursor(bool show);

// The desktop system timer all the game's speeds are tuned for ticks this
// often; the real backends count their clock in its steps.
constexpr int kTimerTicksPerSecond = 64;

// GetTickCount: milliseconds since start, wrapping at 2^32. The real backends
// advance it in steps of the system timer, 1000/64 ms, which paces the game
// at 64 frames per second. In the browser a read made while the game waits
// for the next step hands the page control until that step begins: a page
// must never block.
uint32_t plat_tick_count();

// Holds the frame loop while the player has paused the game (platform/core/pause.h).
// Called by the frame loop between two frames, and nowhere else. Returns at
// once when no pause was asked for; otherwise the last picture stays, dimmed
// under the pause screen, the sound waits where it was, and the backend
// sleeps on its events until the player plays on (it then returns) or ends
// the game (it returns with the ending posted for the next frame's events).
// Time spent here does not count on plat_tick_count's clock. The memory
// backend never pauses.
void plat_hold_while_paused();

// The folder that holds the running program, without a trailing separator.
const char* plat_program_folder();

// Ends the program at once with status 0. Called by the Esc handler after
// the pointer has been shown again. (The memory backend stops the run instead
// of the process; see platform/memory/memory_platform.h.)
[[noreturn]] void plat_end_program();

// ---- Kept games ------------------------------------------------------------

// Keeps a finished game's replay (`size` bytes of text, platform/core/replay_file.h):
// a file of its own in the player's state folder on the desktop, the
// browser's storage in the page; the oldest beyond the last 20 go. Called
// once, as the game ends. A game that cannot be kept says so in one line on
// stderr, and the game ends as it would have.
void plat_keep_game(const char* text, size_t size);

// The end of a watched game: says `verdict` (one line: "matched", or what
// differed) where the player sees it, and ends the program, with status 0
// when `matched` and 1 when not.
[[noreturn]] void plat_end_replay(const char* verdict, bool matched);

// ---- Audio -----------------------------------------------------------------

// sndPlaySoundA: starts the WAV file at `path` and returns at once; `flags`
// are passed as the game gives them (1, asynchronous). A missing, empty or
// broken file plays nothing and reports nothing.
void plat_play_sound(const char* path, int32_t flags);

// The music control MMControl1: property writes by identifier. Its file is
// ".\MUSIC4.MID" relative to the current folder. When the piece has played
// to its end the control posts its notification (music_done(), which the
// game hands to MMControl1_Done) from inside plat_process_events.
constexpr int16_t kMusicDeviceType = 21; // text: "Sequencer" is the only device
constexpr int16_t kMusicCommand = 23;    // text: "open", "play", "close", any case; others are ignored
// Three booleans the game sets before it opens the piece: settings of the
// desktop control that change nothing a player hears, kept without effect.
constexpr int16_t kMusicSettings[3] = {24, 25, 26};
void plat_music_set_flag(int16_t id, bool value);
void plat_music_set_text(int16_t id, const char* value);
