// skyline.h -- the 25 buildings the player defends, and the hit test.
#pragma once

#include <cstdint>

struct Building {
    float x;         // left edge; the right edge is x + w
    float y;         // base line, at ground level
    float w;
    float h;         // the roof line is y - h
    int16_t r, g, b; // roof colour; the body darkens toward the base
};

constexpr int kBuildingSlots = 1001; // slot 0 is never used

extern Building buildings[kBuildingSlots];
extern int16_t building_count;

// The highest roof line at start-up, rounded. Points at or above it are
// never inside a building, which spares most of the sky the table scan. It is
// never recomputed as buildings fall.
extern int16_t roof_top;

// The building hit_building examined last.
extern int16_t hit_index;

// No building, every slot zeroed, roof_top and hit_index 0, as at program
// start. Called by start-up.
void skyline_reset();

// Names every global above for a walk over the whole game (shell/game_state.h).
template <typename Visitor> void visit_skyline(Visitor& v)
{
    v.value("roof_top", roof_top);
    v.value("hit_index", hit_index);
    v.table("buildings", buildings, building_count);
}

// Makes 25 random buildings on the ground line and draws each as it is made.
// Called once by start-up, after the sky and ground are painted.
void generate_skyline();

// Draws building i: a gradient body dark at the base, then a lattice of
// window lights of fresh random brightness.
void drawbuilding(int16_t i);

// True when (px, py) lies strictly inside a building. Only the first building
// in table order whose span contains px is examined; its index goes to
// hit_index whatever the answer. Looks the buildings up in the column index,
// so the index must describe the table as it stands.
bool hit_building(float px, float py);

// Takes building i out of the table by moving the last one into its slot,
// and re-indexes the table.
void remove_building(int16_t i);

// Rebuilds the column index hit_building looks buildings up in, from slots 1
// to building_count as they stand, and puts the dot cells built on the table
// (scene/visibility.h) out of date. The skyline generation and
// remove_building call it; so must whatever writes the table or
// building_count by other means (a test placing buildings by hand, a saved
// game moment put back).
void index_buildings();
