// The control protocol against the in-process sink on [::1]: what getInfo learns,
// what connectPrepare sends, and silent, echoing and careless sinks.
#include <gtest/gtest.h>

#include <chrono>

#include "sync/FakeSink.h"

using namespace VELMORA;
using synctest::FakeSink;
using synctest::openSession;

namespace {
constexpr uint64_t pcm32Stereo44k = 0x0000'000A'0000'0802ull;  // 2 ch, int32, 44100 Hz
}

TEST(Control, GetInfoLearnsTheSinkAndConnectPrepareNamesTheClient) {
    FakeSink sink;
    sink.dsdLsbCaps = 0x0000'1F02'0251'0002ull;
    sink.profile[0] = 40, sink.profile[1] = 200, sink.profile[2] = 0x0A;
    Sync session;
    ASSERT_TRUE(openSession(session, 0, 100000));
    ASSERT_TRUE(session.getInfo(sink.address(), 150, false));
    EXPECT_EQ(session.pcmCaps, sink.pcmCaps);
    EXPECT_EQ(session.dsdLsbCaps, sink.dsdLsbCaps);
    EXPECT_EQ(session.latency, 2);  // 150 us asks for 1 unit, the sink grants 2
    EXPECT_EQ(session.totalLatencyUs(), 500u);
    EXPECT_EQ(session.packDataSize, 1428);
    EXPECT_EQ(session.packDataCount, 10);
    EXPECT_EQ(session.transfer.profileMax(), 200);
    EXPECT_EQ(session.transfer.profileFlags(), 0x0A);
    EXPECT_EQ(session.target, sink.address());
    EXPECT_EQ(session.logTarget.portNumber(), 19642);
    // Summary, PCM set, LSB-first set (no MSB-first question), profile, two latencies.
    auto r = sink.requests();
    ASSERT_EQ(r.size(), 7u);
    EXPECT_EQ(r[0].parameter, 0u);
    EXPECT_EQ(r[1].parameter, 0x0E00u);
    EXPECT_EQ(r[2].parameter, 0x100000u);
    EXPECT_EQ(r[3].command, command::profileReq);
    EXPECT_EQ(r[4].parameter, 0u);
    EXPECT_EQ(r[5].parameter, 1u);
    EXPECT_EQ(r[6].command, command::dataSizeReq);

    ASSERT_TRUE(session.setFormat(pcm32Stereo44k));
    ASSERT_TRUE(session.connectPrepare());
    r = sink.requests();
    ASSERT_EQ(r.size(), 9u);
    EXPECT_EQ(r[7].command, command::connectPreReq);
    EXPECT_EQ(r[7].parameter, 0x0000'000A'0002'0102ull);  // channels, category 1, latency, rate
    EXPECT_EQ(r[8].command, command::nameReq);
    EXPECT_EQ(r[8].flags, 1);
    EXPECT_EQ(std::string(r[8].payload.begin(), r[8].payload.end()), "test");
}

TEST(Control, LatencyAndDataSizeVariants) {
    FakeSink sink;
    sink.mtu = 9000, sink.maximum = 0xFFFF;
    Sync session;
    ASSERT_TRUE(openSession(session, 0, 100000));
    ASSERT_TRUE(session.getInfo(sink.address(), 0, true));
    EXPECT_EQ(sink.count(command::nopBreakReq), 1u);
    EXPECT_EQ(sink.count(command::latencyReq), 1u);  // nothing requested: one question
    EXPECT_EQ(session.latency, 50);
    EXPECT_EQ(session.packDataSize, (9000 - 64) & 0xFFF6);
    EXPECT_EQ(session.packDataCount, 0xFFFF);
    // Payload per packet from the MTU; one that leaves no room for a frame carries
    // nothing (init then refuses the sink) instead of wrapping to almost 64 KiB.
    const std::pair<uint16_t, uint16_t> payloads[] = {{1500, 1428}, {9000, 8928}, {65535, 65462}, {71, 6},
                                                      {72, 0}, {64, 0}, {63, 0}, {40, 0}, {1, 0}};
    for (auto [mtu, payload] : payloads) {
        sink.mtu = mtu;
        ASSERT_TRUE(session.getInfo(sink.address(), 0, false));
        EXPECT_EQ(session.packDataSize, payload) << "MTU " << mtu;
    }
    sink.answerDataSize = false;
    session.requestTimeoutUs = 100000;
    ASSERT_TRUE(session.getInfo(sink.address(), 0, false));
    EXPECT_EQ(session.packDataSize, 1428);
    EXPECT_EQ(session.packDataCount, 10);
}

TEST(Control, SinksThatDoNotAnswerProperly) {
    FakeSink sink;
    Sync session;
    ASSERT_TRUE(session.open(0, 100000, 0, "x"));  // 10 ms per answer
    sink.answerControl = false;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(session.getInfo(sink.address(), 0, true));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(59));
    EXPECT_EQ(sink.count(command::nopBreakReq), 3u);  // NOPBREAK may go unanswered
    EXPECT_EQ(sink.count(command::formatReq), 3u);    // FORMAT may not
    EXPECT_EQ(sink.count(command::latencyReq), 0u);

    session.requestTimeoutUs = 300000;
    sink.answerControl = true;
    sink.echoRequests = true;  // an echo ends the exchange at once, without answer
    EXPECT_FALSE(session.getInfo(sink.address(), 0, false));
    EXPECT_EQ(sink.count(command::formatReq), 4u);
    sink.echoRequests = false;
    sink.flagsClear = true;  // an answer without data is no answer
    EXPECT_FALSE(session.getInfo(sink.address(), 0, false));
    EXPECT_EQ(sink.count(command::formatReq), 5u);
    EXPECT_EQ(session.pcmCaps, 0u);
    EXPECT_NE(session.target, sink.address());
}

TEST(Control, ASlowSinksLateAnswersAreNotTakenForTheNextRequest) {
    // Every answer comes 60 ms late against a 40 ms wait: each request goes out twice and
    // the sink answers both copies; the second copy's answer must not become the answer
    // to the next request (all format answers share one command).
    FakeSink sink;
    sink.answerDelayMs = 60;
    Sync session;
    ASSERT_TRUE(openSession(session, 0, 100000));
    session.requestTimeoutUs = 40000;
    ASSERT_TRUE(session.getInfo(sink.address(), 0, true));
    EXPECT_EQ(session.pcmCaps, sink.pcmCaps);
    EXPECT_EQ(session.latency, 50);
    EXPECT_EQ(session.hwLatency, 3);
    EXPECT_EQ(session.packDataSize, 1428);
}

TEST(Control, OperationsOutsideTheirStates) {
    Sync session;
    ASSERT_TRUE(session.open(0, 100000, 0, "x"));
    EXPECT_FALSE(session.connectWait());  // state 0
    session.state = stateDisconnecting;
    EXPECT_FALSE(session.connectWait());
    session.state = stateConnecting;
    session.disconnect();  // only in state 2
    EXPECT_EQ(session.state.load(), stateConnecting);
    StreamBlock block{reinterpret_cast<const uint8_t*>("x"), 1};
    EXPECT_FALSE(session.getNewStream(block));  // the base class has no stream
    EXPECT_EQ(block.size, 0u);
}
