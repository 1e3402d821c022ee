#pragma once
// The sink's clock feedback: decoding one status message's values into a sample,
// averaging the last samples and turning the average into the correction `corr`
// (14 fraction bits) that trims the cycle time or the frames per packet.

#include <array>
#include <cstdint>

namespace VELMORA {

struct FeedbackSample {
    // 1: A with bit 15 clear; 2: A with bit 15 set; 3: B against C; 0: no value.
    uint32_t kind = 0;
    int16_t value = 0;
};

FeedbackSample decodeFeedback(uint16_t a, uint16_t b, uint16_t c);

class FeedbackFilter {
public:
    static constexpr uint32_t maxDepth = 8;
    static constexpr int32_t corrMin = -1638;  // -10 %
    static constexpr int32_t corrMax = 491;    // +3 %

    // depth: samples averaged, 1..8 (clamped).
    explicit FeedbackFilter(uint32_t depth = 1);

    // Adds a sample and updates the correction; returns it.
    int16_t push(int16_t sample);

    int32_t average() const { return previousAverage_; }
    int16_t corr() const { return corr_; }
    uint32_t depth() const { return depth_; }

private:
    std::array<int16_t, maxDepth> history_{};
    uint32_t depth_;
    uint32_t next_ = 0;
    int32_t previousAverage_ = 0;
    int16_t corr_ = 0;
};

// A fixed-payload profile trims its cycle: cycle - corr x cycle / 2^14.
uint32_t trimmedCycle(uint32_t cycleUs, int16_t corr);
// A fixed-cycle profile trims its frames per packet (18.14): f + f x corr / 2^14.
uint32_t trimmedFrames(uint32_t framesPerPacket, int16_t corr);

}  // namespace VELMORA
