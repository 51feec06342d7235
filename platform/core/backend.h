// backend.h -- the seam inside the platform layer: what the shared platform code asks of a backend, and does for it.
//
// platform.h is what the game sees. Behind it, the pieces every backend
// would otherwise write alike are written once in platform/*.cpp; here is
// what those pieces need from the backend, and what they offer it.
#pragma once

#include <cstdint>

// ---- Each backend provides ----------------------------------------------------

// Shows (true) or hides the pointer over the window. Called by the shared
// plat_show_cursor, and by pointer_set_counter, only when the display counter
// crosses between -1 and 0. That may be before the window is open: the
// backend then keeps the wish and applies it once the window exists.
void backend_show_pointer(bool shown);

// ---- The shared code provides, for the backends ---------------------------------

// n steps of the system timer (kTimerTicksPerSecond a second) as the
// milliseconds plat_tick_count reports, wrapping at 2^32: n * 1000 / 64 ms,
// the same as n * 125 / 8 and exact in integers. Called by each real
// backend's clock read.
uint32_t timer_steps_to_ms(uint64_t steps);

// The pointer's display counter as it stands, and set directly (the backend
// hears of it as above); the plat_show_cursor calls made; and back to a
// counter of 0 and no calls. For the memory backend's test controls.
int32_t pointer_counter();
void pointer_set_counter(int32_t value);
uint64_t pointer_calls();
void pointer_reset();
