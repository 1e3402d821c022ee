// The socket wrapper against the scripted seam of FakeNet.h: failures that a loopback socket
// never produces.

#include "FakeNet.h"
#include "terno/AddressOf.h"
#include "terno/Socket.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using platform::NetOption;
using TERNO::Address;
using TERNO::Socket;

namespace {

class SocketSeam : public testing::Test {
protected:
    void SetUp() override { net.reset(); }
    bool optionSet(NetOption option, int32_t value) const {
        for (const auto& entry : net.options)
            if (entry == std::make_pair(option, value)) return true;
        return false;
    }
    FakeNet& net = FakeNet::get();
};

}  // namespace

// Must stay the first test of the program: nothing may have started the network before.
TEST_F(SocketSeam, FailedStartUpThrowsReportsAndIsTriedAgain) {
    net.startupResult = 10091;
    testing::internal::CaptureStderr();
    std::optional<TERNO::Err> caught;
    try {
        Socket s;
    } catch (const TERNO::Err& err) {
        caught = err;
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\nTERNO ASSERT[TERNO\\src\\Network\\Socket]Line:68[code:0 Data:0]\n");
    ASSERT_TRUE(caught.has_value());
    EXPECT_EQ(caught->line, 68u);
    net.startupResult = 0;
    { Socket s; }
    { Socket s; }
    EXPECT_EQ(net.startups, 2);
}

TEST_F(SocketSeam, BindPinsTheInterfaceForEverySend) {
    Socket s;
    ASSERT_TRUE(s.open(Socket::Udp6));
    net.chosenPort = Address::toNetworkOrder(50001);
    Address local = addressOf("fe80::1234", 5);
    ASSERT_TRUE(s.bind(local));
    EXPECT_EQ(net.bound.scopeId, 5u);
    EXPECT_EQ(local.portNumber(), 50001);
    EXPECT_TRUE(optionSet(NetOption::MulticastInterface, 5));
    EXPECT_TRUE(optionSet(NetOption::UnicastInterface, 5));
    ASSERT_TRUE(s.sendTo("x", 1, addressOf("fe80::99", 9), false));
    ASSERT_EQ(s.sendDatagram("x", 1, addressOf("ff02::1", 2)), 0);
    for (const auto& d : net.destinations) EXPECT_EQ(d.scopeId, 5u);

    // Without a working multicast option the unicast one is not tried; the bind still holds.
    net.options.clear();
    net.failingOptions = {NetOption::MulticastInterface};
    Address loop = addressOf("::1", 3);
    loop.setPortNumber(7000);
    ASSERT_TRUE(s.bind(loop));
    EXPECT_EQ(net.bound.scopeId, 3u);
    EXPECT_EQ(loop.portNumber(), 7000);  // a given port is kept
    EXPECT_EQ(net.options.size(), 1u);

    Address any = addressOf("::", 7);  // no pin: the scope is not used, destinations keep theirs
    ASSERT_TRUE(s.bind(any));
    EXPECT_EQ(net.bound.scopeId, 0u);
    EXPECT_EQ(s.interfaceIndex, 0u);
    ASSERT_TRUE(s.sendTo("x", 1, addressOf("fe80::99", 9), false));
    EXPECT_EQ(net.destinations.back().scopeId, 9u);

    net.failBind = true;
    EXPECT_FALSE(s.bind(local));
    EXPECT_EQ(s.lastError, 10048);
}

// Transient errors (would block, no buffers) and short sends go out again whole when retried,
// a non-blocking socket switched to blocking for it and back; a hard error ends the retries
// and the mode still comes back.
TEST_F(SocketSeam, TransientSendErrorsFallBackToBlockingAndBack) {
    struct Case {
        const char* what;
        bool nonBlocking, retry, switchFails;
        std::deque<FakeNet::SendResult> sends;
        bool sent;
        int32_t error;               // lastError afterwards
        size_t attempts;
        std::vector<bool> switches;  // setNonBlocking calls made by the send
    };
    const Case cases[] = {
        {"blocking: sent again", false, true, false, {{-1, 10035}, {-1, 10055}}, true, 10055, 3, {}},
        {"non-blocking: blocking once", true, true, false, {{-1, 10035}, {-1, 10055}}, true, 10055, 3, {false, true}},
        {"no retry", true, false, false, {{-1, 10035}}, false, 10035, 1, {}},
        {"hard error", true, true, false, {{-1, 10035}, {-1, 10040}, {-1, 10035}}, false, 10040, 2, {false, true}},
        {"short send, no retry", true, false, false, {{1, 0}}, false, 0, 1, {}},
        {"short sends resent whole", true, true, false, {{1, 0}, {2, 0}}, true, 0, 3, {false, true}},
        {"neither switch works", true, true, true, {{-1, 10035}}, true, 10035, 2, {false, true}},
    };
    for (const Case& c : cases) {
        Socket s;
        ASSERT_TRUE(s.open(Socket::Udp6) && s.setBlocking(!c.nonBlocking));
        net.nonBlockingCalls.clear();
        net.destinations.clear();
        net.failNonBlocking = c.switchFails;
        net.sends = c.sends;
        EXPECT_EQ(s.sendTo("abc", 3, addressOf("::1"), c.retry), c.sent) << c.what;
        EXPECT_EQ(s.lastError, c.error) << c.what;
        EXPECT_EQ(net.destinations.size(), c.attempts) << c.what;
        EXPECT_EQ(net.nonBlockingCalls, c.switches) << c.what;
        EXPECT_EQ(s.blocking, !c.nonBlocking) << c.what;
        net.failNonBlocking = false;
    }
    Socket s;  // sendDatagram reports, but changes nothing
    ASSERT_TRUE(s.open(Socket::Udp6));
    net.sends = {{-1, 10035}};
    EXPECT_EQ(s.sendDatagram("abc", 3, addressOf("::1")), 10035);
    EXPECT_EQ(s.lastError, 0);
}

TEST_F(SocketSeam, OpenOfUdp4FailsWithoutBroadcastAndWaitsSplitTheTimeout) {
    Socket s;
    ASSERT_TRUE(s.open(Socket::Udp6));
    EXPECT_TRUE(optionSet(NetOption::V6Only, 1));
    net.failingOptions = {NetOption::Broadcast};
    EXPECT_FALSE(s.open(Socket::Udp4));
    EXPECT_FALSE(s.isOpen());
    EXPECT_EQ(net.closed.size(), 2u);  // the previous socket and the failed one

    ASSERT_TRUE(s.open(Socket::Udp6));
    net.waitResult = 0;
    EXPECT_EQ(s.waitReadable(2500000), TERNO::WaitResult::Timeout);
    net.waitResult = 1;
    EXPECT_EQ(s.poll(), TERNO::WaitResult::Ready);
    net.waitResult = -1;
    EXPECT_EQ(s.waitReadable(TERNO::fromSeconds(4000)), TERNO::WaitResult::Error);
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {{2, 500000}, {0, 0}, {4000000000u / 1000000, 0}};
    EXPECT_EQ(net.waits, expected);
}
