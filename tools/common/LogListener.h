#pragma once
// The listening end of the driver's log: a UDP socket on [::1] that has the port to itself.
// Sockets of this system allow address reuse, and a second listener with reuse would take the
// lines away from the first (Linux hands each datagram to the newest such socket); so the log
// port is bound without it, and a second viewer or player finds the port taken.

#include <cstdint>
#include <memory>

#include "terno/Socket.h"

// The listening socket (non-blocking), or null when the port is taken or sockets are unavailable.
std::unique_ptr<TERNO::Socket> listenForDriverLog(uint16_t port);
