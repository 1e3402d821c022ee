// The pure decisions behind init and start: sample type, channel code, buffer multiplier,
// VarASIO bytes per cycle and the delayed start.
#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "driver/SampleTypes.h"
#include "driver/StreamPlan.h"

namespace {

TEST(PcmChoice, FollowsThePreferenceListOfEachRequestRange) {
    struct Case {
        uint64_t caps;
        int32_t request;
        bool convert;
        std::optional<PcmChoice> expected;
    };
    const Case cases[] = {
        {0x800 | 0x400, 24, false, PcmChoice{0x400, 3}},   // 24 prefers packed 24-bit
        {0x800 | 0x400, 32, false, PcmChoice{0x800, 4}},   // 32 prefers 32-bit
        {0x400, 32, true, PcmChoice{0x400, 4}},            // conversion: the host always delivers 4 bytes
        {0x1000 | 0x400, 32, true, PcmChoice{0x1000, 4}},
        {0x800, 16, false, PcmChoice{0x800, 4}},           // 16 without 0x200 falls to the R < 16 list
        {0x200 | 0x800, 16, false, PcmChoice{0x200, 2}},
        {0x200 | 0x800, 8, false, PcmChoice{0x800, 4}},    // below 16, 16-bit is never offered
        {0x4000 | 0x800, 64, false, PcmChoice{0x4000, 8}},
        {0x2000 | 0x200, 64, false, PcmChoice{0x2000, 4}},
        {0x4000 | 0x2000, 32, false, PcmChoice{0x2000, 4}},
        {0x4000 | 0x200, 24, false, PcmChoice{0x4000, 8}},
        {0x2000 | 0x4000, 32, true, std::nullopt},         // float is not in the conversion list
        {0x200, 8, false, std::nullopt},                   // 16-bit is not in the R < 16 list
        {0, 32, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "caps " << c.caps << " request " << c.request << " convert " << c.convert);
        const auto choice = choosePcmFormat(c.caps, c.request, c.convert);
        ASSERT_EQ(choice.has_value(), c.expected.has_value());
        if (!choice) continue;
        EXPECT_EQ(choice->pcmFormat, c.expected->pcmFormat);
        EXPECT_EQ(choice->sampleBytes, c.expected->sampleBytes);
    }
}

TEST(PcmChoice, ChannelCountAndAsioTypes) {
    // The highest offered bit counts.
    for (const auto& [bits, count] : {std::pair{0b00110u, 4u}, {0b10001u, 8u}, {0b01000u, 6u}, {0x800u, 0u}})
        EXPECT_EQ(channelCountOf(bits), count) << bits;
    const std::pair<uint64_t, ASIOSampleType> types[] = {
        {0x200, ASIOSTInt16LSB},   {0x400, ASIOSTInt24LSB},   {0x800, ASIOSTInt32LSB},
        {0x1000, ASIOSTInt32LSB},  {0x2000, ASIOSTFloat32LSB}, {0x4000, ASIOSTFloat64LSB},
    };
    for (const auto& [format, type] : types) EXPECT_EQ(asioSampleType(format), type) << format;
}

TEST(StreamPlan, ChannelCodesAndTheBufferMultiplier) {
    const std::pair<uint32_t, uint64_t> codes[] = {{1, 1}, {2, 2}, {4, 4}, {6, 8}, {8, 16}, {3, 0}, {0, 0}, {9, 0}};
    for (const auto& [buffers, code] : codes) EXPECT_EQ(channelCodeFor(buffers), code) << buffers;
    const std::tuple<uint32_t, bool, uint32_t> multipliers[] = {
        {96000, true, 2}, {88200, true, 2}, {44100, true, 1}, {2822400, false, 2}, {5644800, false, 4}};
    for (const auto& [rate, pcm, multiplier] : multipliers) EXPECT_EQ(bufferMultiplier(rate, pcm), multiplier) << rate;
}

TEST(StreamPlan, VarAsioBytesPerCycle) {
    const VELMORA::StreamFormat stereo32(0x2 | 0x800);
    EXPECT_EQ(bytesPerAsioCycle(stereo32, 2048, 4, 1, true), 4096u);
    EXPECT_EQ(bytesPerAsioCycle(stereo32, 2048, 4, 2, true), 8192u);
    // 24-bit samples delivered in 4-byte host samples count as 3 bytes on the wire.
    EXPECT_EQ(bytesPerAsioCycle(VELMORA::StreamFormat(0x2 | 0x400), 2048, 4, 1, true), 3072u);
    EXPECT_EQ(bytesPerAsioCycle(VELMORA::StreamFormat(0x2 | 0x2510000), 256, 0, 2, false), 1024u);
}

TEST(StreamPlan, StartDelayReleasesPlaybackTenMillisecondsAfterTheDelay) {
    struct Case {
        uint32_t elapsedMs, delayUs, sleepMs;
    };
    const Case cases[] = {{0, 0, 10},          {4, 0, 6},           {10, 0, 0},          {25, 0, 0},
                          {0, 500000, 510},    {200, 500000, 310},  {509, 500999, 1},    {510, 500999, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(startDelaySleepMilliseconds(c.elapsedMs, c.delayUs), c.sleepMs) << c.elapsedMs << " " << c.delayUs;
}

}  // namespace
