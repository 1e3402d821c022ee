// BSD sockets behind the Windows Sockets shaped seam.

#include "platform/Net.h"

#include "platform/posix/NetErrors.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace platform {

namespace {

thread_local int32_t lastError = 0;

bool fail() {
    lastError = windowsSocketError(errno);
    return false;
}

int descriptor(SocketHandle socket) {
    return socket > static_cast<SocketHandle>(INT32_MAX) ? -1 : static_cast<int>(socket);
}

sockaddr_in6 toNative(const SocketAddress6& address) {
    sockaddr_in6 out{};
    out.sin6_family = AF_INET6;
    out.sin6_port = address.port;
    out.sin6_flowinfo = address.flowInfo;
    std::memcpy(&out.sin6_addr, address.bytes, sizeof address.bytes);
    out.sin6_scope_id = address.scopeId;
    return out;
}

void fromNative(const sockaddr_in6& in, SocketAddress6& out) {
    std::memcpy(out.bytes, &in.sin6_addr, sizeof out.bytes);
    out.port = in.sin6_port;
    out.flowInfo = in.sin6_flowinfo;
    out.scopeId = in.sin6_scope_id;
}

int64_t nowNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

// The interface counterpart of IPV6_UNICAST_IF: tie the socket to the device of that index.
bool bindToDevice(int fd, int32_t index) {
    char name[IF_NAMESIZE] = {};
    if (index <= 0 || if_indextoname(static_cast<unsigned>(index), name) == nullptr) {
        errno = ENXIO;
        return false;
    }
    return setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, name, static_cast<socklen_t>(std::strlen(name) + 1)) == 0;
}

}  // namespace

// Nothing to start: the socket calls are always available.
int32_t netStartup() { return 0; }
void netCleanup() {}

int32_t lastNetError() { return lastError; }

SocketHandle openSocket(NetFamily family, NetType type) {
    const int fd = ::socket(family == NetFamily::IPv6 ? AF_INET6 : AF_INET,
                            (type == NetType::Stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fail();
        return invalidSocket;
    }
    return static_cast<SocketHandle>(fd);
}

bool closeSocket(SocketHandle socket) { return ::close(descriptor(socket)) == 0 || fail(); }

bool shutdownSocket(SocketHandle socket) { return ::shutdown(descriptor(socket), SHUT_RDWR) == 0 || fail(); }

bool setNetOption(SocketHandle socket, NetOption option, int32_t value) {
    const int fd = descriptor(socket);
    int level = 0;
    int name = 0;
    int native = value;
    switch (option) {
    case NetOption::Broadcast: level = SOL_SOCKET; name = SO_BROADCAST; break;
    case NetOption::TcpNoDelay: level = IPPROTO_TCP; name = TCP_NODELAY; break;
    case NetOption::ReuseAddress: level = SOL_SOCKET; name = SO_REUSEADDR; break;
    // Both ask for datagrams that are never fragmented on the way: path MTU discovery with
    // the don't-fragment bit.
    case NetOption::DontFragment:
    case NetOption::MtuDiscover:
        level = IPPROTO_IP;
        name = IP_MTU_DISCOVER;
        native = value != 0 ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT;
        break;
    case NetOption::V6Only: level = IPPROTO_IPV6; name = IPV6_V6ONLY; break;
    case NetOption::MulticastInterface: level = IPPROTO_IPV6; name = IPV6_MULTICAST_IF; break;
    case NetOption::UnicastInterface: return bindToDevice(fd, value) || fail();
    case NetOption::ReceiveBuffer: level = SOL_SOCKET; name = SO_RCVBUF; break;
    }
    return setsockopt(fd, level, name, &native, sizeof native) == 0 || fail();
}

bool setNonBlocking(SocketHandle socket, bool nonBlocking) {
    const int fd = descriptor(socket);
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0) return fail();
    const int wanted = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return fcntl(fd, F_SETFL, wanted) == 0 || fail();
}

bool bindSocket(SocketHandle socket, const SocketAddress6& address) {
    const sockaddr_in6 native = toNative(address);
    return ::bind(descriptor(socket), reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0 || fail();
}

bool socketName(SocketHandle socket, SocketAddress6& address) {
    sockaddr_in6 native{};
    socklen_t size = sizeof native;
    if (getsockname(descriptor(socket), reinterpret_cast<sockaddr*>(&native), &size) != 0) return fail();
    if (native.sin6_family != AF_INET6) {
        lastError = windowsSocketError(EAFNOSUPPORT);
        return false;
    }
    fromNative(native, address);
    return true;
}

int64_t sendTo(SocketHandle socket, const void* buffer, uint32_t length, const SocketAddress6& to) {
    const sockaddr_in6 native = toNative(to);
    const ssize_t sent = ::sendto(descriptor(socket), buffer, length, MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&native), sizeof native);
    if (sent < 0) {
        fail();
        return -1;
    }
    return sent;
}

int64_t receiveFrom(SocketHandle socket, void* buffer, uint32_t capacity, SocketAddress6& from) {
    sockaddr_in6 native{};
    native.sin6_family = AF_INET6;
    iovec part{buffer, capacity};
    msghdr message{};
    message.msg_name = &native;
    message.msg_namelen = sizeof native;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    const ssize_t received = ::recvmsg(descriptor(socket), &message, 0);
    if (received < 0) {
        fail();
        return -1;
    }
    if (message.msg_flags & MSG_TRUNC) {  // the rest of the datagram is lost, as on Windows
        lastError = netMessageTooLong;
        return -1;
    }
    fromNative(native, from);
    return received;
}

int waitReadable(SocketHandle socket, uint32_t seconds, uint32_t microseconds) {
    pollfd entry{descriptor(socket), POLLIN, 0};
    if (entry.fd < 0) {
        errno = EBADF;
        fail();
        return -1;
    }
    const int64_t deadline = nowNanoseconds() + int64_t{seconds} * 1000000000 + int64_t{microseconds} * 1000;
    for (;;) {
        const int64_t left = deadline - nowNanoseconds();
        timespec timeout{};
        if (left > 0) {
            timeout.tv_sec = static_cast<time_t>(left / 1000000000);
            timeout.tv_nsec = static_cast<long>(left % 1000000000);
        }
        const int result = ppoll(&entry, 1, &timeout, nullptr);
        if (result < 0 && errno == EINTR) continue;  // a signal is no reason to end the wait
        if (result < 0) {
            fail();
            return -1;
        }
        if (result == 0) return 0;
        if (entry.revents & POLLNVAL) {
            errno = ENOTSOCK;
            fail();
            return -1;
        }
        return 1;  // data, or an error that the next receive reports
    }
}

}  // namespace platform
