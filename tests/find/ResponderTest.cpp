// The sink's Find answers, read back with the client's own frame readers, and the text
// forms the tools accept.

#include <gtest/gtest.h>

#include "TargetReport.h"
#include "find/FakeSink.h"
#include "find/FindDestination.h"
#include "find/FindFrame.h"
#include "find/FindProtocol.h"
#include "find/FindRequests.h"
#include "find/FindResponder.h"
#include "find/ProductTag.h"

using findtest::Bytes;
using findtest::frame;
using findtest::frame64;
namespace FP = VELMORA::FindProtocol;

namespace {

sink::FindResponderConfig twoOutputs() {
    sink::FindResponderConfig config;
    config.productTag = VELMORA::productTagOf("PALUDRIN");
    config.description = "Box";
    config.infoText = "see http://[myaddress]/";
    config.outputs = {{5001, 1, "Room"}, {5002, 2, ""}};
    return config;
}

}  // namespace

TEST(FindResponder, AnswersEveryFindRequestByteExact) {
    const uint64_t tag = VELMORA::productTagOf("PALUDRIN");
    TERNO::Message name;
    VELMORA::FindRequests::name("Thirteen char", name);
    struct Case { const char* what; Bytes request, reply; };  // reply empty: no answer
    const Case cases[] = {
        {"find", frame(FP::FIND_REQ, 0), frame64(FP::FIND_ANS, 1, tag, "Box")},
        {"count", frame(FP::OUTPUT_REQ, 0, 0, 0, 0, 1), frame(FP::OUTPUT_ANS, 1, 2, 0, 0, 0)},
        {"output 1", frame(FP::OUTPUT_REQ, 0, 1, 0, 0, 1), frame(FP::OUTPUT_ANS, 1, 1, 0, 5001, 1, "Room")},
        {"output 2", frame(FP::OUTPUT_REQ, 0, 2, 0, 0, 1), frame(FP::OUTPUT_ANS, 1, 2, 0, 5002, 2)},
        {"no output 3", frame(FP::OUTPUT_REQ, 0, 3, 0, 0, 1), frame(FP::OUTPUT_ANS, 1, 3, 0, 0, 0)},
        {"info", frame(FP::INFO_REQ, 0), frame(FP::INFO_ANS, 1, 0, 0, 0, 0, "see http://[myaddress]/")},
        {"name", Bytes(name.frame, name.frame + name.frameSize), frame(FP::FINDNAME_ANS, 1)},
        {"nopbreak", frame(FP::NOPBREAK_REQ, 0), frame(FP::NOPBREAK_ANS, 0)},  // not refused
        {"an answer is no request", frame(FP::FIND_ANS, 1), {}},
        {"too short", {100, 0, 16, 0}, {}},
    };
    sink::FindResponder responder(twoOutputs());
    for (const Case& c : cases) {
        Bytes reply;
        if (responder.answer(c.request, reply)) {
            EXPECT_EQ(reply, c.reply) << c.what;
        } else {
            EXPECT_TRUE(c.reply.empty()) << c.what << ": not answered";
        }
    }
    EXPECT_EQ(responder.clientName(), "Thirteen char");

    sink::FindResponderConfig config = twoOutputs();  // refusals are configurable
    config.answerInfo = false;
    config.refuseNopBreak = true;
    sink::FindResponder refusing(config);
    Bytes reply;
    EXPECT_FALSE(refusing.answer(frame(FP::INFO_REQ, 0), reply));
    ASSERT_TRUE(refusing.answer(frame(FP::NOPBREAK_REQ, 0), reply));
    EXPECT_EQ(reply, frame(FP::NOPBREAK_ANS, 1));
}

TEST(FindResponder, OptionTexts) {
    uint64_t tag = 1;
    EXPECT_TRUE(sink::productTagFromText("0", tag));
    EXPECT_EQ(tag, 0u);
    EXPECT_TRUE(sink::productTagFromText("OTHERSNK", tag));
    EXPECT_EQ(tag, VELMORA::productTagOf("OTHERSNK"));
    EXPECT_FALSE(sink::productTagFromText("SHORT", tag));

    sink::FindOutput output;
    ASSERT_TRUE(sink::parseFindOutput("5001", output));
    EXPECT_EQ(output.port, 5001u);
    EXPECT_EQ(output.version, 1u);
    ASSERT_TRUE(sink::parseFindOutput("5002:2:Living room:left", output));
    EXPECT_EQ(output.version, 2u);
    EXPECT_EQ(output.name, "Living room:left");
    EXPECT_FALSE(sink::parseFindOutput("70000", output));
    EXPECT_FALSE(sink::parseFindOutput("5001:x", output));
    EXPECT_FALSE(sink::parseFindOutput("", output));
}

TEST(FindDestination, TextForms) {
    struct Case {
        const char* text;
        bool ok;
        uint16_t port, scope;
    };
    const Case cases[] = {
        {"fe80::101", true, FP::findPort, 0},      {"fe80::101%3", true, FP::findPort, 3},
        {"[fe80::101]:5000", true, 5000, 0},        {"[fe80::101%3]:5000", true, 5000, 3},
        {"[fe80::101]", true, FP::findPort, 0},     {"fe80::101,5000", true, 5000, 0},
        {"fe80::101,5000%3", true, 5000, 3},        {"fe80::101%3,5000", true, 5000, 3},
        {"[fe80::101]:0", false, 0, 0},             {"[fe80::101]:", false, 0, 0},
        {"[fe80::101]5000", false, 0, 0},           {"[fe80::101:5000", false, 0, 0},
        {"fe80::101,port", false, 0, 0},            {"fe80::101%", false, 0, 0},
        {"fe80::101%eth0", false, 0, 0},            {"fe80::101,70000", false, 0, 0},
        {"host.example", false, 0, 0},              {"", false, 0, 0},
    };
    for (const Case& c : cases) {
        TERNO::Address address{};
        address.scope = 99;
        ASSERT_EQ(VELMORA::parseFindDestination(c.text, address), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_EQ(address.scope, 99u) << c.text << ": untouched";
            continue;
        }
        EXPECT_EQ(address.toString(), "fe80::101") << c.text;
        EXPECT_EQ(address.portNumber(), c.port) << c.text;
        EXPECT_EQ(address.scope, c.scope) << c.text;
    }
}

TEST(VelmoraFindTool, JsonEscapesSinkTexts) {
    VELMORA::TargetMap targets;
    TERNO::Address stream{};
    ASSERT_TRUE(stream.parse("fe80::101"));
    stream.setPortNumber(5001);
    stream.scope = 2;
    VELMORA::Target& target = targets[stream];
    target.description = "Box \"A\"\\";
    target.outputName = "Room\n";
    target.outputIndex = 1;
    target.version = 1;
    target.infoText = std::string("x\x01", 2);
    const std::string json = velmora_find::targetsAsJson(targets);
    EXPECT_NE(json.find(R"("description": "Box \"A\"\\")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("outputName": "Room\n")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("infoText": "x\u0001")"), std::string::npos) << json;
    EXPECT_EQ(velmora_find::targetsAsJson({}), "[]\n");
    // The plain fields and the table's columns: the discovery program's runs.
    EXPECT_EQ(velmora_find::targetsAsTable(targets).find('\x01'), std::string::npos);
}
