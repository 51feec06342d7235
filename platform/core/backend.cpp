// backend.cpp -- what every backend would otherwise write alike: the pointer's display counter and the timer's steps as milliseconds.
#include "platform/core/backend.h"

#include "platform/platform.h"

namespace {

int32_t counter = 0;  // the pointer shows while this is 0 or more
uint64_t calls = 0;   // plat_show_cursor calls, for the memory backend's tests

// Moves the counter to `value`; the backend is told only when the pointer
// turns visible or hidden, for SDL and the page each keep a switch, not a
// counter.
void move_counter(int32_t value)
{
    const bool was_shown = counter >= 0;
    counter = value;
    if ((counter >= 0) != was_shown)
        backend_show_pointer(counter >= 0);
}

} // namespace

int32_t plat_show_cursor(bool show)
{
    ++calls;
    move_counter(counter + (show ? 1 : -1));
    return counter;
}

int32_t pointer_counter() { return counter; }
void pointer_set_counter(int32_t value) { move_counter(value); }
uint64_t pointer_calls() { return calls; }

void pointer_reset()
{
    move_counter(0);
    calls = 0;
}

uint32_t timer_steps_to_ms(uint64_t steps)
{
    // 1000 / 64 is 15.625: multiply first, so no step's fraction is lost.
    return uint32_t(steps * 1000u / uint64_t(kTimerTicksPerSecond));
}
