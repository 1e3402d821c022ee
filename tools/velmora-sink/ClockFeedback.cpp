#include "ClockFeedback.h"

#include <algorithm>
#include <cmath>

namespace sink {

void ClockFeedback::onFrames(uint64_t frames, uint64_t nowUs) {
    if (!started_) {   // playback starts with the first frames
        started_ = true;
        startUs_ = nowUs;
    }
    received_ += frames;
}

double ClockFeedback::played(uint64_t nowUs) const {
    if (!started_ || nowUs <= startUs_) return 0.0;
    return static_cast<double>(nowUs - startUs_) * 1e-6 * rate_ * (1.0 + ppm_ * 1e-6);
}

double ClockFeedback::level(uint64_t nowUs) const { return static_cast<double>(received_) - played(nowUs); }

Feedback ClockFeedback::sample(uint64_t nowUs) {
    Feedback f;
    if (kind_ == FeedbackKind::None || rate_ <= 0.0 || !started_) return f;
    const double lvl = level(nowUs);
    if (!haveTarget_) {
        haveTarget_ = true;
        target_ = lvl;
    }
    const double r = std::clamp((lvl - target_) / rate_ * 16384.0, -16384.0, 16383.0);
    const double p = played(nowUs);
    switch (kind_) {
    case FeedbackKind::Level: {
        const long half = std::clamp(std::lround(r / 2.0), -8191L, 8191L);   // A stays in 1..16383
        f.a = static_cast<int16_t>(8192 + half);
        lastSample_ = static_cast<int32_t>(half * 2);
        break;
    }
    case FeedbackKind::Signed: {
        const long v = std::clamp(std::lround(r), -16384L, 16383L);
        f.a = static_cast<int16_t>(static_cast<uint16_t>(0x8000u | (static_cast<uint16_t>(v) & 0x7FFFu)));
        lastSample_ = static_cast<int32_t>(v);
        break;
    }
    case FeedbackKind::Ratio: {
        const double got = static_cast<double>(received_ - lastReceived_);
        const double gone = p - lastPlayed_;
        if (gone > 0.0) {
            // Interval rate error plus the level's excess, so that the driver also drains
            // what piled up earlier.
            const double rel = std::clamp((got - gone) / gone * 16384.0 + r, -16383.0, 32767.0 - 16384.0);
            f.c = 16384;
            f.b = static_cast<uint16_t>(std::lround(16384.0 + rel));
            lastSample_ = ((static_cast<int32_t>(f.b) - f.c) << 14) / f.c;
        }
        break;
    }
    case FeedbackKind::None:
        break;
    }
    lastReceived_ = received_;
    lastPlayed_ = p;
    return f;
}

}  // namespace sink
