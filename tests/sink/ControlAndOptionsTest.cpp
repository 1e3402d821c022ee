// The sink's control answers, its remote log and its configuration.
#include "ControlResponder.h"
#include "RemoteLog.h"
#include "SinkOptions.h"
#include "terno/AddressOf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace sink {
namespace {

std::vector<uint8_t> request(const Header& h) { return {h.bytes, h.bytes + kHeaderBytes}; }

TEST(ControlResponder, AnswersLatencySizesAndProfile) {
    SinkConfig c;
    c.latencyMax = 300;
    c.hwLatency = 7;
    c.mtu = 9000;
    c.maxBurst = 60000;
    c.profileMin = 50;
    c.profileMax = 200;
    c.profileFlags = 0x1A;
    ControlResponder r(c, 4321);
    auto lat = *r.handle(request(Header(LATENCY_REQ, 0, 0, 0))).answer;
    EXPECT_EQ(readU16(lat, 8), c.latency);
    EXPECT_EQ(readU16(lat, 10), 7);
    lat = *r.handle(request(Header(LATENCY_REQ, 0, 500, 0))).answer;
    EXPECT_EQ(readU16(lat, 8), 300);                 // cut to the maximum
    EXPECT_EQ(readU16(*r.handle(request(Header::wide(CONNECTPRE_REQ, 0, uint64_t{0}))).answer, 10), 300);

    const auto size = *r.handle(request(Header(DATASIZE_REQ, 0))).answer;
    EXPECT_EQ(command(size), DATASIZE_ANS);
    EXPECT_EQ(readU16(size, 8), 9000);
    EXPECT_EQ(readU16(size, 10), 60000);
    const auto prof = *r.handle(request(Header::wide(PROFILE_REQ, 0, uint64_t{0}))).answer;
    EXPECT_EQ(readU16(prof, 8), 50);
    EXPECT_EQ(readU16(prof, 10), 200);
    EXPECT_EQ(readU16(prof, 12), 0x1A);
}

// A valid format connects (the engine runs check polarity, data port and format through the
// sink); an invalid one, or DSD without a DSD set, is refused.
TEST(ControlResponder, ConnectRefusesFormatsItCannotTake) {
    SinkConfig c;
    c.dsdLsbCaps = c.dsdMsbCaps = 0;
    ControlResponder r(c, 4321);
    const uint64_t threeChannels = 0x0000000A00000803ull;   // not one-hot: invalid
    ControlResult bad = r.handle(request(Header::wide(CONNECT_REQ, 0, threeChannels)));
    ASSERT_TRUE(bad.answer);
    EXPECT_FALSE(bad.connected);
    EXPECT_EQ(flags(*bad.answer) & kHasData, 0);
    const uint64_t dsd64 = 0x0000020202A10002ull;             // no DSD set configured
    EXPECT_FALSE(r.handle(request(Header::wide(CONNECT_REQ, 0, dsd64))).connected);
    EXPECT_TRUE(r.handle(request(Header::wide(CONNECT_REQ, 0, uint64_t{0x0000000A00000802}))).connected);
}

// The next datagram within 2 s, or nothing.
std::vector<uint8_t> receive(TERNO::Socket& s) {
    std::vector<uint8_t> bytes;
    if (s.waitReadable(2000000) != TERNO::WaitResult::Ready) return {};
    TERNO::Address from{};
    s.receiveFrom(bytes, from);
    return bytes;
}

// LOG_REQ on the control port, and on the remote log's own port over loopback: it is
// acknowledged (LOG_TEXT not marked 2), then lines follow as LOG_TEXT messages marked 2, and
// nothing is sent before a driver asks. Commands the sink does not know go unanswered (name,
// close and forged answers are the engine runs' business).
TEST(LogRequest, AcknowledgedThenLinesFollowAndUnknownCommandsGoUnanswered) {
    SinkConfig c;
    ControlResponder r(c, 1);
    ControlResult control = r.handle(request(Header(LOG_REQ, 0, 1)));
    EXPECT_EQ(control.logRequest, std::optional<bool>(true));
    EXPECT_EQ(readU16(*control.answer, 8), 0);
    EXPECT_FALSE(r.handle(request(Header(77, 0))).answer);

    RemoteLog log;
    ASSERT_TRUE(log.start(addressOf("::1"), 0));
    ASSERT_NE(log.port(), 0);
    TERNO::Socket driver;
    TERNO::Address any = addressOf("::1");
    ASSERT_TRUE(driver.open(TERNO::Socket::Udp6) && driver.bind(any));
    log.line("before anyone asked");
    const Header ask(LOG_REQ, 0, 1);
    ASSERT_TRUE(driver.sendTo(ask.bytes, kHeaderBytes, addressOf("::1", 0, log.port()), true));
    const std::vector<uint8_t> ack = receive(driver);
    ASSERT_TRUE(isFrame(ack));
    EXPECT_EQ(command(ack), LOG_TEXT);
    EXPECT_NE(readU16(ack, 8), 2);
    log.line("connect PCM");
    const std::vector<uint8_t> text = receive(driver);
    ASSERT_TRUE(isFrame(text));
    EXPECT_EQ(command(text), LOG_TEXT);
    EXPECT_EQ(readU16(text, 8), 2);
    EXPECT_EQ(std::string(payload(text).begin(), payload(text).end()), "connect PCM");
    log.stop();
}

// A pad count larger than the room after the header must not wrap the payload length: a
// 16-byte NAME_REQ claiming 1..7 pad bytes once read 65,529 bytes and more past the datagram.
TEST(ControlResponder, PadCountBeyondTheFrameMeansNoPayload) {
    SinkConfig c;
    ControlResponder r(c, 1);
    struct Case { uint16_t lengthWord; size_t datagram, payload; };
    for (const Case k : {Case{16, 16, 0}, Case{17, 16, 0}, Case{23, 16, 0}, Case{31, 24, 1}, Case{24, 24, 8}}) {
        std::vector<uint8_t> frame = request(Header(NAME_REQ, 1));
        frame.resize(k.datagram, 'x');
        writeU16(frame.data() + 2, k.lengthWord);
        ASSERT_TRUE(isFrame(frame));
        EXPECT_EQ(payloadLength(frame), k.payload) << "length word " << k.lengthWord;
        r.handle(frame);
        EXPECT_EQ(r.clientName(), std::string(k.payload, 'x'));
    }
}

TEST(SinkOptions, ParsesMasksListsFaultsAndConfigFile) {
    SinkConfig c;
    ParseResult r = parseOptions({"velmora-sink", "--pcm-caps", "0xA00000802", "--drop-packets", "3,5,40", "--feedback",
                                  "ratio", "--ppm", "-12.5", "--invert", "--dsd-lsb-caps", "0", "--port", "0"},
                                 c);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(c.pcmCaps, 0xA00000802ull);
    EXPECT_EQ(c.faults.dropPackets, (std::vector<uint32_t>{3, 5, 40}));
    EXPECT_EQ(c.feedback, FeedbackKind::Ratio);
    EXPECT_DOUBLE_EQ(c.ppm, -12.5);
    EXPECT_TRUE(c.invertPolarity);
    EXPECT_EQ(c.dsdLsbCaps, 0u);
    EXPECT_EQ(c.dsdMsbCaps, defaultDsdCaps(true));

    const std::string path = ::testing::TempDir() + "sink-options.ini";
    {
        std::ofstream f(path);
        f << "mtu=9000\nprofile-flags=0x12\nclose-after=500\nforeign-answers=decoy\n";
    }
    SinkConfig d;
    r = parseOptions({"velmora-sink", "--config", path, "--mtu", "1400"}, d);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(d.mtu, 1400);                        // the command line wins
    EXPECT_EQ(d.profileFlags, 0x12);
    EXPECT_EQ(d.faults.closeAfter, 500u);
    EXPECT_EQ(d.faults.foreignAnswers, "decoy");
    EXPECT_EQ(d.pcmCaps, defaultPcmCaps());
    std::remove(path.c_str());

    SinkConfig e;
    EXPECT_FALSE(parseOptions({"velmora-sink", "--feedback", "loud"}, e).ok);
    EXPECT_FALSE(parseOptions({"velmora-sink", "--drop-rate", "1.5"}, e).ok);
    EXPECT_FALSE(parseOptions({"velmora-sink", "--time-limit", "0"}, e).ok);
    const ParseResult help = parseOptions({"velmora-sink", "--help"}, e);
    EXPECT_FALSE(help.ok);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.message.find("--raw-out"), std::string::npos);
}

}  // namespace
}  // namespace sink
