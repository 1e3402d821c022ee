// Socket behaviour on the IPv6 loopback address only.

#include "terno/AddressOf.h"
#include "terno/Socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <tuple>
#include <vector>

using TERNO::Address;
using TERNO::Socket;
using TERNO::WaitResult;

namespace {

// An open Udp6 socket bound to [::1] on a port of the system's choice.
struct Bound {
    Bound() {
        EXPECT_TRUE(socket.open(Socket::Udp6) && socket.bind(address));
        EXPECT_NE(address.port, 0);
    }
    // The next datagram, waiting at most two seconds for it.
    std::vector<uint8_t> receive(Address& from) {
        std::vector<uint8_t> bytes;
        EXPECT_EQ(socket.waitReadable(TERNO::fromSeconds(2)), WaitResult::Ready);
        EXPECT_TRUE(socket.receiveFrom(bytes, from));
        return bytes;
    }
    Socket socket;
    Address address = addressOf("::1");
};

}  // namespace

TEST(SocketLife, OpenCloseBindAndPinning) {
    Socket s;
    EXPECT_FALSE(s.isOpen());
    s.close();  // nothing to close
    ASSERT_TRUE(s.open(Socket::Udp6) && s.setBlocking(false));
    ASSERT_TRUE(s.open(Socket::Udp4));  // closes the first one
    EXPECT_TRUE(s.blocking);
    Address any{};
    EXPECT_FALSE(s.bind(any));  // binding is for the IPv6 kinds (every session binds [::] itself)

    ASSERT_TRUE(s.open(Socket::Udp6));
    Address scoped = addressOf("::1", 3);  // ::1 with a scope pins, whether or not the system accepts it
    s.bind(scoped);
    EXPECT_EQ(s.interfaceIndex, 3u);

    ASSERT_TRUE(s.open(Socket::Udp6));
    Address linkLocal = addressOf("fe80::1", 60000);  // no such interface: pinned all the same
    EXPECT_FALSE(s.bind(linkLocal));
    EXPECT_EQ(s.interfaceIndex, 60000u);
    EXPECT_NE(s.lastError, 0);

    ASSERT_TRUE(s.open(Socket::Udp6));
    Address foreign = addressOf("2001:db8::1");
    EXPECT_FALSE(s.bind(foreign));
    EXPECT_EQ(s.lastError, 10049);  // address not available, in the Windows numbering
    EXPECT_TRUE(s.isOpen());
    s.close();
    EXPECT_FALSE(s.isOpen());
    EXPECT_EQ(s.poll(), WaitResult::Error);
}

TEST(SocketDatagrams, SendAndReceiveWithSourceAddressAndSize) {
    Bound a, b;
    const std::string text = "one datagram";
    Address from{};
    ASSERT_TRUE(a.socket.sendTo(text.data(), static_cast<uint32_t>(text.size()), b.address, false));
    EXPECT_EQ(b.receive(from), std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(std::tie(from.bytes, from.port), std::tie(a.address.bytes, a.address.port));

    ASSERT_EQ(b.socket.sendDatagram("reply", 5, a.address), 0);
    ASSERT_EQ(a.socket.waitReadable(TERNO::fromSeconds(2)), WaitResult::Ready);
    uint8_t buffer[64];
    uint32_t length = 99;
    ASSERT_TRUE(a.socket.receiveFrom(buffer, sizeof buffer, length, from));
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(from.port, b.address.port);

    b.socket.receiveSize = 4096;
    const std::vector<uint8_t> big(4096, 0x5a);
    ASSERT_TRUE(a.socket.sendTo(big.data(), 4096, b.address, true));
    EXPECT_EQ(b.receive(from), big);

    // A datagram larger than the buffer reads as no datagram, and so does an empty queue.
    b.socket.receiveSize = 100;
    ASSERT_TRUE(a.socket.sendTo(big.data(), 200, b.address, true));
    const Address untouched = addressOf("::1", 77);
    from = untouched;
    EXPECT_TRUE(b.receive(from).empty());
    ASSERT_TRUE(b.socket.setBlocking(false));
    std::vector<uint8_t> bytes(10, 1);
    ASSERT_TRUE(b.socket.receiveFrom(bytes, from));
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(from, untouched);
}

// Too large for any datagram: not transient, so even a retrying send on a non-blocking socket
// gives up at once. A closed socket sends nothing.
TEST(SocketDatagrams, HardErrorsOnANonBlockingSocketAndAClosedOne) {
    Bound sender, receiver;
    ASSERT_TRUE(sender.socket.setBlocking(false));
    const char payload[32] = "x";
    const std::vector<uint8_t> huge(70000, 0);
    EXPECT_FALSE(sender.socket.sendTo(huge.data(), static_cast<uint32_t>(huge.size()), receiver.address, true));
    EXPECT_EQ(sender.socket.lastError, 10040);
    EXPECT_EQ(sender.socket.sendDatagram(huge.data(), static_cast<uint32_t>(huge.size()), receiver.address), 10040);
    Socket closed;
    EXPECT_NE(closed.sendDatagram(payload, sizeof payload, receiver.address), 0);
}

TEST(SocketWaits, TimeoutAndReady) {
    Bound a, b;
    EXPECT_EQ(b.socket.poll(), WaitResult::Timeout);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(b.socket.waitReadable(250000), WaitResult::Timeout);  // microseconds alone are a wait too
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(240));
    ASSERT_TRUE(a.socket.sendTo("ping", 4, b.address, false));
    EXPECT_EQ(b.socket.waitReadable(TERNO::fromSeconds(5)), WaitResult::Ready);
    EXPECT_EQ(b.socket.poll(), WaitResult::Ready);
}
