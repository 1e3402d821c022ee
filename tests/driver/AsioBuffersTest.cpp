// Buffers and the per-block exchange, as a host sees them: createBuffers through IASIO, then
// the engine's fillBlock (the buffer worker's call) run by hand, one host period per call.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "DriverHarness.h"
#include "com/ClassFactory.h"
#include "com/ModuleClasses.h"
#include "driver/StreamPlan.h"
#include "sync/StreamFormat.h"

using VELMORA::StreamFormat;
using namespace drivertest;

namespace {

struct Driver {
    IASIO* asio;
    explicit Driver(IASIO* made) : asio(made) {}
    ~Driver() {
        if (asio) asio->Release();
    }
    IASIO* operator->() const { return asio; }
    AsioVelmora& object() const { return objectOf(asio); }
};

void initialisedAs(AsioVelmora& d, uint64_t pcmFormat, uint32_t sampleBytes, uint32_t channels) {
    d.pcmFormat = pcmFormat;
    d.sampleBytes = sampleBytes;
    d.channelCount = channels;
}

// A host that writes, into the half it is asked to fill, the number of its call in every
// sample of channel 0 and that number + 0x40 in channel 1, and records what it was told.
struct WritingHost {
    static inline std::vector<std::int32_t> indices;
    static inline std::vector<uint32_t> timeInfoFlags;
    static inline std::vector<uint64_t> positions;
    static inline ASIOBufferInfo* infos = nullptr;
    static inline std::size_t halfBytes = 0;
    static inline bool timeInfo = false;

    static void reset(ASIOBufferInfo* bufferInfos, std::size_t bytes, bool withTimeInfo) {
        indices.clear();
        timeInfoFlags.clear();
        positions.clear();
        infos = bufferInfos;
        halfBytes = bytes;
        timeInfo = withTimeInfo;
    }
    static void write(std::int32_t index) {
        const auto call = static_cast<uint8_t>(indices.size());
        indices.push_back(index);
        std::memset(infos[0].buffers[index], call, halfBytes);
        std::memset(infos[1].buffers[index], call + 0x40, halfBytes);
    }
    static void bufferSwitch(std::int32_t index, ASIOBool) { write(index); }
    static ASIOTime* bufferSwitchTimeInfo(ASIOTime* time, std::int32_t index, ASIOBool) {
        timeInfoFlags.push_back(time->timeInfo.flags);
        positions.push_back(uint64_t{time->timeInfo.samplePosition.hi} << 32 | time->timeInfo.samplePosition.lo);
        write(index);
        return time;
    }
    static void sampleRateDidChange(ASIOSampleRate) {}
    static std::int32_t asioMessage(std::int32_t selector, std::int32_t, void*, double*) {
        return selector == kAsioSupportsTimeInfo && timeInfo ? 1 : 0;
    }
    static inline ASIOCallbacks callbacks{&bufferSwitch, &sampleRateDidChange, &asioMessage, &bufferSwitchTimeInfo};
};

// What start does just before the buffer worker begins.
void markRunning(AsioVelmora& d) {
    d.samplePosition.store(0);
    d.bufferIndex = 0;
    d.running.store(true);
}

// One buffer worker call through the engine's table.
std::vector<uint8_t> nextBlock(AsioVelmora& d, std::size_t bytes) {
    std::vector<uint8_t> block(bytes, 0xEE);
    VELMORA::SyncBuffer& engine = d.sync;
    engine.fillBlock(block, false);
    return block;
}

TEST(AsioBuffers, CreateBuffersSizesHalvesInPcmAndDsdAndRefusesBadChannels) {
    PrivateSettings settings;
    Driver driver(createDriver());
    AsioVelmora& d = driver.object();
    initialisedAs(d, StreamFormat::typeInt32, 4, 2);

    ASIOBufferInfo infos[3] = {{0, 1, {}}, {1, 0, {}}, {0, 0, {}}};
    ASSERT_EQ(driver->createBuffers(infos, 3, 512, &WritingHost::callbacks), ASE_OK);
    EXPECT_EQ(d.bufferBytes, 2048u);
    EXPECT_EQ(d.bufferCount, 2u);   // the input entry is skipped
    EXPECT_EQ(infos[1].buffers[0], nullptr);
    ASSERT_NE(infos[0].buffers[0], nullptr);
    EXPECT_EQ(static_cast<uint8_t*>(infos[0].buffers[1]) - static_cast<uint8_t*>(infos[0].buffers[0]), 2048);
    EXPECT_EQ(static_cast<uint8_t*>(infos[2].buffers[1]) - static_cast<uint8_t*>(infos[2].buffers[0]), 2048);
    // Both halves are writable over their whole length (the sanitizer builds check the bounds).
    std::memset(infos[0].buffers[0], 1, 2 * 2048);
    std::memset(infos[2].buffers[0], 1, 2 * 2048);

    // DSD: one byte holds eight 1-bit samples.
    ASIOIoFormat dsd{};
    dsd.FormatType = kASIODSDFormat;
    ASSERT_EQ(driver->future(kAsioSetIoFormat, &dsd), ASE_SUCCESS);
    ASIOBufferInfo one = {0, 0, {}};
    ASSERT_EQ(driver->createBuffers(&one, 1, 2048, &WritingHost::callbacks), ASE_OK);
    EXPECT_EQ(d.bufferBytes, 256u);
    EXPECT_EQ(d.bufferCount, 1u);

    // A channel the target does not have releases everything made so far.
    ASIOBufferInfo bad[2] = {{0, 0, {}}, {0, 2, {}}};
    EXPECT_EQ(driver->createBuffers(bad, 2, 2048, &WritingHost::callbacks), ASE_InvalidParameter);
    EXPECT_EQ(d.bufferCount, 0u);
    EXPECT_EQ(d.callbacks.load(), nullptr);
    bad[1].channelNum = -1;
    EXPECT_EQ(driver->createBuffers(bad, 2, 2048, &WritingHost::callbacks), ASE_InvalidParameter);
    EXPECT_EQ(driver->createBuffers(bad, 1, 0, &WritingHost::callbacks), ASE_InvalidParameter);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

TEST(AsioBuffers, StartRefusesWhatTheStreamCannotCarryBeforeAnyTraffic) {
    PrivateSettings settings;
    Driver driver(createDriver());
    AsioVelmora& d = driver.object();
    initialisedAs(d, StreamFormat::typeInt32, 4, 4);

    ASIOBufferInfo three[3] = {{0, 0, {}}, {0, 1, {}}, {0, 2, {}}};
    ASSERT_EQ(driver->createBuffers(three, 3, 256, &WritingHost::callbacks), ASE_OK);
    EXPECT_EQ(driver->start(), ASE_NotPresent);   // "ch error 3"
    EXPECT_FALSE(d.running.load());

    ASIOBufferInfo two[2] = {{0, 0, {}}, {0, 1, {}}};
    ASSERT_EQ(driver->createBuffers(two, 2, 256, &WritingHost::callbacks), ASE_OK);
    EXPECT_EQ(driver->setSampleRate(12345), ASE_OK);
    EXPECT_EQ(driver->start(), ASE_NotPresent);   // no stream format has this rate
    EXPECT_FALSE(d.running.load());
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

TEST(AsioBuffers, EachBlockCarriesTheHalfTheHostFilledOneCallEarlier) {
    PrivateSettings settings;
    Driver driver(createDriver());
    AsioVelmora& d = driver.object();
    initialisedAs(d, StreamFormat::typeInt16, 2, 2);
    ASIOBufferInfo infos[2] = {{0, 0, {}}, {0, 1, {}}};
    ASSERT_EQ(driver->createBuffers(infos, 2, 512, &WritingHost::callbacks), ASE_OK);
    ASSERT_EQ(d.bufferBytes, 1024u);
    WritingHost::reset(infos, 1024, false);
    for (auto& info : infos) std::memset(info.buffers[0], 0, 2048);   // start's silence

    // Not running: the host is not called, yet the position advances.
    std::vector<uint8_t> block = nextBlock(d, 2048);
    EXPECT_TRUE(WritingHost::indices.empty());
    EXPECT_EQ(d.samplePosition.load(), 512u);

    markRunning(d);
    for (int k = 0; k < 6; ++k) {
        block = nextBlock(d, 2048);
        EXPECT_EQ(d.samplePosition.load(), 512u * (k + 1));
        // Call 0 sends half 1, still silent; call k sends what the host wrote in call k - 1.
        const uint8_t left = k == 0 ? 0 : static_cast<uint8_t>(k - 1);
        const uint8_t right = k == 0 ? 0 : static_cast<uint8_t>(k - 1 + 0x40);
        for (std::size_t slot = 0; slot < 1024; ++slot) {
            const uint8_t expected = slot % 2 == 0 ? left : right;
            ASSERT_EQ(block[2 * slot], expected) << "call " << k << " slot " << slot;
            ASSERT_EQ(block[2 * slot + 1], expected) << "call " << k << " slot " << slot;
        }
    }
    EXPECT_EQ(WritingHost::indices, (std::vector<std::int32_t>{0, 1, 0, 1, 0, 1}));
    ASIOSamples position{};
    ASIOTimeStamp stamp{};
    ASSERT_EQ(driver->getSamplePosition(&position, &stamp), ASE_OK);
    EXPECT_EQ(position.hi, 0u);
    EXPECT_EQ(position.lo, 6u * 512u);

    // After stop the host is no longer asked.
    EXPECT_EQ(driver->stop(), ASE_OK);
    nextBlock(d, 2048);
    EXPECT_EQ(WritingHost::indices.size(), 6u);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

TEST(AsioBuffers, TimeInfoHostsHearOfARateChangeOnce) {
    PrivateSettings settings;
    Driver driver(createDriver());
    AsioVelmora& d = driver.object();
    initialisedAs(d, StreamFormat::typeInt32, 4, 2);
    ASIOBufferInfo infos[2] = {{0, 0, {}}, {0, 1, {}}};
    WritingHost::reset(infos, 256, true);
    ASSERT_EQ(driver->future(kAsioEnableTimeCodeRead, nullptr), ASE_SUCCESS);
    ASSERT_EQ(driver->createBuffers(infos, 2, 64, &WritingHost::callbacks), ASE_OK);
    EXPECT_TRUE(d.timeInfoMode);
    EXPECT_EQ(d.asioTime.timeInfo.flags, 15u);
    EXPECT_EQ(d.asioTime.timeCode.flags, 259u);
    EXPECT_EQ(d.asioTime.timeInfo.speed, 1.0);
    EXPECT_EQ(d.asioTime.timeInfo.sampleRate, 44100.0);

    markRunning(d);
    nextBlock(d, 512);
    ASSERT_EQ(driver->setSampleRate(48000), ASE_OK);
    nextBlock(d, 512);
    nextBlock(d, 512);
    ASSERT_EQ(WritingHost::timeInfoFlags.size(), 3u);
    EXPECT_EQ(WritingHost::timeInfoFlags[0], 15u);
    EXPECT_EQ(WritingHost::timeInfoFlags[1], 15u | kSampleRateChanged);
    EXPECT_EQ(WritingHost::timeInfoFlags[2], 15u);
    // The position handed over is the one before each call's advance.
    EXPECT_EQ(WritingHost::positions, (std::vector<uint64_t>{0, 64, 128}));
    const auto& code = d.asioTime.timeCode.timeCodeSamples;
    EXPECT_EQ(uint64_t{code.hi} << 32 | code.lo, 128u);
    EXPECT_EQ(WritingHost::indices, (std::vector<std::int32_t>{0, 1, 0}));
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

TEST(AsioBuffers, DsdBlocksAdvanceBySamplesAndInterleaveWords) {
    PrivateSettings settings;
    Driver driver(createDriver());
    AsioVelmora& d = driver.object();
    initialisedAs(d, StreamFormat::typeInt32, 4, 2);
    ASIOIoFormat dsd{};
    dsd.FormatType = kASIODSDFormat;
    ASSERT_EQ(driver->future(kAsioSetIoFormat, &dsd), ASE_SUCCESS);
    ASIOBufferInfo infos[2] = {{0, 0, {}}, {0, 1, {}}};
    ASSERT_EQ(driver->createBuffers(infos, 2, 2048, &WritingHost::callbacks), ASE_OK);
    ASSERT_EQ(d.bufferBytes, 256u);
    d.sync.hostFormat = StreamFormat(0x2 | StreamFormat::dsdLsbLittle);
    WritingHost::reset(infos, 256, false);

    markRunning(d);
    nextBlock(d, 512);
    // Host bytes of half 0 numbered so that words tell channel and position apart.
    for (int c = 0; c < 2; ++c) {
        auto* half = static_cast<uint8_t*>(infos[c].buffers[0]);
        for (int i = 0; i < 256; ++i) half[i] = static_cast<uint8_t>(c * 0x80 + i / 2);
    }
    std::vector<uint8_t> block = nextBlock(d, 512);   // sends half 0
    EXPECT_EQ(d.samplePosition.load(), 2u * 2048u);
    for (int word = 0; word < 64; ++word)
        for (int c = 0; c < 2; ++c)
            for (int b = 0; b < 4; ++b)
                ASSERT_EQ(block[(word * 2 + c) * 4 + b], static_cast<uint8_t>(c * 0x80 + (word * 4 + b) / 2))
                    << "word " << word << " channel " << c;
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

TEST(AsioObject, FactoryPathAggregationAndUnloading) {
    PrivateSettings settings;
    const std::int32_t before = com::objectCount();
    void* factoryPointer = nullptr;
    ASSERT_EQ(com::getClassObject(com::moduleClassTable(), CLSID_AsioVelmora, IID_IClassFactory, &factoryPointer),
              com::resultOk);
    auto* factory = static_cast<IClassFactory*>(factoryPointer);

    // A failed query destroys the new object at once.
    constexpr IID unknownInterface = {0x12345678, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, unknownInterface, &object), com::noInterface);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(com::objectCount(), before);

    // IASIO under the CLSID; IUnknown gives back the same object.
    ASSERT_EQ(factory->CreateInstance(nullptr, CLSID_AsioVelmora, &object), com::resultOk);
    auto* asio = static_cast<IASIO*>(object);
    EXPECT_EQ(com::objectCount(), before + 1);
    EXPECT_EQ(com::canUnloadNow(), com::resultFalse);
    void* again = nullptr;
    ASSERT_EQ(asio->QueryInterface(CLSID_AsioVelmora, &again), com::resultOk);
    EXPECT_EQ(again, object);
    EXPECT_EQ(asio->QueryInterface(unknownInterface, &again), com::noInterface);
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(asio->QueryInterface(CLSID_AsioVelmora, nullptr), com::nullPointer);
    EXPECT_EQ(asio->Release(), 1u);
    EXPECT_EQ(asio->getDriverVersion(), 1);
    EXPECT_EQ(asio->Release(), 0u);
    EXPECT_EQ(com::objectCount(), before);

    // Aggregated: only the inner IUnknown may be asked for; IASIO calls reach the outer object.
    struct Outer : IUnknown {
        int queries = 0, addRefs = 0, releases = 0;
        HRESULT VELMORA_STDCALL QueryInterface(REFIID, void** ppv) override {
            ++queries;
            if (ppv) *ppv = nullptr;
            return com::noInterface;
        }
        ULONG VELMORA_STDCALL AddRef() override { return static_cast<ULONG>(++addRefs); }
        ULONG VELMORA_STDCALL Release() override { return static_cast<ULONG>(++releases); }
    } outer;
    EXPECT_EQ(factory->CreateInstance(&outer, CLSID_AsioVelmora, &object), com::noInterface);
    EXPECT_EQ(com::objectCount(), before);
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, &object), com::resultOk);
    auto* inner = static_cast<IUnknown*>(object);   // the inner object's own IUnknown
    void* asioPointer = nullptr;
    ASSERT_EQ(inner->QueryInterface(CLSID_AsioVelmora, &asioPointer), com::resultOk);
    EXPECT_EQ(outer.addRefs, 1);   // the interface's AddRef went to the outer object
    auto* aggregated = static_cast<IASIO*>(asioPointer);
    aggregated->QueryInterface(IID_IUnknown, &again);
    aggregated->Release();
    EXPECT_EQ(outer.queries, 1);
    EXPECT_EQ(outer.releases, 1);
    EXPECT_EQ(com::objectCount(), before + 1);
    EXPECT_EQ(inner->Release(), 0u);
    EXPECT_EQ(com::objectCount(), before);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(com::canUnloadNow(), before == 0 ? com::resultOk : com::resultFalse);
}

TEST(StreamPlan, StartDelayReleasesPlaybackTenMillisecondsAfterTheDelay) {
    EXPECT_EQ(startDelaySleepMilliseconds(0, 0), 10u);
    EXPECT_EQ(startDelaySleepMilliseconds(4, 0), 6u);
    EXPECT_EQ(startDelaySleepMilliseconds(10, 0), 0u);
    EXPECT_EQ(startDelaySleepMilliseconds(25, 0), 0u);
    EXPECT_EQ(startDelaySleepMilliseconds(0, 500000), 510u);
    EXPECT_EQ(startDelaySleepMilliseconds(200, 500000), 310u);
    EXPECT_EQ(startDelaySleepMilliseconds(509, 500999), 1u);
    EXPECT_EQ(startDelaySleepMilliseconds(510, 500999), 0u);
}

}  // namespace
