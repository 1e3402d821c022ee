#include "FaultInjector.h"

namespace sink {

FaultInjector::FaultInjector(const FaultConfig& config)
    : config_(config), dropList_(config.dropPackets.begin(), config.dropPackets.end()), rng_(config.seed) {}

FaultAction FaultInjector::decide(bool isNew) {
    bool inWindow = false;
    if (isNew) {
        const uint32_t index = newIndex_++;
        if (dropList_.count(index) != 0) {
            ++dropped_;
            return FaultAction::Drop;
        }
        inWindow = index >= config_.faultFrom && index < config_.faultUntil;
        if (inWindow && chance(config_.dropRate)) {
            ++dropped_;
            return FaultAction::Drop;
        }
    }
    if (!inWindow) return FaultAction::Deliver;
    if (chance(config_.duplicateRate)) {
        ++duplicated_;
        return FaultAction::Duplicate;
    }
    if (chance(config_.reorderRate)) {
        ++reordered_;
        return FaultAction::Reorder;
    }
    if (chance(config_.delayRate)) {
        ++delayed_;
        return FaultAction::Delay;
    }
    return FaultAction::Deliver;
}

}  // namespace sink
