#include "FakeNet.h"

FakeNet& FakeNet::get() {
    static FakeNet net;
    return net;
}

namespace platform {

namespace {
FakeNet& net() { return FakeNet::get(); }
}  // namespace

int32_t netStartup() {
    ++net().startups;
    return net().startupResult;
}
void netCleanup() {}
int32_t lastNetError() { return net().error; }

SocketHandle openSocket(NetFamily, NetType) { return net().failOpen ? invalidSocket : net().nextHandle++; }

bool closeSocket(SocketHandle socket) {
    net().closed.push_back(socket);
    return true;
}

bool shutdownSocket(SocketHandle) { return true; }

bool setNetOption(SocketHandle, NetOption option, int32_t value) {
    net().options.emplace_back(option, value);
    return net().failingOptions.count(option) == 0;
}

bool setNonBlocking(SocketHandle, bool nonBlocking) {
    net().nonBlockingCalls.push_back(nonBlocking);
    return !net().failNonBlocking;
}

bool bindSocket(SocketHandle, const SocketAddress6& address) {
    net().bound = address;
    if (net().failBind) net().error = 10048;
    return !net().failBind;
}

bool socketName(SocketHandle, SocketAddress6& address) {
    address = net().bound;
    address.port = net().chosenPort;
    return true;
}

int64_t sendTo(SocketHandle, const void*, uint32_t length, const SocketAddress6& to) {
    net().destinations.push_back(to);
    if (net().sends.empty()) return length;
    const FakeNet::SendResult result = net().sends.front();
    net().sends.pop_front();
    if (result.sent < 0) net().error = result.error;
    return result.sent;
}

int64_t receiveFrom(SocketHandle, void*, uint32_t, SocketAddress6&) {
    net().error = 10035;
    return -1;
}

int waitReadable(SocketHandle, uint32_t seconds, uint32_t microseconds) {
    net().waits.emplace_back(seconds, microseconds);
    return net().waitResult;
}

}  // namespace platform
