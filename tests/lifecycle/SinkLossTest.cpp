// A sink that goes while the driver plays: the driver keeps the host's callbacks going and asks
// for a reset; whatever moment the host picks to stop and release, it returns promptly and
// leaves no thread behind; a host that answers every reset leaks nothing over many losses.

#include <cstdio>
#include <cstdlib>

#include "lifecycle/LifecycleFixture.h"
#include "lifecycle/ProcessResources.h"

namespace lifecycle {
namespace {

using namespace std::chrono_literals;

// The host goes this long without a callback at most (a block is 11.6 ms).
constexpr double callbackGapLimitMs = 250;

HostDriver* resetTarget = nullptr;   // stopped from inside the reset request
std::atomic<double> stopInsideMs{-1};

struct Moment {
    const char* name;
    bool takesReset;
    void (*duringReset)();
};

// By name: the case's padding bytes are not printed (valgrind counts them as uninitialised).
void PrintTo(const Moment& m, std::ostream* os) { *os << m.name; }

class SinkLossTest : public LifecycleTest, public ::testing::WithParamInterface<Moment> {};

// The sink closes the stream (DSICONNECT_ANS) after 300 packets, about 0.3 s.
TEST_P(SinkLossTest, CallbacksGoOnAndTeardownIsPromptWheneverTheHostActs) {
    CallbackLog& log = callbackLog();
    log.takesReset = GetParam().takesReset;
    log.duringReset = GetParam().duringReset;
    log.resetRequests = 0;
    if (!bringUp({"StartDelay=0"}, {"--streams", "0", "--close-after", "300"})) return;
    resetTarget = host_.get();
    const int idleThreads = sampleResources().threads;
    ASSERT_TRUE(startAndFlow(20));

    if (GetParam().takesReset) {
        // The process's back-off may hold the request up to 4 s here (earlier losses).
        const auto deadline = Clock::now() + 8s;
        while (log.resetRequests.load() == 0 && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
        ASSERT_EQ(log.resetRequests.load(), 1u) << "no reset request 8 s after start";
    } else {
        std::this_thread::sleep_for(4s);   // past the loss and any back-off
        EXPECT_EQ(log.resetRequests.load(), 0u);
    }
    if (!GetParam().duringReset) {
        EXPECT_GT(callbacksAddedDuring(300ms), 10u) << "callbacks go on after the loss";
    } else {
        EXPECT_GE(stopInsideMs.load(), 0.0);
        EXPECT_LT(stopInsideMs.load(), teardownLimitMs) << "stop from inside the reset request";
    }
    std::printf("[ measure  ] %s: %llu callbacks, at most %.1f ms apart\n", GetParam().name,
                static_cast<unsigned long long>(runSwitches()), log.longestGapMs());
    EXPECT_LT(log.longestGapMs(), callbackGapLimitMs);

    EXPECT_LT(timed([&] { EXPECT_EQ(host_->stop(), ASE_OK); }), teardownLimitMs);
    EXPECT_EQ(callbacksAddedDuring(100ms), 0u) << "no callback after stop returned";
    EXPECT_LT(timed([&] { EXPECT_EQ(host_->disposeBuffers(), ASE_OK); }), teardownLimitMs);
    EXPECT_LT(timed([&] { EXPECT_EQ(host_->release(), 0u); }), teardownLimitMs);
    EXPECT_EQ(sampleResources().threads, idleThreads) << "every thread of the driver joined";
    EXPECT_EQ(moduleCanUnloadNow(), 0);
    log.takesReset = true;
    log.duringReset = nullptr;
}

INSTANTIATE_TEST_SUITE_P(
    Moments, SinkLossTest,
    ::testing::Values(Moment{"told", true, nullptr},
                      Moment{"stopInsideRequest", true,
                             [] { stopInsideMs = timed([] { EXPECT_EQ(resetTarget->stop(), ASE_OK); }); }},
                      Moment{"noReset", false, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// stop and Release while the session still believes it streams, before its time-out: the
// closing handshake must give up by itself.
TEST_F(LifecycleTest, TeardownRightAfterTheSinkDiedDoesNotHang) {
    if (!bringUp({"StartDelay=0"})) return;
    const int idleThreads = sampleResources().threads;
    ASSERT_TRUE(startAndFlow(20));
    sink_->stop(SIGKILL);
    EXPECT_LT(timed([&] { EXPECT_EQ(host_->stop(), ASE_OK); }), teardownLimitMs);
    EXPECT_EQ(callbacksAddedDuring(200ms), 0u) << "no callback after stop returned";
    EXPECT_EQ(sampleResources().threads, idleThreads);
    EXPECT_LT(timed([&] { EXPECT_EQ(host_->release(), 0u); }), teardownLimitMs);
}

// The sink closes every stream after 5500 packets (about 5.5 s, long enough for the back-off to
// start over); the host answers each reset request with a new driver object.
// VELMORA_RECOVERY_CYCLES losses (2 by default) leave no thread, descriptor or memory behind.
TEST_F(LifecycleTest, LossesAndRecoveriesLeakNothing) {
    const char* cyclesText = std::getenv("VELMORA_RECOVERY_CYCLES");
    const int cycles = cyclesText ? std::atoi(cyclesText) : 2;
    if (!bringUp({"StartDelay=0"}, {"--streams", "0", "--fault-streams", "0", "--close-after", "5500"})) return;
    CallbackLog& log = callbackLog();
    auto cycle = [&](int i) {
        ASSERT_TRUE(startAndFlow(10));
        const uint64_t requests = log.resetRequests.load();
        const auto deadline = Clock::now() + 15s;
        while (log.resetRequests.load() == requests && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
        ASSERT_GT(log.resetRequests.load(), requests) << "cycle " << i << ": no reset request";
        const double gapMs = log.longestGapMs();
        const auto told = Clock::now();
        EXPECT_LT(timed([&] {
                      host_->stop();
                      host_->disposeBuffers();
                      host_->release();
                  }),
                  teardownLimitMs);
        ASSERT_TRUE(host_->prepareRetrying(20s)) << host_->error();
        std::printf("[ measure  ] cycle %d: callbacks at most %.1f ms apart, restart took %.0f ms\n", i, gapMs,
                    millisecondsSince(told));
        EXPECT_LT(gapMs, callbackGapLimitMs);
    };
    cycle(0);   // warm-up: lazily made caches and the first thread of each kind
    const ProcessResources before = sampleResources();
    for (int i = 1; i <= cycles && !HasFatalFailure(); ++i) cycle(i);
    const ProcessResources after = sampleResources();
    std::printf("[ measure  ] %d losses: threads %d -> %d, descriptors %d -> %d, live allocations %lld -> %lld\n",
                cycles, before.threads, after.threads, before.descriptors, after.descriptors,
                static_cast<long long>(before.liveAllocations), static_cast<long long>(after.liveAllocations));
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_EQ(after.descriptors, before.descriptors);
    EXPECT_LE(after.liveAllocations - before.liveAllocations, 10);
}

}  // namespace
}  // namespace lifecycle
