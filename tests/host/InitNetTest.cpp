// init against the reference sink inside the test network of tests/netns/testnet.sh: this
// program runs in its host namespace, each sink in a sink namespace of its own; discovery
// multicasts there only. Without that network (VELMORA_TESTNET_SINKS unset) the tests skip.

#include <gtest/gtest.h>

#include <net/if.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "../driver/DriverHarness.h"
#include "lifecycle/SinkProcess.h"
#include "platform/Files.h"
#include "sync/StreamFormat.h"

using drivertest::Driver;
using lifecycle::SinkProcess;
using VELMORA::StreamFormat;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// "TargetAddress=" for sink k's link-local address on segment 1 (fe80::1kk in the test network).
std::string targetOf(int k) {
    char text[64];
    std::snprintf(text, sizeof text, "TargetAddress=fe80::1%02x,19642\r\n", k);
    return text;
}

// A --pcm-caps mask: the channel bits and sample types given, at 44.1 and 88.2 kHz.
std::string pcmCaps(uint64_t channelBits, uint64_t types) {
    StreamFormat a, b;
    a.setRate(44100);
    b.setRate(88200);
    return std::to_string(channelBits | types | a.value() | b.value());
}

// --find-output names an output as "port:index:name".
const std::string syncPortText = std::to_string(SinkProcess::syncPort);

std::string errorMessage(IASIO* asio) {
    char text[128] = {};
    asio->getErrorMessage(text);
    return text;
}

std::string driverName(IASIO* asio) {
    char text[32] = {};
    asio->getDriverName(text);
    return text;
}

std::int32_t outputs(IASIO* asio) {
    std::int32_t in = -1, out = -1;
    EXPECT_EQ(asio->getChannels(&in, &out), ASE_OK);
    return out;
}

ASIOSampleType sampleType(IASIO* asio) {
    ASIOChannelInfo info{};
    EXPECT_EQ(asio->getChannelInfo(&info), ASE_OK);
    return info.type;
}

class InitNet : public ::testing::Test {
protected:
    void SetUp() override {
        spaces_ = lifecycle::sinkNamespaces();
        if (spaces_.size() < 2) GTEST_SKIP() << "needs the test network with two sinks (tests/netns/testnet.sh)";
    }
    std::vector<std::string> spaces_;
};

TEST_F(InitNet, DiscoveryTakesTheSmallerAddressAndChoosesTheFormat) {
    SinkProcess first(spaces_[0], {"--pcm-caps", pcmCaps(0x6, StreamFormat::typeInt32 | StreamFormat::typeInt24),
                                   "--find-description", "Box"});
    ASSERT_NE(first.port(), 0);
    SinkProcess second(spaces_[1], {"--find-description", "Other"});
    ASSERT_NE(second.port(), 0);

    Driver driver("PCMRequest=24\r\n");
    ASSERT_EQ(driver->init(nullptr), 1) << errorMessage(driver.asio);
    EXPECT_TRUE(driver.object().initialised);
    EXPECT_EQ(driverName(driver.asio), "Box");
    EXPECT_EQ(outputs(driver.asio), 4);   // low mask bits 0b00110
    EXPECT_EQ(sampleType(driver.asio), ASIOSTInt24LSB);
    EXPECT_EQ(driver.object().sampleBytes, 3u);
    EXPECT_EQ(driver->canSampleRate(44100), ASE_OK);
    EXPECT_EQ(driver->canSampleRate(48000), ASE_NoClock);

    // Once initialised, init answers at once without asking anyone.
    first.stop();
    second.stop();
    const auto begin = Clock::now();
    EXPECT_EQ(driver->init(nullptr), 1);
    EXPECT_LT(Clock::now() - begin, 50ms);
}

TEST_F(InitNet, OutputNamesAndTheConfiguredAddress) {
    SinkProcess first(spaces_[0], {"--find-description", "Box", "--find-output", syncPortText + ":1:Room"});
    ASSERT_NE(first.port(), 0);
    SinkProcess second(spaces_[1], {"--pcm-caps", pcmCaps(0x2, StreamFormat::typeInt24), "--find-description", "Hall",
                                    "--find-output", syncPortText + ":1:Stage"});
    ASSERT_NE(second.port(), 0);
    {
        // Discovery: description and output name.
        Driver driver;
        EXPECT_EQ(driver->init(nullptr), 1) << errorMessage(driver.asio);
        EXPECT_EQ(driverName(driver.asio), "Box(Room)");
    }
    // A configured target: the bare description; the host always delivers 32-bit integers.
    Driver driver(targetOf(2) + "TargetPO=1\r\nPCMRequest=CovertS32\r\n");
    ASSERT_EQ(driver->init(nullptr), 1) << errorMessage(driver.asio);
    EXPECT_EQ(driverName(driver.asio), "Hall");
    EXPECT_EQ(driver.object().pcmFormat, StreamFormat::typeInt24);
    EXPECT_EQ(driver.object().sampleBytes, 4u);
    EXPECT_EQ(sampleType(driver.asio), ASIOSTInt32LSB);
    EXPECT_EQ(outputs(driver.asio), 2);
}

TEST_F(InitNet, EachFailureLeavesItsMessage) {
    const auto attempt = [](const std::string& settings, ASIOBool result, const std::string& message) {
        SCOPED_TRACE(settings);
        Driver driver(settings);
        EXPECT_EQ(driver->init(nullptr), result);
        EXPECT_FALSE(driver.object().initialised);
        EXPECT_EQ(errorMessage(driver.asio), message);
        EXPECT_EQ(outputs(driver.asio), 0);
    };
    // Nobody there.
    attempt("", 0, "Velmora can not Find");
    attempt(targetOf(0xff), 0, "Velmora can not ReFind");
    attempt("Interface=999\r\n", 0, "Velmora Find open err!");
    {
        // A sink that refuses a client that will not be interrupted.
        SinkProcess refusing(spaces_[0], {"--find-refuse-nopbreak"});
        ASSERT_NE(refusing.port(), 0);
        attempt("NopBreak=Enable\r\n", 0, "Velmora Find err!");
        attempt("NopBreak=Enable\r\n" + targetOf(1), 0, "Velmora get Target err!");
    }
    {
        // Found, but its output port is silent: init reports success so that the host may
        // try again, and stays uninitialised.
        SinkProcess silent(spaces_[0], {"--find-output", "9"});
        ASSERT_NE(silent.port(), 0);
        attempt("", 1, "Velmora get info err!");
    }
    // Only 8-bit PCM: nothing the driver can offer.
    SinkProcess narrow(spaces_[1], {"--pcm-caps", pcmCaps(0x2, StreamFormat::typeInt8)});
    ASSERT_NE(narrow.port(), 0);
    attempt("", 0, "format miss err!");
    attempt("PCMRequest=CovertS32\r\n", 0, "format miss err!");
}

// Drops what reaches a namespace's Find port through the all-nodes group, for as long as it lives.
class MulticastBlock {
public:
    explicit MulticastBlock(const std::string& space) : space_(space) {
        ok_ = run("add table ip6 velmora_block") &&
              run("add chain ip6 velmora_block input '{ type filter hook input priority 0; }'") &&
              run("add rule ip6 velmora_block input ip6 daddr ff02::1 udp dport 19642 drop");
    }
    ~MulticastBlock() { run("delete table ip6 velmora_block"); }
    bool ok() const { return ok_; }

private:
    bool run(const std::string& command) const {
        return std::system(("ip netns exec " + space_ + " nft " + command + " 2>&1").c_str()) == 0;
    }
    std::string space_;
    bool ok_ = false;
};

TEST_F(InitNet, FindIPReachesASinkThatIgnoresTheMulticastGroup) {
    MulticastBlock block(spaces_[0]);
    ASSERT_TRUE(block.ok()) << "nft (scripts/install-deps.sh installs nftables)";
    SinkProcess sink(spaces_[0], {"--find-description", "Hidden"});
    ASSERT_NE(sink.port(), 0);
    const std::string link = std::to_string(if_nametoindex("link1"));
    // Sink 1 is fe80::101 on the host's link1.
    const std::pair<std::string, ASIOBool> cases[] = {
        {"", 0},   // the multicast alone finds nothing
        {"FindIP=fe80::101\r\n", 1},            // every interface, the Find port
        {"FindIP=fe80::101%" + link + "\r\n", 1},
        {"FindIP=fe80::99;[fe80::101]:19642\r\n", 1},
        {"FindIP=[fe80::101]:19643\r\n", 0},   // nobody on that port
    };
    for (const auto& [settings, result] : cases) {
        SCOPED_TRACE(settings);
        Driver driver(settings);
        EXPECT_EQ(driver->init(nullptr), result) << errorMessage(driver.asio);
        if (result == 1) {
            EXPECT_EQ(driverName(driver.asio), "Hidden");
        }
    }
}

// A host that counts its callbacks and writes a ramp into every half it is given.
struct CountingHost {
    static inline std::atomic<int> calls{0};
    static inline ASIOBufferInfo* infos = nullptr;
    static inline std::size_t halfBytes = 0;
    static void bufferSwitch(std::int32_t index, ASIOBool) {
        for (int c = 0; c < 2; ++c) std::memset(infos[c].buffers[index], calls.load() & 0x7F, halfBytes);
        calls.fetch_add(1);
    }
    static void sampleRateDidChange(ASIOSampleRate) {}
    static std::int32_t asioMessage(std::int32_t, std::int32_t, void*, double*) { return 0; }
    static inline ASIOCallbacks callbacks{&bufferSwitch, &sampleRateDidChange, &asioMessage, nullptr};
};

// The stream to a configured target runs at the sink's pace after the start delay. What stop,
// restarts and teardown do is checked by the lifecycle tests.
TEST_F(InitNet, StartStreamsAtTheSinksPaceAfterTheDelay) {
    SinkProcess sink(spaces_[0], {"--find-description", "Box"});
    ASSERT_NE(sink.port(), 0);
    Driver driver(targetOf(1) + "TargetPO=1\r\nStartDelay=200000\r\n");
    ASSERT_EQ(driver->init(nullptr), 1) << errorMessage(driver.asio);
    ASSERT_EQ(driver->canSampleRate(44100), ASE_OK);
    ASIOBufferInfo infos[2] = {{0, 0, {}}, {0, 1, {}}};
    ASSERT_EQ(driver->createBuffers(infos, 2, 256, &CountingHost::callbacks), ASE_OK);
    CountingHost::infos = infos;
    CountingHost::halfBytes = driver.object().bufferBytes;
    CountingHost::calls = 0;

    const auto begin = Clock::now();
    ASSERT_EQ(driver->start(), ASE_OK);
    // About 172 periods of 256 frames per second.
    while (CountingHost::calls.load() < 60 && Clock::now() < begin + 5s) std::this_thread::sleep_for(10ms);
    const auto elapsed = Clock::now() - begin;
    EXPECT_GE(CountingHost::calls.load(), 60);
    // Playback is held back for StartDelay + 10 ms, and the ring holds only a few blocks.
    EXPECT_GE(elapsed, std::chrono::milliseconds(210 + 60 * 256 * 1000 / 44100 / 2));
    ASIOSamples position{};
    ASIOTimeStamp stamp{};
    ASSERT_EQ(driver->getSamplePosition(&position, &stamp), ASE_OK);
    EXPECT_GE(uint64_t{position.hi} << 32 | position.lo, 60u * 256u);

    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

TEST_F(InitNet, ControlPanelReinitialisesOnlyWhenTheSettingsChanged) {
    const std::vector<std::string> options{"--pcm-caps", pcmCaps(0x2, StreamFormat::typeInt32 | StreamFormat::typeInt24),
                                           "--find-description", "Box"};
    auto sink = std::make_unique<SinkProcess>(spaces_[0], options);
    ASSERT_NE(sink->port(), 0);
    Driver driver("PCMRequest=24\r\n");
    ASSERT_EQ(driver->init(nullptr), 1) << errorMessage(driver.asio);
    EXPECT_EQ(sampleType(driver.asio), ASIOSTInt24LSB);

    driver.object().settings.controlPanelPath = "/nonexistent/velmora-settings";
    EXPECT_EQ(driver->controlPanel(), ASE_NotPresent);

    // The panel closes without saving: nothing is read again, no one is asked.
    driver.object().settings.controlPanelPath = VELMORA_PANEL_PROGRAM;
    ::unsetenv("VELMORA_PANEL_SOURCE");
    sink.reset();
    EXPECT_EQ(driver->controlPanel(), ASE_OK);
    EXPECT_TRUE(driver.object().initialised);

    // The panel saves a new sample width: the driver re-reads its keys, runs init again and
    // hands the host init's own result.
    sink = std::make_unique<SinkProcess>(spaces_[0], options);
    ASSERT_NE(sink->port(), 0);
    const std::string settingsFile = platform::nativePath(driver.object().settings.settingPath);
    std::ofstream(settingsFile + ".saved", std::ios::binary) << "PCMRequest=32\r\n";
    ::setenv("VELMORA_PANEL_SOURCE", (settingsFile + ".saved").c_str(), 1);
    ::setenv("VELMORA_PANEL_TARGET", settingsFile.c_str(), 1);
    EXPECT_EQ(driver->controlPanel(), 1) << errorMessage(driver.asio);
    ::unsetenv("VELMORA_PANEL_SOURCE");
    EXPECT_EQ(sampleType(driver.asio), ASIOSTInt32LSB);
}

}  // namespace
