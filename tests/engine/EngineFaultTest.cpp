// The engine against a misbehaving network or sink: lost, reordered and duplicated packets,
// a sink that falls silent, a sink that closes the stream, answers from a wrong address.
#include "EngineRun.h"

#include "SinkConfig.h"

#include <gtest/gtest.h>

#include <thread>

namespace engine_test {
namespace {

constexpr uint64_t kStereo16At48k = 0x0000000C00000202ull;

StreamPlan plan16() {
    StreamPlan p;
    p.hostFormat = kStereo16At48k;
    p.framesPerBlock = 256;
    return p;
}

void expectBitExact(SinkProcess& sink, PatternSource& source, const StreamOutcome& o) {
    ASSERT_EQ(o.stateAfterConnect, VELMORA::stateStreaming);
    EXPECT_TRUE(o.patternSent);
    source.close();
    ASSERT_EQ(sink.waitExit(std::chrono::milliseconds(5000)), 0);
    const PatternMatch m = matchPattern(sink.rawOutput(), source, kStereo16At48k, o.sinkFormat, false);
    EXPECT_EQ(m.problem, "");
    EXPECT_EQ(m.blocksMatched, source.patternBlocks());
    EXPECT_EQ(sink.reportNumber("never_recovered"), 0);
}

TEST(EngineFaults, DroppedPacketsAreRecoveredThroughResends) {
    SinkProcess sink({"--drop-rate", "0.05", "--fault-from", "40", "--fault-until", "600", "--seed", "11"});
    ASSERT_TRUE(sink.waitListening());
    PatternSource source(80, 1);
    const StreamOutcome o = runStream(source, sink, plan16());
    expectBitExact(sink, source, o);
    const double dropped = sink.reportNumber("faults.dropped");
    EXPECT_GE(dropped, 10);
    EXPECT_GT(sink.reportNumber("resend_requests"), 0);
    EXPECT_GT(sink.reportNumber("recovered"), 0);
    EXPECT_GE(sink.reportNumber("recovered") + sink.reportNumber("late_arrivals"), dropped);
}

TEST(EngineFaults, ReorderedDelayedAndDuplicatedPacketsArriveOnceInOrder) {
    SinkProcess sink({"--reorder-rate", "0.1", "--duplicate-rate", "0.1", "--delay-rate", "0.05", "--delay-us", "3000",
                      "--fault-from", "40", "--fault-until", "600", "--seed", "5"});
    ASSERT_TRUE(sink.waitListening());
    PatternSource source(80, 2);
    const StreamOutcome o = runStream(source, sink, plan16());
    expectBitExact(sink, source, o);
    EXPECT_GT(sink.reportNumber("faults.reordered"), 0);
    EXPECT_GT(sink.reportNumber("faults.duplicated"), 0);
    EXPECT_GE(sink.reportNumber("duplicates"), sink.reportNumber("faults.duplicated"));
}

// Waits (bounded) for the worker to leave streaming by itself.
bool waitIdle(PatternSource& s, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (s.state.load() != VELMORA::stateIdle && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return s.state.load() == VELMORA::stateIdle;
}

TEST(EngineFaults, SilentSinkEndsTheStreamAfterTheInfoTimeout) {
    SinkProcess sink({"--stop-answering-after", "100", "--idle-timeout", "1"});
    ASSERT_TRUE(sink.waitListening());
    PatternSource s(100000, 3);   // more than the run will ever send
    const StreamOutcome o = openStream(s, sink, plan16());
    ASSERT_EQ(o.stateAfterConnect, VELMORA::stateStreaming);
    const auto started = std::chrono::steady_clock::now();
    s.play();
    // 100 packets take about 0.1 s; then nothing answers for the info timeout (1 s).
    ASSERT_TRUE(waitIdle(s, std::chrono::milliseconds(6000)));
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_GE(took, std::chrono::milliseconds(1000));
    s.close();
    EXPECT_EQ(sink.waitExit(std::chrono::milliseconds(5000)), 0);
    EXPECT_FALSE(sink.reportFlag("closing_handshake"));
    EXPECT_GE(sink.reportNumber("packets_received"), 100);
}

TEST(EngineFaults, SinkClosingTheStreamEndsTheWorker) {
    SinkProcess sink({"--close-after", "150"});
    ASSERT_TRUE(sink.waitListening());
    PatternSource s(100000, 4);
    const StreamOutcome o = openStream(s, sink, plan16());
    ASSERT_EQ(o.stateAfterConnect, VELMORA::stateStreaming);
    s.play();
    // 150 packets at one per millisecond; well before any info timeout.
    ASSERT_TRUE(waitIdle(s, std::chrono::milliseconds(900)));
    s.close();
    EXPECT_EQ(sink.waitExit(std::chrono::milliseconds(5000)), 0);
    EXPECT_NE(sink.report().find("\"end_reason\": \"closed\""), std::string::npos);
}

TEST(EngineFaults, AnswersFromAnotherPortAreIgnored) {
    {
        SinkProcess sink({"--foreign-answers", "only"});
        ASSERT_TRUE(sink.waitListening());
        PatternSource s(1, 5);
        ASSERT_TRUE(s.open(0, 50000, 0, "engine test"));
        EXPECT_FALSE(s.getInfo(loopback(sink.port()), 0, false));
        s.close();
    }
    // Forged answers (every parameter complemented) come first from another port; the real
    // ones follow. A stream that used any forged value (capabilities, data port) would fail.
    SinkProcess sink({"--foreign-answers", "decoy"});
    ASSERT_TRUE(sink.waitListening());
    PatternSource source(80, 6);
    const StreamOutcome o = runStream(source, sink, plan16());
    ASSERT_TRUE(o.info);
    EXPECT_EQ(o.pcmCaps, sink::defaultPcmCaps());
    expectBitExact(sink, source, o);
}

}  // namespace
}  // namespace engine_test
