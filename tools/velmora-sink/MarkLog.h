#pragma once
// Arrival times of latency marks (see common/BlockMark.h): the payload in stream order, each
// byte with the arrival time of the datagram that carried it; a mark is a run of at least
// markRunBytes mark bytes and is timed at the datagram where the run began.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sink {

class MarkLog {
public:
    void onPayload(std::span<const uint8_t> payload, uint64_t arrivalUs);
    const std::vector<uint64_t>& arrivals() const { return arrivals_; }
    // One arrival (us, the sink's monotonic clock) per line.
    bool write(const std::string& path) const;

private:
    std::vector<uint64_t> arrivals_;
    size_t run_ = 0;
    uint64_t runStartUs_ = 0;
};

}  // namespace sink
