// The sink's remote log: once getInfo has found the sink, ask it for its log
// (LOG_REQ on the log socket) and write every LOG_TEXT line it sends into ours.
#include <string>
#include <vector>

#include "log/LogLine.h"
#include "sync/Sync.h"
#include "sync/SyncWire.h"
#include "terno/Message.h"

namespace VELMORA {

namespace {
constexpr uint32_t logRequestTimeoutUs = 10000;
constexpr uint32_t logWaitUs = 100000;
constexpr uint16_t logTextMarker = 2;  // parameter of a LOG_TEXT that carries a line
}  // namespace

void Sync::logReceiverThread() {
    // The sink's log is a convenience: running out of memory ends the receiver only.
    try {
        receiveRemoteLog();
    } catch (...) {
    }
}

void Sync::receiveRemoteLog() {
    std::vector<uint8_t> datagram;
    std::vector<uint8_t> answer;
    while (!logStop_.load(std::memory_order_relaxed)) {
        if (logRequestPending.exchange(0, std::memory_order_acquire)) {
            const TERNO::Address sink = logTarget;
            TERNO::MessageHeader request(command::logReq, static_cast<uint16_t>(logLevel() >= 6 ? 1 : 0), 0,
                                         0, 0);
            sendAck(logSocket, sink, request.frame, request.frameSize, command::logText, answer,
                    logRequestTimeoutUs);
        }
        const TERNO::WaitResult waited = logSocket.waitReadable(logWaitUs);
        if (waited == TERNO::WaitResult::Error) return;
        if (waited == TERNO::WaitResult::Timeout) continue;
        TERNO::Address from{};
        if (!logSocket.receiveFrom(datagram, from)) return;
        if (!TERNO::Message::isValidFrame(datagram.data(), datagram.size())) continue;
        if (wire::command(datagram.data()) != command::logText || wire::u16(datagram.data(), 8) != logTextMarker)
            continue;
        const size_t length = TERNO::Message::payloadLength(datagram.data(), datagram.size());
        if (length == 0) continue;
        LogLine(6) << "Target: " << std::string(reinterpret_cast<const char*>(datagram.data()) + 16, length);
    }
}

}  // namespace VELMORA
