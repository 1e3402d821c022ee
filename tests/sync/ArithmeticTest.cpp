// The worker's arithmetic without sockets: clock feedback, pacing and debt,
// sequence numbers modulo 65536, and the thread-mode decisions.
#include <gtest/gtest.h>

#include "platform/Thread.h"
#include "sync/SyncFeedback.h"
#include "sync/SyncPacing.h"
#include "sync/ThreadMode.h"

using namespace VELMORA;
namespace flag = VELMORA::threadmode;

TEST(Feedback, DecodesTheThreeKindsOfValue) {
    const struct { uint16_t a, b, c; uint32_t kind; int16_t value; } cases[] = {
        {8200, 0, 0, 1, 16},         // (A - 8192) x 2
        {8000, 9, 9, 1, -384},       // A wins over B and C
        {0x8005, 0, 0, 2, 5},        // bit 15: signed 15 bits
        {0xFFFF, 0, 0, 2, -1},
        {0xC000, 0, 0, 2, -16384},
        {0, 1010, 1000, 3, 163},     // (B - C) << 14 / C
        {0, 990, 1000, 3, -163},
        {0, 1234, 0, 0, 0},          // no C: no value
    };
    for (const auto& k : cases) {
        const FeedbackSample s = decodeFeedback(k.a, k.b, k.c);
        EXPECT_EQ(s.kind, k.kind) << k.a << ' ' << k.b << ' ' << k.c;
        EXPECT_EQ(s.value, k.value) << k.a << ' ' << k.b << ' ' << k.c;
    }
}

TEST(Feedback, CorrectionAveragesClampsAndTrims) {
    FeedbackFilter one(1);
    EXPECT_EQ(one.push(1000), -138);       // -(1000*655>>14) - (1000*1638>>14)
    EXPECT_EQ(one.push(1000), -177);       // proportional part only
    EXPECT_EQ(one.push(0), -77);           // the fall of the average pushes back
    EXPECT_EQ(one.push(0), -77);           // average 0 after 0: unchanged
    FeedbackFilter four(4), eight(8);
    for (int16_t s : {800, 0, 0, 0}) four.push(s);
    EXPECT_EQ(four.average(), 200);
    for (int16_t s : {8000, 0, 0, 0, 0, 0, 0, 0}) eight.push(s);
    EXPECT_EQ(eight.average(), 1000);
    eight.push(0);
    EXPECT_EQ(eight.average(), 0);         // the 8000 left the window
    EXPECT_EQ(FeedbackFilter(12).depth(), 8u);
    FeedbackFilter up(1), down(1), swing(2);
    for (int i = 0; i < 200; ++i) {
        up.push(-16384);
        down.push(16383);
        swing.push(i % 2 ? 16383 : -16384);
        ASSERT_GE(swing.corr(), -1638);
        ASSERT_LE(swing.corr(), 491);
    }
    EXPECT_EQ(up.corr(), 491);
    EXPECT_EQ(down.corr(), -1638);
    EXPECT_EQ(trimmedCycle(1000, 491), 971u);
    EXPECT_EQ(trimmedCycle(1000, -1638), 1100u);
    EXPECT_EQ(trimmedFrames(16384, -1638), 16384u - 1638u);
}

TEST(Pacing, DeadlinesLatenessAndOverload) {
    Pacer pacer;
    pacer.start(0xFFFFFF00u, 1000);          // the first burst is due at once
    EXPECT_TRUE(pacer.due(0xFFFFFF00u));
    EXPECT_EQ(pacer.advance(0xFFFFFF00u, 1000, true), 0u);
    EXPECT_EQ(pacer.deadline(), 0xF4u);       // across the clock wrap
    EXPECT_FALSE(pacer.due(0xFFFFFFF0u));
    EXPECT_EQ(pacer.remaining(0xFFFFFFF0u), 0x104u);
    EXPECT_EQ(pacer.advance(0x200, 1000, true), 0u);  // late within the cycle keeps the grid
    EXPECT_EQ(pacer.deadline(), 0xF4u + 1000u);
    EXPECT_EQ(pacer.advance(0xF4 + 2600, 1000, true), 1600u);  // missed a whole cycle
    EXPECT_EQ(pacer.deadline(), 0xF4u + 3600u);
    EXPECT_EQ(pacer.debt(), 1600u);
    EXPECT_EQ(pacer.overCount(), 10u);
    pacer.advance(pacer.deadline(), 1000, true);
    EXPECT_EQ(pacer.overCount(), 9u);
    Pacer nodebt;
    nodebt.start(0, 100);
    for (uint32_t now = 1000; now <= 150000; now += 1000) nodebt.advance(now, 100, false);
    EXPECT_EQ(nodebt.debt(), 0u);
    EXPECT_EQ(nodebt.overCount(), 1000u);
}

TEST(Pacing, LateBurstsPayTheirDebt) {
    Pacer pacer;
    pacer.start(0, 1000);
    pacer.advance(0, 1000, true);
    pacer.advance(10500, 1000, true);
    ASSERT_EQ(pacer.debt(), 10000u);
    EXPECT_EQ(pacer.burstSize(1000, 10, 15), 15u);   // pays 5 x 1000 / 10
    EXPECT_EQ(pacer.debt(), 9500u);
    EXPECT_EQ(pacer.burstSize(1000, 10, 30), 30u);   // 9 cycles owed, the sink takes 30
    EXPECT_EQ(pacer.debt(), 7500u);
    EXPECT_EQ(pacer.burstSize(1000, 10, 4), 10u);    // never below the count
    EXPECT_EQ(pacer.burstSize(1000, 10, 200), 80u);  // 7 cycles owed: all of them at once
    EXPECT_EQ(pacer.debt(), 500u);
    Pacer resend;
    resend.start(0, 2000);
    resend.addResendDebt(5, 2, 2000, 4);              // 3 new packets x 2000 / 4
    EXPECT_EQ(resend.debt(), 1500u);
    resend.addResendDebt(2, 5, 2000, 4);
    EXPECT_EQ(resend.debt(), 1500u);
    EXPECT_EQ(resend.burstSize(1000, 1, 40), 2u);    // a cycle of debt pays one cycle
    EXPECT_EQ(resend.debt(), 500u);
    EXPECT_EQ(resend.burstSize(1000, 1, 40), 1u);
}

TEST(Pacing, SequencesRingAndSizes) {
    EXPECT_EQ(missingPackets(5, 65533), 8u);
    EXPECT_EQ(missingPackets(0, 65535), 1u);
    EXPECT_EQ(missingPackets(3, 4), 65535u);  // a request from the future
    EXPECT_EQ(resendSequence(2, 3), 65535u);
    EXPECT_EQ(packetRingSize(1000000, 1, 1448), 32u);
    EXPECT_EQ(packetRingSize(31250, 1, 1448), 32u);
    EXPECT_EQ(packetRingSize(30303, 1, 1448), 64u);
    EXPECT_EQ(packetRingSize(1000, 10, 1448), 16384u);
    // Large packets at a high packet rate: the ring stays within its memory budget.
    EXPECT_EQ(packetRingSize(10, 1, 65520), 512u);
    EXPECT_EQ(packetRingSize(10, 1, 2u << 20), 32u);
    EXPECT_EQ(infoTimeoutUs(100000), 1000000u);
    EXPECT_EQ(infoTimeoutUs(200000), 1600000u);
    EXPECT_EQ(payloadBytes(360, 99, 8, 1428), 360u);
    EXPECT_EQ(payloadBytes(0, 500, 6, 1428), 1428u);
    EXPECT_EQ(payloadBytes(0, 500, 8, 1428), 1424u);
    FrameAccumulator acc;
    uint64_t total = 0;
    for (uint64_t n = 1; n <= 1000; ++n) {
        total += acc.next(722534);  // 44.1 frames: the fraction is carried on
        ASSERT_EQ(total, (n * 722534) >> 14);
    }
}

TEST(ThreadMode, PrologueDecisions) {
    const struct { uint32_t mode, cores, cycleUs; uint16_t latency; uint32_t wantMode; bool lowCpu; } cases[] = {
        {flag::noSleep4Core, 2, 5000, 3000, 0, false},        // under 3 cores: no spinning
        {0x804, 2, 5000, 3000, 0x804, false},                  // unless NOSLEEPFORCE
        {flag::noSleep4Core, 3, 5000, 3000, flag::noSleep4Core, false},
        {0, 2, 999, 3000, 0, true},                            // and a cycle under 1 ms: low CPU
        {0, 2, 1000, 3000, 0, false},
        {0, 4, 500, 3000, 0, false},
        {flag::noSleepForce, 1, 500, 3000, flag::noSleepForce, false},
        {flag::noFastFeedback, 4, 1000, 2000, 0, false},       // only above 200 ms of latency
        {flag::noFastFeedback, 4, 1000, 2001, flag::noFastFeedback, false},
        {0x6FB, 1, 100, 0, 0x6FB, true},                       // the other flags pass through
    };
    for (const auto& k : cases) {
        const ThreadModeDecision d = decideThreadMode(k.mode, k.cores, k.cycleUs, k.latency);
        EXPECT_EQ(d.mode, k.wantMode) << std::hex << k.mode << std::dec << ' ' << k.cores << ' ' << k.cycleUs;
        EXPECT_EQ(d.lowCpu, k.lowCpu) << std::hex << k.mode << std::dec << ' ' << k.cores << ' ' << k.cycleUs;
    }
    EXPECT_EQ(feedbackDepth(0), 1u);
    EXPECT_EQ(feedbackDepth(0xE0), 8u);
    EXPECT_EQ(workerPriorityLevel(0, platform::priorityLevelNormal), platform::priorityLevelHigh);
    EXPECT_EQ(workerPriorityLevel(flag::critical, platform::priorityLevelHigh), platform::priorityLevelRealtime);
    EXPECT_FALSE(workerPriorityLevel(flag::critical, platform::priorityLevelRealtime).has_value());
}

TEST(ThreadMode, LogLineAndWaitPolicy) {
    EXPECT_EQ(threadModeLogText(0, 2, 100000), "wth start CPU:2 FEEDBACK:1  Info=100");
    EXPECT_EQ(threadModeLogText(0x9FF, 8, 250000),
              "wth start CRITICAL NOSHORTSLEEP NOSLEEP4CORE NOSLEEPFORCE SOCKETNOBLOCK OCCUPIED "
              "CPU:8 FEEDBACK:8 NOFASTFEEDBACK  Info=250");
    EXPECT_FALSE(BurstWaitPolicy(0).next(50).spin);
    EXPECT_TRUE(BurstWaitPolicy(flag::noSleep4Core).next(5000).spin);
    EXPECT_TRUE(BurstWaitPolicy(flag::noSleepForce).next(5000).spin);
    BurstWaitPolicy shortSpin(flag::noShortSleep);
    EXPECT_TRUE(shortSpin.next(100).spin);
    EXPECT_FALSE(shortSpin.next(101).spin);
    BurstWaitPolicy once(flag::yieldOnce), always(flag::yieldAlways);
    EXPECT_TRUE(once.next(500).yield);
    EXPECT_FALSE(once.next(400).yield);
    once.burstSent();
    EXPECT_TRUE(once.next(500).yield);
    EXPECT_TRUE(always.next(500).yield);
    EXPECT_TRUE(always.next(400).yield);
}

TEST(ThreadMode, OnlyBurstsOfTheProfilesSizeSwitchTheSocketsBlockingMode) {
    struct Row { uint32_t mode, packets, count; bool switches; };
    const Row rows[] = {
        {0, 1, 1, false},                   // a single packet needs no switch
        {0, 10, 10, true},                  // the profile's own burst
        {flag::socketNoBlock, 10, 10, false},
        {0, 10, 1, false},                  // catching up: the mode stays as it is
        {0, 11, 10, false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(burstSwitchesBlocking(r.mode, r.packets, r.count), r.switches) << r.packets << " of " << r.count;
}
