#include "RemoteLog.h"

#include "ControlResponder.h"
#include "SinkWire.h"

#include <vector>

namespace sink {

bool RemoteLog::start(const TERNO::Address& listen, uint16_t port) {
    TERNO::Address at = listen;
    at.setPortNumber(port);
    if (!socket_.open(TERNO::Socket::Udp6) || !socket_.bind(at)) {
        socket_.close();
        return false;
    }
    socket_.receiveSize = 2048;
    port_ = at.portNumber();
    stop_.store(false, std::memory_order_relaxed);
    thread_ = std::thread([this] { run(); });
    return true;
}

void RemoteLog::stop() {
    stop_.store(true, std::memory_order_relaxed);
    if (thread_.joinable()) thread_.join();
    socket_.close();
}

void RemoteLog::line(std::string text) {
    std::lock_guard lock(mutex_);
    if (lines_.size() < 1000) lines_.push_back(std::move(text));
}

void RemoteLog::run() {
    std::vector<uint8_t> bytes;
    while (!stop_.load(std::memory_order_relaxed)) {
        const TERNO::WaitResult w = socket_.waitReadable(50000);
        if (w == TERNO::WaitResult::Error) return;
        // Lines queued so far go to the driver that asked before them, or nowhere.
        std::deque<std::string> pending;
        {
            std::lock_guard lock(mutex_);
            pending.swap(lines_);
        }
        if (enabled_) {
            for (const std::string& text : pending) {
                const std::vector<uint8_t> frame = ControlResponder::logText(text);
                socket_.sendTo(frame.data(), static_cast<uint32_t>(frame.size()), peer_, true);
            }
        }
        if (w != TERNO::WaitResult::Ready) continue;
        TERNO::Address from{};
        socket_.receiveFrom(bytes, from);
        if (isFrame(bytes) && command(bytes) == LOG_REQ) {
            const Header ack(LOG_TEXT, 0);
            socket_.sendTo(ack.bytes, kHeaderBytes, from, true);
            enabled_ = readU16(bytes, 8) != 0;
            peer_ = from;
        }
    }
}

}  // namespace sink
