#include "driver/SessionRecovery.h"

#include <algorithm>

#include "log/LogLine.h"

using VELMORA::StreamEnd;

namespace {

long long milliseconds(SessionRecovery::Clock::duration d) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

}  // namespace

const char* streamEndText(StreamEnd why) {
    switch (why) {
    case StreamEnd::none: return "";
    case StreamEnd::sinkSilent: return "sink stopped answering";
    case StreamEnd::sinkClosed: return "sink closed the stream";
    case StreamEnd::sinkRefused: return "sink did not accept the stream";
    case StreamEnd::networkError: return "network error";
    case StreamEnd::bufferTimeout: return "buffer timeout";
    case StreamEnd::resendOutOfRange: return "sink lost the stream";
    case StreamEnd::workerError: return "stream worker failed";
    }
    return "stream ended";
}

SessionRecovery& SessionRecovery::process() {
    static SessionRecovery record;
    return record;
}

std::chrono::milliseconds SessionRecovery::backoff(uint32_t failures) {
    if (failures <= 1) return std::chrono::milliseconds(0);
    const uint32_t doublings = std::min<uint32_t>(failures - 2, 4);
    return std::min(std::chrono::milliseconds(1000 << doublings), maxBackoff);
}

SessionRecovery::Clock::time_point SessionRecovery::streamLost(StreamEnd why, Clock::time_point now) {
    uint32_t failures;
    Clock::time_point next;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!outage_) {
            if (now - recoveredAt_ >= stableAfter) failures_ = 0;
            outage_ = true;
            began_ = now;
        }
        failures = ++failures_;
        ++ends_;
        next = nextAttempt_ = now + backoff(failures);
    }
    LogLine(4) << "session end: " << streamEndText(why) << " (failure " << failures << ", reset request in "
               << milliseconds(next - now) << " ms)";
    return next;
}

void SessionRecovery::attemptFailed(Clock::time_point now) {
    uint32_t failures;
    Clock::time_point next;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!outage_) return;
        failures = ++failures_;
        next = nextAttempt_ = now + backoff(failures);
    }
    LogLine(4) << "sink not reached (failure " << failures << ", next try in " << milliseconds(next - now) << " ms)";
}

SessionRecovery::Clock::duration SessionRecovery::waitBeforeAttempt(Clock::time_point now) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return outage_ && now < nextAttempt_ ? nextAttempt_ - now : Clock::duration::zero();
}

void SessionRecovery::recovered(Clock::time_point now) {
    uint32_t failures;
    Clock::time_point began;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!outage_) return;
        outage_ = false;
        recoveredAt_ = now;
        ++recoveries_;
        failures = failures_;
        began = began_;
    }
    LogLine(6) << "session recovered after " << milliseconds(now - began) << " ms (" << failures << " failures)";
}

uint64_t SessionRecovery::sessionEnds() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ends_;
}

uint64_t SessionRecovery::recoveries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return recoveries_;
}
