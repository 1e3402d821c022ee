#pragma once
// Everything that shapes one run of the reference sink: what it claims to support, how it
// answers, which faults it injects and where it writes its results.

#include <cstdint>
#include <string>
#include <vector>

namespace sink {

enum class FeedbackKind { None, Level, Signed, Ratio };

// Default capability sets: PCM 1..16 channels, every PCM type, 44.1/48 kHz families ×1..×16;
// DSD (32-bit words of 1-bit samples, either byte order) at ×64..×512 of both families.
constexpr uint64_t rateMultipliers(int first, int last) {
    uint64_t m = 0;
    for (int k = first; k <= last; ++k) m |= uint64_t{1} << (35 + k);
    return m;
}
constexpr uint64_t defaultPcmCaps() {
    return 0x3F                       // 1, 2, 4, 6, 8, 16 channels
           | 0x7F00                   // 8..64-bit integer, 32/64-bit float
           | uint64_t{0x6} << 32      // 44100 and 48000 families
           | rateMultipliers(0, 4);
}
constexpr uint64_t defaultDsdCaps(bool msbFirst) {
    return 0x3F | 0x10000                              // channels, 1-bit samples
           | (msbFirst ? uint64_t{1} << 21 : uint64_t{1} << 20)
           | uint64_t{3} << 22                         // either word byte order
           | uint64_t{2} << 24                         // 32-bit words
           | uint64_t{0x6} << 32 | rateMultipliers(6, 9);
}

struct FaultConfig {
    double dropRate = 0.0;              // fraction of first arrivals dropped (resent copies pass)
    std::vector<uint32_t> dropPackets;  // packet indexes (arrival order of new packets) dropped once
    double duplicateRate = 0.0;         // fraction of datagrams delivered twice
    double reorderRate = 0.0;           // fraction of datagrams held back behind the next one
    double delayRate = 0.0;             // fraction of datagrams held for delayUs
    uint32_t delayUs = 2000;
    uint32_t faultFrom = 0;             // random faults apply to new packets with index >= faultFrom
    uint32_t faultUntil = UINT32_MAX;   // ... and < faultUntil
    uint32_t stopAnsweringAfter = 0;    // after this many data packets of a stream, answer nothing (0 = never)
    uint32_t silentMs = 0;              // ... for this long, Find included (0 = for good)
    uint32_t closeAfter = 0;            // after this many data packets of a stream, close it with DSICONNECT_ANS (0 = never)
    uint32_t faultStreams = 1;          // the two faults above hit this many streams (0 = every stream)
    std::string foreignAnswers = "off"; // off | decoy (a forged answer first) | only (answers from a foreign port)
    uint32_t floodRate = 0;             // foreign and malformed datagrams per second at the streaming driver
    uint64_t seed = 1;
};

struct SinkConfig {
    // Where the sink listens.
    std::string listenAddress = "::1";
    uint16_t controlPort = 0;           // control and data; 0: any free port, printed and written to portFile
    uint16_t logPort = 19642;           // where LOG_REQ arrives; 0: none
    std::string portFile;

    // Capabilities (stream format masks; 0: no such set).
    uint64_t pcmCaps = defaultPcmCaps();
    uint64_t dsdLsbCaps = defaultDsdCaps(false);
    uint64_t dsdMsbCaps = defaultDsdCaps(true);

    // Negotiation answers.
    uint16_t latency = 50;              // granted when none is requested (100 µs units)
    uint16_t latencyMax = 10000;        // requests above are cut to this
    uint16_t hwLatency = 10;
    uint16_t mtu = 1500;
    uint16_t maxBurst = 15000;
    uint16_t profileMin = 100;          // 10 µs units
    uint16_t profileMax = 100;
    uint16_t profileFlags = 0x08;
    bool invertPolarity = false;

    // Clock feedback model.
    FeedbackKind feedback = FeedbackKind::Level;
    double ppm = 0.0;                   // > 0: the sink's clock runs fast (drains faster)

    // Resend requests.
    uint32_t resendDelayUs = 1500;      // a gap must persist this long before it is requested
    uint32_t resendRetryUs = 20000;     // repeat an unanswered request after this long
    bool resendInInfo = false;          // answer an info request with a resend request while a gap is open

    FaultConfig faults;

    // Results.
    std::string wavPath;                // PCM as WAV
    std::string dsdPath;                // DSD as DSF when it ends in ".dsf", else raw bytes
    std::string rawPath;                // every payload byte in sequence order
    std::string reportPath;             // JSON summary
    uint32_t expectedCycleUs = 0;       // burst deviation reference; 0: the measured mean
    std::string burstLogPath;           // one line per burst: start, packets, bytes
    std::string markLogPath;            // one line per latency mark: arrival of its first byte

    // Lifetime.
    uint32_t streams = 1;               // streams served before the sink ends (0: any number)
    double timeLimitS = 60.0;
    double idleTimeoutS = 3.0;          // after streaming began, end when nothing arrives this long
    uint32_t lingerMs = 100;            // stay after the closing handshake for repeated requests
    bool quiet = false;
};

}  // namespace sink
