#pragma once
// A model of the sink's playback clock and the feedback it sends when the driver asks for
// info. The model drains a virtual buffer at the nominal frame rate corrected by the
// clock's offset in ppm; the driver's frames fill it. The feedback says, in units of
// 2^-14, how much too fast (positive) or too slow (negative) the driver is:
//   Level:  A = 8192 + r/2                (the driver reads s = (A - 8192) * 2)
//   Signed: A = 0x8000 | r (15-bit signed)
//   Ratio:  B and C, frames received and frames played since the last answer, scaled so
//           that C = 16384 (the driver reads s = ((B - C) << 14) / C)
// where r is the buffer's excess over its level at the first answer, expressed as a share
// of one second of audio (1 ms too much gives r = 16).

#include "SinkConfig.h"

#include <cstdint>

namespace sink {

struct Feedback {
    int16_t a = 0;
    uint16_t b = 0;
    uint16_t c = 0;
};

class ClockFeedback {
public:
    ClockFeedback(FeedbackKind kind, double ppm) : kind_(kind), ppm_(ppm) {}

    // Called with each in-order run of frames the stream delivers.
    void onFrames(uint64_t frames, uint64_t nowUs);
    // The stream's nominal frame rate, once known.
    void setRate(double framesPerSecond) { rate_ = framesPerSecond; }

    // The answer to an info request at nowUs.
    Feedback sample(uint64_t nowUs);

    // The buffer's level now, in frames (received minus played).
    double level(uint64_t nowUs) const;
    // The last sample as the driver decodes it (2^-14 units).
    int32_t lastSample() const { return lastSample_; }

private:
    double played(uint64_t nowUs) const;

    FeedbackKind kind_;
    double ppm_;
    double rate_ = 0.0;
    bool started_ = false;
    uint64_t startUs_ = 0;
    uint64_t received_ = 0;
    bool haveTarget_ = false;
    double target_ = 0.0;
    uint64_t lastReceived_ = 0;
    double lastPlayed_ = 0.0;
    int32_t lastSample_ = 0;
};

}  // namespace sink
