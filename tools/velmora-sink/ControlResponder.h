#pragma once
// Answers the driver's control requests: capabilities, latency, packet sizes, transfer
// profile, stream preparation, name, connect and disconnect, remote log. It only builds
// answers; the session sends them and acts on the events it reports.

#include "SinkConfig.h"
#include "SinkWire.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sink {

struct ControlResult {
    std::optional<std::vector<uint8_t>> answer;   // nothing: the request goes unanswered
    bool connected = false;     // CONNECT_REQ accepted a stream (format in ControlResponder)
    bool disconnected = false;  // DSICONNECT_REQ
    std::optional<bool> logRequest;   // LOG_REQ: remote log wanted (true) or not
};

class ControlResponder {
public:
    ControlResponder(const SinkConfig& config, uint16_t dataPort);

    ControlResult handle(Bytes request);

    // The summary answer to FORMAT_REQ 0: the PCM types present, the DSD types present and
    // which DSD orders have a set.
    uint64_t formatSummary() const;
    uint64_t formatSet(uint64_t selector) const;
    bool accepts(uint64_t format) const;

    uint64_t format() const { return format_; }
    uint16_t grantedLatency() const { return granted_; }
    const std::string& clientName() const { return clientName_; }
    uint16_t dataPort() const { return dataPort_; }
    void setDataPort(uint16_t port) { dataPort_ = port; }

    // LOG_TEXT message carrying one line of the sink's log.
    static std::vector<uint8_t> logText(const std::string& line);
    // The same answer with its parameter bytes complemented: what a forger would send.
    static std::vector<uint8_t> forged(const std::vector<uint8_t>& answer);

private:
    static std::vector<uint8_t> bytes(const Header& h) { return {h.bytes, h.bytes + kHeaderBytes}; }

    const SinkConfig& config_;
    uint16_t dataPort_;
    uint16_t granted_;
    uint64_t format_ = 0;
    std::string clientName_;
};

}  // namespace sink
