#pragma once
// Simulates a lossy network in front of the sink's receiver: decides per arriving data
// packet whether it is dropped, delivered twice, held back behind the next packet, or
// delayed. Drops hit only first arrivals, so every dropped packet can be recovered by a
// resend. Decisions are reproducible from the seed.
//
// The injector remembers what it dropped: a resent copy of the newest packet can arrive
// before anything after it, so that the sink cannot tell it from a first arrival; the
// injector can, and neither drops it again nor lets it go uncounted.

#include "SinkConfig.h"

#include <cstdint>
#include <random>
#include <unordered_set>
#include <vector>

namespace sink {

enum class FaultAction { Deliver, Drop, Duplicate, Reorder, Delay };

class FaultInjector {
public:
    explicit FaultInjector(const FaultConfig& config);

    struct Decision {
        FaultAction action = FaultAction::Deliver;
        bool resent = false;   // an earlier copy of this packet was dropped here
    };

    // seq: the packet's sequence number; isNew: it lies beyond everything received so far.
    // A packet dropped here before is a resend whatever isNew says.
    Decision decide(uint16_t seq, bool isNew);

    uint64_t dropped() const { return dropped_; }
    uint64_t duplicated() const { return duplicated_; }
    uint64_t reordered() const { return reordered_; }
    uint64_t delayed() const { return delayed_; }
    uint32_t newPackets() const { return newIndex_; }

private:
    bool chance(double rate) { return rate > 0.0 && uniform_(rng_) < rate; }

    FaultConfig config_;
    std::unordered_set<uint32_t> dropList_;
    std::vector<bool> awaitingResend_;   // by sequence number: dropped, not arrived since
    std::mt19937_64 rng_;
    std::uniform_real_distribution<double> uniform_{0.0, 1.0};
    uint32_t newIndex_ = 0;
    uint64_t dropped_ = 0, duplicated_ = 0, reordered_ = 0, delayed_ = 0;
};

}  // namespace sink
