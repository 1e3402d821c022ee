#pragma once
// The socket seam of the fuzz targets: instead of a network, a scripted peer. Every datagram
// the code under test sends goes to the peer (on the sending thread), which answers by
// queueing datagrams; receives take them in order, and a wait reports readable exactly when
// one is queued. Nothing leaves the process and no wait lasts longer than idleWaitUs.

#include "platform/Net.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace scripted {

using Address = platform::SocketAddress6;
using Peer = std::function<void(std::span<const uint8_t> sent, const Address& to)>;

void setPeer(Peer peer);
// Drops every queued datagram and the peer.
void reset();
void deliver(std::vector<uint8_t> bytes, const Address& from);
// How long a wait on an empty queue sleeps before it reports a timeout (0: returns at once;
// a paced worker wants a little, so that it does not spin).
void setIdleWait(uint32_t microseconds);

// fe80::<last>%scope with a port (host order), as the seam carries it.
Address linkLocal(uint8_t last, uint16_t port, uint32_t scope);
uint16_t portOf(const Address& address);

}  // namespace scripted
