#pragma once
// The socket wrapper used by every networked part of the system: owns one socket, sets the
// options every socket gets, binds with the interface-pinning rule, sends datagrams with a
// blocking fallback, receives datagrams with their source, and waits with microsecond
// timeouts. Constructing the first socket starts the process's networking (may throw Err).
//
// A socket is used by one thread at a time, except sendDatagram, which touches no field.

#include "platform/DeadlineWait.h"
#include "terno/Address.h"

#include <cstdint>
#include <vector>

namespace TERNO {

enum class WaitResult : int { Error = 0, Timeout = 1, Ready = 2 };

// Timeouts are unsigned 32-bit microsecond counts.
constexpr uint32_t fromMilliseconds(uint32_t ms) { return ms * 1000u; }
constexpr uint32_t fromSeconds(uint32_t s) { return s * 1000000u; }

// The library's exception; thrown only when the process's network start-up fails. Its
// report goes to standard error when it is made.
struct Err {
    const char* file;
    uint32_t line;
    uint32_t code;
    int32_t data;

    Err(const char* file, uint32_t line, uint32_t code, int32_t data);
};

// Starts the process's networking once (later calls do nothing once it worked). Throws Err.
void startNetwork();

class Socket {
public:
    enum Kind : uint32_t { Tcp4 = 0, Udp4 = 1, Tcp6 = 2, Udp6 = 3, Tcp6Dual = 4, Udp6Dual = 5 };

    static constexpr uint64_t invalidHandle = ~uint64_t{0};

    uint64_t handle = invalidHandle;
    uint32_t kind = Udp6;
    uint64_t receiveSize = 1500;  // room made by receiveFrom into a byte vector
    bool blocking = true;
    int32_t lastError = 0;        // error number of the last failed bind or send
    uint32_t interfaceIndex = 0;  // non-zero: pinned by bind; replaces destination scopes
    Address address{};            // spare slot for the owner; no operation touches it

    Socket();  // may throw Err
    ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool open(Kind kind);
    void close();
    bool isOpen() const;
    bool shutdown();

    // IPv6 kinds. Pins the socket to an interface when the address is fe80:... (its scope)
    // or ::1 with a non-zero scope. Port 0 writes the chosen port back into address.
    bool bind(Address& address);
    bool setBlocking(bool on);

    // Sends the whole datagram. With retry, would-block and no-buffer errors and short sends
    // are retried in blocking mode (restored afterwards) until the datagram goes out.
    bool sendTo(const void* buffer, uint32_t length, const Address& to, bool retry);
    // One attempt, no state change: returns 0 or the error number. Safe from several threads.
    int32_t sendDatagram(const void* buffer, uint32_t length, const Address& to) const;

    // Always true: a failed receive reads as no datagram (length 0 / empty vector, from
    // unchanged).
    bool receiveFrom(void* buffer, uint32_t capacity, uint32_t& length, Address& from);
    bool receiveFrom(std::vector<uint8_t>& bytes, Address& from);

    WaitResult poll();
    WaitResult waitReadable(uint32_t timeoutUs);

    // From the calling thread on, waitReadable ends as close after its timeout as the system
    // allows (a paced sender's wait between bursts); waitMethod names how. Ends with
    // releasePacedWaits or close.
    void preparePacedWaits();
    void releasePacedWaits();
    const char* waitMethod() const;
    // Whether waitReadable(timeoutUs) reports a datagram that is already there at once.
    bool waitSeesPending(uint32_t timeoutUs) const;

    bool isStream() const;

private:
    platform::DeadlineWait pacedWait_;
};

}  // namespace TERNO
