#pragma once
// Measures the pacing of the stream as the sink sees it: a burst starts with the first
// data packet after a packet marked as the burst's last. Reports the intervals between
// burst starts against the expected cycle, bursts larger than the usual one (a sender
// catching up), and the lateness of each burst against the deadline a sender that keeps
// the cycle would have given it (the deadline moves one cycle per burst and starts again
// from a burst that came a whole cycle late, as the driver's pacing does).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sink {

struct BurstSummary {
    uint64_t bursts = 0;
    double meanUs = 0, p50Us = 0, p99Us = 0;
    double maxDeviationUs = 0;   // largest |interval - cycle|
    double p99DeviationUs = 0;   // 99th percentile of |interval - cycle|
    double cycleUs = 0;          // the reference used
    uint32_t usualPackets = 0;   // packets of the median burst
    uint64_t oversized = 0;      // bursts with more packets than that
    double latenessP50Us = 0, latenessP99Us = 0, latenessMaxUs = 0;   // only with a known cycle
};

class BurstTiming {
public:
    // Reserves room for this many bursts; later ones are still counted in the mean.
    explicit BurstTiming(size_t reserve = 1 << 20) { bursts_.reserve(reserve); }

    void onPacket(uint64_t nowUs, bool lastOfBurst, uint32_t payloadBytes = 0);

    // expectedCycleUs 0: deviations from the measured mean, and no lateness.
    BurstSummary summary(double expectedCycleUs) const;

    // One line per burst: start (us, the sink's monotonic clock), packets, payload bytes.
    bool writeLog(const std::string& path) const;

private:
    struct Burst {
        uint64_t startUs;
        uint32_t packets;
        uint32_t bytes;
    };
    std::vector<Burst> bursts_;
    uint64_t count_ = 0;
    uint64_t firstStart_ = 0, lastStart_ = 0;
    bool inBurst_ = false;
};

}  // namespace sink
