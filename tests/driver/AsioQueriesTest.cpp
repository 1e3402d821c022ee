// The driver's answers to a host's questions, asked through IASIO on an object made by the
// class factory. What init would learn from a target is set on the object directly.

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <utility>

#include "DriverHarness.h"
#include "sync/StreamFormat.h"

using VELMORA::StreamFormat;
using namespace drivertest;

namespace {

uint64_t rateBits(uint64_t hz) {
    StreamFormat word;
    EXPECT_TRUE(word.setRate(hz));
    return word.value();
}


// min, max, preferred, granularity; 7 where getBufferSize wrote nothing.
std::array<std::int32_t, 4> bufferSizes(IASIO* asio) {
    std::array<std::int32_t, 4> s{7, 7, 7, 7};
    EXPECT_EQ(asio->getBufferSize(&s[0], &s[1], &s[2], &s[3]), ASE_OK);
    return s;
}

class AsioQueries : public DriverTest {
protected:
    // What a two-channel target taking 32- and 24-bit PCM at 44.1 kHz x1/x2 and DSD64 (LSB
    // first only) would announce, and the 24-bit choice init makes from it.
    void announceTarget() {
        d.sync.pcmCaps = 0x2 | 0x1 | StreamFormat::typeInt32 | StreamFormat::typeInt24 | rateBits(44100) | rateBits(88200);
        d.sync.dsdLsbCaps = 0x2 | StreamFormat::dsdLsbLittle | rateBits(2822400);
        d.sync.dsdMsbCaps = 0;
        initialisedAs(StreamFormat::typeInt24, 3, 2);
    }
};

TEST_F(AsioQueries, BeforeInitNothingIsOfferedAndNullPointersAreRefused) {
    std::int32_t in = -1, out = -1, s = 0;
    EXPECT_EQ(driver->getChannels(&in, &out), ASE_OK);
    EXPECT_EQ(std::make_pair(in, out), std::make_pair(0, 0));
    ASIOChannelInfo info{};
    EXPECT_EQ(driver->getChannelInfo(&info), ASE_InvalidParameter);
    EXPECT_EQ(driverName(driver.asio), "");
    EXPECT_EQ(errorMessage(driver.asio), "");
    EXPECT_EQ(driver->outputReady(), ASE_NotPresent);
    in = out = 7;
    EXPECT_EQ(driver->getLatencies(&in, &out), ASE_OK);
    EXPECT_EQ(std::make_pair(in, out), std::make_pair(0, 0));
    EXPECT_EQ(driver->getLatencies(nullptr, nullptr), ASE_OK);
    ASIOSampleRate rate = 0;
    EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 44100.0);

    ASIOSamples position{};
    ASIOTimeStamp stamp{};
    EXPECT_EQ(driver->getChannels(nullptr, &out), ASE_InvalidParameter);
    EXPECT_EQ(driver->getBufferSize(&s, &s, nullptr, &s), ASE_InvalidParameter);
    EXPECT_EQ(driver->getSampleRate(nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->getClockSources(nullptr, &s), ASE_InvalidParameter);
    EXPECT_EQ(driver->getSamplePosition(&position, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->getSamplePosition(nullptr, &stamp), ASE_InvalidParameter);
    EXPECT_EQ(driver->getChannelInfo(nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->createBuffers(nullptr, 1, 512, &Host::callbacks), ASE_InvalidParameter);
    for (std::int32_t selector : {kAsioSetIoFormat, kAsioGetIoFormat, kAsioCanDoIoFormat})
        EXPECT_EQ(driver->future(selector, nullptr), ASE_InvalidParameter) << selector;
}

TEST(AsioQueriesSettings, BufferSizesFollowTheSettingsAndScaleInDsd) {
    struct Case {
        const char* settings;
        std::array<std::int32_t, 4> pcm, dsd;
    };
    const Case cases[] = {
        {"", {1, 16384, 512, -1}, {32, 16384 * 32, 512 * 32, -1}},
        {"ASIOBufferSize=256\r\nASIOBufferSizeMin=64\r\n", {256, 256, 256, 0}, {8192, 8192, 8192, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        Driver driver(c.settings);
        EXPECT_EQ(bufferSizes(driver.asio), c.pcm);
        ASSERT_EQ(setIoFormat(driver.asio, kASIODSDFormat), ASE_SUCCESS);
        EXPECT_EQ(bufferSizes(driver.asio), c.dsd);
    }
}

TEST_F(AsioQueries, CanSampleRateChecksPcmOrDsdCandidatesAgainstTheMasks) {
    announceTarget();
    // 48000: family not offered; 176400: multiplier not offered; 12345: no stream format at all.
    // Above the PCM range a DSD candidate is checked even in PCM presentation.
    const std::pair<double, ASIOError> pcmPresentation[] = {
        {44100, ASE_OK},       {88200, ASE_OK},       {48000, ASE_NoClock},   {176400, ASE_NoClock},
        {12345, ASE_NoClock},  {-44100, ASE_NoClock}, {2822400, ASE_OK},      {5644800, ASE_NoClock},
    };
    for (const auto& [rate, expected] : pcmPresentation) EXPECT_EQ(driver->canSampleRate(rate), expected) << rate;
    // The PCM candidate carries the chosen sample type: a target without it refuses.
    d.pcmFormat = StreamFormat::typeFloat32;
    EXPECT_EQ(driver->canSampleRate(44100), ASE_NoClock);
    d.pcmFormat = StreamFormat::typeInt24;

    // In DSD presentation every rate is a DSD candidate.
    EXPECT_EQ(setIoFormat(driver.asio, kASIODSDFormat), ASE_SUCCESS);
    EXPECT_EQ(driver->canSampleRate(44100), ASE_NoClock);
    EXPECT_EQ(driver->canSampleRate(2822400), ASE_OK);
    // DSD offered only MSB first is found through the union of both masks.
    d.sync.dsdMsbCaps = d.sync.dsdLsbCaps;
    d.sync.dsdLsbCaps = 0;
    EXPECT_EQ(driver->canSampleRate(2822400), ASE_OK);
}

TEST_F(AsioQueries, OneInternalClockSourceAndItsChangeFlag) {
    ASIOClockSource clocks[2]{};
    std::int32_t count = 0;
    EXPECT_EQ(driver->getClockSources(clocks, &count), ASE_OK);
    EXPECT_EQ(count, 1);
    EXPECT_EQ((std::array{clocks[0].index, clocks[0].associatedChannel, clocks[0].associatedGroup,
                          clocks[0].isCurrentSource}),
              (std::array{0, -1, -1, 1}));
    EXPECT_STREQ(clocks[0].name, "Internal");
    d.asioTime.timeInfo.flags = 0;
    EXPECT_EQ(driver->setClockSource(1), ASE_NotPresent);
    EXPECT_EQ(d.asioTime.timeInfo.flags, 0u);
    EXPECT_EQ(driver->setClockSource(0), ASE_OK);
    EXPECT_EQ(d.asioTime.timeInfo.flags, uint32_t{kClockSourceChanged});
}

// Names longer than the fields are cut to them: 31 characters for the driver, 30 per channel.
TEST_F(AsioQueries, ChannelInfoNamesTypesAndBadChannels) {
    announceTarget();
    const std::string forty = "0123456789abcdefghijABCDEFGHIJ0123456789";
    d.sync.driverName = forty;
    EXPECT_EQ(driverName(driver.asio), forty.substr(0, 31));
    ASIOChannelInfo info{};
    info.channel = 1;
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt24LSB);
    EXPECT_EQ(info.isActive, 0);
    EXPECT_EQ(info.channelGroup, 0);
    EXPECT_EQ(std::string(info.name), forty.substr(0, 30));
    for (const auto& [channel, input] : {std::pair{-1, 0}, {2, 0}, {100, 0}, {0, 1}}) {
        info = ASIOChannelInfo{channel, input, 0, 0, 0, {}};
        EXPECT_EQ(driver->getChannelInfo(&info), ASE_InvalidParameter) << channel << " input " << input;
    }

    // A created buffer makes its channel active.
    ASIOBufferInfo buffer{0, 0, {nullptr, nullptr}};
    ASSERT_EQ(driver->createBuffers(&buffer, 1, 64, &Host::callbacks), ASE_OK);
    info = ASIOChannelInfo{};
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.isActive, 1);

    // The 32-bit conversion flag: the host always delivers 32-bit integers.
    d.settings.convertS32 = true;
    EXPECT_EQ(sampleType(driver.asio), ASIOSTInt32LSB);
    d.settings.convertS32 = false;
    // DSD by presentation or by rate, bit order from DSDMSB.
    EXPECT_EQ(driver->setSampleRate(2822400), ASE_OK);
    EXPECT_EQ(sampleType(driver.asio), ASIOSTDSDInt8LSB1);
    EXPECT_EQ(driver->setSampleRate(44100), ASE_OK);
    EXPECT_EQ(setIoFormat(driver.asio, kASIODSDFormat), ASE_SUCCESS);
    d.settings.dsdMsb = true;
    EXPECT_EQ(sampleType(driver.asio), ASIOSTDSDInt8MSB1);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

TEST_F(AsioQueries, FutureSelectors) {
    EXPECT_EQ(driver->future(kAsioEnableTimeCodeRead, nullptr), ASE_SUCCESS);
    EXPECT_TRUE(d.timeCodeRead);
    EXPECT_EQ(driver->future(kAsioDisableTimeCodeRead, nullptr), ASE_SUCCESS);
    EXPECT_FALSE(d.timeCodeRead);
    for (std::int32_t selector : {kAsioSetInputMonitor, kAsioCanInputMonitor, kAsioCanTimeInfo, kAsioCanTimeCode})
        EXPECT_EQ(driver->future(selector, nullptr), ASE_SUCCESS) << selector;
    for (std::int32_t selector : std::initializer_list<std::int32_t>{0, kAsioTransport, kAsioSetInputGain,
             kAsioGetInputMeter, kAsioSetOutputGain, kAsioGetOutputMeter, 12, 0x23111960})
        EXPECT_EQ(driver->future(selector, nullptr), ASE_NotPresent) << selector;

    for (ASIOIoFormatType type : {kASIODSDFormat, kASIOPCMFormat}) {
        EXPECT_EQ(setIoFormat(driver.asio, type), ASE_SUCCESS);
        EXPECT_EQ(d.dsdMode, type == kASIODSDFormat);
        ASIOIoFormat format{};
        format.FormatType = 7;
        EXPECT_EQ(driver->future(kAsioGetIoFormat, &format), ASE_SUCCESS);
        EXPECT_EQ(format.FormatType, type);
    }

    // PCM and DSD can be done when a mask of theirs is announced; an unknown type always can.
    const std::tuple<uint64_t, uint64_t, uint64_t, ASIOIoFormatType, ASIOError> canDo[] = {
        {0, 0, 0, kASIOPCMFormat, ASE_NotPresent}, {0, 0, 0, kASIODSDFormat, ASE_NotPresent},
        {0, 0, 0, 2, ASE_SUCCESS},                 {1, 0, 0, kASIOPCMFormat, ASE_SUCCESS},
        {1, 0, 0, kASIODSDFormat, ASE_NotPresent}, {0, 1, 0, kASIODSDFormat, ASE_SUCCESS},
        {0, 0, 1, kASIODSDFormat, ASE_SUCCESS}};
    for (const auto& [pcm, lsb, msb, type, expected] : canDo) {
        std::tie(d.sync.pcmCaps, d.sync.dsdLsbCaps, d.sync.dsdMsbCaps) = std::tuple(pcm, lsb, msb);
        EXPECT_EQ(setIoFormat(driver.asio, type, kAsioCanDoIoFormat), expected) << pcm << lsb << msb << " " << type;
    }
}

}  // namespace
