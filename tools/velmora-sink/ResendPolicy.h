#pragma once
// Decides when the sink asks for missing packets: a hole must stay open for a short while
// (reordered packets fill it by themselves), and a request that brought nothing is
// repeated only after a longer pause.

#include <cstdint>
#include <optional>

namespace sink {

class ResendPolicy {
public:
    ResendPolicy(uint32_t delayUs, uint32_t retryUs) : delayUs_(delayUs), retryUs_(retryUs) {}

    // firstMissing: the oldest hole now (none when the stream is complete); nowUs: the
    // receiver's clock. True when a resend request for firstMissing should go out now.
    bool due(std::optional<uint16_t> firstMissing, uint64_t nowUs);

    uint64_t requests() const { return requests_; }

private:
    uint32_t delayUs_, retryUs_;
    std::optional<uint16_t> hole_;   // the hole being watched
    uint64_t holeSince_ = 0;
    bool asked_ = false;
    uint64_t askedAt_ = 0;
    uint64_t requests_ = 0;
};

}  // namespace sink
