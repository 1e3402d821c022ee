// The ring with its buffer worker running: the test thread is the Sync worker.

#include <atomic>

#include "syncbuffer/TestRing.h"

using namespace syncbuffer_test;

namespace {

// Takes the next block, waiting (bounded) for the buffer worker to fill one.
VELMORA::StreamBlock takeFilled(TestRing& ring) {
    EXPECT_TRUE(eventually([&] { return ring.filledBlocks() > 0; }));
    VELMORA::StreamBlock b;
    EXPECT_TRUE(ring.getNewStream(b));
    return b;
}

// A ring of four blocks of 512 frames connected, once the stand-in worker reports the
// stream as open.
bool connected(TestRing& ring) {
    ring.configure(512, 4);
    return ring.connect() && eventually([&] { return ring.state.load() == VELMORA::stateStreaming; });
}

}  // namespace

TEST(RingFlow, HostBlocksFollowTheLeadingSilenceInOrderAcrossWraps) {
    TestRing ring;
    ASSERT_TRUE(connected(ring));
    ASSERT_TRUE(ring.bufferWorker.joinable());
    ring.play();
    EXPECT_EQ(ring.playing.load(), 1u);

    for (int i = 0; i < 3; ++i) EXPECT_TRUE(filledWith(takeFilled(ring), 0x00)) << "leading block " << i;
    // Fill numbers 1..40 wrap the 4-block ring ten times. Each block must keep its
    // bytes until the next call, although the buffer worker refills freed blocks.
    for (uint8_t n = 1; n <= 40; ++n) {
        const VELMORA::StreamBlock b = takeFilled(ring);
        ASSERT_EQ(b.size, 2048u);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        ring.streamSent();
        ASSERT_TRUE(filledWith(b, n)) << "fill " << int(n);
    }
    ring.disconnect();
    EXPECT_FALSE(ring.bufferWorker.joinable());
    EXPECT_EQ(ring.state.load(), VELMORA::stateIdle);
}

TEST(RingFlow, AfterSendOnceBetweenFullRings) {
    TestRing ring(true);
    ASSERT_TRUE(connected(ring));
    VELMORA::StreamBlock b;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(ring.getNewStream(b));

    ASSERT_TRUE(ring.fillStarted(1));   // taken before any streamSent
    ring.streamSent();
    ring.openGate(1);
    ASSERT_TRUE(ring.fillStarted(2));   // first fill after a streamSent
    ring.streamSent();
    ring.openGate(2);
    ASSERT_TRUE(ring.fillStarted(3));   // sent again, but the ring has not been full since
    ring.openGate(3);
    ASSERT_TRUE(eventually([&] { return ring.filledBlocks() == 3; }));   // full again
    ring.streamSent();
    ASSERT_TRUE(ring.getNewStream(b));
    ASSERT_TRUE(ring.fillStarted(4));
    ring.openGate(4);
    EXPECT_EQ(ring.afterSends(), (std::vector<bool>{false, true, false, true}));
    ring.disconnect();
}

TEST(RingFlow, StopDrainsTheRingThenPlayRefillsIt) {
    TestRing ring;
    ASSERT_TRUE(connected(ring));
    ring.play();
    ASSERT_TRUE(eventually([&] { return ring.filledBlocks() == 3; }));

    std::atomic<bool> returned{false};
    std::thread stopper([&] {
        ring.stop();
        returned = true;
    });
    ASSERT_TRUE(eventually([&] { return ring.stopping.load(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(returned.load()) << "stop returned with a full ring";

    // The three blocks still in the ring go out, then stopping silence marks the stop.
    int ringBlocks = 0;
    VELMORA::StreamBlock b;
    while (ring.getNewStream(b) && !ring.stopped.load() && ringBlocks < 10) ++ringBlocks;
    EXPECT_EQ(ringBlocks, 3);
    EXPECT_TRUE(eventually([&] { return returned.load(); }));
    stopper.join();
    EXPECT_EQ(ring.playing.load(), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ring.filledBlocks(), 0u) << "filled while stopped";

    ring.play();
    EXPECT_FALSE(ring.stopping.load());
    EXPECT_FALSE(ring.stopped.load());
    EXPECT_TRUE(eventually([&] { return ring.filledBlocks() == 3; }));
    ring.disconnect();
}

// The stream ends by disconnect, then, after a new connect, with the session.
TEST(RingFlow, DisconnectOrTheSessionEndsTheWorker) {
    TestRing ring;
    ASSERT_TRUE(connected(ring));
    ring.play();
    ring.disconnect();
    EXPECT_TRUE(ring.disconnecting.load());
    EXPECT_TRUE(ring.stopped.load());
    EXPECT_FALSE(ring.bufferWorker.joinable());

    VELMORA::StreamBlock b;
    int left = 0;
    while (ring.getNewStream(b) && left < 10) ++left;
    EXPECT_EQ(left, 3);
    EXPECT_EQ(b.data, nullptr);

    // A new run starts from connect.
    ASSERT_TRUE(connected(ring));
    EXPECT_FALSE(ring.disconnecting.load());
    EXPECT_TRUE(takeFilled(ring).data != nullptr);
    ring.endSession();
    EXPECT_TRUE(eventually([&] { return ring.stopped.load() && ring.stopping.load(); }));
    ring.stop();   // nothing left to wait for
    EXPECT_EQ(ring.playing.load(), 0u);
    ring.close();
    EXPECT_FALSE(ring.bufferWorker.joinable());
}
