// start, stop, disposeBuffers and Release in the orders hosts use them, and the delayed start.

#include <cstdio>

#include "lifecycle/LifecycleFixture.h"
#include "lifecycle/ProcessResources.h"

namespace lifecycle {
namespace {

using namespace std::chrono_literals;

// Playback is released StartDelay + 10 ms after start: the first host callback comes no earlier
// (the ring is full of silence until then, so nothing asks the host for audio). Only the lower
// bound is asserted; the upper bound is the 5 s wait.
struct DelayCase {
    const char* name;
    const char* setting;
    double atLeastMs;
};

class StartStopTest : public LifecycleTest, public ::testing::WithParamInterface<DelayCase> {};

TEST_P(StartStopTest, EachRunWaitsForTheDelayStartsAtPositionZeroAndStopsCleanly) {
    if (!bringUp({GetParam().setting})) return;
    CallbackLog& log = callbackLog();
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        if (run > 0) {
            ASSERT_TRUE(startSink());
        }
        ASSERT_TRUE(startAndFlow(20));
        std::printf("[ measure  ] %s: first callback %.1f ms after start (run %d)\n", GetParam().setting,
                    firstCallbackMs(), run);
        EXPECT_GE(firstCallbackMs(), GetParam().atLeastMs);
        EXPECT_EQ(log.firstPosition.load(), 0u) << "the first callback of a run sees position 0";
        const uint64_t frames = static_cast<uint64_t>(host_->frames());
        const uint64_t advanced = host_->samplePosition();
        EXPECT_GE(advanced, 19 * frames) << "the position advances one buffer per callback";
        EXPECT_LE(advanced, (runSwitches() + 1) * frames);
        EXPECT_EQ(log.indexFaults.load(), 0u) << "buffer indices run 0, 1, 0, 1, ... from the start";

        EXPECT_LT(timed([&] { EXPECT_EQ(host_->stop(), ASE_OK); }), teardownLimitMs);
        const uint64_t stoppedAt = host_->samplePosition();
        EXPECT_EQ(callbacksAddedDuring(300ms), 0u) << "no callback after stop returned";
        EXPECT_EQ(host_->samplePosition(), stoppedAt) << "the position stands still while stopped";
        EXPECT_TRUE(sinkClosedCleanly());
    }
}

INSTANTIATE_TEST_SUITE_P(Delays, StartStopTest,
                         ::testing::Values(DelayCase{"None", "StartDelay=0", 10.0},
                                           DelayCase{"Half", "StartDelay=500000", 510.0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LifecycleTest, DisposeBuffersWhileRunningStopsFirstAndBuffersCanBeMadeAgain) {
    if (!bringUp({"StartDelay=0"})) return;
    ASSERT_TRUE(startAndFlow(10));

    EXPECT_LT(timed([&] { EXPECT_EQ(host_->disposeBuffers(), ASE_OK); }), teardownLimitMs);
    EXPECT_EQ(callbacksAddedDuring(300ms), 0u) << "no callback after disposeBuffers returned";
    EXPECT_EQ(host_->stop(), ASE_OK) << "stop after disposeBuffers is harmless";
    EXPECT_TRUE(sinkClosedCleanly());
    ASSERT_TRUE(startSink());

    // A host that changes its buffer size disposes and creates again on the same object.
    ASSERT_TRUE(host_->prepare()) << host_->error();
    ASSERT_TRUE(startAndFlow(10)) << "streams again after new buffers";
    EXPECT_EQ(callbackLog().firstPosition.load(), 0u);
    EXPECT_EQ(host_->stop(), ASE_OK);
    EXPECT_EQ(host_->disposeBuffers(), ASE_OK);
}

TEST_F(LifecycleTest, ReleaseWhileRunningEndsEveryThreadOfTheDriver) {
    if (!bringUp({"StartDelay=0"})) return;
    const int idleThreads = sampleResources().threads;
    ASSERT_TRUE(startAndFlow(10));
    EXPECT_GT(sampleResources().threads, idleThreads) << "streaming runs threads of its own";

    ULONG left = 1;
    EXPECT_LT(timed([&] { left = host_->release(); }), teardownLimitMs);
    EXPECT_EQ(left, 0u) << "the host held the only reference";
    EXPECT_EQ(callbacksAddedDuring(300ms), 0u) << "no callback after Release returned";
    EXPECT_EQ(sampleResources().threads, idleThreads) << "the destructor joined the driver's threads";
    EXPECT_EQ(moduleCanUnloadNow(), 0) << "no driver object is left alive";
    EXPECT_TRUE(sinkClosedCleanly());
}

}  // namespace
}  // namespace lifecycle
