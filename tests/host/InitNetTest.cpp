// init against the reference sink inside the test network of tests/netns/testnet.sh: this
// program runs in its host namespace, each sink in a sink namespace of its own; discovery
// multicasts there only. Without that network (VELMORA_TESTNET_SINKS unset) the tests skip.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <memory>

#include "../driver/DriverHarness.h"
#include "engine/SinkProcess.h"
#include "find-net/TestNet.h"
#include "platform/Files.h"
#include "sync/StreamFormat.h"

using namespace drivertest;
using engine_test::SinkProcess;
using VELMORA::StreamFormat;

namespace {

// "TargetAddress=" for sink k's link-local address on segment 1.
std::string targetOf(size_t k) { return "TargetAddress=" + testnet::sinkAddress(k, 1).toString() + ",19642\r\n"; }

// A --pcm-caps mask: the channel bits and sample types given, at 44.1 and 88.2 kHz.
std::string pcmCaps(uint64_t channelBits, uint64_t types) {
    StreamFormat a, b;
    a.setRate(44100);
    b.setRate(88200);
    return std::to_string(channelBits | types | a.value() | b.value());
}

// --find-output names an output as "port:index:name".
const std::string syncPortText = std::to_string(SinkProcess::syncPort);

std::int32_t outputs(IASIO* asio) {
    std::int32_t in = -1, out = -1;
    EXPECT_EQ(asio->getChannels(&in, &out), ASE_OK);
    return out;
}

class InitNet : public ::testing::Test {
protected:
    void SetUp() override {
        spaces_ = testnet::sinkNamespaces();
        if (spaces_.size() < 2) GTEST_SKIP() << "needs the test network with two sinks (tests/netns/testnet.sh)";
    }
    std::vector<std::string> spaces_;
};

// Discovery takes the sink with the smaller address and names the driver after its description
// and output; a configured target is taken by address and named by its bare description. Once
// initialised, init runs again only when the control panel saved new settings.
TEST_F(InitNet, DiscoveryOrTheConfiguredAddressChoosesSinkNameAndFormat) {
    const std::vector<std::string> box{"--pcm-caps", pcmCaps(0x6, StreamFormat::typeInt32 | StreamFormat::typeInt24),
                                       "--find-description", "Box", "--find-output", syncPortText + ":1:Room"};
    auto first = std::make_unique<SinkProcess>(spaces_[0], box);
    ASSERT_TRUE(first->waitListening());
    SinkProcess second(spaces_[1], {"--pcm-caps", pcmCaps(0x2, StreamFormat::typeInt24), "--find-description", "Hall",
                                    "--find-output", syncPortText + ":1:Stage"});
    ASSERT_TRUE(second.waitListening());

    Driver driver("PCMRequest=24\r\n");
    ASSERT_EQ(driver->init(nullptr), 1) << errorMessage(driver.asio);
    EXPECT_TRUE(driver.object().initialised);
    EXPECT_EQ(driverName(driver.asio), "Box(Room)");
    EXPECT_EQ(outputs(driver.asio), 4);   // low mask bits 0b00110
    EXPECT_EQ(sampleType(driver.asio), ASIOSTInt24LSB);
    EXPECT_EQ(driver.object().sampleBytes, 3u);
    {
        // The host always delivers 32-bit integers, whatever the sink takes.
        Driver configured(targetOf(2) + "TargetPO=1\r\nPCMRequest=CovertS32\r\n");
        ASSERT_EQ(configured->init(nullptr), 1) << errorMessage(configured.asio);
        EXPECT_EQ(driverName(configured.asio), "Hall");
        EXPECT_EQ(configured.object().pcmFormat, StreamFormat::typeInt24);
        EXPECT_EQ(sampleType(configured.asio), ASIOSTInt32LSB);
    }

    // init, and a panel closed without saving, answer without asking anyone (nobody would answer).
    first.reset();
    second.stop();
    EXPECT_EQ(driver->init(nullptr), 1);
    driver.object().settings.controlPanelPath = "/nonexistent/velmora-settings";
    EXPECT_EQ(driver->controlPanel(), ASE_NotPresent);
    driver.object().settings.controlPanelPath = VELMORA_PANEL_PROGRAM;
    ::unsetenv("VELMORA_PANEL_SOURCE");
    EXPECT_EQ(driver->controlPanel(), ASE_OK);
    EXPECT_TRUE(driver.object().initialised);

    // The panel saves a new sample width: the driver re-reads its keys, runs init again and
    // hands the host init's own result.
    first = std::make_unique<SinkProcess>(spaces_[0], box);
    ASSERT_TRUE(first->waitListening());
    const std::string settingsFile = platform::nativePath(driver.object().settings.settingPath);
    std::ofstream(settingsFile + ".saved", std::ios::binary) << "PCMRequest=32\r\n";
    ::setenv("VELMORA_PANEL_SOURCE", (settingsFile + ".saved").c_str(), 1);
    ::setenv("VELMORA_PANEL_TARGET", settingsFile.c_str(), 1);
    EXPECT_EQ(driver->controlPanel(), 1) << errorMessage(driver.asio);
    ::unsetenv("VELMORA_PANEL_SOURCE");
    EXPECT_EQ(sampleType(driver.asio), ASIOSTInt32LSB);
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
        ASSERT_TRUE(refusing.waitListening());
        attempt("NopBreak=Enable\r\n", 0, "Velmora Find err!");
        attempt("NopBreak=Enable\r\n" + targetOf(1), 0, "Velmora get Target err!");
    }
    {
        // Found, but its output port is silent: init reports success so that the host may
        // try again, and stays uninitialised.
        SinkProcess silent(spaces_[0], {"--find-output", "9"});
        ASSERT_TRUE(silent.waitListening());
        attempt("", 1, "Velmora get info err!");
    }
    // Only 8-bit PCM: nothing the driver can offer.
    SinkProcess narrow(spaces_[1], {"--pcm-caps", pcmCaps(0x2, StreamFormat::typeInt8)});
    ASSERT_TRUE(narrow.waitListening());
    attempt("", 0, "format miss err!");
    attempt("PCMRequest=CovertS32\r\n", 0, "format miss err!");
}

TEST_F(InitNet, FindIPReachesASinkThatIgnoresTheMulticastGroup) {
    // The sink's namespace drops what reaches its Find port through the all-nodes group, until
    // the test ends.
    const auto nft = [&](const std::string& command) {
        return std::system(("ip netns exec " + spaces_[0] + " nft " + command + " 2>&1").c_str()) == 0;
    };
    const std::shared_ptr<void> unblock(nullptr, [&](void*) { nft("delete table ip6 velmora_block"); });
    ASSERT_TRUE(nft("add table ip6 velmora_block") &&
                nft("add chain ip6 velmora_block input '{ type filter hook input priority 0; }'") &&
                nft("add rule ip6 velmora_block input ip6 daddr ff02::1 udp dport 19642 drop"))
        << "nft (scripts/install-deps.sh installs nftables)";
    SinkProcess sink(spaces_[0], {"--find-description", "Hidden"});
    ASSERT_TRUE(sink.waitListening());
    const std::string link = std::to_string(testnet::linkIndex("link1"));
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

}  // namespace
