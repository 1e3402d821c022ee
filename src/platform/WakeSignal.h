#pragma once
// A wake-up call between two threads: one waits (for at most some milliseconds), another
// wakes every waiter. Nothing is remembered: a call made while nobody waits is lost, so a
// waiter checks its condition before each wait and relies on the timeout for a call that
// came in between.
//
// Each backend takes the system's cheapest wait: on Windows the slim reader/writer lock and
// condition variable, which wait on an address without a kernel object (and under Wine
// without a request to its server), on POSIX a mutex and condition variable.

#include <cstdint>
#include <memory>

namespace platform {

class WakeSignal {
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // Returns once woken or when the time has run out (or spuriously, earlier).
    void waitFor(uint32_t milliseconds);
    // Wakes every thread waiting now. Never blocks for long: no lock is held while waiting.
    void wakeAll();

    struct State;

private:
    std::unique_ptr<State> state_;   // made once, with the object
};

}  // namespace platform
