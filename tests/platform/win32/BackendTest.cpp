#include "platform/Thread.h"
#include "platform/win32/WaitChoice.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

TEST(ProcessPriority, FollowsThePriorityClass) {
    HANDLE process = GetCurrentProcess();
    const DWORD original = GetPriorityClass(process);
    ASSERT_TRUE(SetPriorityClass(process, BELOW_NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(platform::processPriorityLevel(), 3);
    ASSERT_TRUE(SetPriorityClass(process, NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(platform::processPriorityLevel(), 2);
    SetPriorityClass(process, original);
}

// The paced wait takes the more precise of the two waits its probes measured, the timer on a
// tie, and select when neither is within the bound (~0u: not offered).
TEST(PacedWaitChoice, TheMorePreciseWaitWithinTheBound) {
    using platform::PacedWaitKind;
    const struct {
        uint32_t timer, sleep;
        PacedWaitKind chosen;
    } cases[] = {
        {40, 40, PacedWaitKind::timerAndEvent},      // Windows 10 with a fine timer: a tie
        {60, 9000, PacedWaitKind::timerAndEvent},    // the sleep runs on the system tick
        {140, 55, PacedWaitKind::selectThenSleep},   // Wine: a millisecond timer passed by chance
        {1100, 350, PacedWaitKind::selectThenSleep}, // Wine on a busy machine
        {~0u, 380, PacedWaitKind::selectThenSleep},  // no high-resolution timer
        {~0u, 700, PacedWaitKind::select},           // a sleep on a 1 ms tick
        {900, 1500, PacedWaitKind::select},
        {~0u, ~0u, PacedWaitKind::select},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::choosePacedWait(c.timer, c.sleep), c.chosen) << c.timer << " " << c.sleep;
}

// The chosen timer is given up when more than half of a window of its waits end a tick late,
// judged window by window.
TEST(PacedWaitChoice, TimerGivenUpWhenMostWaitsEndATickLate) {
    const struct {
        uint32_t coarseFirst;   // coarse waits at the start of the waits counted
        uint32_t waits;
        bool givenUp;           // on the last wait
    } cases[] = {
        {9, 16, true},    // Wine's millisecond clock
        {16, 16, true},
        {8, 16, false},   // half the waits late: a busy machine
        {16, 15, false},  // the window is not full yet
        {16, 32, false},  // given up at the 16th; the next window is precise
    };
    for (const auto& c : cases) {
        platform::TimerWatch watch;
        bool givenUp = false;
        for (uint32_t i = 0; i < c.waits; ++i) givenUp = watch.coarseAfter(i < c.coarseFirst ? 900 : 30);
        EXPECT_EQ(givenUp, c.givenUp) << c.coarseFirst << " of " << c.waits;
    }
}

}  // namespace
