// The sink's remote log over loopback: LOG_REQ is acknowledged, then lines follow as
// LOG_TEXT messages marked 2; nothing is sent before a driver asks.
#include "RemoteLog.h"
#include "SinkWire.h"
#include "terno/AddressOf.h"

#include <gtest/gtest.h>

#include <string>

namespace sink {
namespace {

// The next datagram within 2 s, or nothing.
std::vector<uint8_t> receive(TERNO::Socket& s) {
    std::vector<uint8_t> bytes;
    if (s.waitReadable(2000000) != TERNO::WaitResult::Ready) return {};
    TERNO::Address from{};
    s.receiveFrom(bytes, from);
    return bytes;
}

TEST(RemoteLog, AcknowledgesTheRequestThenSendsLines) {
    RemoteLog log;
    ASSERT_TRUE(log.start(addressOf("::1"), 0));
    ASSERT_NE(log.port(), 0);
    TERNO::Socket driver;
    ASSERT_TRUE(driver.open(TERNO::Socket::Udp6));
    TERNO::Address any = addressOf("::1");
    ASSERT_TRUE(driver.bind(any));

    log.line("before anyone asked");
    const Header request(LOG_REQ, 0, 1);
    ASSERT_TRUE(driver.sendTo(request.bytes, kHeaderBytes, addressOf("::1", 0, log.port()), true));
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

}  // namespace
}  // namespace sink
