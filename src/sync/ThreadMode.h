#pragma once
// Thread mode flags of the Sync worker and the decisions its prologue and its
// waits between bursts take from them. Pure: the worker applies the results.

#include <cstdint>
#include <optional>
#include <string>

namespace VELMORA {

namespace threadmode {
constexpr uint32_t critical = 0x001;        // time-critical priority instead of highest
constexpr uint32_t noShortSleep = 0x002;    // spin when at most 100 us remain
constexpr uint32_t noSleep4Core = 0x004;    // never wait between bursts (3 or more cores)
constexpr uint32_t socketNoBlock = 0x008;   // control socket non-blocking from open on
constexpr uint32_t occupied = 0x010;        // pin the worker, move the process away
constexpr uint32_t feedbackMask = 0x0E0;    // bits 5..7: feedback depth - 1
constexpr uint32_t noFastFeedback = 0x100;  // no lateness debt
constexpr uint32_t yieldOnce = 0x200;       // yield once per wait before a burst
constexpr uint32_t yieldAlways = 0x400;     // yield on every pass before a burst
constexpr uint32_t noSleepForce = 0x800;    // never wait between bursts, on any machine
}  // namespace threadmode

// Number of feedback samples averaged, 1..8, from bits 5..7.
constexpr uint32_t feedbackDepth(uint32_t mode) { return ((mode & threadmode::feedbackMask) >> 5) + 1; }

// What the worker's prologue makes of the flags on this machine.
struct ThreadModeDecision {
    uint32_t mode = 0;   // the flags after the prologue's adjustments
    bool lowCpu = false; // start on the last profile
};

// cores: the machine's processor cores; firstCycleUs: profile 0's cycle;
// latency: granted latency in 100 us units.
ThreadModeDecision decideThreadMode(uint32_t mode, uint32_t cores, uint32_t firstCycleUs,
                                    uint16_t latency);

// The priority level (platform/Thread.h levels) the worker raises itself to:
// real-time with CRITICAL, else high; none in a real-time process, whose
// threads keep the priority they have.
std::optional<int32_t> workerPriorityLevel(uint32_t mode, int32_t processLevel);

// The prologue's log line ("wth start ...") for the decided flags.
std::string threadModeLogText(uint32_t mode, uint32_t cores, uint32_t infoCycleUs);

// Whether a burst of `packets` (the profile sends `count` per cycle) switches the socket to
// non-blocking for its first packets and back to blocking before its last: bursts of two or
// more, unless SOCKETNOBLOCK. A burst that catches up (more than `count`) leaves the mode
// alone: the send's blocking fallback already absorbs a full send buffer, and under Wine each
// switch is a request to its server, four per burst, which held the largest formats below
// their byte rate when every burst caught up.
constexpr bool burstSwitchesBlocking(uint32_t mode, uint32_t packets, uint32_t count) {
    return !(mode & threadmode::socketNoBlock) && packets >= 2 && packets <= count;
}

// One pass of the wait before a burst: whether to yield first, then whether to
// spin (check the clock again) or wait on the socket for the time left.
class BurstWaitPolicy {
public:
    explicit BurstWaitPolicy(uint32_t mode) : mode_(mode) {}

    struct Step {
        bool yield = false;
        bool spin = false;
    };
    Step next(uint32_t remainingUs);
    // Whether the thread spins instead of waiting with remainingUs left.
    bool spins(uint32_t remainingUs) const;
    // A burst went out: a yield-once mode may yield again.
    void burstSent() { yielded_ = false; }

private:
    uint32_t mode_;
    bool yielded_ = false;
};

}  // namespace VELMORA
