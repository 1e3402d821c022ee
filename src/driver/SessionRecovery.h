#pragma once
// What the process knows of streams that ended by themselves and of their recovery. It
// outlives driver objects, because hosts answer a reset request by destroying the driver
// object and making a new one: when the current outage began, how often reaching the sink
// has failed since, and so when the next try may go out. It writes the log line of every
// session end and every recovery, and counts both.
//
// Back-off: the first try after a lost stream goes out at once; after each further failure
// (init could not reach the sink, or the new stream was lost again) the next try waits 1 s,
// 2 s, 4 s, 8 s, then 10 s each time. A stream that has played for stableAfter before it is
// lost starts the sequence over: twice the usual info time-out (1 s), so a sink that accepts streams and
// then never answers still backs off, while one that played for seconds is asked for at once.

#include <chrono>
#include <cstdint>
#include <mutex>

#include "sync/Sync.h"

class SessionRecovery {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds maxBackoff{10000};
    static constexpr std::chrono::seconds stableAfter{2};

    // The one record of the process.
    static SessionRecovery& process();

    // A stream ended by itself: logs the end with its cause and returns when the host may
    // be asked to reset.
    Clock::time_point streamLost(VELMORA::StreamEnd why, Clock::time_point now);
    // Reaching the sink again failed: the next try waits longer. Nothing outside an outage.
    void attemptFailed(Clock::time_point now);
    // How long a try to reach the sink must still wait; zero outside an outage.
    Clock::duration waitBeforeAttempt(Clock::time_point now) const;
    // The stream plays again: logs the recovery with the time it took and ends the outage.
    void recovered(Clock::time_point now);

    uint64_t sessionEnds() const;
    uint64_t recoveries() const;

    // The wait before the next try after the n-th failure of an outage (n >= 1).
    static std::chrono::milliseconds backoff(uint32_t failures);

private:
    mutable std::mutex mutex_;
    bool outage_ = false;
    uint32_t failures_ = 0;   // of the current back-off sequence
    Clock::time_point began_{}, nextAttempt_{}, recoveredAt_{};
    uint64_t ends_ = 0, recoveries_ = 0;
};

// What getErrorMessage tells the host after a stream ended for `why`.
const char* streamEndText(VELMORA::StreamEnd why);
