// Windows Sockets 2.

#include "platform/Net.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

namespace platform {

namespace {

// Option numbers of the IP level that not every SDK header names.
constexpr int ipDontFragment = 14;
constexpr int ipMtuDiscover = 71;
constexpr int ipv6V6Only = 27;
constexpr int ipv6MulticastIf = 9;
constexpr int ipv6UnicastIf = 31;

SOCKET native(SocketHandle socket) { return static_cast<SOCKET>(socket); }

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

}  // namespace

int32_t netStartup() {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 0), &data);
}

void netCleanup() { WSACleanup(); }

int32_t lastNetError() { return WSAGetLastError(); }

SocketHandle openSocket(NetFamily family, NetType type) {
    const SOCKET s = ::socket(family == NetFamily::IPv6 ? AF_INET6 : AF_INET,
                              type == NetType::Stream ? SOCK_STREAM : SOCK_DGRAM, 0);
    return s == INVALID_SOCKET ? invalidSocket : static_cast<SocketHandle>(s);
}

bool closeSocket(SocketHandle socket) { return closesocket(native(socket)) == 0; }

bool shutdownSocket(SocketHandle socket) { return ::shutdown(native(socket), SD_BOTH) == 0; }

bool setNetOption(SocketHandle socket, NetOption option, int32_t value) {
    int level = 0;
    int name = 0;
    switch (option) {
    case NetOption::Broadcast: level = SOL_SOCKET; name = SO_BROADCAST; break;
    case NetOption::TcpNoDelay: level = IPPROTO_TCP; name = TCP_NODELAY; break;
    case NetOption::ReuseAddress: level = SOL_SOCKET; name = SO_REUSEADDR; break;
    case NetOption::DontFragment: level = IPPROTO_IP; name = ipDontFragment; break;
    case NetOption::MtuDiscover: level = IPPROTO_IP; name = ipMtuDiscover; break;
    case NetOption::V6Only: level = IPPROTO_IPV6; name = ipv6V6Only; break;
    case NetOption::MulticastInterface: level = IPPROTO_IPV6; name = ipv6MulticastIf; break;
    case NetOption::UnicastInterface: level = IPPROTO_IPV6; name = ipv6UnicastIf; break;
    case NetOption::ReceiveBuffer: level = SOL_SOCKET; name = SO_RCVBUF; break;
    }
    const DWORD native4 = static_cast<DWORD>(value);
    return setsockopt(native(socket), level, name, reinterpret_cast<const char*>(&native4), sizeof native4) == 0;
}

bool setNonBlocking(SocketHandle socket, bool nonBlocking) {
    u_long argument = nonBlocking ? 1 : 0;
    return ioctlsocket(native(socket), FIONBIO, &argument) == 0;
}

bool bindSocket(SocketHandle socket, const SocketAddress6& address) {
    const sockaddr_in6 in = toNative(address);
    return ::bind(native(socket), reinterpret_cast<const sockaddr*>(&in), sizeof in) == 0;
}

bool socketName(SocketHandle socket, SocketAddress6& address) {
    sockaddr_in6 in{};
    int size = sizeof in;
    if (getsockname(native(socket), reinterpret_cast<sockaddr*>(&in), &size) != 0) return false;
    if (in.sin6_family != AF_INET6) {
        WSASetLastError(WSAEAFNOSUPPORT);
        return false;
    }
    fromNative(in, address);
    return true;
}

int64_t sendTo(SocketHandle socket, const void* buffer, uint32_t length, const SocketAddress6& to) {
    const sockaddr_in6 in = toNative(to);
    const int sent = ::sendto(native(socket), static_cast<const char*>(buffer), static_cast<int>(length), 0,
                              reinterpret_cast<const sockaddr*>(&in), sizeof in);
    return sent == SOCKET_ERROR ? -1 : sent;
}

int64_t receiveFrom(SocketHandle socket, void* buffer, uint32_t capacity, SocketAddress6& from) {
    sockaddr_in6 in{};
    in.sin6_family = AF_INET6;
    int size = sizeof in;
    const int received = ::recvfrom(native(socket), static_cast<char*>(buffer), static_cast<int>(capacity), 0,
                                    reinterpret_cast<sockaddr*>(&in), &size);
    if (received == SOCKET_ERROR) return -1;
    fromNative(in, from);
    return received;
}

int waitReadable(SocketHandle socket, uint32_t seconds, uint32_t microseconds) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(native(socket), &readable);
    timeval timeout{static_cast<long>(seconds), static_cast<long>(microseconds)};
    const int result = select(0, &readable, nullptr, nullptr, &timeout);
    if (result < 0) return -1;
    return FD_ISSET(native(socket), &readable) ? 1 : 0;
}

}  // namespace platform
