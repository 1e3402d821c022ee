#include <gtest/gtest.h>

#include "driver/SampleTypes.h"
#include "driver/StreamPlan.h"

namespace {

struct Case {
    uint64_t caps;
    int32_t request;
    bool convert;
    uint64_t format;
    uint32_t bytes;
};

TEST(PcmChoice, FollowsThePreferenceListOfEachRequestRange) {
    const Case cases[] = {
        {0x800 | 0x400, 24, false, 0x400, 3},   // 24 prefers packed 24-bit
        {0x800 | 0x400, 32, false, 0x800, 4},   // 32 prefers 32-bit
        {0x400, 32, true, 0x400, 4},            // conversion: the host always delivers 4 bytes
        {0x1000 | 0x400, 32, true, 0x1000, 4},
        {0x800, 16, false, 0x800, 4},           // 16 without 0x200 falls to the R < 16 list
        {0x200 | 0x800, 16, false, 0x200, 2},
        {0x200 | 0x800, 8, false, 0x800, 4},    // below 16, 16-bit is never offered
        {0x4000 | 0x800, 64, false, 0x4000, 8},
        {0x2000 | 0x200, 64, false, 0x2000, 4},
        {0x4000 | 0x2000, 32, false, 0x2000, 4},
        {0x4000 | 0x200, 24, false, 0x4000, 8},
    };
    for (const Case& c : cases) {
        const auto choice = choosePcmFormat(c.caps, c.request, c.convert);
        ASSERT_TRUE(choice) << "caps " << c.caps << " request " << c.request;
        EXPECT_EQ(choice->pcmFormat, c.format) << "caps " << c.caps << " request " << c.request;
        EXPECT_EQ(choice->sampleBytes, c.bytes) << "caps " << c.caps << " request " << c.request;
    }
}

TEST(PcmChoice, FailsWhenNoListedTypeIsPresent) {
    EXPECT_FALSE(choosePcmFormat(0x2000 | 0x4000, 32, true));   // float is not in the conversion list
    EXPECT_FALSE(choosePcmFormat(0x200, 8, false));             // 16-bit is not in the R < 16 list
    EXPECT_FALSE(choosePcmFormat(0, 32, false));
}

TEST(PcmChoice, ChannelCountIsTheHighestOfferedBit) {
    EXPECT_EQ(channelCountOf(0b00110), 4u);
    EXPECT_EQ(channelCountOf(0b10001), 8u);
    EXPECT_EQ(channelCountOf(0b01000), 6u);
    EXPECT_EQ(channelCountOf(0x800), 0u);
}

TEST(PcmChoice, AsioTypesOfEverySampleType) {
    EXPECT_EQ(asioSampleType(0x200), ASIOSTInt16LSB);
    EXPECT_EQ(asioSampleType(0x400), ASIOSTInt24LSB);
    EXPECT_EQ(asioSampleType(0x800), ASIOSTInt32LSB);
    EXPECT_EQ(asioSampleType(0x1000), ASIOSTInt32LSB);
    EXPECT_EQ(asioSampleType(0x2000), ASIOSTFloat32LSB);
    EXPECT_EQ(asioSampleType(0x4000), ASIOSTFloat64LSB);
}

TEST(StreamPlan, ChannelCodesAndTheBufferMultiplier) {
    EXPECT_EQ(channelCodeFor(1), 1u);
    EXPECT_EQ(channelCodeFor(6), 8u);
    EXPECT_EQ(channelCodeFor(8), 16u);
    EXPECT_EQ(channelCodeFor(3), 0u);
    EXPECT_EQ(channelCodeFor(0), 0u);
    EXPECT_EQ(bufferMultiplier(96000, true), 2u);
    EXPECT_EQ(bufferMultiplier(88200, true), 2u);
    EXPECT_EQ(bufferMultiplier(44100, true), 1u);
    EXPECT_EQ(bufferMultiplier(2822400, false), 2u);
    EXPECT_EQ(bufferMultiplier(5644800, false), 4u);
}

TEST(StreamPlan, BytesPerAsioCycle) {
    const VELMORA::StreamFormat stereo32(0x2 | 0x800);
    EXPECT_EQ(bytesPerAsioCycle(stereo32, 2048, 4, 1, true), 4096u);
    EXPECT_EQ(bytesPerAsioCycle(stereo32, 2048, 4, 2, true), 8192u);
    // 24-bit samples delivered in 4-byte host samples count as 3 bytes on the wire.
    EXPECT_EQ(bytesPerAsioCycle(VELMORA::StreamFormat(0x2 | 0x400), 2048, 4, 1, true), 3072u);
    EXPECT_EQ(bytesPerAsioCycle(VELMORA::StreamFormat(0x2 | 0x2510000), 256, 0, 2, false), 1024u);
}

}  // namespace
