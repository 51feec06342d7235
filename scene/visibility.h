// visibility.h -- whether a dot shows: on screen, above the ground, outside every building.
//
// How the quick answers stay right
//
// - A cell is the square [c, c + 1) x [r, r + 1) of whole pixel lines. Its
//   code, when it is not kDotWorkOut, holds for every float point of the
//   cell: the full test (on_screen, above_ground, hit_building) gives that
//   answer there and leaves hit_index as the code says (the slot it names,
//   or untouched when it names none). A cell whose points disagree is
//   kDotWorkOut and its points are worked out in full.
// - The map is made from the building table (slots 1 to building_count),
//   roof_top, and the client's width and height (the ground line follows
//   the height alone). The client size and roof_top are compared at every
//   dot_sight_open, so their changes are seen without help. A change to the table is not: whoever changes it
//   says so, remove_building through dot_cells_refresh for the two spans it
//   touches, index_buildings through dot_cells_forget for anything else
//   (skyline generation, a test placing buildings, a saved moment put
//   back).
// - The generation moves whenever any cell may have changed: at every
//   rebuild and at every refresh of columns. A code read under one
//   generation may be given again only under the same one.
// - The particle pass remembers, per particle slot, the point where it drew
//   the dot and the code it read there (combat/particles.cpp). The
//   compaction moves records between slots, so a slot's entry may then
//   belong to another particle; it is used only when the particle's x and y
//   equal the remembered point to the bit and the generation has not moved,
//   and then it is the code of that very point's cell, whichever particle
//   stands there. So a stale or moved entry costs a lookup, never an answer.
#pragma once

#include <algorithm>
#include <cstdint>

// on_screen(x, y) && above_ground(x, y) && !hit_building(x, y), with the same
// answer and the same effect on hit_index for every float, NaN included.
bool dot_visible(float x, float y);

// The whole cell map is out of date (index_buildings). The next question
// rebuilds it.
void dot_cells_forget();

// Only the columns a span [left, left + width) of the building table can
// reach are out of date (remove_building, after the change).
void dot_cells_refresh(float left, float width);

// ---- Many dots at once -------------------------------------------------------
//
// A pass that asks about thousands of dots while nothing they depend on
// changes (the particle pass only draws) opens a DotSight, asks it for every
// dot in turn and closes it: the same answers, in the same order, with the
// same effect on hit_index as as many dot_visible calls, without checking
// before every dot that the map is up to date, and with hit_index kept in
// the sight until it closes. dot_visible is one such question.
//
// A question has two halves: the code of the point's cell, then the answer
// it gives.

// A cell's code. 0: the points of the cell disagree, work it out. Otherwise
// kDotHidden says whether the dot is hidden, and the low six bits name the
// building hit_building examines there, 0 when it examines none.
constexpr uint8_t kDotWorkOut = 0;
constexpr uint8_t kDotShown = 0x40;
constexpr uint8_t kDotHidden = 0x80;
constexpr uint8_t kDotSlotBits = 0x3F;

struct DotSight {
    // Points with 1 <= x < columns and 1 <= y < rows are mapped: column by
    // column (column 0 unused), each the rows from top to bottom. Rows
    // above the map are open sky and rows under it ground; each column's
    // first row says so, and so does its last.
    const uint8_t* cells;
    float columns, rows;
    int32_t stride; // bottom + 1 - top: a column's cells
    int32_t top, bottom;
    uint32_t generation; // changes whenever any cell may have changed
    int16_t hit;         // hit_index while the sight is open
};

// Brings the map up to date and takes hit_index into the sight. Called by
// dot_visible and by the particle pass and compaction before their loops.
DotSight dot_sight_open();

// Gives hit_index back. Nothing between open and close may write hit_index
// or anything the map depends on (the building table, roof_top, the client
// size).
void dot_sight_close(const DotSight& sight);

// The full test for a point the map cannot answer: the answer, and what
// hit_index becomes when it was `hit` before. Returned by value so that a
// sight held by a loop can stay in registers.
struct DotAnswer {
    bool shown;
    int16_t hit;
};
DotAnswer dot_work_out(float x, float y, int16_t hit);

// The code of the cell (x, y) lies in; kDotWorkOut off the map.
inline uint8_t dot_sight_code(const DotSight& sight, float x, float y)
{
    // Also turns away NaN.
    if (!(x >= 1 && x < sight.columns && y >= 1 && y < sight.rows))
        return kDotWorkOut;
    // Every row above the map reads its first row, every row under it its
    // last: no branch on where the dot landed, which is random.
    const int32_t row = std::clamp(int32_t(y), sight.top, sight.bottom) - sight.top;
    return sight.cells[int32_t(x) * sight.stride + row];
}

// Whether (x, y) shows, given the code of its cell: hit_index as the full
// test leaves it.
inline bool dot_sight_answer(DotSight& sight, uint8_t code, float x, float y)
{
    if (code != kDotWorkOut) {
        // Shown and hidden come mixed at random: no branch on which.
        const int16_t slot = code & kDotSlotBits;
        sight.hit = slot != 0 ? slot : sight.hit;
        return !(code & kDotHidden);
    }
    const DotAnswer answer = dot_work_out(x, y, sight.hit);
    sight.hit = answer.hit;
    return answer.shown;
}
