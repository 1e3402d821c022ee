// The stream arrives bit for bit: every PCM sample type and every DSD layout conversion,
// with both polarities, through the real sink over loopback.
#include "EngineRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <span>

namespace engine_test {
namespace {

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

struct StreamRun {
    Case c;
    bool sinkInverts, hostInverts;
};

class EngineStream : public ::testing::TestWithParam<StreamRun> {};

TEST_P(EngineStream, SinkReceivesThePatternBitForBit) {
    const StreamRun& run = GetParam();
    StreamPlan plan;
    plan.hostFormat = run.c.hostFormat;
    plan.framesPerBlock = run.c.framesPerBlock;
    plan.hostInvert = run.hostInverts;
    plan.dsdLsbCaps = run.c.dsdLsbCaps;
    plan.dsdMsbCaps = run.c.dsdMsbCaps;
    std::vector<std::string> args{"--dsd-lsb-caps", std::to_string(plan.dsdLsbCaps), "--dsd-msb-caps",
                                  std::to_string(plan.dsdMsbCaps)};
    if (run.sinkInverts) args.push_back("--invert");
    SinkProcess sink(args);
    ASSERT_TRUE(sink.waitListening());

    PatternSource source(run.c.patternBlocks, 0x5EED + static_cast<uint32_t>(run.c.hostFormat));
    const StreamOutcome o = runStream(source, sink, plan);
    if (o.infoAttempts > 1) std::printf("note: getInfo needed %d attempts\n", o.infoAttempts);
    ASSERT_EQ(o.failed, "");
    const bool inverted = run.sinkInverts != run.hostInverts;
    EXPECT_EQ(o.converter, inverted ? run.c.invertedConverter : run.c.converter);
    EXPECT_TRUE(o.patternSent);
    source.close();
    ASSERT_EQ(sink.waitExit(std::chrono::milliseconds(5000)), 0);

    const PatternMatch m = matchPattern(sink.rawOutput(), source, run.c.hostFormat, o.sinkFormat, inverted);
    EXPECT_EQ(m.problem, "");
    EXPECT_EQ(m.blocksMatched, run.c.patternBlocks);
    EXPECT_TRUE(sink.reportFlag("closing_handshake"));
    EXPECT_EQ(sink.reportNumber("never_recovered"), 0);
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

// Every case with and without the sink asking for inversion.
std::vector<StreamRun> bothPolarities(std::span<const Case> cases) {
    std::vector<StreamRun> out;
    for (const Case& c : cases)
        for (bool inv : {false, true}) out.push_back({c, inv, false});
    return out;
}

std::string runName(const ::testing::TestParamInfo<StreamRun>& info) {
    return std::string(info.param.c.name) + (info.param.sinkInverts ? "_SinkInverts" : "") +
           (info.param.hostInverts ? "_HostInverts" : "");
}

INSTANTIATE_TEST_SUITE_P(Pcm, EngineStream, ::testing::ValuesIn(bothPolarities(kPcm)), runName);
INSTANTIATE_TEST_SUITE_P(Dsd, EngineStream, ::testing::ValuesIn(bothPolarities(kDsd)), runName);
// The host's own inversion, alone and cancelled by the sink's.
INSTANTIATE_TEST_SUITE_P(HostPolarity, EngineStream,
                         ::testing::Values(StreamRun{kPcm[2], false, true}, StreamRun{kPcm[2], true, true},
                                           StreamRun{kDsd[1], false, true}),
                         runName);

}  // namespace
}  // namespace engine_test
