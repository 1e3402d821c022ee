#include "BurstTiming.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sink {

namespace {

double quantile(const std::vector<double>& sorted, double q) {
    if (sorted.empty()) return 0;
    return sorted[std::min(sorted.size() - 1, static_cast<size_t>(q * static_cast<double>(sorted.size() - 1) + 0.5))];
}

}  // namespace

void BurstTiming::onPacket(uint64_t nowUs, bool lastOfBurst, uint32_t payloadBytes) {
    if (!inBurst_) {
        if (count_ == 0) firstStart_ = nowUs;
        lastStart_ = nowUs;
        ++count_;
        if (bursts_.size() < bursts_.capacity()) bursts_.push_back({nowUs, 0, 0});
        inBurst_ = true;
    }
    if (bursts_.size() == count_) {
        ++bursts_.back().packets;
        bursts_.back().bytes += payloadBytes;
    }
    if (lastOfBurst) inBurst_ = false;
}

BurstSummary BurstTiming::summary(double expectedCycleUs) const {
    BurstSummary s;
    s.bursts = count_;
    if (count_ < 2) return s;
    s.meanUs = static_cast<double>(lastStart_ - firstStart_) / static_cast<double>(count_ - 1);
    s.cycleUs = expectedCycleUs > 0 ? expectedCycleUs : s.meanUs;

    std::vector<double> intervals, deviations, lateness;
    std::vector<uint32_t> packets;
    double deadline = static_cast<double>(bursts_.front().startUs);
    for (size_t i = 0; i < bursts_.size(); ++i) {
        const double start = static_cast<double>(bursts_[i].startUs);
        packets.push_back(bursts_[i].packets);
        if (i > 0) {
            intervals.push_back(start - static_cast<double>(bursts_[i - 1].startUs));
            deviations.push_back(std::fabs(intervals.back() - s.cycleUs));
        }
        // The earliest arrivals mark the deadlines: one that comes before its deadline moves it.
        const double late = std::max(0.0, start - deadline);
        lateness.push_back(late);
        deadline = late >= s.cycleUs ? start + s.cycleUs : std::min(deadline, start) + s.cycleUs;
    }
    std::sort(intervals.begin(), intervals.end());
    std::sort(deviations.begin(), deviations.end());
    std::sort(lateness.begin(), lateness.end());
    std::nth_element(packets.begin(), packets.begin() + static_cast<long>(packets.size() / 2), packets.end());
    s.usualPackets = packets[packets.size() / 2];
    for (const Burst& b : bursts_) s.oversized += b.packets > s.usualPackets ? 1 : 0;
    s.p50Us = quantile(intervals, 0.50);
    s.p99Us = quantile(intervals, 0.99);
    s.maxDeviationUs = deviations.back();
    s.p99DeviationUs = quantile(deviations, 0.99);
    if (expectedCycleUs > 0) {
        s.latenessP50Us = quantile(lateness, 0.50);
        s.latenessP99Us = quantile(lateness, 0.99);
        s.latenessMaxUs = lateness.back();
    }
    return s;
}

bool BurstTiming::writeLog(const std::string& path) const {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    for (const Burst& b : bursts_)
        std::fprintf(f, "%llu %u %u\n", static_cast<unsigned long long>(b.startUs), b.packets, b.bytes);
    return std::fclose(f) == 0;
}

}  // namespace sink
