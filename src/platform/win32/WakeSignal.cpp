// Windows: SleepConditionVariableSRW waits on the condition's address. Unlike an event or a
// semaphore it needs no kernel object, so waking costs no system call when nobody waits, and
// under Wine neither call becomes a request to its server (where winpthreads' condition
// variable, a semaphore, made two per wake-up and rounded 1 ms timeouts up to 2 ms).

#include "platform/WakeSignal.h"

#include <windows.h>

namespace platform {

struct WakeSignal::State {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE condition = CONDITION_VARIABLE_INIT;
};

WakeSignal::WakeSignal() : state_(std::make_unique<State>()) {}
WakeSignal::~WakeSignal() = default;

void WakeSignal::waitFor(uint32_t milliseconds) {
    AcquireSRWLockExclusive(&state_->lock);
    SleepConditionVariableSRW(&state_->condition, &state_->lock, milliseconds, 0);
    ReleaseSRWLockExclusive(&state_->lock);
}

void WakeSignal::wakeAll() { WakeAllConditionVariable(&state_->condition); }

}  // namespace platform
