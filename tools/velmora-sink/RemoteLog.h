#pragma once
// The sink's remote log: answers LOG_REQ on its log port and, while the driver wants it,
// sends the sink's log lines there as LOG_TEXT messages. Runs its own thread so that the
// driver's short log exchange never waits for the stream.

#include "terno/Address.h"
#include "terno/Socket.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace sink {

class RemoteLog {
public:
    RemoteLog() = default;
    ~RemoteLog() { stop(); }
    RemoteLog(const RemoteLog&) = delete;
    RemoteLog& operator=(const RemoteLog&) = delete;

    // Binds the log port on the listen address and starts the thread; false when the port
    // cannot be had (the sink then runs without a remote log).
    bool start(const TERNO::Address& listen, uint16_t port);
    void stop();

    // The bound log port (the system's choice when started with 0).
    uint16_t port() const { return port_; }

    // Queues one line; sent when a driver asked for the log.
    void line(std::string text);

private:
    void run();

    TERNO::Socket socket_;
    uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::deque<std::string> lines_;
    bool enabled_ = false;      // thread only
    TERNO::Address peer_{};     // thread only
};

}  // namespace sink
