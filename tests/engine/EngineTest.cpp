// The engine against the reference sink over loopback: every PCM sample type and every DSD
// layout conversion arrives bit for bit with both polarities, and so does the stream of a
// misbehaving network or sink (lost packets, a stalled worker, answers from a wrong address);
// a sink that falls silent ends it after the info timeout (a sink closing the stream: the
// driver's streaming tests).
#include "EngineRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>

namespace engine_test {
namespace {

// Streams the source's pattern (16-bit stereo by default) and checks that all arrived bit for
// bit, complemented when inverted; outcome, when given, receives how the stream went.
void streamBitExact(SinkProcess& sink, PatternSource& source, const StreamPlan& plan = {}, bool inverted = false,
                    StreamOutcome* outcome = nullptr) {
    ASSERT_TRUE(sink.waitListening());
    const StreamOutcome o = runStream(source, sink, plan);
    if (outcome) *outcome = o;
    if (o.infoAttempts > 1) std::printf("note: getInfo needed %d attempts\n", o.infoAttempts);
    ASSERT_EQ(o.failed, "");
    EXPECT_TRUE(o.patternSent);
    source.close();
    ASSERT_EQ(sink.waitExit(std::chrono::milliseconds(5000)), 0);
    const PatternMatch m = matchPattern(sink.rawOutput(), source, plan.hostFormat, o.sinkFormat, inverted);
    EXPECT_EQ(m.problem, "");
    EXPECT_EQ(m.blocksMatched, source.patternBlocks());
    EXPECT_EQ(sink.reportNumber("never_recovered"), 0);
}

// A worker held up for 30 cycles (a machine busy elsewhere) right as it takes block 20 catches
// up at once, but carries no more than the ring holds: more would hand out silence in place of
// blocks the producer has not filled yet. The ring holds six one-packet blocks, or six
// half-packet blocks (a host buffer smaller than a packet's room: the limit counts the packets'
// own size, not the room of their slots). The sink's burst log shows the largest burst (the
// sink takes 10 packets at once).
TEST(EngineFaults, StalledWorkerCatchesUpWithTheAudioTheRingHolds) {
    class StallingSource : public PatternSource {
    public:
        using PatternSource::PatternSource;
        bool getNewStream(VELMORA::StreamBlock& block) override {
            if (++taken_ == 20) std::this_thread::sleep_for(std::chrono::milliseconds(150));
            return PatternSource::getNewStream(block);
        }

    private:
        int taken_ = 0;   // the worker's thread only
    };
    constexpr uint32_t packetFrames = 240;   // one cycle of 48 kHz
    // The same 600 ms of audio each time: the debt is paid off before the pattern ends (what
    // is still owed then goes out as silence, in bursts as large as the sink takes).
    for (const auto& [framesPerBlock, blockCount] : {std::pair{240u, 6u}, std::pair{120u, 6u}}) {
        SCOPED_TRACE(std::to_string(framesPerBlock) + " frames x " + std::to_string(blockCount));
        const std::string burstLog = ::testing::TempDir() + "stalled-worker-bursts.txt";
        SinkProcess sink({"--burst-log", burstLog});
        StreamPlan plan;
        plan.cycleUs = 5000;
        plan.framesPerBlock = framesPerBlock;
        plan.blockCount = blockCount;
        StallingSource source(120 * packetFrames / framesPerBlock, 9);
        streamBitExact(sink, source, plan);
        std::ifstream log(burstLog);
        uint32_t largest = 0;
        for (double start; log >> start;) {
            uint32_t packets = 0, bytes = 0;
            log >> packets >> bytes;
            largest = std::max(largest, packets);
        }
        std::remove(burstLog.c_str());
        EXPECT_GT(largest, 1u);   // it did catch up
        // A part-used block and the filled ones at most.
        EXPECT_LE(largest * packetFrames, (blockCount + 1) * framesPerBlock);
    }
}

// 2 % loss up to the last packet, with a sink that asks for what it misses only in its
// answers to info requests (every 200 ms): the answer to the info request after the final
// packet asks for whatever went missing since the previous one, and it is resent before
// the closing handshake. Every dropped packet came back through a resend and was counted: as
// a hole filled after a request or before one. More can come back than the injector dropped:
// on a starved machine the kernel drops datagrams at the sink's full socket too.
TEST(EngineFaults, LossUpToTheEndOfTheStreamIsRecovered) {
    SinkProcess sink({"--drop-rate", "0.02", "--seed", "23", "--resend-in-info", "--resend-delay-us", "60000000"});
    StreamPlan plan;
    plan.infoCycleUs = 200000;
    plan.tail = std::chrono::milliseconds(0);
    PatternSource source(200, 4);
    streamBitExact(sink, source, plan);
    const double dropped = sink.reportNumber("faults.dropped");
    EXPECT_GE(dropped, 5);
    EXPECT_GT(sink.reportNumber("recovered"), 0);
    EXPECT_GE(sink.reportNumber("recovered") + sink.reportNumber("late_arrivals"), dropped) << sink.report();
    EXPECT_TRUE(sink.reportFlag("closing_handshake"));
}

// Plays more than the run will ever send; the worker leaves streaming by itself and the sink
// ends afterwards.
TEST(EngineFaults, SilentSinkEndsTheStreamAfterTheInfoTimeout) {
    SinkProcess sink({"--stop-answering-after", "100", "--idle-timeout", "1"});
    PatternSource s(100000, 3);
    ASSERT_TRUE(sink.waitListening());
    ASSERT_EQ(openStream(s, sink, StreamPlan{}).failed, "");
    const auto started = std::chrono::steady_clock::now();
    s.play();
    // 100 packets take about 0.1 s; then nothing answers for the info timeout (1 s).
    while (s.state.load() != VELMORA::stateIdle && std::chrono::steady_clock::now() - started < std::chrono::seconds(6))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(s.state.load(), VELMORA::stateIdle);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000));
    s.close();
    EXPECT_EQ(sink.waitExit(std::chrono::milliseconds(5000)), 0);
    EXPECT_FALSE(sink.reportFlag("closing_handshake"));
    EXPECT_GE(sink.reportNumber("packets_received"), 100);
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
    PatternSource source(80, 6);
    streamBitExact(sink, source);
}

constexpr uint64_t kStereo48k = 0x0000000C00000002ull;     // 2 ch, 48 kHz ×1
constexpr uint64_t kStereoDsd64 = 0x0000020200000002ull;   // 2 ch, 44.1 kHz ×64
constexpr uint64_t kLsb = sink::defaultDsdCaps(false), kMsb = sink::defaultDsdCaps(true);

// DSD capability set of one bit order and the given word byte orders.
constexpr uint64_t dsdCaps(bool msbFirst, bool little, bool big) {
    return 0x3F | 0x10000 | (uint64_t{2} << 24) | (uint64_t{0x6} << 32) | (uint64_t{0xF} << 41) |
           (msbFirst ? uint64_t{1} << 21 : uint64_t{1} << 20) | (uint64_t{little} << 22) | (uint64_t{big} << 23);
}

struct Case {
    const char* name;
    uint64_t hostFormat;
    uint64_t dsdLsbCaps, dsdMsbCaps;   // the sink's DSD sets
    const char* converter;             // expected with normal polarity
    const char* invertedConverter;     // expected when the stream is complemented
    uint32_t framesPerBlock, patternBlocks;
};

using StreamRun = std::tuple<Case, bool, bool>;   // the case, the sink inverts, the host inverts

class EngineStream : public ::testing::TestWithParam<StreamRun> {};

TEST_P(EngineStream, SinkReceivesThePatternBitForBit) {
    const auto& [c, sinkInverts, hostInverts] = GetParam();
    StreamPlan plan;
    plan.hostFormat = c.hostFormat;
    plan.framesPerBlock = c.framesPerBlock;
    plan.hostInvert = hostInverts;
    plan.dsdLsbCaps = c.dsdLsbCaps;
    plan.dsdMsbCaps = c.dsdMsbCaps;
    std::vector<std::string> args{"--dsd-lsb-caps", std::to_string(plan.dsdLsbCaps), "--dsd-msb-caps",
                                  std::to_string(plan.dsdMsbCaps)};
    if (sinkInverts) args.push_back("--invert");
    SinkProcess sink(args);
    PatternSource source(c.patternBlocks, 0x5EED + static_cast<uint32_t>(c.hostFormat));
    const bool inverted = sinkInverts != hostInverts;
    StreamOutcome o;
    ASSERT_NO_FATAL_FAILURE(streamBitExact(sink, source, plan, inverted, &o));
    EXPECT_EQ(o.converter, inverted ? c.invertedConverter : c.converter);
    EXPECT_TRUE(sink.reportFlag("closing_handshake"));
    EXPECT_EQ(sink.reportNumber("connects"), 1);
    char format[40];
    std::snprintf(format, sizeof format, "\"format\": \"0x%016llx\"", static_cast<unsigned long long>(o.sinkFormat));
    const std::string report = sink.report();
    EXPECT_NE(report.find(format), std::string::npos) << report;
    EXPECT_NE(report.find("\"client_name\": \"engine test\""), std::string::npos);
}

constexpr Case kPcm[] = {
    {"Int16", kStereo48k | 0x0200, kLsb, kMsb, "copy", "invert", 512, 40},
    {"Int24", kStereo48k | 0x0400, kLsb, kMsb, "copy", "invert", 512, 40},
    {"Int32", kStereo48k | 0x0800, kLsb, kMsb, "copy", "invert", 256, 60},
    {"Float32", kStereo48k | 0x2000, kLsb, kMsb, "copy", "invert", 256, 60},
    {"Float64", kStereo48k | 0x4000, kLsb, kMsb, "copy", "invert", 256, 60},
};

// Host words LSB first, big-endian; the sink's sets force each conversion.
constexpr Case kDsd[] = {
    {"DsdAsIs", kStereoDsd64 | 0x02A10000, kLsb, kMsb, "copy", "invert", 8192, 60},
    {"DsdSwap32", kStereoDsd64 | 0x02910000, dsdCaps(false, true, false), 0, "swap32", "swap32Invert", 8192, 60},
    {"DsdSwap32BitReverse", kStereoDsd64 | 0x02910000, 0, dsdCaps(true, false, true), "swap32BitReverse",
     "swap32BitReverseInvert", 8192, 60},
    {"DsdBitReverse", kStereoDsd64 | 0x02910000, 0, dsdCaps(true, true, false), "bitReverse", "bitReverseInvert",
     8192, 60},
};

std::string runName(const ::testing::TestParamInfo<StreamRun>& info) {
    const auto& [c, sinkInverts, hostInverts] = info.param;
    return std::string(c.name) + (sinkInverts ? "_SinkInverts" : "") + (hostInverts ? "_HostInverts" : "");
}

using ::testing::Combine, ::testing::Values, ::testing::ValuesIn;
INSTANTIATE_TEST_SUITE_P(Pcm, EngineStream, Combine(ValuesIn(kPcm), Values(false), Values(false)), runName);
// Each DSD conversion has an inverting twin.
INSTANTIATE_TEST_SUITE_P(Dsd, EngineStream, Combine(ValuesIn(kDsd), ::testing::Bool(), Values(false)), runName);
// PCM inverts with one converter whatever the sample type: the sink's inversion, the host's
// own, and both cancelling; and the host's own for DSD.
INSTANTIATE_TEST_SUITE_P(Polarity, EngineStream,
                         Values(StreamRun{kPcm[0], true, false}, StreamRun{kPcm[2], false, true},
                                StreamRun{kPcm[2], true, true}, StreamRun{kDsd[1], false, true}),
                         runName);

}  // namespace
}  // namespace engine_test
