// Many runs must not leave threads, descriptors or memory behind: start/stop on one driver
// object, whole host cycles on fresh objects, and losses of the sink answered with new objects.

#include "lifecycle/LifecycleFixture.h"

namespace lifecycle {
namespace {

TEST_F(LifecycleTest, FiftyStartStopRunsLeakNothing) {
    if (!bringUp("StartDelay=0")) return;
    int64_t madeByStart = 0;   // allocations counted while only the driver's code ran
    bool first = true;
    auto run = [&] {
        if (!first && !startSink()) return false;
        first = false;
        const int64_t before = allocationsMade();
        if (!startAndFlow(3)) return false;
        madeByStart = allocationsMade() - before;
        return asio()->stop() == ASE_OK && sinkClosedCleanly();
    };
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(run()) << "warm-up run " << i;
    // The driver allocates through this program's operator new (start makes threads at least);
    // otherwise the counts below would say nothing about it.
    ASSERT_GT(madeByStart, 0) << "the driver's allocations are not counted here";

    const ProcessResources before = sampleResources();
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(run()) << "run " << i;
    const ProcessResources after = sampleResources();
    expectNothingLeft(before, after, "50 start/stop runs");
    // The address sanitizer keeps freed memory in quarantine, so resident size only counts without it.
    if (VELMORA_LIFECYCLE_RSS_MEANINGFUL) {
        EXPECT_LE(after.residentKiB - before.residentKiB, 4096) << "resident memory grew by more than 4 MiB";
    }
}

// init, createBuffers, start, stop, disposeBuffers and Release on a fresh driver object each
// time. VELMORA_CYCLES sets how often (make memcheck: 100 under valgrind); a few by default.
TEST_F(LifecycleTest, FullCyclesOnFreshObjects) {
    const char* requested = std::getenv("VELMORA_CYCLES");
    const int cycles = requested ? std::atoi(requested) : 3;
    int retriedInits = 0;
    if (!bringUp("StartDelay=0")) return;
    for (int i = 0; i < cycles; ++i) {
        SCOPED_TRACE("cycle " + std::to_string(i));
        if (i > 0) {
            ASSERT_TRUE(startSink());
            // Under valgrind a new sink may miss the short waits of discovery or of getInfo
            // (10 ms per answer); the host tries init again, init after a failed init.
            std::string error = newDriver();
            for (int retry = 0; !error.empty() && retry < 3; ++retry, ++retriedInits) error = prepare();
            ASSERT_EQ(error, "");
        }
        ASSERT_TRUE(startAndFlow(3));
        EXPECT_EQ(asio()->stop(), ASE_OK);
        EXPECT_EQ(asio()->disposeBuffers(), ASE_OK);
        release();
        EXPECT_EQ(com::canUnloadNow(), com::resultOk);
        EXPECT_TRUE(sinkClosedCleanly());
    }
    std::printf("[ measure  ] %d init/createBuffers/start/stop/disposeBuffers/release cycles, %d inits tried again\n",
                cycles, retriedInits);
}

// The sink closes every stream after 5500 packets (about 5.5 s, long enough for the back-off to
// start over); the host answers each reset request with a new driver object.
// VELMORA_RECOVERY_CYCLES losses (2 by default) leave nothing behind.
TEST_F(LifecycleTest, LossesAndRecoveriesLeakNothing) {
    const char* cyclesText = std::getenv("VELMORA_RECOVERY_CYCLES");
    const int cycles = cyclesText ? std::atoi(cyclesText) : 2;
    if (!bringUp("StartDelay=0", {"--streams", "0", "--fault-streams", "0", "--close-after", "5500"})) return;
    auto cycle = [&](int i) {
        ASSERT_TRUE(startAndFlow(10));
        ASSERT_TRUE(drivertest::eventually([] { return Host::resetRequests.load() > 0; }, 15s))
            << "cycle " << i << ": no reset request";
        const double gapMs = Host::longestGapMs();
        const auto told = Clock::now();
        EXPECT_LT(timed([&] {
                      asio()->stop();
                      asio()->disposeBuffers();
                      release();
                  }),
                  teardownLimitMs);
        // The host's answer to a reset request: new objects, every quarter second while init fails.
        std::string error;
        ASSERT_TRUE(eventually([&] { return (error = newDriver()).empty(); }, 20s, 250ms)) << error;
        std::printf("[ measure  ] cycle %d: callbacks at most %.1f ms apart, restart took %.0f ms\n", i, gapMs,
                    millisecondsSince(told));
        // The host goes this long without a callback at most (a block is 11.6 ms).
        EXPECT_LT(gapMs, 250);
    };
    cycle(0);   // warm-up: lazily made caches and the first thread of each kind
    const ProcessResources before = sampleResources();
    for (int i = 1; i <= cycles && !HasFatalFailure(); ++i) cycle(i);
    expectNothingLeft(before, sampleResources(), std::to_string(cycles) + " losses");
}

}  // namespace
}  // namespace lifecycle
