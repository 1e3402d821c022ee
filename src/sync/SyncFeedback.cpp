#include "sync/SyncFeedback.h"

#include <algorithm>

namespace VELMORA {

FeedbackSample decodeFeedback(uint16_t a, uint16_t b, uint16_t c) {
    FeedbackSample sample;
    if (a != 0 && !(a & 0x8000)) {
        // Offset value around 8192, doubled.
        sample.kind = 1;
        sample.value = static_cast<int16_t>((static_cast<int32_t>(a) - 8192) * 2);
    } else if (a & 0x8000) {
        // Signed 15-bit value: bit 14 is the sign.
        sample.kind = 2;
        uint16_t low = a & 0x7FFF;
        sample.value = static_cast<int16_t>(low | ((low & 0x4000) << 1));
    } else if (c != 0) {
        // Relative difference of two counts, 14 fraction bits.
        sample.kind = 3;
        int32_t difference = static_cast<int32_t>(b) - static_cast<int32_t>(c);
        sample.value = static_cast<int16_t>((difference * 16384) / static_cast<int32_t>(c));
    }
    return sample;
}

FeedbackFilter::FeedbackFilter(uint32_t depth) : depth_(std::clamp<uint32_t>(depth, 1, maxDepth)) {}

int16_t FeedbackFilter::push(int16_t sample) {
    history_[next_] = sample;
    next_ = (next_ + 1) % maxDepth;
    int32_t sum = 0;
    for (uint32_t i = 1; i <= depth_; ++i) sum += history_[(next_ + maxDepth - i) % maxDepth];
    int32_t average = sum / static_cast<int32_t>(depth_);
    // Proportional part plus a damping part on the change of the average.
    int32_t corr = corr_ - ((average * 655) >> 14) - (((average - previousAverage_) * 1638) >> 14);
    corr_ = static_cast<int16_t>(std::clamp(corr, corrMin, corrMax));
    previousAverage_ = average;
    return corr_;
}

uint32_t trimmedCycle(uint32_t cycleUs, int16_t corr) {
    int64_t delta = (static_cast<int64_t>(corr) * cycleUs) >> 14;
    return static_cast<uint32_t>(static_cast<int64_t>(cycleUs) - delta);
}

uint32_t trimmedFrames(uint32_t framesPerPacket, int16_t corr) {
    int64_t delta = (static_cast<int64_t>(framesPerPacket) * corr) >> 14;
    return static_cast<uint32_t>(static_cast<int64_t>(framesPerPacket) + delta);
}

}  // namespace VELMORA
