#pragma once
// What one run of the sink saw, written as JSON when it ends.

#include "BurstTiming.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sink {

// Consecutive packets the sink gave up on: their place in the stream (sequence numbers
// unwrapped) and where they are missing from the capture (payload bytes before them).
struct LostRun {
    uint64_t first = 0, count = 0, atByte = 0;
};

struct SinkReport {
    // Negotiation.
    std::string clientName;
    uint64_t format = 0;              // the stream format of CONNECT_REQ
    bool formatAccepted = false;
    uint16_t latencyGranted = 0;      // 100 µs units
    uint16_t profileMin = 0, profileMax = 0, profileFlags = 0;
    bool polarityInverted = false;
    uint32_t connects = 0;

    // Data.
    uint64_t packetsReceived = 0;     // data datagrams that reached the receiver
    uint64_t packetsDelivered = 0;    // in order, once each
    uint64_t duplicates = 0;
    uint64_t resendRequests = 0;
    uint64_t recovered = 0;
    uint64_t lateArrivals = 0;        // holes filled before they were asked for
    uint64_t neverRecovered = 0;
    std::vector<LostRun> lost;        // the never recovered packets, named
    uint64_t outOfWindow = 0;
    uint64_t malformed = 0;
    uint64_t payloadBytes = 0;
    uint64_t infoRequests = 0;
    uint64_t feedbackSent = 0;
    int32_t lastFeedbackSample = 0;

    // Injected faults.
    uint64_t dropped = 0, duplicated = 0, reordered = 0, delayed = 0;
    uint64_t floodSent = 0;           // foreign and malformed datagrams sent at the driver

    // Timing.
    BurstSummary bursts;
    double streamSeconds = 0;         // first to last data packet
    double byteRate = 0;              // payload bytes per second over that time
    double nominalByteRate = 0;       // sample bytes per second of the format

    std::string endReason;            // disconnect, closed, time-limit, signal, idle
    bool closingHandshake = false;    // DSICONNECT_REQ answered
};

std::string toJson(const SinkReport& report);
bool writeReport(const std::string& path, const SinkReport& report);

// Readable name of a format word, e.g. "PCM 2ch int32 44100Hz" or "DSD 2ch MSB big 2822400Hz".
std::string describeFormat(uint64_t format);

}  // namespace sink
