#pragma once
// The wait of a paced sender between two bursts: until a socket turns readable or a timeout
// of microseconds runs out, ending as close after the timeout as the system allows. Each
// backend picks the most precise way the running system offers when the waits are prepared,
// and falls back to the plain readability wait (waitReadable) where it offers nothing better.
//
// Prepared and used by one thread (settings such as the timer slack apply to the thread that
// calls prepare). Allocates and calibrates in prepare only.

#include "platform/Net.h"

#include <cstdint>
#include <memory>

namespace platform {

// A build for comparison (VELMORA_PLAIN_WAITS, set on the backend's source) waits the
// ordinary way only.
#ifdef VELMORA_PLAIN_WAITS
constexpr bool plainWaitsOnly = true;
#else
constexpr bool plainWaitsOnly = false;
#endif

class DeadlineWait {
public:
    DeadlineWait();
    ~DeadlineWait();
    DeadlineWait(const DeadlineWait&) = delete;
    DeadlineWait& operator=(const DeadlineWait&) = delete;

    // Chooses the way of waiting for this socket, measuring the candidates briefly (about ten
    // milliseconds at most).
    void prepare(SocketHandle socket);
    void release();
    bool prepared() const;

    // -1 on failure, 0 when the time ran out, 1 when the socket is readable. A wait may end
    // at its timeout without looking at the socket once more; the caller polls it then. The
    // socket is left in the blocking mode given.
    int wait(uint32_t timeoutUs, bool socketBlocking);
    // Whether a wait of timeoutUs looks at the socket as it starts, so that a datagram already
    // there ends it at once (otherwise it may sleep through the whole timeout).
    bool seesSocketAtStart(uint32_t timeoutUs) const;

    // How it waits, for logs and reports ("ppoll", "high-resolution timer", ...).
    const char* method() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace platform
