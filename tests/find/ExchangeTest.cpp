// Request/answer exchanges of the Find client against scripted sinks on the loopback
// address: what ends an exchange, what is handed out, and that every exchange keeps its
// time limit whatever the sink sends.

#include <gtest/gtest.h>

#include <chrono>

#include "find/FakeSink.h"
#include "find/LogCapture.h"
#include "find/Find.h"
#include "find/FindRequests.h"
#include "find/ProductTag.h"

using namespace findtest;
using VELMORA::FindAckResult;
namespace FP = VELMORA::FindProtocol;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A Find with an open socket and no interfaces: exchanges only, nothing multicast.
struct OpenFind {
    explicit OpenFind(VELMORA::FindParams params = {0, 1, "TOLVENIK Velmora", false}) : find(params) {
        TERNO::Address local{};
        local.parse("fe80::1");
        local.scope = 0;  // dropped by openOn: no interface is kept
        ok = find.openOn({local});
    }
    VELMORA::Find find;
    bool ok = false;
};

Script answerWith(std::vector<Reply> replies) {
    return [replies](const Bytes&, const TERNO::Address&) { return replies; };
}

}  // namespace

TEST(FindExchange, OpenOnDropsScopeZeroAndOpensUnpinnedSocket) {
    OpenFind f;
    ASSERT_TRUE(f.ok);
    EXPECT_TRUE(f.find.interfaces.empty());
    EXPECT_TRUE(f.find.socket.isOpen());
    EXPECT_EQ(f.find.socket.interfaceIndex, 0u);
    VELMORA::Find other({0, 1, "x", false});
    EXPECT_FALSE(other.openOn({}));
    EXPECT_FALSE(other.socket.isOpen());
}

TEST(FindExchange, PositiveAnswerFromTheAddressAskedIsAnswered) {
    FakeSink sink(answerWith({{frame(FP::INFO_ANS, 1, 0, 0, 0, 0, "hello")}}));
    ASSERT_TRUE(sink.ok());
    OpenFind f;
    VELMORA::FindFrame answer;
    EXPECT_EQ(f.find.sendAck(sink.address(), VELMORA::FindRequests::info(), FP::INFO_ANS, answer),
              FindAckResult::Answered);
    EXPECT_EQ(VELMORA::framePayloadText(answer), "hello");
}

TEST(FindExchange, AnswersThatDoNotEndTheExchange) {
    // Wrong source port, other commands, malformed and oversized datagrams are all passed
    // over: the exchange then ends on the one good answer behind them.
    Bytes lying = frame(FP::INFO_ANS, 1, 0, 0, 0, 0, "abc");
    lying[2] = 0xF8; lying[3] = 0x00;  // claims 248 bytes, 24 arrive
    Bytes badMagic = frame(FP::INFO_ANS, 1);
    badMagic[0] = 99;
    Bytes padTooLarge = frame(FP::INFO_ANS, 1);
    padTooLarge[2] = 0x17;  // 16 bytes long with 7 pad bytes
    Bytes oversized = frame(FP::INFO_ANS, 1, 0, 0, 0, 0, std::string(1600, 'x'));
    std::vector<Reply> replies = {
        {frame(FP::INFO_ANS, 1, 0, 0, 0, 0, "wrong source"), true},
        {frame(FP::OUTPUT_ANS, 1)},
        {Bytes{100, 0, 16}},  // 3 bytes
        {badMagic}, {lying}, {oversized},
        {frame(FP::INFO_ANS, 1, 0, 0, 0, 0, "good")},
    };
    FakeSink sink(answerWith(replies));
    ASSERT_TRUE(sink.ok());
    OpenFind f;
    VELMORA::FindFrame answer;
    EXPECT_EQ(f.find.sendAck(sink.address(), VELMORA::FindRequests::info(), FP::INFO_ANS, answer),
              FindAckResult::Answered);
    EXPECT_EQ(VELMORA::framePayloadText(answer), "good");

    // A frame whose pad count exceeds its room is taken, but its payload reads as empty.
    FakeSink padSink(answerWith({{padTooLarge}}));
    std::string text = "stale";
    EXPECT_EQ(f.find.getInfoText(padSink.address(), text), FindAckResult::Answered);
    EXPECT_EQ(text, "");
}

TEST(FindExchange, RefusedFromAnySourceAndEchoBeforeAnything) {
    FakeSink refusing(answerWith({{frame(FP::OUTPUT_ANS, 0, 7), true}}));
    OpenFind f;
    VELMORA::FindFrame answer;
    EXPECT_EQ(f.find.sendAck(refusing.address(), VELMORA::FindRequests::output(1), FP::OUTPUT_ANS, answer),
              FindAckResult::Refused);
    EXPECT_EQ(VELMORA::frameU16(answer, 8), 7u);

    // The request's own command coming back ends the exchange, from whatever source.
    FakeSink echoing(answerWith({{frame(FP::FIND_REQ, 0), true}, {frame64(FP::FIND_ANS, 1, 1, "late")}}));
    const auto start = Clock::now();
    EXPECT_EQ(f.find.sendAck(echoing.address(), VELMORA::FindRequests::find(), FP::FIND_ANS, answer),
              FindAckResult::Echoed);
    EXPECT_TRUE(answer.empty());
    EXPECT_LT(msSince(start), 90.0);
}

TEST(FindExchange, EveryExchangeEndsWithinItsTimeLimit) {
    OpenFind f;
    VELMORA::FindFrame answer;
    struct Case { const char* name; std::vector<Reply> replies; };
    const std::vector<Case> cases = {
        {"silent", {}},
        {"wrong source only", {{frame(FP::INFO_ANS, 1, 0, 0, 0, 0, "x"), true}}},
        {"malformed only", {{Bytes(15, 0)}, {Bytes(40, 0xFF)}}},
        {"flood of other commands", {{frame(FP::OUTPUT_ANS, 1), false, 300'000}}},
    };
    for (const Case& c : cases) {
        FakeSink sink(answerWith(c.replies));
        ASSERT_TRUE(sink.ok()) << c.name;
        const auto start = Clock::now();
        EXPECT_EQ(f.find.sendAck(sink.address(), VELMORA::FindRequests::info(), FP::INFO_ANS, answer),
                  FindAckResult::NoAnswer) << c.name;
        const double ms = msSince(start);
        EXPECT_GE(ms, 95.0) << c.name;
        EXPECT_LT(ms, 250.0) << c.name;
        EXPECT_TRUE(answer.empty()) << c.name;
    }
}

TEST(FindExchange, ClosedSocketFails) {
    VELMORA::Find find({0, 1, "x", false});
    TERNO::Address to{};
    to.parse("::1");
    to.setPortNumber(FP::findPort);
    VELMORA::FindFrame answer;
    EXPECT_EQ(find.sendAck(to, VELMORA::FindRequests::info(), FP::INFO_ANS, answer), FindAckResult::Failed);
    EXPECT_FALSE(find.sendName(to));
    uint16_t count = 5;
    EXPECT_FALSE(find.getOutputCount(to, count));
    EXPECT_EQ(count, 0u);
}

TEST(FindOutputs, CountAndOutputsAsTheSinkReportsThem) {
    // Output 1: port 5001 version 1 "Room"; output 2: port 0 (absent); output 3: version 2.
    Script script = [](const Bytes& request, const TERNO::Address&) -> std::vector<Reply> {
        if (commandOf(request) != FP::OUTPUT_REQ) return {};
        switch (request[8]) {
        case 0: return {{frame(FP::OUTPUT_ANS, 1, 3, 0, 0, 0)}};
        case 1: return {{frame(FP::OUTPUT_ANS, 1, 1, 0, 5001, 1, "Room")}};
        case 2: return {{frame(FP::OUTPUT_ANS, 1, 2, 0, 0, 1, "Gone")}};
        default: return {{frame(FP::OUTPUT_ANS, 1, 3, 0, 5003, 2, "Future")}};
        }
    };
    FakeSink sink(script);
    OpenFind f;
    uint16_t count = 0;
    ASSERT_TRUE(f.find.getOutputCount(sink.address(), count));
    EXPECT_EQ(count, 3u);

    TERNO::Address stream{};
    uint16_t version = 0;
    std::string name;
    ASSERT_TRUE(f.find.getOutput(sink.address(), 1, stream, version, name));
    TERNO::Address expected = sink.address();
    expected.setPortNumber(5001);
    EXPECT_EQ(stream, expected);
    EXPECT_EQ(version, 1u);
    EXPECT_EQ(name, "Room");

    ASSERT_TRUE(f.find.getOutput(sink.address(), 2, stream, version, name));
    EXPECT_TRUE(VELMORA::isZeroAddress(stream));  // port 0: no such output

    ASSERT_TRUE(f.find.getOutput(sink.address(), 3, stream, version, name));
    EXPECT_TRUE(VELMORA::isZeroAddress(stream));  // version 2 above maxVersion 1
    EXPECT_EQ(version, 2u);

    f.find.maxVersion = 0;  // every version accepted
    ASSERT_TRUE(f.find.getOutput(sink.address(), 3, stream, version, name));
    EXPECT_EQ(stream.portNumber(), 5003u);
}

TEST(FindOutputs, UnusableCountAnswersGiveNoOutputs) {
    OpenFind f;
    for (const Bytes& reply : {frame(FP::OUTPUT_ANS, 1, 4, 0, 9, 0),   // u16 at 12 not 0
                               frame(FP::OUTPUT_ANS, 0, 4, 0, 0, 0)}) { // refused
        FakeSink sink(answerWith({{reply}}));
        uint16_t count = 9;
        EXPECT_TRUE(f.find.getOutputCount(sink.address(), count));
        EXPECT_EQ(count, 0u);
    }
}

TEST(FindOutputs, NopBreakRefusalStopsTheQueries) {
    auto script = [](bool refuse) {
        return [refuse](const Bytes& request, const TERNO::Address&) -> std::vector<Reply> {
            if (commandOf(request) == FP::NOPBREAK_REQ) return {{frame(FP::NOPBREAK_ANS, refuse ? 1 : 0)}};
            if (commandOf(request) == FP::OUTPUT_REQ)
                return {{frame(FP::OUTPUT_ANS, 1, request[8] == 0 ? 1 : 1, 0, request[8] == 0 ? 0 : 5001, 1)}};
            return {};
        };
    };
    OpenFind f({0, 1, "x", true});
    FakeSink refusing(script(true));
    uint16_t count = 0;
    TERNO::Address stream{};
    uint16_t version = 0;
    std::string name;
    EXPECT_FALSE(f.find.getOutputCount(refusing.address(), count));
    EXPECT_FALSE(f.find.getOutput(refusing.address(), 1, stream, version, name));
    EXPECT_EQ(refusing.requests(), 2u);  // two probes, no output query

    FakeSink allowing(script(false));
    EXPECT_TRUE(f.find.getOutputCount(allowing.address(), count));
    EXPECT_EQ(count, 1u);
    EXPECT_TRUE(f.find.getOutput(allowing.address(), 1, stream, version, name));
    EXPECT_EQ(stream.portNumber(), 5001u);

    f.find.nopBreak = false;  // without the probe a refusing sink is just asked
    EXPECT_TRUE(f.find.getOutputCount(refusing.address(), count));
}

TEST(FindOutputs, TextsAndNameAnnouncement) {
    std::string heard;
    Script script = [&heard](const Bytes& request, const TERNO::Address&) -> std::vector<Reply> {
        switch (commandOf(request)) {
        case FP::FIND_REQ: return {{frame64(FP::FIND_ANS, 1, 42, "Box")}};
        case FP::FINDNAME_REQ: heard.assign(request.begin() + 16, request.end()); return {};
        default: return {};  // INFO_REQ unanswered
        }
    };
    FakeSink sink(script);
    OpenFind f;
    std::string text = "stale";
    EXPECT_EQ(f.find.getDescription(sink.address(), text), FindAckResult::Answered);
    EXPECT_EQ(text, "Box");
    text = "stale";
    EXPECT_EQ(f.find.getInfoText(sink.address(), text), FindAckResult::NoAnswer);
    EXPECT_EQ(text, "");
    // The name goes out even though the sink never answers it; that is no failure.
    EXPECT_TRUE(f.find.sendName(sink.address()));
    ASSERT_EQ(sink.requests(), 3u);  // orders the read of heard after the sink wrote it
    EXPECT_EQ(heard, std::string("TOLVENIK Velmora"));  // 16 bytes, no padding
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

    const std::vector<std::string> lines = log.lines();
    const std::vector<std::string> expected = {
        "Terget Producst : " + std::to_string(ours),
        "Find Target: 0",
        "Find Skip : " + std::to_string(theirs) + " " + std::to_string(ours),
        "Find Target: " + std::to_string(theirs),
    };
    EXPECT_EQ(lines, expected);
}

TEST(FindOutputs, VersionAboveTheLimitIsLogged) {
    LogCapture log;
    ASSERT_TRUE(log.ok());
    FakeSink sink(answerWith({{frame(FP::OUTPUT_ANS, 1, 1, 0, 5001, 2, "v2")}}));
    OpenFind f;
    TERNO::Address stream{};
    uint16_t version = 0;
    std::string name;
    ASSERT_TRUE(f.find.getOutput(sink.address(), 1, stream, version, name));
    EXPECT_TRUE(VELMORA::isZeroAddress(stream));
    EXPECT_TRUE(log.contains("Velmora Find protocol version not much : 1<2"));
}
