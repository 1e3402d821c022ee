#pragma once
// One run of the sink: a single UDP socket serves both the control requests and the data
// stream (CONNECT_ANS names the same port), the remote log has its own port. The loop
// answers, receives, injects the configured faults, and ends by itself. It serves one
// stream after the other (up to --streams): a stream ends with the closing handshake, the
// sink's own close, going quiet, or a CONNECT_REQ from another address (a driver back
// after it lost the stream).

#include "AudioWriter.h"
#include "ControlResponder.h"
#include "DataReceiver.h"
#include "RemoteLog.h"
#include "SinkConfig.h"
#include "SinkReport.h"

#include "terno/Address.h"
#include "terno/Socket.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sink {

// Faults a test sets off at a moment of its choosing (velmora-sink: SIGUSR1, SIGUSR2).
struct FaultTriggers {
    std::atomic<bool> silence{false};   // answer nothing for --silent-ms from now
    std::atomic<bool> close{false};     // close the current stream now (DSICONNECT_ANS)
};

class SinkSession {
public:
    explicit SinkSession(const SinkConfig& config);

    // Binds the sockets and writes the port file; false with error() when it cannot listen.
    bool start();
    uint16_t port() const { return port_; }

    // Runs until the last stream ended (closing handshake, a sink-side close, an idle stream),
    // the time limit or stopRequested; then completes the files and the report.
    void run(const std::atomic<bool>& stopRequested, FaultTriggers& triggers);

    const SinkReport& report() const { return report_; }
    // True while the injected silence lasts (any thread).
    bool silent() const;
    const std::string& error() const { return error_; }

private:
    void onDatagram(const std::vector<uint8_t>& bytes, const TERNO::Address& from, uint64_t nowUs);
    void onControl(const std::vector<uint8_t>& bytes, const TERNO::Address& from, uint64_t nowUs);
    void send(std::span<const uint8_t> frame, const TERNO::Address& to);
    void flood(uint64_t nowUs);
    void say(const std::string& text);
    // The per-stream faults hit the first --fault-streams streams.
    bool faultsApply() const;
    void beginStream(const TERNO::Address& from, uint64_t nowUs);
    // The current stream is over; false when no further one may come.
    bool nextStream();
    void beginSilence(uint64_t nowUs);
    void closeByTheSink(uint64_t nowUs);

    const SinkConfig& config_;
    TERNO::Socket socket_;
    TERNO::Socket foreign_;          // a second port, for forged answers
    RemoteLog remoteLog_;
    uint16_t port_ = 0;
    AudioWriter writer_;
    ControlResponder responder_;
    DataReceiver receiver_;
    SinkReport report_;
    std::string error_;

    std::optional<TERNO::Address> driver_;   // where the stream comes from
    bool streamStarted_ = false;
    bool closedBySink_ = false;
    std::optional<uint64_t> endingSince_;    // closing handshake done or stream closed
    uint64_t lastDataUs_ = 0;
    uint64_t floodFromUs_ = 0;
    uint64_t floodRandom_ = 0;
    bool silenceBegun_ = false;              // in this stream
    std::atomic<uint64_t> silentUntilUs_{0};
};

}  // namespace sink
