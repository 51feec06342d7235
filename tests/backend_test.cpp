// backend_test.cpp -- what the backends share: the pointer's display counter and the timer's steps as milliseconds.
#include "platform/core/backend.h"
#include "platform/memory/memory_platform.h"

#include <gtest/gtest.h>

namespace {

TEST(PointerCounter, TheBackendHidesThePointerExactlyWhileTheCounterIsNegative)
{
    mem_reset();
    EXPECT_TRUE(mem_pointer_shown());
    EXPECT_EQ(plat_show_cursor(false), -1);
    EXPECT_FALSE(mem_pointer_shown());
    EXPECT_EQ(plat_show_cursor(false), -2);
    EXPECT_FALSE(mem_pointer_shown());
    EXPECT_EQ(plat_show_cursor(true), -1);
    EXPECT_FALSE(mem_pointer_shown());
    EXPECT_EQ(plat_show_cursor(true), 0); // 0 already shows it
    EXPECT_TRUE(mem_pointer_shown());
    EXPECT_EQ(plat_show_cursor(true), 1);
    EXPECT_TRUE(mem_pointer_shown());
    EXPECT_EQ(mem_cursor_calls(), 5u);

    // Set directly, as the tests start from a counter of their choice: the
    // backend follows, and no call is counted.
    mem_set_cursor_counter(-3);
    EXPECT_FALSE(mem_pointer_shown());
    EXPECT_EQ(plat_show_cursor(true), -2);
    mem_set_cursor_counter(4);
    EXPECT_TRUE(mem_pointer_shown());
    EXPECT_EQ(mem_cursor_calls(), 6u);

    // A new machine shows the pointer, whatever the last game left.
    mem_set_cursor_counter(-1);
    mem_reset();
    EXPECT_TRUE(mem_pointer_shown());
    EXPECT_EQ(mem_cursor_counter(), 0);
    EXPECT_EQ(mem_cursor_calls(), 0u);
}

TEST(TimerSteps, AreSixtyFourthsOfASecondInWholeMilliseconds)
{
    struct Case { uint64_t steps; uint32_t ms; };
    for (Case c : {Case{0, 0}, Case{1, 15}, Case{2, 31}, Case{3, 46}, Case{8, 125}, Case{64, 1000}, Case{65, 1015},
                   Case{274877906, 4294967281u}, // 15.625 ms short of 2^32, less the fraction
                   Case{274877907, 0}})          // past 2^32: the counter wraps
        EXPECT_EQ(timer_steps_to_ms(c.steps), c.ms) << c.steps;
    // Every step moves the reading on, so the game's wait ends at each one.
    for (uint64_t n = 0; n < 64 * 60; ++n) {
        const uint32_t advance = timer_steps_to_ms(n + 1) - timer_steps_to_ms(n);
        ASSERT_TRUE(advance == 15 || advance == 16) << n;
    }
}

} // namespace
