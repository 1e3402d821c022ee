#pragma once
// Datagram and stream sockets, in the shape of Windows Sockets. Every failure leaves its
// error number for lastNetError() using the Windows numbering on every backend (10035 would
// block, 10055 no buffer space, ...), so the code above compares the same numbers everywhere.

#include <cstddef>
#include <cstdint>

namespace platform {

using SocketHandle = uint64_t;
constexpr SocketHandle invalidSocket = ~uint64_t{0};

// Error numbers the callers test for.
constexpr int32_t netWouldBlock = 10035;
constexpr int32_t netNoBuffers = 10055;
constexpr int32_t netMessageTooLong = 10040;

// An IPv6 socket address. port is kept in network byte order, as it travels.
struct SocketAddress6 {
    uint8_t bytes[16];
    uint16_t port;
    uint32_t flowInfo;
    uint32_t scopeId;
};

enum class NetFamily { IPv4, IPv6 };
enum class NetType { Stream, Datagram };

// Options set with a 4-byte integer value.
enum class NetOption {
    Broadcast,           // SOL_SOCKET / SO_BROADCAST
    TcpNoDelay,          // IPPROTO_TCP / TCP_NODELAY
    ReuseAddress,        // SOL_SOCKET / SO_REUSEADDR
    DontFragment,        // IPPROTO_IP / IP_DONTFRAGMENT
    MtuDiscover,         // IPPROTO_IP / IP_MTU_DISCOVER, 1: path MTU discovery on
    V6Only,              // IPPROTO_IPV6 / IPV6_V6ONLY
    MulticastInterface,  // IPPROTO_IPV6 / IPV6_MULTICAST_IF, an interface index
    UnicastInterface,    // IPPROTO_IPV6 / IPV6_UNICAST_IF, an interface index
    ReceiveBuffer,       // SOL_SOCKET / SO_RCVBUF, bytes (the system may cap or round it)
};

// Process-wide start-up (0 or an error number) and the clean-up to run at exit.
int32_t netStartup();
void netCleanup();

// The calling thread's error number of the last failed call below.
int32_t lastNetError();

SocketHandle openSocket(NetFamily family, NetType type);  // protocol 0
bool closeSocket(SocketHandle socket);
bool shutdownSocket(SocketHandle socket);                 // both directions
bool setNetOption(SocketHandle socket, NetOption option, int32_t value);
bool setNonBlocking(SocketHandle socket, bool nonBlocking);

bool bindSocket(SocketHandle socket, const SocketAddress6& address);
bool socketName(SocketHandle socket, SocketAddress6& address);

// Bytes sent, or -1.
int64_t sendTo(SocketHandle socket, const void* buffer, uint32_t length, const SocketAddress6& to);
// Bytes received, or -1. A datagram larger than capacity fails with netMessageTooLong.
int64_t receiveFrom(SocketHandle socket, void* buffer, uint32_t capacity, SocketAddress6& from);

// Waits until the socket is readable: -1 on failure, 0 on timeout, 1 when readable.
int waitReadable(SocketHandle socket, uint32_t seconds, uint32_t microseconds);

}  // namespace platform
