// scale.h -- where the 800 x 600 picture lands in a window of any size, the game pixel under each screen pixel, and the enlarging copy.
//
// The game always draws 800 x 600 game pixels. The window may be any size,
// fullscreen or not, and on a HiDPI display its drawable has more pixels than
// the window has points. Both cases are one rule: the picture is shown as
// large as the drawable allows with its shape kept, each game pixel a whole
// square block when a whole factor uses most of the room, else fitted exactly
// (sharp and even: every game pixel the same size, only the seams between
// them blended), centred, with black bars on the spare sides. The page's
// canvas follows the same rule (web_scale_fit). Every present (SDL's window surface, the Xlib path, the page's
// canvas) and every pointer (the mouse, a finger, a pad's warp) go through
// the same maps here, so the aim is always the game pixel shown under it.
#pragma once

#include "platform/core/picture.h"

#include <cstdint>

// Where the picture goes in the drawable, in drawable pixels.
struct ScaleLayout {
    int x, y, w, h;
    int whole; // the whole factor each game pixel is enlarged by; 0 when fitted
};

// The largest drawable the copy handles; a larger one shows the picture in
// its top-left part of this size.
constexpr int kScaleMaxDrawable = 16384;

// The layout for a drawable of `drawable_w` x `drawable_h` pixels: the
// largest whole factor that fits, unless it would leave less than
// kScaleWholeShare of the room the fitted picture would use, or even 1x does
// not fit; then the exact fit.
constexpr double kScaleWholeShare = 0.85;
ScaleLayout scale_layout_for(int drawable_w, int drawable_h);

// Makes the layout for a drawable of this size the current one. Called by
// the presenting code whenever the drawable changes size. Allocates nothing.
void scale_set_drawable(int drawable_w, int drawable_h);

// The whole factor the fitted picture of layout l is enlarged by before it
// is filtered down to its size (the smallest at or above the fit); 0 at a
// whole factor, which needs no filtering.
int scale_sharp_factor(const ScaleLayout& l);

// Below half size a filter that mixes the two source pixels nearest each
// drawable pixel passes some game pixels over, and a one-pixel dot can
// vanish: the times the picture is halved first (each pixel the mean of
// 2 x 2) so that what is filtered is at least half the picture's size. 0 at
// half size and above; at most 3. Only the page goes this small.
int scale_halvings(const ScaleLayout& l);

// The current layout and drawable size.
const ScaleLayout& scale_layout();
int scale_drawable_w();
int scale_drawable_h();

// The drawable rectangle (half-open, like PictureRect) that shows the game
// rectangle r, with the blended seams around it when fitted; empty when r is
// empty or the picture has no room.
PictureRect scale_to_drawable(const PictureRect& r);

// The up to four black bars around the picture; returns how many.
int scale_bars(PictureRect bars[4]);

// A drawable position to the game pixel the present shows at the drawable
// pixel it lies in: a whole number, never outside 0..799 x 0..599. At one
// drawable pixel per game pixel (1x) the position goes through as given,
// fractions kept, held just short of rounding off the picture's last pixel.
// False over a bar or outside the drawable: such a position is no place in
// the game.
bool scale_to_game(double drawable_x, double drawable_y, float& game_x, float& game_y);

// The middle of the drawable pixels that show the game pixel nearest to
// (x, y), or of the nearest shown pixel where none does (below 1x): a place
// scale_to_game maps back to that game pixel.
void scale_from_game(float game_x, float game_y, double& drawable_x, double& drawable_y);

// Copies the game rectangles rects[0 .. count) of the picture, enlarged,
// into a 32-bit drawable-sized buffer whose rows are `pitch` bytes apart, as
// 0x00RRGGBB: for each, the rectangle scale_to_drawable gives. A whole factor
// is nearest neighbour; a fit is sharp (see scale.cpp). One call per present:
// what the call works out for one rectangle serves the others. A fitted copy
// trusts the drawable to show what the last one copied, and copies only what
// differs from that, unless `everything` says it holds nothing (a new or
// uncovered window, another buffer).
void scale_copy(uint8_t* drawable, int pitch, const PictureRect* rects, int count, bool everything);
