// web_page.h -- the calls between the browser backend's C++ and its JavaScript (web_page.js, web_audio.js).
//
// The page's canvas, input, pointer style and Web Audio live in JavaScript;
// the game's picture, event queue and clock live here. These are the only
// crossings, each a plain call with numbers and C strings.
#pragma once

#include "platform/core/picture.h"

#include <cstdint>

extern "C" {

// ---- JavaScript, called from C++ ------------------------------------------------

// Gives the canvas the game's size and a context, and listens for the mouse
// on it. The page around it (layout, start screen, touch, gamepads) was set up
// as the script loaded, and the player's first gesture started the game.
// Called once by plat_open_window.
void web_page_start(int width, int height);

// Puts `count` rectangles of the RGBA copy at `rgba` (width x height, 4 bytes
// a pixel) onto the canvas: with `one_put`, one putImageData covering them
// all; else one putImageData per rectangle. Called by the present.
void web_page_put(const uint8_t* rgba, const PictureRect* rects, int count, int one_put);

// Hands each gamepad navigator.getGamepads() lists to web_gamepad. Called by
// plat_process_events once a frame.
void web_page_read_gamepads();

// Hides the pointer over the canvas, or shows it again.
void web_page_hide_pointer(int hidden);

// The pause screen over the canvas, with the sound held (1), or neither (0).
// Called when the game pauses and plays on, whoever asked.
void web_page_pause(int paused);

// Esc: the page stops listening and its audio falls silent; the canvas keeps
// its last picture under the end screen.
void web_page_stop();

// The rules for mixing effects, as platform/core/audio_mixing.h states them: the
// page builds its limiter and effect gain from them and applies them to every
// start. Called once by web_audio_open; no effect plays before.
void web_audio_start(int in_phase_ms, int copies_per_effect, int steal_fade_ms, double effect_volume,
                     double ceiling, double release_seconds);

// Effects and music (web_audio.cpp): URLs relative to the page.
void web_audio_effect(const char* url);
void web_audio_music_load(const char* url);
void web_audio_music_play();
void web_audio_music_stop();
// 1 once for each time the music has played to its end, else 0.
int web_audio_music_ended();
// Sound off and on (M, and the page's sound button): music and effects together.
void web_audio_switch_sound();

// ---- C++, called from JavaScript ----------------------------------------------

// Lays the picture out in a space of space_w x space_h device pixels by the
// desktop's rule (platform/core/scale.h), makes that the layout the pointer goes
// through, and returns the picture's width in device pixels. The page calls
// it for each space it weighs, the chosen one last.
int web_scale_fit(int space_w, int space_h);
// The height of the picture web_scale_fit laid out last, in device pixels,
// and, when it is fitted, the whole factor the page enlarges the picture by
// before the browser filters it down (0 at a whole factor), and below half
// size the times it is halved first instead (scale_halvings): see web_page.js.
int web_scale_height();
int web_scale_sharp_factor();
int web_scale_halvings();

// The pointer moved over the canvas (kind 0) or a button went down (kind 1),
// at (canvas_x, canvas_y) device pixels from the canvas's top-left corner,
// fractions kept; it reaches the game as the game pixel shown there (see
// scale_to_game). `dom_button` is the event's button number, and shift, ctrl
// and alt say which modifier keys were held (0 or 1). A move is also where a
// finger puts the crosshair.
void web_post_mouse(int kind, int dom_button, int shift, int ctrl, int alt, double canvas_x, double canvas_y);

// Gamepad `index` as the page reads it this frame: its left stick (-1 .. 1,
// right and down positive) and a bit a button held, in the standard layout's
// order (platform/core/pad.h).
void web_gamepad(int index, float stick_x, float stick_y, uint32_t buttons);

// The page's launch pad `point` (0 left, 1 centre, 2 right) went down (1) or up (0).
void web_touch_pad(int point, int down);

// The page's pause button, its going out of sight or out of focus (web_pause);
// the pause screen's "Play on", a click or tap on it (web_play_on); its
// "End game", which ends the game as Esc does (web_end_game).
void web_pause();
void web_play_on();
void web_end_game();

// Where the crosshair was last put, in game pixels, for the page's tests.
float web_aim_x();
float web_aim_y();

// An effect's check before it is decoded, the desktop's (platform/core/wav_header.h):
// the page copies the file's first bytes, at most web_effect_head_size(), to
// web_effect_head() and asks whether a file of `file_bytes` with that start
// may play. A file larger than web_effect_most_bytes() is never read whole.
uint8_t* web_effect_head();
int web_effect_head_size();
double web_effect_most_bytes();
int web_effect_acceptable(double file_bytes, int head_bytes);

// Frames the game has run (each processes its events once), and the launch
// keys (A, S, D, from the keyboard or a pad) handed to it, for the page's
// tests and measurements.
uint32_t web_frame_count();
uint32_t web_launch_count();
}

// Hands the page the mixing rules. Called once by plat_open_window, as the
// SDL backend opens its audio there.
void web_audio_open();

// How a present sends its rectangles to the canvas; PutPerRect is the one
// the game uses (see web_backend.cpp), the other is kept for the benchmark.
enum class PutMode { OnePutPerPresent, PutPerRect };

// Sends what changed since the last present to the canvas. plat_show_picture
// calls it at the end of each frame; bench/web/present.cpp times it.
void web_present(PutMode mode);
