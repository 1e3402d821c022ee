#include "platform/Thread.h"
#include "platform/WakeSignal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// Runs body on a fresh thread so that priority and affinity changes die with it.
template <typename Body>
void onFreshThread(Body body) {
    std::thread(body).join();
}

TEST(SchedulingTables, PrioritiesClassesAndMasks) {
    const std::pair<int, int> priorities[] = {{0, 15}, {1, 2}, {2, 0}, {3, -15}, {4, 0}, {7, 0}, {-1, 0}};
    for (const auto& [level, priority] : priorities)
        EXPECT_EQ(platform::threadPriorityForLevel(level), priority) << level;

    const std::pair<uint32_t, int32_t> classes[] = {{0x100, 0}, {0x80, 1},  {0x8000, 1}, {0x20, 2},
                                                    {0x4000, 3}, {0x40, 3}, {0, 2},      {0x200, 2}};
    for (const auto& [priorityClass, level] : classes)
        EXPECT_EQ(platform::levelForPriorityClass(priorityClass), level) << priorityClass;

    EXPECT_EQ(platform::affinityMaskForProcessor(0), 1u);
    EXPECT_EQ(platform::affinityMaskForProcessor(63), 0x8000000000000000ull);
    EXPECT_EQ(platform::affinityMaskForProcessor(65), 2u);
}

TEST(ThreadPriority, SetAndReadBack) {
    onFreshThread([] {
        EXPECT_TRUE(platform::setThreadPriorityLevel(7));   // any other level: normal
        EXPECT_EQ(platform::currentThreadPriority(), 0);
        EXPECT_TRUE(platform::setThreadPriorityLevel(platform::priorityLevelLow));
        EXPECT_EQ(platform::currentThreadPriority(), -15);
    });
    onFreshThread([] {
        const int before = platform::currentThreadPriority();
        // Raising succeeds for every user, as on Windows; without privilege it goes as high as
        // this user may, never lower than before.
        EXPECT_TRUE(platform::setThreadPriorityLevel(platform::priorityLevelHigh));
        const int after = platform::currentThreadPriority();
        EXPECT_TRUE(after == 2 || after >= before) << after;
    });
}

TEST(Processors, CoreCountAndPinning) {
    const unsigned logical = std::thread::hardware_concurrency();
    EXPECT_GT(platform::coreCount(), 0u);
    EXPECT_TRUE(logical == 0 || platform::coreCount() <= logical) << platform::coreCount() << " > " << logical;
    onFreshThread([logical] {
        const bool pinned = platform::pinToProcessor(65);   // processor 1
        if (logical < 2) {
            EXPECT_FALSE(pinned) << "no processor 1 on this machine";
            return;
        }
        ASSERT_TRUE(pinned);
        platform::yieldProcessor();
        const int processor = platform::currentProcessor();  // negative: unknown
        EXPECT_TRUE(processor < 0 || processor == 1) << processor;
    });
}

}  // namespace

// A waiter returns when its time runs out, and long before it when woken (a call made before
// it waits is lost, so the waking side calls until it sees the waiter back, for at most 10 s).
TEST(WakeSignal, EndsAtTheTimeoutOrWhenWoken) {
    platform::WakeSignal signal;
    signal.waitFor(5);

    std::atomic<bool> back{false};
    std::thread waiter([&] {
        signal.waitFor(60000);
        back = true;
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!back && std::chrono::steady_clock::now() < until) {
        signal.wakeAll();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(back) << "wakeAll left the waiter asleep";
    waiter.join();
}
