#include "platform/Clock.h"
#include "platform/Thread.h"
#include "platform/Timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <tuple>

namespace {

uint32_t reference(uint64_t counter, uint64_t frequency) {
    return static_cast<uint32_t>(static_cast<unsigned __int128>(counter) * 1000000u / frequency);
}

TEST(CounterConversion, ExactForEveryCounterAndFrequency) {
    const uint64_t edges[] = {1, 3, 999999, 3579545, 10000000, 1ull << 32, 1ull << 63, ~0ull - 1, ~0ull};
    for (uint64_t f : edges)
        for (uint64_t c : edges) EXPECT_EQ(platform::counterToMicroseconds(c, f), reference(c, f)) << c << "/" << f;
    std::mt19937_64 random(20240305);
    for (int i = 0; i < 20000; ++i) {
        const uint64_t c = random();
        const uint64_t f = (random() >> (i % 64)) | 1;
        ASSERT_EQ(platform::counterToMicroseconds(c, f), reference(c, f)) << c << "/" << f;
    }
    EXPECT_EQ(platform::counterToMicroseconds(12345, 0), 0u);
}

TEST(TimeComparison, WrapAroundRules) {
    const std::tuple<uint32_t, uint32_t, int> cases[] = {
        {0xFFFFFFF0u, 16, -1}, {16, 0xFFFFFFF0u, 1},  // 32 us later across the wrap
        {5, 5, 0}, {100, 200, -1}, {3, 0xFFFFFFFDu, 1},
        {0, 0x80000000u, 1}, {0x80000000u, 0, -1},    // exactly half: the smaller is later
        {0, 0x7FFFFFFFu, -1}, {0x7FFFFFFFu, 0, 1}};
    for (const auto& [a, b, order] : cases) {
        EXPECT_EQ(platform::compareTime(a, b), order) << a << " " << b;
        EXPECT_EQ(platform::isEarlier(a, b), order < 0) << a << " " << b;
        EXPECT_EQ(platform::isLater(a, b), order > 0) << a << " " << b;
    }
}

TEST(LiveClock, MicrosecondsAndTicksFollowRealTime) {
    const auto wallBefore = std::chrono::steady_clock::now();
    const uint32_t before = platform::nowMicroseconds();
    const uint32_t ticksBefore = platform::tickMilliseconds();
    ASSERT_TRUE(platform::beginTimerResolution(1));
    platform::sleepMilliseconds(30);
    EXPECT_TRUE(platform::endTimerResolution(1));
    const uint32_t elapsed = platform::nowMicroseconds() - before;
    const uint32_t ticks = platform::tickMilliseconds() - ticksBefore;
    const auto wallUs = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - wallBefore).count();
    EXPECT_GE(elapsed, 29000u);
    EXPECT_LE(elapsed, static_cast<uint32_t>(wallUs) + 2000u);
    EXPECT_GE(ticks, 25u);
    EXPECT_LE(ticks, static_cast<uint32_t>(wallUs / 1000) + 20u);
}

TEST(WallClock, SecondsAndLocalTime) {
    const auto system = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_LE(std::llabs(platform::secondsSince1970() - system), 2);
    // 2024-03-05 14:03:09 UTC: no time zone moves it out of March 2024 or off 09 seconds.
    const std::tm local = platform::localCalendarTime(1709647389);
    EXPECT_EQ(local.tm_year, 124);
    EXPECT_EQ(local.tm_mon, 2);
    EXPECT_NEAR(local.tm_mday, 5, 1);
    EXPECT_EQ(local.tm_sec, 9);
    const std::tm later = platform::localCalendarTime(1709647389 + 61);
    EXPECT_EQ(later.tm_sec, 10);
    EXPECT_EQ(later.tm_min, (local.tm_min + 1) % 60);
}

}  // namespace
