#include "BurstTiming.h"

#include <algorithm>
#include <cmath>

namespace sink {

void BurstTiming::onPacket(uint64_t nowUs, bool lastOfBurst) {
    if (!inBurst_) {
        if (haveStart_ && intervals_.size() < intervals_.capacity())
            intervals_.push_back(static_cast<uint32_t>(std::min<uint64_t>(nowUs - lastStart_, UINT32_MAX)));
        haveStart_ = true;
        lastStart_ = nowUs;
        inBurst_ = true;
    }
    if (lastOfBurst) inBurst_ = false;
}

BurstSummary BurstTiming::summary(double expectedCycleUs) const {
    BurstSummary s;
    s.bursts = haveStart_ ? intervals_.size() + 1 : 0;
    if (intervals_.empty()) return s;
    std::vector<uint32_t> sorted = intervals_;
    std::sort(sorted.begin(), sorted.end());
    double sum = 0;
    for (uint32_t v : sorted) sum += v;
    s.meanUs = sum / static_cast<double>(sorted.size());
    auto at = [&](double q) {
        const size_t i = std::min(sorted.size() - 1, static_cast<size_t>(q * static_cast<double>(sorted.size() - 1) + 0.5));
        return static_cast<double>(sorted[i]);
    };
    s.p50Us = at(0.50);
    s.p99Us = at(0.99);
    s.cycleUs = expectedCycleUs > 0 ? expectedCycleUs : s.meanUs;
    s.maxDeviationUs = std::max(std::fabs(sorted.front() - s.cycleUs), std::fabs(sorted.back() - s.cycleUs));
    return s;
}

}  // namespace sink
