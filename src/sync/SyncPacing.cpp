#include "sync/SyncPacing.h"

#include "platform/Clock.h"

namespace VELMORA {

uint32_t packetRingSize(uint32_t firstCycleUs, uint32_t firstCount, uint32_t slotBytes) {
    uint64_t cycle = firstCycleUs ? firstCycleUs : 1;
    uint64_t wanted = (1000000 / cycle) * firstCount;
    uint64_t size = 32;
    while (size < wanted && size < (1u << 16) && (size * 2) * slotBytes <= packetRingBudgetBytes) size <<= 1;
    return static_cast<uint32_t>(size);
}

void Pacer::start(uint32_t now, uint32_t cycleUs) {
    deadline_ = now - cycleUs / 2;  // the first burst goes at once
    debt_ = 0;
    overCount_ = 0;
}

bool Pacer::due(uint32_t now) const { return !platform::isEarlier(now, deadline_); }

uint32_t Pacer::remaining(uint32_t now) const { return due(now) ? 0 : deadline_ - now; }

uint32_t Pacer::advance(uint32_t now, uint32_t cycleUs, bool collectDebt) {
    uint32_t previous = deadline_;
    deadline_ += cycleUs;
    if (platform::isLater(deadline_, now)) {
        if (overCount_ > 0) --overCount_;
        return 0;
    }
    uint32_t lateness = now - previous;
    deadline_ = now + cycleUs;
    if (collectDebt) debt_ += lateness;
    if (overCount_ < overloadLimit) overCount_ = overCount_ + 10 > overloadLimit ? overloadLimit : overCount_ + 10;
    return lateness;
}

uint32_t Pacer::burstSize(uint32_t cycleUs, uint32_t count, uint32_t maxPackets) {
    if (debt_ < cycleUs || count == 0) return count;
    // One more cycle's packets for every whole cycle owed, as many as the sink takes at once:
    // a sender whose bursts cannot leave closer together than two cycles still keeps the rate.
    const uint64_t owed = debt_ / cycleUs;
    const uint64_t wanted = static_cast<uint64_t>(count) * (1 + owed);
    const uint32_t burst = wanted < maxPackets ? static_cast<uint32_t>(wanted) : maxPackets;
    if (burst <= count) return count;
    uint64_t paid = static_cast<uint64_t>(burst - count) * cycleUs / count;
    debt_ = paid >= debt_ ? 0 : debt_ - static_cast<uint32_t>(paid);
    return burst;
}

void Pacer::addResendDebt(uint32_t missing, uint32_t pending, uint32_t cycleUs, uint32_t count) {
    if (missing <= pending || count == 0) return;
    debt_ += static_cast<uint32_t>(static_cast<uint64_t>(missing - pending) * cycleUs / count);
}

uint32_t payloadBytes(uint32_t fixedPayload, uint32_t frames, uint32_t frameBytes,
                      uint32_t packDataSize) {
    if (fixedPayload != 0) return fixedPayload;
    if (frameBytes == 0) return 0;
    uint32_t limit = packDataSize - packDataSize % frameBytes;
    uint64_t bytes = static_cast<uint64_t>(frames) * frameBytes;
    return bytes > limit ? limit : static_cast<uint32_t>(bytes);
}

}  // namespace VELMORA
