// visibility.h -- whether a dot shows: on screen, above the ground, outside every building.
#pragma once

#include <cstdint>

// on_screen(x, y) && above_ground(x, y) && !hit_building(x, y), with the same
// answer and the same effect on hit_index for every float, NaN included.
// Most points are answered by a table of whole pixel cells that holds, for
// each cell where all its points agree, the answer and the building
// hit_building would examine; the rest are worked out in full. The particle
// pass asks it twice a dot.
bool dot_visible(float x, float y);

// The whole cell table is out of date: index_buildings calls it whenever the
// building table may have changed in any way. The next dot_visible rebuilds.
void dot_cells_forget();

// Only the columns a span [left, left + width) of the building table can
// reach are out of date: remove_building calls it, after the change, for the
// spans of the slot it empties and of the building it moves.
void dot_cells_refresh(float left, float width);
