// sdl_backend.h -- what the SDL backend's window files share: the window, its present and its input.
//
// sdl_backend.cpp opens and closes the window, switches fullscreen, keeps the
// clock and reads the events (the rest of platform.h but the audio);
// sdl_present.cpp shows the picture on it, enlarged (platform/core/scale.h);
// sdl_input.cpp turns SDL's events into the game's; sdl_pause.cpp holds the
// frame loop while paused, under the screen sdl_pause_screen.cpp draws.
#pragma once

#include <SDL.h>

// The game window; null before plat_open_window and after the end.
SDL_Window* sdl_window();

// Drawable pixels per window point, horizontally and vertically: 1 except on
// HiDPI displays where the window system gives a larger drawable.
void sdl_pixels_per_point(double& px, double& py);

// Goes to desktop fullscreen (no mode change) or back to the window as it
// was. Called by sdl_translate for F11 and Alt+Enter.
void sdl_toggle_fullscreen();

// Sends what changed since the last present (or, with `everything`, the
// whole picture and the black bars around it) to the window, enlarged. Never
// touches a window that is gone. Called by plat_show_picture at the end of a
// frame, and with `everything` when the window opens, is uncovered, resized
// or switched to or from fullscreen.
void sdl_present(bool everything);

// Asks for the whole picture to be sent once the frame's events are read: a
// window uncovered a thousand times in a frame costs one repaint.
void sdl_repaint();

// Turns one SDL event into the game's window events and posts them. Called
// by plat_process_events for each queued SDL event.
void sdl_translate(const SDL_Event& e);

// Moves the pointer onto the crosshair a pad has moved, so that the mouse
// carries on from there; only while the pointer is over the window. Called
// by plat_process_events when the pads moved the crosshair.
void sdl_warp_pointer_to_aim();

// The handlers' key code of a key (0: none), and whether it is one of the
// fullscreen keys, as sdl_translate sees them: for the pause, which reads
// keys itself.
int16_t sdl_key_code(const SDL_Keysym& key);
bool sdl_fullscreen_key(const SDL_Keysym& key);

// Shows the pointer over the window while paused (the player clicks to play
// on), whatever the pointer counter says; false goes back to the counter's wish.
void sdl_pointer_over_pause(bool paused);

// The clock plat_tick_count reads leaves out `ns` nanoseconds more: a pause
// is time that does not exist for the game.
void sdl_clock_leave_out(int64_t ns);

// Draws the pause screen over the picture on the window: the whole picture
// dimmed, a pause sign and the controls in words (sound on or off as it
// stands). The picture itself is not touched; sdl_present(true) shows it
// plain again. Called when the pause begins and whenever the window must be
// painted again while paused.
void sdl_pause_screen_show();

// Lets go of the fonts and the screen's buffer. Called when the pause ends.
void sdl_pause_screen_hide();
