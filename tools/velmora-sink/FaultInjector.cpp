#include "FaultInjector.h"

namespace sink {

FaultInjector::FaultInjector(const FaultConfig& config)
    : config_(config), dropList_(config.dropPackets.begin(), config.dropPackets.end()),
      awaitingResend_(65536, false), rng_(config.seed) {}

FaultInjector::Decision FaultInjector::decide(uint16_t seq, bool isNew) {
    const bool resent = awaitingResend_[seq];
    awaitingResend_[seq] = false;
    const auto drop = [&] {
        ++dropped_;
        awaitingResend_[seq] = true;
        return Decision{FaultAction::Drop, false};
    };
    bool inWindow = false;
    if (isNew && !resent) {
        const uint32_t index = newIndex_++;
        if (dropList_.count(index) != 0) return drop();
        inWindow = index >= config_.faultFrom && index < config_.faultUntil;
        if (inWindow && chance(config_.dropRate)) return drop();
    }
    if (!inWindow) return {FaultAction::Deliver, resent};
    if (chance(config_.duplicateRate)) {
        ++duplicated_;
        return {FaultAction::Duplicate, resent};
    }
    if (chance(config_.reorderRate)) {
        ++reordered_;
        return {FaultAction::Reorder, resent};
    }
    if (chance(config_.delayRate)) {
        ++delayed_;
        return {FaultAction::Delay, resent};
    }
    return {FaultAction::Deliver, resent};
}

}  // namespace sink
