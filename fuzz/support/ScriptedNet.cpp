#include "ScriptedNet.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

namespace scripted {
namespace {

struct Datagram {
    std::vector<uint8_t> bytes;
    Address from;
};

struct State {
    std::mutex lock;
    std::deque<Datagram> queue;
    Peer peer;
    uint32_t idleWaitUs = 0;
    platform::SocketHandle nextHandle = 3;
};

State& state() {
    static State s;
    return s;
}

thread_local int32_t lastError = 0;

}  // namespace

void setPeer(Peer peer) {
    std::lock_guard<std::mutex> hold(state().lock);
    state().peer = std::move(peer);
}

void reset() {
    std::lock_guard<std::mutex> hold(state().lock);
    state().queue.clear();
    state().peer = nullptr;
}

void deliver(std::vector<uint8_t> bytes, const Address& from) {
    std::lock_guard<std::mutex> hold(state().lock);
    state().queue.push_back({std::move(bytes), from});
}

void setIdleWait(uint32_t microseconds) { state().idleWaitUs = microseconds; }

Address linkLocal(uint8_t last, uint16_t port, uint32_t scope) {
    Address a{};
    a.bytes[0] = 0xfe;
    a.bytes[1] = 0x80;
    a.bytes[15] = last;
    a.port = static_cast<uint16_t>((port >> 8) | (port << 8));
    a.scopeId = scope;
    return a;
}

uint16_t portOf(const Address& address) { return static_cast<uint16_t>((address.port >> 8) | (address.port << 8)); }

}  // namespace scripted

namespace platform {

using scripted::state;

int32_t netStartup() { return 0; }
void netCleanup() {}
int32_t lastNetError() { return scripted::lastError; }

SocketHandle openSocket(NetFamily, NetType) {
    std::lock_guard<std::mutex> hold(state().lock);
    return state().nextHandle++;
}
bool closeSocket(SocketHandle) { return true; }
bool shutdownSocket(SocketHandle) { return true; }
bool setNetOption(SocketHandle, NetOption, int32_t) { return true; }
bool setNonBlocking(SocketHandle, bool) { return true; }
bool bindSocket(SocketHandle, const SocketAddress6&) { return true; }

bool socketName(SocketHandle socket, SocketAddress6& address) {
    address = scripted::linkLocal(1, static_cast<uint16_t>(40000 + socket % 1000), 1);
    return true;
}

int64_t sendTo(SocketHandle, const void* buffer, uint32_t length, const SocketAddress6& to) {
    scripted::Peer peer;
    {
        std::lock_guard<std::mutex> hold(state().lock);
        peer = state().peer;
    }
    if (peer) peer(std::span<const uint8_t>(static_cast<const uint8_t*>(buffer), length), to);
    return length;
}

int64_t receiveFrom(SocketHandle, void* buffer, uint32_t capacity, SocketAddress6& from) {
    std::lock_guard<std::mutex> hold(state().lock);
    if (state().queue.empty()) {
        scripted::lastError = netWouldBlock;
        return -1;
    }
    scripted::Datagram d = std::move(state().queue.front());
    state().queue.pop_front();
    if (d.bytes.size() > capacity) {
        scripted::lastError = netMessageTooLong;
        return -1;
    }
    std::copy(d.bytes.begin(), d.bytes.end(), static_cast<uint8_t*>(buffer));
    from = d.from;
    return static_cast<int64_t>(d.bytes.size());
}

int waitReadable(SocketHandle, uint32_t seconds, uint32_t microseconds) {
    auto ready = [] {
        std::lock_guard<std::mutex> hold(state().lock);
        return !state().queue.empty();
    };
    if (ready()) return 1;
    const uint64_t timeoutUs = uint64_t{seconds} * 1000000 + microseconds;
    const uint64_t idle = std::min<uint64_t>(timeoutUs, state().idleWaitUs);
    if (idle == 0) return 0;
    std::this_thread::sleep_for(std::chrono::microseconds(idle));
    return ready() ? 1 : 0;
}

}  // namespace platform
