// start, stop and Release in the orders hosts use them, the delayed start, and teardown right
// after the sink died.

#include "lifecycle/LifecycleFixture.h"

namespace lifecycle {
namespace {

// Playback is released StartDelay + 10 ms after start: the first host callback comes no earlier
// (the ring is full of silence until then, so nothing asks the host for audio). Only the lower
// bound is asserted; the upper bound is the 5 s wait. (Without a delay the leak tests start
// streams by the dozen.)
constexpr const char* delaySetting = "StartDelay=500000";
constexpr double firstCallbackAfterMs = 510;

// The first run ends with stop, the second with the host's Release while the stream plays, the
// third (on a new object) with stop right after the sink died: while the session still believes
// it streams, before its time-out, the closing handshake must give up by itself.
TEST_F(LifecycleTest, EachRunWaitsForTheDelayStartsAtPositionZeroAndEndsCleanly) {
    if (!bringUp(delaySetting)) return;
    const int idleThreads = sampleResources().threads;
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        if (run > 0) {
            ASSERT_TRUE(startSink());
        }
        if (run == 2) {
            ASSERT_EQ(newDriver(), "");
        }
        ASSERT_TRUE(startAndFlow(20));
        std::printf("[ measure  ] %s: first callback %.1f ms after start (run %d)\n", delaySetting,
                    firstCallbackMs(), run);
        EXPECT_GE(firstCallbackMs(), firstCallbackAfterMs);
        const uint64_t advanced = drivertest::samplePosition(asio());
        EXPECT_GE(advanced, 19u * frames_) << "the position advances one buffer per callback";
        EXPECT_LE(advanced, (Host::switches.load() + 1u) * frames_);
        if (run == 2) sink_->stop(SIGKILL);
        if (run != 1) {
            EXPECT_LT(timed([&] { EXPECT_EQ(asio()->stop(), ASE_OK); }), teardownLimitMs);
            const uint64_t stoppedAt = drivertest::samplePosition(asio());
            EXPECT_EQ(callbacksAddedDuring(300ms), 0) << "no callback after stop returned";
            EXPECT_EQ(drivertest::samplePosition(asio()), stoppedAt) << "the position stands still while stopped";
            EXPECT_EQ(sampleResources().threads, idleThreads) << "stop joined the streaming threads";
        } else {
            EXPECT_GT(sampleResources().threads, idleThreads) << "streaming runs threads of its own";
            EXPECT_LT(timed([&] { release(); }), teardownLimitMs);
            EXPECT_EQ(callbacksAddedDuring(300ms), 0) << "no callback after Release returned";
            EXPECT_EQ(sampleResources().threads, idleThreads) << "the destructor joined the driver's threads";
            EXPECT_EQ(com::canUnloadNow(), com::resultOk) << "no driver object is left alive";
        }
        if (run != 2) {
            EXPECT_TRUE(sinkClosedCleanly());
        }
        // Read once the driver no longer calls in.
        ASSERT_FALSE(Host::positions.empty());
        EXPECT_EQ(Host::positions.front(), 0u) << "the first callback of a run sees position 0";
        for (size_t i = 0; i < Host::indices.size(); ++i)
            ASSERT_EQ(Host::indices[i], static_cast<std::int32_t>(i % 2)) << "buffer indices run 0, 1, 0, 1, ... from the start";
    }
}

}  // namespace
}  // namespace lifecycle
