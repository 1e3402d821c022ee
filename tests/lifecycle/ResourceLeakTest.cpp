// Many start/stop runs on one driver object must not leave threads, descriptors or memory behind.

#include <cstdio>

#include "lifecycle/LifecycleFixture.h"
#include "lifecycle/ProcessResources.h"

namespace lifecycle {
namespace {

TEST_F(LifecycleTest, FiftyStartStopRunsLeakNothing) {
    if (!bringUp({"StartDelay=0"})) return;
    int64_t madeByStart = 0;   // allocations counted while only the driver's code ran
    bool first = true;
    auto run = [&] {
        if (!first && !startSink()) return false;
        first = false;
        const int64_t before = allocationsMade();
        if (!startAndFlow(3)) return false;
        madeByStart = allocationsMade() - before;
        return host_->stop() == ASE_OK && sinkClosedCleanly();
    };
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(run()) << "warm-up run " << i;
    // The module allocates through this program's operator new (start makes threads at least);
    // otherwise the counts below would say nothing about it.
    ASSERT_GT(madeByStart, 0) << "the driver's allocations are not counted here";

    const ProcessResources before = sampleResources();
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(run()) << "run " << i;
    const ProcessResources after = sampleResources();

    std::printf("[ measure  ] threads %d -> %d, descriptors %d -> %d, VmRSS %lld -> %lld KiB, live allocations "
                "%lld -> %lld (%lld -> %lld bytes)\n",
                before.threads, after.threads, before.descriptors, after.descriptors,
                static_cast<long long>(before.residentKiB), static_cast<long long>(after.residentKiB),
                static_cast<long long>(before.liveAllocations), static_cast<long long>(after.liveAllocations),
                static_cast<long long>(before.liveBytes), static_cast<long long>(after.liveBytes));
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_EQ(after.descriptors, before.descriptors);
    // A leak of one object per run would show 50; allow a little for lazily grown caches.
    EXPECT_LE(after.liveAllocations - before.liveAllocations, 10);
    EXPECT_LE(after.liveBytes - before.liveBytes, 64 * 1024);
    // The address sanitizer keeps freed memory in quarantine, so resident size only counts without it.
    if (VELMORA_LIFECYCLE_RSS_MEANINGFUL) {
        EXPECT_LE(after.residentKiB - before.residentKiB, 4096) << "resident memory grew by more than 4 MiB";
    }
}

}  // namespace
}  // namespace lifecycle

namespace lifecycle {
namespace {

// init, createBuffers, start, stop, disposeBuffers and Release on a fresh driver object each
// time. VELMORA_CYCLES sets how often (make memcheck: 100 under valgrind); a few by default.
TEST_F(LifecycleTest, FullCyclesOnFreshObjects) {
    const char* requested = std::getenv("VELMORA_CYCLES");
    const int cycles = requested ? std::atoi(requested) : 3;
    int retriedInits = 0;
    if (!bringUp({"StartDelay=0"})) return;
    for (int i = 0; i < cycles; ++i) {
        SCOPED_TRACE("cycle " + std::to_string(i));
        if (i > 0) {
            ASSERT_TRUE(startSink());
            host_ = std::make_unique<HostDriver>();
            ASSERT_TRUE(host_->created()) << host_->error();
            // Under valgrind a new sink may miss the short waits of discovery or of getInfo
            // (10 ms per answer); the host tries init again, init after a failed init.
            bool prepared = host_->prepare();
            for (int retry = 0; !prepared && retry < 3; ++retry) {
                ++retriedInits;
                prepared = host_->prepare();
            }
            ASSERT_TRUE(prepared) << host_->error();
        }
        ASSERT_TRUE(startAndFlow(3));
        EXPECT_EQ(host_->stop(), ASE_OK);
        EXPECT_EQ(host_->disposeBuffers(), ASE_OK);
        EXPECT_EQ(host_->release(), 0u);
        EXPECT_TRUE(sinkClosedCleanly());
    }
    std::printf("[ measure  ] %d init/createBuffers/start/stop/disposeBuffers/release cycles, %d inits tried again\n",
                cycles, retriedInits);
}

}  // namespace
}  // namespace lifecycle
