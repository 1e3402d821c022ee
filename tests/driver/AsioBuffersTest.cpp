// Buffers and the per-block exchange, as a host sees them: createBuffers through IASIO, then
// the engine's fillBlock (the buffer worker's call) run by hand, one host period per call.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DriverHarness.h"
#include "sync/StreamFormat.h"

using VELMORA::StreamFormat;
using namespace drivertest;

namespace {

class AsioBuffers : public DriverTest {
protected:
    // What start does just before the buffer worker begins.
    void markRunning() {
        d.samplePosition.store(0);
        d.bufferIndex = 0;
        d.running.store(true);
    }
    // One buffer worker call through the engine's table.
    std::vector<uint8_t> nextBlock(std::size_t bytes) {
        std::vector<uint8_t> block(bytes, 0xEE);
        static_cast<VELMORA::SyncBuffer&>(d.sync).fillBlock(block, false);
        return block;
    }
};

// A 16-bit stereo block of what the host wrote in `call` (channel 0: the call number,
// channel 1: the call number + 0x40, see Host), or of silence for call -1.
void expectHostCall(const std::vector<uint8_t>& block, int call, const std::string& what) {
    const uint8_t left = call < 0 ? 0 : static_cast<uint8_t>(call);
    const uint8_t right = call < 0 ? 0 : static_cast<uint8_t>(call + 0x40);
    for (std::size_t slot = 0; slot < block.size() / 2; ++slot) {
        const uint8_t expected = slot % 2 == 0 ? left : right;
        ASSERT_EQ(block[2 * slot], expected) << what << " slot " << slot;
        ASSERT_EQ(block[2 * slot + 1], expected) << what << " slot " << slot;
    }
}

std::ptrdiff_t halfDistance(const ASIOBufferInfo& info) {
    return static_cast<uint8_t*>(info.buffers[1]) - static_cast<uint8_t*>(info.buffers[0]);
}

TEST_F(AsioBuffers, CreateBuffersSizesHalvesAndRefusesBadChannels) {
    initialisedAs(StreamFormat::typeInt32, 4, 2);
    ASIOBufferInfo infos[3] = {{0, 1, {}}, {1, 0, {}}, {0, 0, {}}};
    ASSERT_EQ(driver->createBuffers(infos, 3, 512, &Host::callbacks), ASE_OK);
    EXPECT_EQ(d.bufferBytes, 2048u);
    EXPECT_EQ(d.bufferCount, 2u);   // the input entry is skipped
    EXPECT_EQ(infos[1].buffers[0], nullptr);
    ASSERT_NE(infos[0].buffers[0], nullptr);
    EXPECT_EQ(halfDistance(infos[0]), 2048);
    EXPECT_EQ(halfDistance(infos[2]), 2048);
    // Both halves are writable over their whole length (the sanitizer builds check the bounds).
    std::memset(infos[0].buffers[0], 1, 2 * 2048);
    std::memset(infos[2].buffers[0], 1, 2 * 2048);

    // A channel the target does not have releases everything made so far.
    ASIOBufferInfo bad[2] = {{0, 0, {}}, {0, 2, {}}};
    EXPECT_EQ(driver->createBuffers(bad, 2, 2048, &Host::callbacks), ASE_InvalidParameter);
    EXPECT_EQ(d.bufferCount, 0u);
    EXPECT_EQ(d.callbacks.load(), nullptr);
    bad[1].channelNum = -1;
    EXPECT_EQ(driver->createBuffers(bad, 2, 2048, &Host::callbacks), ASE_InvalidParameter);
    EXPECT_EQ(driver->createBuffers(bad, 1, 0, &Host::callbacks), ASE_InvalidParameter);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

TEST_F(AsioBuffers, StartRefusesWhatTheStreamCannotCarryBeforeAnyTraffic) {
    initialisedAs(StreamFormat::typeInt32, 4, 4);
    ASIOBufferInfo three[3] = {{0, 0, {}}, {0, 1, {}}, {0, 2, {}}};
    ASSERT_EQ(driver->createBuffers(three, 3, 256, &Host::callbacks), ASE_OK);
    EXPECT_EQ(driver->start(), ASE_NotPresent);   // no channel code for 3 channels
    EXPECT_FALSE(d.running.load());

    ASIOBufferInfo two[2] = {{0, 0, {}}, {0, 1, {}}};
    ASSERT_EQ(driver->createBuffers(two, 2, 256, &Host::callbacks), ASE_OK);
    EXPECT_EQ(driver->setSampleRate(12345), ASE_OK);
    EXPECT_EQ(driver->start(), ASE_NotPresent);   // no stream format has this rate
    EXPECT_FALSE(d.running.load());
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

TEST_F(AsioBuffers, EachBlockCarriesTheHalfTheHostFilledOneCallEarlier) {
    initialisedAs(StreamFormat::typeInt16, 2, 2);
    ASIOBufferInfo infos[2] = {{0, 0, {}}, {0, 1, {}}};
    ASSERT_EQ(driver->createBuffers(infos, 2, 512, &Host::callbacks), ASE_OK);
    ASSERT_EQ(d.bufferBytes, 1024u);
    Host::reset(infos, 1024);
    for (auto& info : infos) std::memset(info.buffers[0], 0, 2048);   // start's silence

    // Not running: the host is not called, yet the position advances.
    nextBlock(2048);
    EXPECT_TRUE(Host::indices.empty());
    EXPECT_EQ(d.samplePosition.load(), 512u);

    markRunning();
    for (int k = 0; k < 6; ++k) {
        const std::vector<uint8_t> block = nextBlock(2048);
        EXPECT_EQ(d.samplePosition.load(), 512u * (k + 1));
        // Call 0 sends half 1, still silent; call k sends what the host wrote in call k - 1.
        expectHostCall(block, k - 1, "call " + std::to_string(k));
    }
    EXPECT_EQ(Host::indices, (std::vector<std::int32_t>{0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(samplePosition(driver.asio), 6u * 512u);

    // After stop the host is no longer asked: its last half goes out, then silence, never a
    // half that was sent before (a buffer worker that fills on while stop is on its way).
    d.running.store(false);
    expectHostCall(nextBlock(2048), 5, "first fill after stop");
    expectHostCall(nextBlock(2048), -1, "second fill after stop");
    expectHostCall(nextBlock(2048), -1, "third fill after stop");
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(Host::indices.size(), 6u);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

// A rate change reaches the host once (setting the same rate again is none): through
// sampleRateDidChange, and for time-info hosts as a flag in the next callback's time info.
TEST_F(AsioBuffers, HostsHearOfARateChangeOnce) {
    initialisedAs(StreamFormat::typeInt32, 4, 2);
    // Without callbacks the rate changes all the same.
    EXPECT_EQ(driver->setSampleRate(48000), ASE_OK);
    ASIOSampleRate rate = 0;
    EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 48000.0);
    EXPECT_NE(d.asioTime.timeInfo.flags & kSampleRateChanged, 0u);

    ASIOBufferInfo infos[2] = {{0, 0, {}}, {0, 1, {}}};
    Host::reset(infos, 256, true);
    ASSERT_EQ(driver->future(kAsioEnableTimeCodeRead, nullptr), ASE_SUCCESS);
    ASSERT_EQ(driver->createBuffers(infos, 2, 64, &Host::callbacks), ASE_OK);
    EXPECT_TRUE(d.timeInfoMode);
    EXPECT_EQ(d.asioTime.timeCode.flags, 259u);
    EXPECT_EQ(d.asioTime.timeInfo.speed, 1.0);
    EXPECT_EQ(d.asioTime.timeInfo.sampleRate, 48000.0);

    markRunning();
    nextBlock(512);
    ASSERT_EQ(driver->setSampleRate(48000), ASE_OK);
    EXPECT_TRUE(Host::rateChanges.empty());
    EXPECT_EQ(d.asioTime.timeInfo.flags, 15u);
    ASSERT_EQ(driver->setSampleRate(96000.7), ASE_OK);
    EXPECT_EQ(Host::rateChanges, std::vector<double>{96000.0});
    EXPECT_EQ(d.sampleRate, 96000u);
    EXPECT_EQ(d.asioTime.timeInfo.sampleRate, 96000.7);
    nextBlock(512);
    nextBlock(512);
    EXPECT_EQ(Host::timeInfoFlags, (std::vector<uint32_t>{15u, 15u | kSampleRateChanged, 15u}));
    // The position handed over is the one before each call's advance.
    EXPECT_EQ(Host::positions, (std::vector<uint64_t>{0, 64, 128}));
    const auto& code = d.asioTime.timeCode.timeCodeSamples;
    EXPECT_EQ(uint64_t{code.hi} << 32 | code.lo, 128u);
    EXPECT_EQ(Host::indices, (std::vector<std::int32_t>{0, 1, 0}));
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

TEST_F(AsioBuffers, DsdBlocksAdvanceBySamplesAndInterleaveWords) {
    initialisedAs(StreamFormat::typeInt32, 4, 2);
    ASSERT_EQ(setIoFormat(driver.asio, kASIODSDFormat), ASE_SUCCESS);
    ASIOBufferInfo infos[2] = {{0, 0, {}}, {0, 1, {}}};
    ASSERT_EQ(driver->createBuffers(infos, 2, 2048, &Host::callbacks), ASE_OK);
    ASSERT_EQ(d.bufferBytes, 256u);   // one byte holds eight 1-bit samples
    d.sync.hostFormat = StreamFormat(0x2 | StreamFormat::dsdLsbLittle);
    Host::reset(infos, 256);

    markRunning();
    nextBlock(512);
    // Host bytes of half 0 numbered so that words tell channel and position apart.
    for (int c = 0; c < 2; ++c) {
        auto* half = static_cast<uint8_t*>(infos[c].buffers[0]);
        for (int i = 0; i < 256; ++i) half[i] = static_cast<uint8_t>(c * 0x80 + i / 2);
    }
    const std::vector<uint8_t> block = nextBlock(512);   // sends half 0
    EXPECT_EQ(d.samplePosition.load(), 2u * 2048u);
    for (int word = 0; word < 64; ++word)
        for (int c = 0; c < 2; ++c)
            for (int b = 0; b < 4; ++b)
                ASSERT_EQ(block[(word * 2 + c) * 4 + b], static_cast<uint8_t>(c * 0x80 + (word * 4 + b) / 2))
                    << "word " << word << " channel " << c;
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

}  // namespace
