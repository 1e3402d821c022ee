// A sink that disappears while the driver plays: the driver ends the stream by itself, and the
// host's stop, disposeBuffers and Release still return promptly.

#include <cstdio>

#include "lifecycle/LifecycleFixture.h"
#include "lifecycle/ProcessResources.h"

namespace lifecycle {
namespace {

using namespace std::chrono_literals;

struct LossCase {
    const char* name;
    std::vector<std::string> sinkOptions;   // a fault of the sink's own, or none
    bool killSink;                          // the sink process dies while playing
};

// By name: the case's padding bytes are not printed (valgrind counts them as uninitialised).
void PrintTo(const LossCase& c, std::ostream* os) { *os << c.name; }

class SinkLossTest : public LifecycleTest, public ::testing::WithParamInterface<LossCase> {};

TEST_P(SinkLossTest, DriverEndsTheStreamAndTeardownDoesNotHang) {
    if (!bringUp({"StartDelay=0"}, GetParam().sinkOptions)) return;
    const int idleThreads = sampleResources().threads;
    ASSERT_TRUE(startAndFlow(20));
    if (GetParam().killSink) sink_->stop(SIGKILL);

    // The session notices the silence (its info time-out is about 1 s) and asks the host for
    // no more audio.
    const auto lossAt = Clock::now();
    ASSERT_TRUE(callbackLog().waitUntilQuiet(1s, 15s)) << "callbacks still flow 15 s after the sink went";
    std::printf("[ measure  ] %s: callbacks ended %.0f ms after the loss (1 s of quiet included), %llu in the run\n",
                GetParam().name, millisecondsSince(lossAt), static_cast<unsigned long long>(runSwitches()));
    EXPECT_EQ(sampleResources().threads, idleThreads) << "the session's threads ended by themselves";

    EXPECT_LT(timed([&] { EXPECT_EQ(host_->stop(), ASE_OK); }), teardownLimitMs);
    EXPECT_LT(timed([&] { EXPECT_EQ(host_->disposeBuffers(), ASE_OK); }), teardownLimitMs);
    EXPECT_LT(timed([&] { EXPECT_EQ(host_->release(), 0u); }), teardownLimitMs);
    EXPECT_EQ(moduleCanUnloadNow(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SinkLossTest,
    ::testing::Values(LossCase{"killed", {}, true}, LossCase{"silent", {"--stop-answering-after", "300"}, false},
                      LossCase{"closed", {"--close-after", "300"}, false}),
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

}  // namespace
}  // namespace lifecycle
