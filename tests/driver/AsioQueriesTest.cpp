// The driver's answers to a host's questions, asked through IASIO on an object made by the
// class factory. What init would learn from a target is set on the object directly.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

// What a two-channel target taking 32- and 24-bit PCM at 44.1 kHz x1/x2 and DSD64 (LSB first
// only) would announce.
void announceTarget(AsioVelmora& d, uint32_t channels = 2) {
    d.sync.pcmCaps = 0x2 | 0x1 | StreamFormat::typeInt32 | StreamFormat::typeInt24 | rateBits(44100) | rateBits(88200);
    d.sync.dsdLsbCaps = 0x2 | StreamFormat::dsdLsbLittle | rateBits(2822400);
    d.sync.dsdMsbCaps = 0;
    d.pcmFormat = StreamFormat::typeInt24;
    d.sampleBytes = 3;
    d.channelCount = channels;
    d.sync.driverName = "Box(Room)";
}

struct Driver {
    IASIO* asio;
    explicit Driver(IASIO* made) : asio(made) {}
    ~Driver() {
        if (asio) asio->Release();
    }
    IASIO* operator->() const { return asio; }
    AsioVelmora& object() const { return objectOf(asio); }
};

ASIOError setIoFormat(IASIO* asio, ASIOIoFormatType type, std::int32_t selector = kAsioSetIoFormat) {
    ASIOIoFormat format{};
    format.FormatType = type;
    return asio->future(selector, &format);
}

// A host whose callbacks only count.
struct CountingHost {
    static inline int rateChanges = 0;
    static inline double lastRate = 0;
    static void bufferSwitch(std::int32_t, ASIOBool) {}
    static void sampleRateDidChange(ASIOSampleRate rate) {
        ++rateChanges;
        lastRate = rate;
    }
    static std::int32_t asioMessage(std::int32_t, std::int32_t, void*, double*) { return 0; }
    static inline ASIOCallbacks callbacks{&bufferSwitch, &sampleRateDidChange, &asioMessage, nullptr};
};

TEST(AsioQueries, BeforeInitNothingIsOfferedAndNullPointersAreRefused) {
    PrivateSettings settings;
    Driver driver(createDriver());
    ASSERT_NE(driver.asio, nullptr);

    std::int32_t in = -1, out = -1;
    EXPECT_EQ(driver->getChannels(&in, &out), ASE_OK);
    EXPECT_EQ(in, 0);
    EXPECT_EQ(out, 0);
    ASIOChannelInfo info{};
    EXPECT_EQ(driver->getChannelInfo(&info), ASE_InvalidParameter);
    char text[128];
    std::memset(text, 'x', sizeof text);
    driver->getDriverName(text);
    EXPECT_STREQ(text, "");
    std::memset(text, 'x', sizeof text);
    driver->getErrorMessage(text);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(driver->getDriverVersion(), 1);
    EXPECT_EQ(driver->outputReady(), ASE_NotPresent);
    std::int32_t a = 7, b = 7;
    EXPECT_EQ(driver->getLatencies(&a, &b), ASE_OK);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(driver->getLatencies(nullptr, nullptr), ASE_OK);

    std::int32_t s = 0;
    ASIOSampleRate rate = 0;
    ASIOSamples position{};
    ASIOTimeStamp stamp{};
    EXPECT_EQ(driver->getChannels(nullptr, &out), ASE_InvalidParameter);
    EXPECT_EQ(driver->getBufferSize(&s, &s, nullptr, &s), ASE_InvalidParameter);
    EXPECT_EQ(driver->getSampleRate(nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->getClockSources(nullptr, &s), ASE_InvalidParameter);
    EXPECT_EQ(driver->getSamplePosition(&position, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->getSamplePosition(nullptr, &stamp), ASE_InvalidParameter);
    EXPECT_EQ(driver->getChannelInfo(nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->createBuffers(nullptr, 1, 512, &CountingHost::callbacks), ASE_InvalidParameter);
    for (std::int32_t selector : {kAsioSetIoFormat, kAsioGetIoFormat, kAsioCanDoIoFormat})
        EXPECT_EQ(driver->future(selector, nullptr), ASE_InvalidParameter) << selector;
    EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 44100.0);
}

TEST(AsioQueries, BufferSizesFollowTheSettingsAndScaleInDsd) {
    {
        PrivateSettings settings;
        Driver driver(createDriver());
        std::int32_t mn = 0, mx = 0, pre = 0, gran = 0;
        EXPECT_EQ(driver->getBufferSize(&mn, &mx, &pre, &gran), ASE_OK);
        EXPECT_EQ(mn, 1);
        EXPECT_EQ(mx, 16384);
        EXPECT_EQ(pre, 512);
        EXPECT_EQ(gran, -1);
        EXPECT_EQ(setIoFormat(driver.asio, kASIODSDFormat), ASE_SUCCESS);
        EXPECT_EQ(driver->getBufferSize(&mn, &mx, &pre, &gran), ASE_OK);
        EXPECT_EQ(mn, 32);
        EXPECT_EQ(mx, 16384 * 32);
        EXPECT_EQ(pre, 512 * 32);
        EXPECT_EQ(gran, -1);
    }
    {
        PrivateSettings settings("ASIOBufferSize=256\r\nASIOBufferSizeMin=64\r\n");
        Driver driver(createDriver());
        std::int32_t mn = 0, mx = 0, pre = 0, gran = 7;
        EXPECT_EQ(driver->getBufferSize(&mn, &mx, &pre, &gran), ASE_OK);
        EXPECT_EQ(mn, 256);
        EXPECT_EQ(mx, 256);
        EXPECT_EQ(pre, 256);
        EXPECT_EQ(gran, 0);
        EXPECT_EQ(setIoFormat(driver.asio, kASIODSDFormat), ASE_SUCCESS);
        EXPECT_EQ(driver->getBufferSize(&mn, &mx, &pre, &gran), ASE_OK);
        EXPECT_EQ(mn, 8192);
        EXPECT_EQ(mx, 8192);
        EXPECT_EQ(pre, 8192);
        EXPECT_EQ(gran, 0);
    }
}

TEST(AsioQueries, CanSampleRateChecksPcmOrDsdCandidatesAgainstTheMasks) {
    PrivateSettings settings;
    Driver driver(createDriver());
    announceTarget(driver.object());

    EXPECT_EQ(driver->canSampleRate(44100), ASE_OK);
    EXPECT_EQ(driver->canSampleRate(88200), ASE_OK);
    EXPECT_EQ(driver->canSampleRate(48000), ASE_NoClock);      // family not offered
    EXPECT_EQ(driver->canSampleRate(176400), ASE_NoClock);     // multiplier not offered
    EXPECT_EQ(driver->canSampleRate(12345), ASE_NoClock);      // no stream format at all
    EXPECT_EQ(driver->canSampleRate(-44100), ASE_NoClock);
    // Above the PCM range a DSD candidate is checked even in PCM presentation.
    EXPECT_EQ(driver->canSampleRate(2822400), ASE_OK);
    EXPECT_EQ(driver->canSampleRate(5644800), ASE_NoClock);
    // The PCM candidate carries the chosen sample type: a target without it refuses.
    driver.object().pcmFormat = StreamFormat::typeFloat32;
    EXPECT_EQ(driver->canSampleRate(44100), ASE_NoClock);
    driver.object().pcmFormat = StreamFormat::typeInt24;

    // In DSD presentation every rate is a DSD candidate.
    EXPECT_EQ(setIoFormat(driver.asio, kASIODSDFormat), ASE_SUCCESS);
    EXPECT_EQ(driver->canSampleRate(44100), ASE_NoClock);
    EXPECT_EQ(driver->canSampleRate(2822400), ASE_OK);
    // DSD offered only MSB first is found through the union of both masks.
    driver.object().sync.dsdMsbCaps = driver.object().sync.dsdLsbCaps;
    driver.object().sync.dsdLsbCaps = 0;
    EXPECT_EQ(driver->canSampleRate(2822400), ASE_OK);
}

TEST(AsioQueries, SetSampleRateTellsTheHostOnlyOfChanges) {
    PrivateSettings settings;
    Driver driver(createDriver());
    AsioVelmora& d = driver.object();

    // Without callbacks the rate changes all the same.
    EXPECT_EQ(driver->setSampleRate(48000), ASE_OK);
    ASIOSampleRate rate = 0;
    EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 48000.0);
    EXPECT_NE(d.asioTime.timeInfo.flags & kSampleRateChanged, 0u);

    announceTarget(d);
    ASIOBufferInfo info{0, 0, {nullptr, nullptr}};
    ASSERT_EQ(driver->createBuffers(&info, 1, 64, &CountingHost::callbacks), ASE_OK);
    d.asioTime.timeInfo.flags = 0;
    CountingHost::rateChanges = 0;
    EXPECT_EQ(driver->setSampleRate(48000), ASE_OK);
    EXPECT_EQ(CountingHost::rateChanges, 0);
    EXPECT_EQ(d.asioTime.timeInfo.flags, 0u);

    EXPECT_EQ(driver->setSampleRate(96000.7), ASE_OK);
    EXPECT_EQ(CountingHost::rateChanges, 1);
    EXPECT_EQ(CountingHost::lastRate, 96000.0);
    EXPECT_EQ(d.sampleRate, 96000u);
    EXPECT_EQ(d.asioTime.timeInfo.sampleRate, 96000.7);
    EXPECT_EQ(d.asioTime.timeInfo.flags, uint32_t{kSampleRateChanged});
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

TEST(AsioQueries, OneInternalClockSource) {
    PrivateSettings settings;
    Driver driver(createDriver());
    ASIOClockSource clocks[2]{};
    std::int32_t count = 0;
    EXPECT_EQ(driver->getClockSources(clocks, &count), ASE_OK);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(clocks[0].index, 0);
    EXPECT_EQ(clocks[0].associatedChannel, -1);
    EXPECT_EQ(clocks[0].associatedGroup, -1);
    EXPECT_EQ(clocks[0].isCurrentSource, 1);
    EXPECT_STREQ(clocks[0].name, "Internal");

    driver.object().asioTime.timeInfo.flags = 0;
    EXPECT_EQ(driver->setClockSource(1), ASE_NotPresent);
    EXPECT_EQ(driver.object().asioTime.timeInfo.flags, 0u);
    EXPECT_EQ(driver->setClockSource(0), ASE_OK);
    EXPECT_EQ(driver.object().asioTime.timeInfo.flags, uint32_t{kClockSourceChanged});
}

TEST(AsioQueries, ChannelInfoNamesTypesAndBadChannels) {
    PrivateSettings settings;
    Driver driver(createDriver());
    AsioVelmora& d = driver.object();
    announceTarget(d);

    ASIOChannelInfo info{};
    info.channel = 1;
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt24LSB);
    EXPECT_EQ(info.isActive, 0);
    EXPECT_EQ(info.channelGroup, 0);
    EXPECT_STREQ(info.name, "Box(Room)");

    for (std::int32_t bad : {-1, 2, 100}) {
        info = ASIOChannelInfo{};
        info.channel = bad;
        EXPECT_EQ(driver->getChannelInfo(&info), ASE_InvalidParameter) << bad;
    }
    info = ASIOChannelInfo{};
    info.isInput = 1;
    EXPECT_EQ(driver->getChannelInfo(&info), ASE_InvalidParameter);

    // A created buffer makes its channel active.
    ASIOBufferInfo buffer{0, 0, {nullptr, nullptr}};
    ASSERT_EQ(driver->createBuffers(&buffer, 1, 64, &CountingHost::callbacks), ASE_OK);
    info = ASIOChannelInfo{};
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.isActive, 1);

    // The 32-bit conversion flag: the host always delivers 32-bit integers.
    d.settings.convertS32 = true;
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt32LSB);
    d.settings.convertS32 = false;
    d.pcmFormat = StreamFormat::typeFloat64;
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTFloat64LSB);

    // DSD by presentation or by rate, bit order from DSDMSB.
    EXPECT_EQ(driver->setSampleRate(2822400), ASE_OK);
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTDSDInt8LSB1);
    EXPECT_EQ(driver->setSampleRate(44100), ASE_OK);
    EXPECT_EQ(setIoFormat(driver.asio, kASIODSDFormat), ASE_SUCCESS);
    d.settings.dsdMsb = true;
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTDSDInt8MSB1);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

TEST(AsioQueries, LongDriverNamesAreCut) {
    PrivateSettings settings;
    Driver driver(createDriver());
    AsioVelmora& d = driver.object();
    announceTarget(d);
    const std::string forty = "0123456789abcdefghijABCDEFGHIJ0123456789";
    d.sync.driverName = forty;

    char name[64];
    std::memset(name, 'x', sizeof name);
    driver->getDriverName(name);
    EXPECT_EQ(std::string(name), forty.substr(0, 31));
    ASIOChannelInfo info{};
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(std::string(info.name), forty.substr(0, 30));
}

TEST(AsioQueries, FutureSelectors) {
    PrivateSettings settings;
    Driver driver(createDriver());
    AsioVelmora& d = driver.object();

    EXPECT_EQ(driver->future(kAsioEnableTimeCodeRead, nullptr), ASE_SUCCESS);
    EXPECT_TRUE(d.timeCodeRead);
    EXPECT_EQ(driver->future(kAsioDisableTimeCodeRead, nullptr), ASE_SUCCESS);
    EXPECT_FALSE(d.timeCodeRead);
    for (std::int32_t selector : {kAsioSetInputMonitor, kAsioCanInputMonitor, kAsioCanTimeInfo, kAsioCanTimeCode})
        EXPECT_EQ(driver->future(selector, nullptr), ASE_SUCCESS) << selector;
    for (std::int32_t selector : std::initializer_list<std::int32_t>{0, kAsioTransport, kAsioSetInputGain, kAsioGetInputMeter, kAsioSetOutputGain,
                                  kAsioGetOutputMeter, 12, 0x23111960})
        EXPECT_EQ(driver->future(selector, nullptr), ASE_NotPresent) << selector;

    ASIOIoFormat format{};
    format.FormatType = 7;
    EXPECT_EQ(driver->future(kAsioGetIoFormat, &format), ASE_SUCCESS);
    EXPECT_EQ(format.FormatType, kASIOPCMFormat);
    EXPECT_EQ(setIoFormat(driver.asio, kASIODSDFormat), ASE_SUCCESS);
    EXPECT_TRUE(d.dsdMode);
    EXPECT_EQ(driver->future(kAsioGetIoFormat, &format), ASE_SUCCESS);
    EXPECT_EQ(format.FormatType, kASIODSDFormat);
    EXPECT_EQ(setIoFormat(driver.asio, kASIOPCMFormat), ASE_SUCCESS);
    EXPECT_FALSE(d.dsdMode);

    // Nothing announced yet: neither PCM nor DSD can be done; an unknown type always can.
    EXPECT_EQ(setIoFormat(driver.asio, kASIOPCMFormat, kAsioCanDoIoFormat), ASE_NotPresent);
    EXPECT_EQ(setIoFormat(driver.asio, kASIODSDFormat, kAsioCanDoIoFormat), ASE_NotPresent);
    EXPECT_EQ(setIoFormat(driver.asio, 2, kAsioCanDoIoFormat), ASE_SUCCESS);
    announceTarget(d);
    EXPECT_EQ(setIoFormat(driver.asio, kASIOPCMFormat, kAsioCanDoIoFormat), ASE_SUCCESS);
    EXPECT_EQ(setIoFormat(driver.asio, kASIODSDFormat, kAsioCanDoIoFormat), ASE_SUCCESS);
    d.sync.dsdLsbCaps = 0;
    d.sync.dsdMsbCaps = 1;
    EXPECT_EQ(setIoFormat(driver.asio, kASIODSDFormat, kAsioCanDoIoFormat), ASE_SUCCESS);
    d.sync.dsdMsbCaps = 0;
    EXPECT_EQ(setIoFormat(driver.asio, kASIODSDFormat, kAsioCanDoIoFormat), ASE_NotPresent);
}

}  // namespace
