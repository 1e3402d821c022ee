#pragma once
// The sink's side of the paced stream: takes data packets (command 10) through the fault
// injector into the reorder buffer, writes what comes out in order, asks for missing
// packets (status message with the resend flag) and answers info requests with the clock
// feedback. Status messages go out through the send function it is given.

#include "AudioWriter.h"
#include "BurstTiming.h"
#include "ClockFeedback.h"
#include "FaultInjector.h"
#include "MarkLog.h"
#include "ReorderBuffer.h"
#include "ResendPolicy.h"
#include "SinkConfig.h"
#include "SinkReport.h"
#include "SinkWire.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace sink {

class DataReceiver {
public:
    using Send = std::function<void(Bytes frame)>;

    DataReceiver(const SinkConfig& config, AudioWriter& writer, Send send);

    // A new stream of this format begins (sequence numbers restart at 0); what the stream
    // before it still holds is delivered first.
    void begin(uint64_t format, uint64_t nowUs);
    // One data datagram (a valid frame with command 10) arrived at nowUs.
    void onData(Bytes frame, uint64_t nowUs);
    // Releases delayed packets and sends due resend requests.
    void poll(uint64_t nowUs);
    // Microseconds until poll has something to do (capped at maxUs).
    uint64_t nextDueUs(uint64_t nowUs, uint64_t maxUs) const;
    // Gives up on what is missing and completes the report's stream fields.
    void finish(SinkReport& report);

    uint64_t packetsReceived() const { return received_; }
    // Of the current stream.
    uint64_t streamPackets() const { return received_ - streamBase_; }
    bool streaming() const { return streaming_; }

private:
    struct Held {
        std::vector<uint8_t> frame;
        uint64_t releaseUs;
        bool resent;   // an earlier copy was dropped by the fault injector
    };
    void process(Bytes frame, uint64_t nowUs, bool resent);
    void deliver(std::span<const uint8_t> payload);
    void sendStatus(uint16_t flags, uint16_t a, uint16_t b, uint16_t c);
    // Delivers what the current stream holds, giving up its holes, and adds up its counts.
    void closeStream();

    const SinkConfig& config_;
    AudioWriter& writer_;
    Send send_;
    uint16_t polarity_;
    uint32_t frameBytes_ = 1;

    std::optional<ReorderBuffer> reorder_;
    ResendPolicy resend_;
    FaultInjector faults_;
    ClockFeedback clock_;
    BurstTiming bursts_;
    MarkLog marks_;
    std::optional<Held> behindNext_;   // a reordered packet, released after the next one
    std::deque<Held> delayed_;         // delayed packets in release order
    uint64_t deliverNowUs_ = 0;

    bool streaming_ = false;
    uint64_t received_ = 0, payloadBytes_ = 0, streamBase_ = 0;
    uint64_t neverRecovered_ = 0, delivered_ = 0, duplicates_ = 0, recovered_ = 0, late_ = 0, outOfWindow_ = 0;
    std::vector<LostRun> lost_;   // of every stream so far
    uint64_t infoRequests_ = 0, feedbackSent_ = 0;
    uint64_t firstUs_ = 0, lastUs_ = 0;
    double nominalByteRate_ = 0;
};

}  // namespace sink
