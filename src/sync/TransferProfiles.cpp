#include "sync/TransferProfiles.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "log/LogLine.h"

namespace VELMORA {

namespace {

constexpr float microsPerSecond = 1000000.0f;
constexpr float margin = 1.03f;   // 3 % headroom of the fixed-cycle family
constexpr uint32_t searchStepUs = 10;
// An upward search gives up once its cycle has moved this far from where it began.
// Pacing cycles are far below a second; the bound only keeps nonsense answers finite.
constexpr uint32_t searchSpanUs = 10000000;

// ceil of a non-negative single-precision value, saturated to 64 bits.
uint64_t ceilToUnsigned(float value) {
    if (!(value > 0.0f)) return 0;
    const float up = std::ceil(value);
    if (up >= 18446744073709551615.0f) return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(up);
}

// value plus frameSize - 1, rounded down to whole frames.
uint64_t roundUpToFrames(uint64_t value, uint32_t frameSize) {
    return (value + frameSize - 1) / frameSize * frameSize;
}

uint32_t toCycle(uint64_t us) {
    return static_cast<uint32_t>(std::min<uint64_t>(us, std::numeric_limits<uint32_t>::max()));
}

bool searchMayContinue(uint32_t start, uint32_t c) {
    return c - start <= searchSpanUs && c <= std::numeric_limits<uint32_t>::max() - searchStepUs;
}

}  // namespace

uint64_t ProfileCalculator::bytesPerSecond() const {
    return format.rate() * format.channels() * format.bitsPerSample() / 8;
}

uint32_t ProfileCalculator::frameSize() const {
    return format.containerBytes() * format.channels();
}

bool ProfileCalculator::Fix(uint32_t& cycleUs, uint32_t countLimit, bool fixedSize) {
    const uint32_t maxCount = countLimit != 0 ? std::min<uint32_t>(countLimit, packDataCount) : packDataCount;
    const uint64_t limit = uint64_t{packDataSize} * maxCount;
    const uint64_t bps = bytesPerSecond();
    const uint32_t fs = frameSize();
    if (limit == 0 || bps == 0 || fs == 0 || cycleUs == 0) return false;

    // One cycle's bytes plus 3 %, in whole frames. Every step of it is monotonic in the
    // cycle (correctly rounded division and product, ceil, rounding up to frames), so
    // the longest cycle that fits, at most cycleUs, is found by bisection: the same
    // cycle as lowering it 1 us at a time, in some 32 steps instead of up to millions.
    auto bytesPerCycle = [&](uint32_t c) {
        const float bytes = static_cast<float>(bps) / (microsPerSecond / static_cast<float>(c)) * margin;
        return roundUpToFrames(ceilToUnsigned(bytes), fs);
    };
    if (bytesPerCycle(cycleUs) >= limit) {
        if (bytesPerCycle(1) >= limit) {
            cycleUs = 1;
            return false;
        }
        uint32_t fits = 1, tooLong = cycleUs;   // bytesPerCycle(fits) < limit <= bytesPerCycle(tooLong)
        while (tooLong - fits > 1) {
            const uint32_t middle = fits + (tooLong - fits) / 2;
            (bytesPerCycle(middle) < limit ? fits : tooLong) = middle;
        }
        cycleUs = fits;
    }
    const uint64_t perCycle = bytesPerCycle(cycleUs);

    const uint64_t count = std::max<uint64_t>(1, (perCycle + packDataSize - 1) / packDataSize);
    const uint64_t frames = ((bps / fs) << 14) * (cycleUs / count) / 1000000;
    result.cycle = cycleUs;
    result.fixedPayload = 0;
    result.count = static_cast<uint16_t>(count);
    result.framesPerPacket = static_cast<uint32_t>(frames);
    // The frame count plus 3 %, rounded up to whole frames.
    result.capacity = static_cast<uint32_t>(fs * ((frames + 16383 + ((frames * 491) >> 14)) >> 14));
    result.mode = fixedSize ? ProfileEntry::modeFixFixedSize : ProfileEntry::modeFix;
    return true;
}

bool ProfileCalculator::Var(uint32_t& cycleUs, uint32_t countLimit) {
    const uint32_t maxCount = countLimit != 0 ? std::min<uint32_t>(countLimit, packDataCount) : packDataCount;
    const uint64_t limit = uint64_t{packDataSize} * maxCount;
    const uint64_t bps = bytesPerSecond();
    const uint32_t fs = frameSize();
    if (limit == 0 || bps == 0 || fs == 0 || cycleUs == 0) return false;

    const float bytes = static_cast<float>(bps) / (microsPerSecond / static_cast<float>(cycleUs));
    uint64_t perCycle = roundUpToFrames(ceilToUnsigned(bytes), fs);
    if (perCycle > limit) {
        perCycle = limit;
        cycleUs = toCycle(ceilToUnsigned(microsPerSecond / (static_cast<float>(bps) / static_cast<float>(limit))));
    }

    const uint64_t count = (perCycle + packDataSize - 1) / packDataSize;
    const uint64_t payload = perCycle / count / fs * fs;
    result.cycle = cycleUs;
    result.count = static_cast<uint16_t>(count);
    result.fixedPayload = static_cast<uint32_t>(payload);
    result.capacity = result.fixedPayload;
    result.framesPerPacket = static_cast<uint32_t>((payload / fs) << 14);
    result.mode = ProfileEntry::modeVar;
    return true;
}

bool ProfileCalculator::FixAuto(uint32_t cycleUs, bool fixedSize) {
    if (packDataSize == 0 || packDataCount == 0) return false;
    bool havePrevious = false;
    uint32_t previous = 0;
    for (uint32_t k = 1;; ++k) {
        uint32_t c = cycleUs;
        if (!Fix(c, k, fixedSize)) {
            // More packets than packDataCount add no room.
            if (k >= packDataCount) return false;
            havePrevious = false;
            continue;
        }
        if (result.cycle == cycleUs) return true;
        if (havePrevious && result.cycle == previous) {
            c = cycleUs;
            return Fix(c, k - 1, fixedSize);
        }
        previous = result.cycle;
        havePrevious = true;
    }
}

bool ProfileCalculator::VarAuto(uint32_t cycleUs) {
    if (packDataSize == 0 || packDataCount == 0) return false;
    bool havePrevious = false;
    uint32_t previous = 0;
    for (uint32_t k = 1;; ++k) {
        uint32_t c = cycleUs;
        if (!Var(c, k)) {
            if (k >= packDataCount) return false;
            havePrevious = false;
            continue;
        }
        if (result.cycle == cycleUs) return true;
        if (havePrevious && result.cycle == previous) {
            c = cycleUs;
            return Var(c, k - 1);
        }
        previous = result.cycle;
        havePrevious = true;
    }
}

bool ProfileCalculator::VarASIO(uint32_t bytesPerCycle) {
    const uint64_t bps = bytesPerSecond();
    const uint32_t fs = frameSize();
    if (packDataSize == 0 || packDataCount == 0 || bps == 0 || fs == 0 || bytesPerCycle == 0) return false;

    const uint64_t cycle =
        ceilToUnsigned(microsPerSecond / (static_cast<float>(bps) / static_cast<float>(bytesPerCycle)));
    uint32_t count = 1;
    uint32_t payload = bytesPerCycle;
    while (payload > packDataSize) {
        count *= 2;
        payload /= 2;
        if (count > std::numeric_limits<uint16_t>::max()) return false;
    }
    result.cycle = toCycle(cycle);
    result.count = static_cast<uint16_t>(count);
    result.fixedPayload = payload;
    result.capacity = payload;
    result.framesPerPacket = (payload / fs) << 14;
    result.mode = ProfileEntry::modeVar;
    return true;
}

bool ProfileCalculator::computeAt(uint32_t& cycleUs, bool variable) {
    const bool automatic = (profileFlags & profileFlag::autoCount) != 0 || autoFlag != 0;
    const bool fixedSize = (profileFlags & profileFlag::fixedSize) != 0;
    uint32_t c = cycleUs;
    if (variable) return automatic ? VarAuto(c) : Var(c, 1);
    return automatic ? FixAuto(c, fixedSize) : Fix(c, 1, fixedSize);
}

bool ProfileCalculator::PROFILE() {
    result.cycle = 0;
    if (profileMin == 0 && profileMax == 0 && profileFlags == 0) return false;

    LogLine(6) << "PROFILE min=" << profileMin << " max=" << profileMax << " prof" << profileFlags << " config"
               << format.value() << " PackDataSize" << packDataSize << " PackDataCount" << packDataCount
               << " limitCycle" << limitCycle;

    // Every computation fails without room for data; the searches would never end.
    if (packDataSize == 0 || packDataCount == 0 || bytesPerSecond() == 0) return false;

    const bool variable = (profileFlags & profileFlag::variable) != 0;
    const bool searchUp = (profileFlags & profileFlag::searchUp) != 0;
    bool ok = false;
    if (variable) {
        const auto varLimit = static_cast<uint32_t>(static_cast<double>(static_cast<float>(limitCycle) * margin));
        ok = searchUp ? profileVarUp(varLimit) : profileVarDown(varLimit);
    } else {
        ok = searchUp ? profileFixUp() : profileFixDown();
    }
    return ok;
}

bool ProfileCalculator::profileVarDown(uint32_t lowerBound) {
    uint32_t c = uint32_t{profileMax} * 10;
    if (!computeAt(c, true)) return false;
    const uint32_t cycle = result.cycle;
    if ((profileFlags & profileFlag::unchecked) != 0) {
        if (cycle < lowerBound) return true;   // taken as it is, without the done line
    } else if (cycle < lowerBound || cycle < uint32_t{profileMin} * 10 || cycle > uint32_t{profileMax} * 10) {
        return false;
    }
    LogLine(6) << "PROFILE done";
    return true;
}

bool ProfileCalculator::profileVarUp(uint32_t lowerBound) {
    const bool unchecked = (profileFlags & profileFlag::unchecked) != 0;
    const uint32_t start = uint32_t{profileMin} * 10;
    bool havePrevious = false;
    uint32_t previous = 0;
    for (uint32_t c = start;; c += searchStepUs) {
        if (!computeAt(c, true)) {
            // Only a zero cycle can fail here; a longer one cannot fail the same way.
            if (c != 0) return false;
            continue;
        }
        const uint32_t cycle = result.cycle;
        const bool inRange = uint32_t{profileMin} * 10 <= cycle && cycle <= uint32_t{profileMax} * 10;
        if (cycle >= lowerBound && (unchecked || inRange)) {
            LogLine(6) << "PROFILE done";
            return true;
        }
        if (havePrevious && cycle == previous) return false;
        // Longer requests never give a shorter cycle than one that fitted, so once the
        // sink's maximum is passed no later attempt comes back into range.
        if (!unchecked && cycle > uint32_t{profileMax} * 10) return false;
        previous = cycle;
        havePrevious = true;
        if (!searchMayContinue(start, c)) return false;
    }
}

bool ProfileCalculator::profileFixDown() {
    uint32_t c = uint32_t{profileMax} * 10;
    if (!computeAt(c, false)) return false;
    const uint32_t cycle = result.cycle;
    if (cycle < limitCycle) return false;
    if ((profileFlags & profileFlag::unchecked) == 0 &&
        (cycle < uint32_t{profileMin} * 10 || cycle > uint32_t{profileMax} * 10)) {
        return false;
    }
    LogLine(6) << "PROFILE done";
    return true;
}

bool ProfileCalculator::profileFixUp() {
    const bool unchecked = (profileFlags & profileFlag::unchecked) != 0;
    uint32_t start = uint32_t{profileMin} * 10;
    if (unchecked && limitCycle > start) start = limitCycle;
    bool havePrevious = false;
    uint32_t previous = 0;
    for (uint32_t c = start;; c += searchStepUs) {
        if (!computeAt(c, false)) {
            // A fixed-cycle computation that fails at c >= 1 fails at every cycle.
            if (c != 0) return false;
            continue;
        }
        const uint32_t cycle = result.cycle;
        const bool accepted = unchecked ? cycle >= limitCycle
                                        : cycle >= limitCycle && cycle >= uint32_t{profileMin} * 10;
        if (accepted) {
            LogLine(6) << "PROFILE done";
            return true;
        }
        if (havePrevious && cycle == previous) return false;
        previous = cycle;
        havePrevious = true;
        if (!searchMayContinue(start, c)) return false;
    }
}

bool ProfileCalculator::configTransferAuto(uint32_t cycleUs) {
    LogLine(6) << "configTransferAuto" << cycleUs;
    if (!PROFILE()) {
        LogLine(6) << "configTransferAuto falt";
        if (packDataSize == 0 || packDataCount == 0 || bytesPerSecond() == 0) return false;

        const bool variable = (profileFlags & profileFlag::variable) != 0;
        const bool fixedSize = (profileFlags & profileFlag::fixedSize) != 0;
        const float bound = static_cast<float>(limitCycle) * margin;
        const uint16_t savedCount = packDataCount;
        packDataCount = 0xFFFF;

        const uint32_t start = cycleUs != 0 ? cycleUs : limitCycle;
        bool havePrevious = false;
        uint32_t previous = 0;
        bool found = false;
        for (uint32_t c = start;; c += searchStepUs) {
            const bool ok = variable ? VarAuto(c) : FixAuto(c, fixedSize);
            if (ok && static_cast<float>(result.cycle) >= bound) {
                found = true;
                break;
            }
            if (!ok && c != 0) break;   // no longer cycle can succeed either
            // A shortened cycle that repeats stays the same for every longer request.
            if (ok && havePrevious && result.cycle == previous) break;
            if (ok) {
                previous = result.cycle;
                havePrevious = true;
            }
            if (!searchMayContinue(start, c)) break;
        }
        packDataCount = savedCount;
        if (!found) return false;
    }
    LogLine(6) << "configTransferAuto done";
    return true;
}

void TransferProfiles::setSinkProfile(uint16_t min, uint16_t max, uint16_t flags) {
    calc_.profileMin = min;
    calc_.profileMax = max;
    calc_.profileFlags = flags;
}

void TransferProfiles::load(const ProfileInputs& in, uint32_t limitCycle, uint8_t autoFlag) {
    calc_.format = in.format;
    calc_.packDataSize = in.packDataSize;
    calc_.packDataCount = in.packDataCount;
    calc_.limitCycle = limitCycle;
    calc_.autoFlag = autoFlag;
}

bool TransferProfiles::storeSingle(bool ok) {
    if (!ok) return false;
    table_[0] = calc_.result;
    validCount_ = 1;
    return true;
}

bool TransferProfiles::Fix(const ProfileInputs& in, uint32_t cycleUs, uint32_t countLimit, bool fixedSize) {
    load(in, singleLimitCycle, 0);
    return storeSingle(calc_.Fix(cycleUs, countLimit, fixedSize));
}

bool TransferProfiles::Var(const ProfileInputs& in, uint32_t cycleUs, uint32_t countLimit) {
    load(in, singleLimitCycle, 0);
    return storeSingle(calc_.Var(cycleUs, countLimit));
}

bool TransferProfiles::FixAuto(const ProfileInputs& in, uint32_t cycleUs, bool fixedSize) {
    load(in, singleLimitCycle, 0);
    return storeSingle(calc_.FixAuto(cycleUs, fixedSize));
}

bool TransferProfiles::VarAuto(const ProfileInputs& in, uint32_t cycleUs) {
    load(in, singleLimitCycle, 0);
    return storeSingle(calc_.VarAuto(cycleUs));
}

bool TransferProfiles::VarASIO(const ProfileInputs& in, uint32_t bytesPerCycle) {
    load(in, singleLimitCycle, 0);
    return storeSingle(calc_.VarASIO(bytesPerCycle));
}

bool TransferProfiles::configTransferAuto(const ProfileInputs& in, uint32_t limitUs, uint32_t cycle1,
                                          uint32_t cycle2) {
    LogLine(6) << "configTransferAuto " << " limit" << limitUs << " maxPacketSize" << in.packDataSize
               << " maxPacketCount" << in.packDataCount;

    load(in, limitUs, 1);
    if (!calc_.configTransferAuto(cycle1)) return false;
    const ProfileEntry first = calc_.result;

    load(in, cycle2, 1);
    if (!calc_.configTransferAuto(0)) return false;

    table_[0] = first;
    table_[1] = calc_.result;
    validCount_ = 2;
    LogLine(6) << "configTransferAuto done";
    return true;
}

}  // namespace VELMORA
