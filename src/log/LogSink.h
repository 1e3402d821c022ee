#pragma once
// The process's log sink: sends each finished log line as one UDP datagram to a listener on
// the IPv6 loopback address (port 19640). One sink is the process-wide one at a time; every
// driver object (and the finder export) creates a new one with LogSink::create.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

namespace TERNO {
class Socket;
}

class LogSink {
public:
    static constexpr uint16_t defaultPort = 19640;
    static constexpr uint32_t driverFacility = 16;   // priority = 16 * 8 + severity

    // A closed sink with facility 0. Constructs its socket, which starts the process's
    // network library (may throw TERNO::Err).
    LogSink();
    ~LogSink();
    LogSink(const LogSink&) = delete;
    LogSink& operator=(const LogSink&) = delete;

    // A new sink with the driver's facility, opened on defaultPort, made the process-wide one.
    // The sink it replaces stays alive while a line is still being sent through it.
    static std::shared_ptr<LogSink> create();

    // Opens a non-blocking UDP socket bound to [::1]:0 and aims it at [::1]:port. True when
    // open afterwards; an already open sink stays as it is. A failure leaves the sink unable to
    // send (lines are still built and dropped at sending).
    bool open(uint16_t port);
    bool isOpen() const;

    // Stamps the header of text (the line after its priority byte, NUL-terminated, starting
    // with the header template) and sends it as one datagram. Silent on every failure.
    void send(unsigned priority, char* text);

    uint32_t facility() const { return facility_.load(std::memory_order_relaxed); }
    void setFacility(uint32_t facility) { facility_.store(facility, std::memory_order_relaxed); }

    // The system error code of the last failed send (0 when none failed).
    int32_t lastError() const { return lastError_.load(std::memory_order_relaxed); }

    // Where lines go: [::1] and the port given to open (host order here), scope 0.
    uint16_t destinationPort() const;

private:
    std::unique_ptr<TERNO::Socket> socket_;
    std::atomic<uint32_t> facility_{0};
    std::atomic<int32_t> lastError_{0};
    std::array<uint8_t, 16> destinationAddress_{};
    uint16_t destinationPort_ = 0;    // network byte order
    uint16_t destinationScope_ = 0;
    std::atomic<bool> open_{false};
};

// The process-wide sink, or null before the first one exists.
std::shared_ptr<LogSink> currentLogSink();
// Makes sink the process-wide one (null switches sending off). The sink it replaces is released
// only once no line is using it any more.
void installLogSink(std::shared_ptr<LogSink> sink);

// The process-wide sink held for one use by a log line, without a lock: while any use is alive
// a replaced sink is not released.
class LogSinkUse {
public:
    LogSinkUse();
    ~LogSinkUse();
    LogSinkUse(const LogSinkUse&) = delete;
    LogSinkUse& operator=(const LogSinkUse&) = delete;

    LogSink* get() const { return sink_; }

private:
    LogSink* sink_;
};
