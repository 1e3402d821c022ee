#pragma once
// A scripted sink for exchange tests: a socket and a thread that answer every received
// datagram with whatever the script returns (any bytes, from its own or a second port), and
// send what a test hands them to whoever asked last. The sockets are opened by the
// constructor, so constructing it on a thread that entered another network namespace puts
// the sink in that namespace.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "terno/Address.h"
#include "terno/Socket.h"

namespace findtest {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// Milliseconds since start: exchanges are timed against their limits.
inline double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Reply {
    Bytes bytes;
    bool fromOtherPort = false;  // sent from a second socket: a wrong source
    uint32_t repeatForUs = 0;    // > 0: sent again and again for this long (a flood)
};

using Script = std::function<std::vector<Reply>(const Bytes& request, const TERNO::Address& from)>;

// A frame: magic 100, length word for the payload, command, flags, four u16 parameters.
Bytes frame(uint16_t command, uint16_t flags, uint16_t p0 = 0, uint16_t p1 = 0, uint16_t p2 = 0,
            uint16_t p3 = 0, const std::string& payload = {});
// The same with a u64 parameter at offset 8.
Bytes frame64(uint16_t command, uint16_t flags, uint64_t parameter, const std::string& payload = {});
uint16_t commandOf(const Bytes& datagram);

class FakeSink {
public:
    // Binds address text (e.g. "::1" or "::") on port (0: any) and starts answering.
    FakeSink(Script script, const std::string& bindAddress = "::1", uint16_t port = 0);
    ~FakeSink();
    FakeSink(const FakeSink&) = delete;
    FakeSink& operator=(const FakeSink&) = delete;

    bool ok() const { return ok_; }
    TERNO::Address address() const { return address_; }   // bound address with its port
    uint32_t requests() const { return requests_.load(std::memory_order_acquire); }
    // Sent by the sink's thread, unasked, to the source of the last request.
    void sendToLastPeer(Reply reply);

private:
    void run();

    Script script_;
    TERNO::Socket socket_;
    TERNO::Socket other_;
    TERNO::Address address_{};
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<uint32_t> requests_{0};
    std::mutex mutex_;
    std::vector<Reply> unasked_;
    std::thread thread_;
};

}  // namespace findtest
