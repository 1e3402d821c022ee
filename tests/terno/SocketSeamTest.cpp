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

TEST_F(SocketSeam, TransientSendErrorsFallBackToBlockingAndBack) {
    Socket s;
    ASSERT_TRUE(s.open(Socket::Udp6));
    const Address to = addressOf("::1", 0);
    net.sends = {{-1, 10035}, {-1, 10055}};  // a blocking socket just sends again
    ASSERT_TRUE(s.sendTo("abc", 3, to, true));
    EXPECT_EQ(net.destinations.size(), 3u);
    EXPECT_TRUE(net.nonBlockingCalls.empty());

    ASSERT_TRUE(s.setBlocking(false));
    net.nonBlockingCalls.clear();
    net.destinations.clear();
    net.sends = {{-1, 10035}, {-1, 10055}};
    ASSERT_TRUE(s.sendTo("abc", 3, to, true));
    EXPECT_EQ(net.destinations.size(), 3u);
    EXPECT_EQ(net.nonBlockingCalls, (std::vector<bool>{false, true}));  // blocking once, then back
    EXPECT_FALSE(s.blocking);

    net.sends = {{-1, 10035}};
    EXPECT_FALSE(s.sendTo("abc", 3, to, false));
    EXPECT_EQ(s.lastError, 10035);
    net.destinations.clear();
    net.sends = {{-1, 10035}, {-1, 10040}, {-1, 10035}};
    net.nonBlockingCalls.clear();
    EXPECT_FALSE(s.sendTo("abc", 3, to, true));  // a hard error ends the retries
    EXPECT_EQ(s.lastError, 10040);
    EXPECT_EQ(net.destinations.size(), 2u);
    EXPECT_EQ(net.nonBlockingCalls, (std::vector<bool>{false, true}));  // and the mode comes back
    EXPECT_FALSE(s.blocking);

    net.sends = {{1, 0}};  // short sends: a failure without retry, resent whole with it
    EXPECT_FALSE(s.sendTo("abc", 3, to, false));
    net.destinations.clear();
    net.sends = {{1, 0}, {2, 0}};
    EXPECT_TRUE(s.sendTo("abc", 3, to, true));
    EXPECT_EQ(net.destinations.size(), 3u);

    s.lastError = 0;  // sendDatagram reports, but changes nothing
    net.sends = {{-1, 10035}};
    EXPECT_EQ(s.sendDatagram("abc", 3, to), 10035);
    EXPECT_EQ(s.lastError, 0);

    ASSERT_TRUE(s.setBlocking(false));
    net.failNonBlocking = true;  // neither switch works: the flag stays as it was
    net.sends = {{-1, 10035}};
    ASSERT_TRUE(s.sendTo("abc", 3, to, true));
    EXPECT_FALSE(s.blocking);
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
