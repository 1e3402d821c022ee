// Request/answer exchanges of the Find client against scripted sinks on the loopback
// address: what ends an exchange, what is handed out, and that every exchange keeps its
// time limit whatever the sink sends.

#include <gtest/gtest.h>

#include <tuple>

#include "find/FakeSink.h"
#include "log/LogCapture.h"
#include "find/Find.h"
#include "find/FindRequests.h"
#include "find/ProductTag.h"
#include "terno/AddressOf.h"

using namespace findtest;
using logtest::LogCapture;
using VELMORA::FindAckResult;
namespace FP = VELMORA::FindProtocol;

namespace {

// A Find with an open socket and no interfaces: exchanges only, nothing multicast.
struct OpenFind {
    explicit OpenFind(VELMORA::FindParams params = {0, 1, "TOLVENIK Velmora", false}) : find(params) {
        ok = find.openOn({addressOf("fe80::1")});  // scope 0: dropped by openOn, no interface is kept
    }
    FindAckResult ask(const FakeSink& sink, const TERNO::MessageHeader& request, uint16_t answerCommand) {
        answer.assign(3, 0);
        return find.sendAck(sink.address(), request, answerCommand, answer);
    }
    VELMORA::Find find;
    VELMORA::FindFrame answer;
    bool ok = false;
};

Script answerWith(std::vector<Reply> replies) {
    return [replies](const Bytes&, const TERNO::Address&) { return replies; };
}

struct Output {
    bool ok = false;
    TERNO::Address stream{};
    uint16_t version = 0;
    std::string name;
};

Output outputOf(VELMORA::Find& find, const FakeSink& sink, uint16_t index) {
    Output o;
    o.ok = find.getOutput(sink.address(), index, o.stream, o.version, o.name);
    return o;
}

}  // namespace

TEST(FindExchange, OpenOnDropsScopeZeroAndAClosedSocketFailsEveryExchange) {
    OpenFind f;
    ASSERT_TRUE(f.ok);
    EXPECT_TRUE(f.find.interfaces.empty());
    EXPECT_TRUE(f.find.socket.isOpen());
    EXPECT_EQ(f.find.socket.interfaceIndex, 0u);

    VELMORA::Find closed({0, 1, "x", false});
    EXPECT_FALSE(closed.openOn({}));
    EXPECT_FALSE(closed.socket.isOpen());
    const TERNO::Address to = addressOf("::1", 0, FP::findPort);
    VELMORA::FindFrame answer;
    EXPECT_EQ(closed.sendAck(to, VELMORA::FindRequests::info(), FP::INFO_ANS, answer), FindAckResult::Failed);
    EXPECT_FALSE(closed.sendName(to));
    uint16_t count = 5;
    EXPECT_FALSE(closed.getOutputCount(to, count));
    EXPECT_EQ(count, 0u);
}

// What ends an exchange, and that every exchange keeps its time limit (100 ms) whatever the
// sink sends. Wrong source ports, other commands, malformed and oversized datagrams are
// passed over; a refusal counts from any source, and so does the request's own command
// coming back (an echo), which ends the exchange before anything else.
TEST(FindExchange, WhatEndsAnExchangeAndWithinWhatTime) {
    Bytes lying = frame(FP::INFO_ANS, 1, 0, 0, 0, 0, "abc");
    lying[2] = 0xF8, lying[3] = 0x00;  // claims 248 bytes, 24 arrive
    Bytes badMagic = frame(FP::INFO_ANS, 1);
    badMagic[0] = 99;
    const Reply wrongSource{frame(FP::INFO_ANS, 1, 0, 0, 0, 0, "wrong source"), true};
    const Reply good{frame(FP::INFO_ANS, 1, 0, 0, 0, 0, "good")};
    struct Case {
        const char* name;
        std::vector<Reply> replies;
        FindAckResult result;
        std::string text;  // of the answer handed out
    };
    const std::vector<Case> cases = {
        {"the good answer behind rubbish",
         {wrongSource, {frame(FP::OUTPUT_ANS, 1)}, {Bytes{100, 0, 16}}, {badMagic}, {lying},
          {frame(FP::INFO_ANS, 1, 0, 0, 0, 0, std::string(1600, 'x'))}, good},
         FindAckResult::Answered, "good"},
        {"refused from another port", {{frame(FP::INFO_ANS, 0, 7, 0, 0, 0, "no"), true}}, FindAckResult::Refused, "no"},
        {"echo from another port", {{frame(FP::INFO_REQ, 0), true}, good}, FindAckResult::Echoed, ""},
        {"silent", {}, FindAckResult::NoAnswer, ""},
        {"wrong source only", {wrongSource}, FindAckResult::NoAnswer, ""},
        {"malformed only", {{Bytes(15, 0)}, {Bytes(40, 0xFF)}}, FindAckResult::NoAnswer, ""},
        {"flood of other commands", {{frame(FP::OUTPUT_ANS, 1), false, 300'000}}, FindAckResult::NoAnswer, ""},
    };
    OpenFind f;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSink sink(answerWith(c.replies));
        ASSERT_TRUE(sink.ok());
        const auto start = Clock::now();
        EXPECT_EQ(f.ask(sink, VELMORA::FindRequests::info(), FP::INFO_ANS), c.result);
        const double ms = msSince(start);
        const bool early = c.result != FindAckResult::NoAnswer;  // ended before the time limit
        EXPECT_GE(ms, early ? 0.0 : 95.0);
        EXPECT_LT(ms, early ? 90.0 : 250.0);
        EXPECT_EQ(f.answer.empty(), c.text.empty());
        EXPECT_EQ(VELMORA::framePayloadText(f.answer), c.text);
    }
}

TEST(FindOutputs, CountAndOutputsAsTheSinkReportsThem) {
    LogCapture log;
    ASSERT_TRUE(log.ok());
    // Output 1: port 5001 version 1 "Room"; output 3: version 2 (port 0 and maxVersion 0:
    // the discovery runs). The sink lets itself be probed first.
    FakeSink sink([](const Bytes& request, const TERNO::Address&) -> std::vector<Reply> {
        if (commandOf(request) == FP::NOPBREAK_REQ) return {{frame(FP::NOPBREAK_ANS, 0)}};
        if (commandOf(request) != FP::OUTPUT_REQ) return {};
        switch (request[8]) {
        case 0: return {{frame(FP::OUTPUT_ANS, 1, 3, 0, 0, 0)}};
        case 1: return {{frame(FP::OUTPUT_ANS, 1, 1, 0, 5001, 1, "Room")}};
        case 2: return {{frame(FP::OUTPUT_ANS, 1, 2, 0, 0, 1, "Gone")}};
        default: return {{frame(FP::OUTPUT_ANS, 1, 3, 0, 5003, 2, "Future")}};
        }
    });
    OpenFind f({0, 1, "x", true});
    uint16_t count = 0;
    ASSERT_TRUE(f.find.getOutputCount(sink.address(), count));
    EXPECT_EQ(count, 3u);

    TERNO::Address expected = sink.address();
    expected.setPortNumber(5001);
    Output o = outputOf(f.find, sink, 1);
    EXPECT_EQ(std::tie(o.ok, o.stream, o.version, o.name), std::make_tuple(true, expected, uint16_t{1}, "Room"));
    o = outputOf(f.find, sink, 3);
    EXPECT_TRUE(o.ok && VELMORA::isZeroAddress(o.stream));  // version 2 above maxVersion 1
    EXPECT_EQ(o.version, 2u);
    EXPECT_TRUE(log.contains("Velmora Find protocol version not much : 1<2"));

    f.find.nopBreak = false;
    for (const Bytes& reply : {frame(FP::OUTPUT_ANS, 1, 4, 0, 9, 0),    // u16 at 12 not 0
                               frame(FP::OUTPUT_ANS, 0, 4, 0, 0, 0)}) {  // refused
        FakeSink unusable(answerWith({{reply}}));
        count = 9;
        EXPECT_TRUE(f.find.getOutputCount(unusable.address(), count));
        EXPECT_EQ(count, 0u);
    }
}

TEST(FindOutputs, NopBreakRefusalStopsTheQueries) {
    FakeSink refusing([](const Bytes& request, const TERNO::Address&) -> std::vector<Reply> {
        if (commandOf(request) == FP::NOPBREAK_REQ) return {{frame(FP::NOPBREAK_ANS, 1)}};
        return {{frame(FP::OUTPUT_ANS, 1, 1, 0, 0, 0)}};
    });
    OpenFind f({0, 1, "x", true});
    uint16_t count = 0;
    EXPECT_FALSE(f.find.getOutputCount(refusing.address(), count));
    EXPECT_FALSE(outputOf(f.find, refusing, 1).ok);
    EXPECT_EQ(refusing.requests(), 2u);  // two probes, no output query
    f.find.nopBreak = false;  // without the probe a refusing sink is just asked
    EXPECT_TRUE(f.find.getOutputCount(refusing.address(), count));
    EXPECT_EQ(count, 1u);
}

TEST(FindFilter, ProductFilterRulesAndTheirLogLines) {
    LogCapture log;
    ASSERT_TRUE(log.ok());
    const uint64_t ours = VELMORA::productTagOf("PALUDRIN");
    const uint64_t theirs = VELMORA::productTagOf("OTHERSNK");
    VELMORA::Find filtered({ours, 1, "x", false});
    EXPECT_EQ(filtered.filterProduct(ours), ours);
    EXPECT_EQ(filtered.filterProduct(0), 0u);  // a sink without product passes any filter
    EXPECT_EQ(filtered.filterProduct(theirs), VELMORA::invalidProductTag);
    VELMORA::Find open({0, 1, "x", false});
    EXPECT_EQ(open.filterProduct(theirs), theirs);
    const std::vector<std::string> expected = {
        "Terget Producst : " + std::to_string(ours),
        "Find Target: 0",
        "Find Skip : " + std::to_string(theirs) + " " + std::to_string(ours),
        "Find Target: " + std::to_string(theirs),
    };
    EXPECT_EQ(log.lines(), expected);
}

// A sink that claims 65,535 outputs and then falls silent: its outputs are asked only for
// the time one sink may take, and the log says why the asking stopped.
TEST(FindOutputs, ASinkThatClaimsManyOutputsAndFallsSilentIsLeftInTime) {
    LogCapture log;
    ASSERT_TRUE(log.ok());
    FakeSink sink([](const Bytes& request, const TERNO::Address&) -> std::vector<Reply> {
        if (commandOf(request) != FP::OUTPUT_REQ) return {};
        const int index = request[8] | request[9] << 8;
        if (index == 0) return {{frame(FP::OUTPUT_ANS, 1, 0xFFFF, 0, 0, 0)}};
        if (index == 1) return {{frame(FP::OUTPUT_ANS, 1, 1, 0, 5001, 1, "Room")}};
        return {};
    });
    OpenFind f;
    f.find.sinkTimeLimitUs = 500000;
    VELMORA::TargetMap targets;
    const auto start = Clock::now();
    ASSERT_TRUE(f.find.addSinkTargets(sink.address(), "Quiet", targets));
    EXPECT_LT(msSince(start), 3000);
    EXPECT_EQ(targets.size(), 1u);
    EXPECT_TRUE(log.contains("Velmora Find Sink Out stop: Quiet "));
}
