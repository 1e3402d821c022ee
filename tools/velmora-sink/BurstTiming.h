#pragma once
// Measures the pacing of the stream as the sink sees it: a burst starts with the first
// data packet after a packet marked as the burst's last; the intervals between burst
// starts are summarised against the expected cycle.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sink {

struct BurstSummary {
    uint64_t bursts = 0;
    double meanUs = 0, p50Us = 0, p99Us = 0;
    double maxDeviationUs = 0;   // largest |interval - cycle|
    double cycleUs = 0;          // the reference used
};

class BurstTiming {
public:
    // Reserves room for this many intervals; later ones are still counted in the mean.
    explicit BurstTiming(size_t reserve = 1 << 20) { intervals_.reserve(reserve); }

    void onPacket(uint64_t nowUs, bool lastOfBurst);

    // expectedCycleUs 0: deviations from the measured mean.
    BurstSummary summary(double expectedCycleUs) const;

private:
    std::vector<uint32_t> intervals_;
    bool inBurst_ = false;
    bool haveStart_ = false;
    uint64_t lastStart_ = 0;
};

}  // namespace sink
