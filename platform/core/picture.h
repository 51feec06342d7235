// picture.h -- the game's one picture, which every backend draws into and shows.
//
// The game draws as onto a window that keeps what it is given: single pixels
// and one-pixel lines that stay until drawn over. That picture lives here,
// once, in game pixels. plat_set_pixel, plat_draw_line, plat_clear and the
// client size of platform.h are implemented here for every backend; a backend
// only shows the picture (the rows that changed since it last looked), and
// the memory backend reads it back for tests and screenshots.
#pragma once

#include "platform/platform.h"

#include <cstdint>

// A pixel of the picture: 0x00RRGGBB.
inline uint32_t picture_word(Rgb c) { return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | uint32_t(c.b); }
inline Rgb picture_rgb(uint32_t word) { return Rgb{uint8_t(word >> 16), uint8_t(word >> 8), uint8_t(word)}; }

// Makes the picture w x h game pixels, all black, all marked changed; the
// client size the game reads follows. Called by a backend when it opens its
// window (and by the memory backend whenever a test sets a size). It starts
// at 800 x 600. Allocates: never call it from the frame loop.
void picture_resize(int w, int h);

int picture_width();
int picture_height();

// The pixels, row-major, picture_width() words a row.
const uint32_t* picture_pixels();

// How many plat_set_pixel calls were made since the last resize, for tests.
uint64_t picture_pixel_writes();

// ---- What changed since the backend last showed the picture ------------------

// True when anything was drawn since the last picture_forget_changes().
bool picture_changed();

// The changed columns [x0, x1) of row y; x0 >= x1 when the row is unchanged.
int picture_changed_x0(int y);
int picture_changed_x1(int y);

// Marks the whole picture as changed: the backend's window lost its copy
// (an expose, a new window surface).
void picture_mark_all_changed();

// Starts a new record of changes; the backend calls it once it has shown
// what changed.
void picture_forget_changes();

// A rectangle of game pixels, half-open: columns x .. x + w - 1.
struct PictureRect {
    int x, y, w, h;
};

// What a backend asks for: neighbouring changes go as one rectangle when that
// adds at most kPresentMergeSlack unchanged pixels, about what one copy call
// costs (on Xvfb, sweeping 0 to 2048 gave the best times around 1024; in
// headless Chromium too); past kPresentMaxRects the rest join the last.
constexpr int kPresentMergeSlack = 1024;
constexpr int kPresentMaxRects = 512;

// Gathers the changed pixels within the top-left visible_w x visible_h game
// pixels into at most `max_rects` rectangles, top to bottom, and returns how
// many. Neighbouring rows' changes go into one rectangle when that adds at
// most `slack` unchanged pixels; once `max_rects` are used, the rest join the
// last. Each rectangle costs a backend one copy call, so the slack is about
// what such a call costs in pixels.
int picture_changed_rects(int visible_w, int visible_h, PictureRect* rects, int max_rects, int slack);
