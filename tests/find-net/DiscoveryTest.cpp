// Discovery over the isolated test network (tests/netns/testnet.sh): sinks with several
// outputs on two segments, product and version filters, per-interface behaviour, sinks
// that misbehave, and the finder object (its output names: ToolTest). Runs only inside the test network.
//
// Layout used (see CMakeLists.txt): 10 sinks, 2 segments; sinks 1-8 on segment 1, sink 9
// on segment 2, sink 10 on both.

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "SinkFarm.h"
#include "TestNet.h"
#include "find/Find.h"
#include "find/FinderObject.h"
#include "log/LogCapture.h"
#include "find/ProductTag.h"

using namespace testnet;
using findtest::Bytes;
using findtest::Clock;
using findtest::msSince;
using logtest::LogCapture;
using findtest::Reply;
using findtest::frame;
using findtest::frame64;
namespace FP = VELMORA::FindProtocol;

namespace {

VELMORA::FindParams driverParams(bool nopBreak = false) {
    return {VELMORA::findID, 1, std::string(VELMORA::productName), nopBreak};
}

TERNO::Address streamOf(size_t sink, int segment, uint16_t port, uint16_t scope) {
    TERNO::Address address = sinkAddress(sink, segment);
    address.setPortNumber(port);
    address.scope = scope;
    return address;
}

std::vector<std::string> descriptions(const VELMORA::TargetMap& targets) {
    std::vector<std::string> out;
    for (const auto& entry : targets) out.push_back(entry.second.description);
    return out;
}

class Discovery : public ::testing::Test {
protected:
    void SetUp() override {
        TESTNET_REQUIRED();
        link1 = linkIndex("link1");
        link2 = linkIndex("link2");
        ASSERT_NE(link1, 0u);
        ASSERT_NE(link2, 0u);
        ASSERT_EQ(placement(9), "2");
        ASSERT_EQ(placement(10), "12");
    }
    // One getTargetList on interface (0: all); nothing when opening or listing fails.
    std::optional<VELMORA::TargetMap> list(uint16_t interface, VELMORA::FindParams params = driverParams()) {
        VELMORA::Find find(params);
        VELMORA::TargetMap targets;
        if (!find.open(interface) || !find.getTargetList(targets)) return std::nullopt;
        return targets;
    }
    SinkFarm farm;
    uint16_t link1 = 0;
    uint16_t link2 = 0;
};

}  // namespace

TEST_F(Discovery, OpenChoosesLinkLocalInterfacesInAddressOrder) {
    VELMORA::Find find(driverParams());
    ASSERT_TRUE(find.open(0));
    ASSERT_EQ(find.interfaces.size(), 2u);  // lo has no fe80 address
    EXPECT_EQ(find.interfaces[0].toString(), "fe80::1");
    EXPECT_EQ(find.interfaces[0].scope, link1);
    EXPECT_EQ(find.interfaces[1].scope, link2);
    // One interface, lo (no link-local address) and an unknown index: velmora-find -i (ToolTest)
    // and the driver's Interface key (InitNet).
}

// Every sink of segment 1 answers: one with three outputs, one with outputs of other
// versions and no port, one of another product, one without product, four plain ones.
TEST_F(Discovery, EverySinkOfASegmentWithItsOutputsAndTheProductFilter) {
    LogCapture log;
    ASSERT_TRUE(log.ok());
    // Beta's outputs 2 (version above maxVersion 1) and 3 (port 0) are left out; version 0 is taken.
    sink::FindResponderConfig beta = plainSink("Beta", 0);
    beta.outputs = {{5001, 1, "Out1"}, {5002, 2, "v2"}, {0, 1, "none"}, {5004, 0, "v0"}};
    sink::FindResponderConfig other = plainSink("Other", 1);
    other.productTag = VELMORA::productTagOf("OTHERSNK");
    sink::FindResponderConfig untagged = plainSink("Untagged", 1);
    untagged.productTag = 0;
    sink::FindResponder* second = farm.start(2, beta);
    sink::FindResponder* first = farm.start(1, plainSink("Alpha", 3));
    sink::FindResponder* skipped = farm.start(3, other);
    ASSERT_TRUE(first && second && skipped && farm.start(4, untagged));
    for (size_t k = 5; k <= 8; ++k) ASSERT_TRUE(farm.start(k, plainSink("Sink" + std::to_string(k), 1))) << k;
    const auto targets = list(0);
    ASSERT_TRUE(targets);
    EXPECT_EQ(descriptions(*targets), (std::vector<std::string>{"Alpha", "Alpha", "Alpha", "Beta", "Beta", "Untagged",
                                                                "Sink5", "Sink6", "Sink7", "Sink8"}));

    // Address order: sink 1 (fe80::101) before sink 2 (fe80::102), ports ascending.
    std::vector<TERNO::Address> keys;
    for (const auto& entry : *targets) keys.push_back(entry.first);
    keys.resize(5);
    EXPECT_EQ(keys, (std::vector<TERNO::Address>{streamOf(1, 1, 5001, link1), streamOf(1, 1, 5002, link1),
                                                 streamOf(1, 1, 5003, link1), streamOf(2, 1, 5001, link1),
                                                 streamOf(2, 1, 5004, link1)}));
    const VELMORA::Target& chosen = targets->begin()->second;  // what the driver streams to
    EXPECT_EQ(std::tie(chosen.description, chosen.outputIndex, chosen.version, chosen.outputName),
              std::make_tuple("Alpha", 1u, 1u, "Out1"));
    EXPECT_EQ(chosen.infoText, "http://[fe80::101]/Alpha");
    EXPECT_EQ(chosen.productTag, 0u);
    EXPECT_EQ(chosen.findAddress, streamOf(1, 1, FP::findPort, link1));
    const VELMORA::Target& lastOfBeta = std::next(targets->begin(), 4)->second;
    EXPECT_EQ(std::tie(lastOfBeta.description, lastOfBeta.outputIndex, lastOfBeta.outputName),
              std::make_tuple("Beta", 4u, "v0"));

    for (const sink::FindResponder* s : {first, second, skipped})  // the name reaches skipped sinks too
        EXPECT_EQ(s->clientName(), "TOLVENIK Velmora");
    EXPECT_TRUE(log.contains("Velmora Find Library ReleaseNo : 100"));
    EXPECT_TRUE(log.contains("Velmora Find Sink Out: Alpha 3 1 [" + std::to_string(link1) + "]"));
    EXPECT_TRUE(log.contains("FindMultiAck[0," + std::to_string(link1) + "]Valid : fe80::102,19642"));
    const auto all = list(link1, {0, 1, "x", false});  // filter 0 accepts every product
    ASSERT_TRUE(all);
    EXPECT_EQ(all->size(), 11u);
}

TEST_F(Discovery, ConfiguredTargetsOnEitherInterfaceAndASinkOnBoth) {
    sink::FindResponderConfig config = plainSink("Far", 2);
    config.answerInfo = false;  // still found, with empty information text
    ASSERT_TRUE(farm.start(9, config));
    ASSERT_TRUE(farm.start(1, plainSink("Near", 1)));
    ASSERT_TRUE(farm.start(10, plainSink("Both", 1)));
    VELMORA::Find find(driverParams());
    ASSERT_TRUE(find.open(0));
    VELMORA::TargetMap targets;
    ASSERT_TRUE(find.getTargetList(targets));
    EXPECT_EQ(targets.size(), 5u);  // Near, Far's two outputs, and Both once on each segment
    EXPECT_EQ(targets.count(streamOf(10, 1, 5001, link1)) + targets.count(streamOf(10, 2, 5001, link2)), 2u);

    TERNO::Address configured = sinkAddress(9, 2);  // answers only on the second interface
    configured.setPortNumber(1234);                  // only the address bytes count
    configured.scope = 77;
    TERNO::Address stream{};
    VELMORA::Target target;
    target.outputName = "untouched";
    ASSERT_TRUE(find.getTarget(configured, 2, stream, target));
    EXPECT_EQ(stream, streamOf(9, 2, 5002, link2));
    EXPECT_EQ(target.findAddress, streamOf(9, 2, FP::findPort, link2));
    EXPECT_EQ(std::tie(target.outputIndex, target.version, target.description, target.infoText, target.outputName),
              std::make_tuple(2u, 1u, "Far", "", "untouched"));
    VELMORA::Target near;
    ASSERT_TRUE(find.getTarget(sinkAddress(1, 1), 1, stream, near));
    EXPECT_EQ(stream, streamOf(1, 1, 5001, link1));
    EXPECT_EQ(near.infoText, "http://[fe80::101]/Near");

    // An output the sink does not have, and an address nobody answers: true, zero stream.
    ASSERT_TRUE(find.getTarget(configured, 3, stream, target));
    EXPECT_TRUE(VELMORA::isZeroAddress(stream));
    const auto start = Clock::now();
    ASSERT_TRUE(find.getTarget(sinkAddress(7, 1), 1, stream, target));
    EXPECT_TRUE(VELMORA::isZeroAddress(stream));
    EXPECT_LT(msSince(start), 2 * 100 + 150.0);  // one silent exchange per interface
}

TEST_F(Discovery, MisbehavingSinksCostNoMoreThanTheirTimeLimits) {
    ASSERT_TRUE(farm.start(1, plainSink("Good", 1)));
    // Sink 2 answers everything from a second port; 3 echoes; 4 sends garbage; 5 is silent.
    auto fromOtherPort = [](const Bytes& request, const TERNO::Address&) -> std::vector<Reply> {
        if (findtest::commandOf(request) == FP::FIND_REQ) return {{frame64(FP::FIND_ANS, 1, 0, "Liar"), true}};
        return {{frame(static_cast<uint16_t>(findtest::commandOf(request) + 1), 1, 1, 0, 6000, 1), true}};
    };
    auto echo = [](const Bytes& request, const TERNO::Address&) -> std::vector<Reply> { return {{request}}; };
    auto garbage = [](const Bytes&, const TERNO::Address&) -> std::vector<Reply> {
        Bytes lying = frame64(FP::FIND_ANS, 1, 0, "x");
        lying[2] = 0xF8, lying[3] = 0xFF;
        return {{Bytes(7, 1)}, {lying}, {Bytes(3000, 0)}};
    };
    auto silent = [](const Bytes&, const TERNO::Address&) -> std::vector<Reply> { return {}; };
    ASSERT_TRUE(farm.startFake(2, fromOtherPort) && farm.startFake(3, echo));
    ASSERT_TRUE(farm.startFake(4, garbage) && farm.startFake(5, silent));

    const auto start = Clock::now();
    const auto targets = list(link1);
    const double ms = msSince(start);
    ASSERT_TRUE(targets);
    EXPECT_EQ(descriptions(*targets), std::vector<std::string>{"Good"});
    // Collection 3 x 30 ms; the liar (stored under its second port, where nobody reads)
    // costs name, name, count and info: 4 x 100 ms.
    EXPECT_LT(ms, 3 * 30 + 4 * 100 + 250.0) << ms;
}

TEST_F(Discovery, FinderOnInterfaceWithoutLinkLocalAddressFindsNothingQuickly) {
    sink::FindResponder* sink1 = farm.start(1, plainSink("Box", 1));
    ASSERT_TRUE(sink1);
    // Through the exported interface, as a program that loads the module calls it.
    std::unique_ptr<VELMORA::asio_velmora_find_call> finder = std::make_unique<asio_velmora_find>();
    EXPECT_EQ(finder->getVersion(), "1_100_0");
    EXPECT_EQ(finder->getProductID(), VELMORA::productTagOf("PALUDRIN"));
    EXPECT_EQ(finder->getFindID(), VELMORA::productTagOf("PALUDRIN"));
    EXPECT_EQ(finder->getChannel(), "");
    VELMORA::TargetMap targets;
    targets[TERNO::Address{}] = VELMORA::Target{};  // emptied by the call
    const auto start = Clock::now();
    EXPECT_TRUE(finder->getTargets(targets, {streamOf(1, 1, FP::findPort, link1)}, 1));  // lo: nothing sent
    EXPECT_TRUE(targets.empty());
    EXPECT_LT(msSince(start), 80.0);  // one interface's three windows alone take 90 ms
    EXPECT_EQ(sink1->answered(), 0u);  // the extra destination was never asked
}
