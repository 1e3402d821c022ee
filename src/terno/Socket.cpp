// The socket wrapper, the process's network start-up and the library's error report.

#include "terno/Socket.h"

#include "platform/Net.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace TERNO {

namespace {

constexpr const char* sourcePath = "TERNO\\src\\Network\\Socket";

std::atomic<bool> networkStarted{false};
std::mutex networkStartMutex;

bool isIPv6Kind(uint32_t kind) {
    return kind == Socket::Tcp6 || kind == Socket::Udp6 || kind == Socket::Tcp6Dual || kind == Socket::Udp6Dual;
}

bool isLoopback(const Address& address) {
    for (int i = 0; i < 15; ++i)
        if (address.bytes[i] != 0) return false;
    return address.bytes[15] == 1;
}

platform::SocketAddress6 socketAddress(const Address& address, uint32_t scopeId) {
    platform::SocketAddress6 out{};
    std::memcpy(out.bytes, address.bytes.data(), sizeof out.bytes);
    out.port = address.port;
    out.flowInfo = 0;
    out.scopeId = scopeId;
    return out;
}

}  // namespace

Err::Err(const char* file_, uint32_t line_, uint32_t code_, int32_t data_)
    : file(file_), line(line_), code(code_), data(data_) {
    std::fprintf(stderr, "\nTERNO ASSERT[%s]Line:%u[code:%u Data:%d]\n", file, static_cast<unsigned>(line),
                 static_cast<unsigned>(code), static_cast<int>(data));
    std::fflush(stderr);
}

// Runs once per process; a throw leaves it to be tried again by the next socket.
void startNetwork() {
    if (networkStarted.load(std::memory_order_acquire)) return;
    const std::lock_guard<std::mutex> lock(networkStartMutex);
    if (networkStarted.load(std::memory_order_relaxed)) return;
    const int32_t started = platform::netStartup();
    const bool registered = std::atexit(platform::netCleanup) == 0;
    if (!registered) throw Err(sourcePath, 65, 0, 0);
    if (started != 0) throw Err(sourcePath, 68, 0, 0);
    networkStarted.store(true, std::memory_order_release);
}

Socket::Socket() { startNetwork(); }

Socket::~Socket() { close(); }

bool Socket::isStream() const { return kind == Tcp4 || kind == Tcp6 || kind == Tcp6Dual; }

bool Socket::isOpen() const { return handle != invalidHandle; }

bool Socket::open(Kind newKind) {
    close();
    kind = newKind;
    const platform::NetFamily family =
        isIPv6Kind(newKind) ? platform::NetFamily::IPv6 : platform::NetFamily::IPv4;
    const platform::NetType type = isStream() ? platform::NetType::Stream : platform::NetType::Datagram;
    const platform::SocketHandle created = platform::openSocket(family, type);
    if (created == platform::invalidSocket) return false;
    handle = created;
    if (newKind == Udp4) {
        if (!platform::setNetOption(handle, platform::NetOption::Broadcast, 1)) {
            close();
            return false;
        }
        platform::setNonBlocking(handle, false);
    }
    platform::setNetOption(handle, platform::NetOption::TcpNoDelay, 1);
    platform::setNetOption(handle, platform::NetOption::ReuseAddress, 1);
    platform::setNetOption(handle, platform::NetOption::DontFragment, 1);
    platform::setNetOption(handle, platform::NetOption::MtuDiscover, 1);
    if (isIPv6Kind(newKind))
        platform::setNetOption(handle, platform::NetOption::V6Only, newKind == Tcp6 || newKind == Udp6 ? 1 : 0);
    blocking = true;
    return true;
}

void Socket::close() {
    pacedWait_.release();
    if (!isOpen()) return;
    if (isStream()) platform::shutdownSocket(handle);
    platform::closeSocket(handle);
    handle = invalidHandle;
}

bool Socket::shutdown() { return platform::shutdownSocket(handle); }

bool Socket::bind(Address& local) {
    if (!isIPv6Kind(kind)) return false;
    interfaceIndex = 0;
    uint32_t scopeId = 0;
    if (local.isLinkLocal() || (isLoopback(local) && local.scope != 0)) {
        scopeId = local.scope;
        interfaceIndex = local.scope;
    }
    if (!platform::bindSocket(handle, socketAddress(local, scopeId))) {
        lastError = platform::lastNetError();
        return false;
    }
    if (local.port == 0) {
        platform::SocketAddress6 bound{};
        if (!platform::socketName(handle, bound)) {
            lastError = platform::lastNetError();
            return false;
        }
        local.port = bound.port;
    }
    if (interfaceIndex != 0 &&
        platform::setNetOption(handle, platform::NetOption::MulticastInterface, static_cast<int32_t>(interfaceIndex)))
        platform::setNetOption(handle, platform::NetOption::UnicastInterface, static_cast<int32_t>(interfaceIndex));
    return true;
}

bool Socket::setBlocking(bool on) {
    if (!platform::setNonBlocking(handle, !on)) return false;
    blocking = on;
    return true;
}

bool Socket::sendTo(const void* buffer, uint32_t length, const Address& to, bool retry) {
    const platform::SocketAddress6 destination = socketAddress(to, interfaceIndex != 0 ? interfaceIndex : to.scope);
    bool switchedToBlocking = false;
    // Every way out puts a socket switched to blocking mode back into non-blocking mode.
    const auto finish = [&](bool result) {
        if (switchedToBlocking && platform::setNonBlocking(handle, true)) blocking = false;
        return result;
    };
    for (;;) {
        const int64_t sent = platform::sendTo(handle, buffer, length, destination);
        if (sent < 0) {
            lastError = platform::lastNetError();
            const bool transient = lastError == platform::netWouldBlock || lastError == platform::netNoBuffers;
            if (!retry || !transient) return finish(false);
        } else if (static_cast<uint64_t>(sent) == length) {
            return finish(true);
        } else if (!retry) {
            return false;
        }
        // A transient failure or a short send: send the whole datagram again, blocking.
        if (!blocking) {
            switchedToBlocking = true;
            if (platform::setNonBlocking(handle, false)) blocking = true;
        }
    }
}

int32_t Socket::sendDatagram(const void* buffer, uint32_t length, const Address& to) const {
    const platform::SocketAddress6 destination = socketAddress(to, interfaceIndex != 0 ? interfaceIndex : to.scope);
    const int64_t sent = platform::sendTo(handle, buffer, length, destination);
    if (sent < 0) return platform::lastNetError();
    return static_cast<uint64_t>(sent) == length ? 0 : platform::netMessageTooLong;
}

bool Socket::receiveFrom(void* buffer, uint32_t capacity, uint32_t& length, Address& from) {
    platform::SocketAddress6 source{};
    const int64_t received = platform::receiveFrom(handle, buffer, capacity, source);
    if (received < 0) {
        length = 0;
        return true;
    }
    length = static_cast<uint32_t>(received);
    std::memcpy(from.bytes.data(), source.bytes, sizeof source.bytes);
    from.port = source.port;
    from.scope = static_cast<uint16_t>(source.scopeId);
    return true;
}

bool Socket::receiveFrom(std::vector<uint8_t>& bytes, Address& from) {
    bytes.resize(receiveSize);
    uint32_t length = 0;
    receiveFrom(bytes.data(), static_cast<uint32_t>(bytes.size()), length, from);
    bytes.resize(length);
    return true;
}

WaitResult Socket::poll() { return waitReadable(0); }

WaitResult Socket::waitReadable(uint32_t timeoutUs) {
    const int ready = pacedWait_.prepared()
                          ? pacedWait_.wait(timeoutUs, blocking)
                          : platform::waitReadable(handle, timeoutUs / 1000000u, timeoutUs % 1000000u);
    if (ready < 0) return WaitResult::Error;
    return ready > 0 ? WaitResult::Ready : WaitResult::Timeout;
}

void Socket::preparePacedWaits() { pacedWait_.prepare(handle); }
void Socket::releasePacedWaits() { pacedWait_.release(); }
const char* Socket::waitMethod() const { return pacedWait_.method(); }
bool Socket::waitSeesPending(uint32_t timeoutUs) const {
    return !pacedWait_.prepared() || pacedWait_.seesSocketAtStart(timeoutUs);
}

}  // namespace TERNO
