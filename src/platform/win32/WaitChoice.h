#pragma once
// Which way of waiting the Windows paced wait takes, from the median overshoot (us) its
// probes measured for the high-resolution timer and for NtDelayExecution (~0u: not offered).

#include <cstdint>

namespace platform {

enum class PacedWaitKind { select, timerAndEvent, selectThenSleep };

// Median overshoot a precise wait may have: a wait on a 1 ms tick overshoots a probe by 700 us
// or more, a fine-grained one by tens of microseconds, by a few hundred on a busy machine.
constexpr uint32_t preciseEnoughUs = 400;

// The more precise of the two (the timer on a tie: it watches the socket as well), if it is
// precise enough; select otherwise. Taking the first precise one in order would keep a timer
// that runs on a millisecond clock (Wine's server) whenever its probes passed by chance.
constexpr PacedWaitKind choosePacedWait(uint32_t timerLateUs, uint32_t sleepLateUs) {
    const uint32_t late = timerLateUs < sleepLateUs ? timerLateUs : sleepLateUs;
    if (late > preciseEnoughUs) return PacedWaitKind::select;
    return timerLateUs <= sleepLateUs ? PacedWaitKind::timerAndEvent : PacedWaitKind::selectThenSleep;
}

// Watches the timer once it is chosen. Under Wine its timeouts run on the server's millisecond
// clock, but while the server is busy with other requests (as when Wine has just started) it
// looks at them more often and the probes pass; the timer then ends nearly every wait on a
// tick for the rest of the stream. Of each run of `window` waits the timer ended, more than
// half late by more than preciseEnoughUs give it up.
class TimerWatch {
public:
    static constexpr uint32_t window = 16;

    // Counts one wait the timer ended; true when the timer is to be given up.
    bool coarseAfter(uint32_t overshootUs) {
        coarse_ += overshootUs > preciseEnoughUs ? 1u : 0u;
        if (++seen_ < window) return false;
        const bool coarse = 2 * coarse_ > window;
        seen_ = coarse_ = 0;
        return coarse;
    }

private:
    uint32_t seen_ = 0, coarse_ = 0;
};

}  // namespace platform
