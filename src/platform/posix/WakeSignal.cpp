// POSIX: a mutex and condition variable (a futex wait on Linux).

#include "platform/WakeSignal.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

struct WakeSignal::State {
    std::mutex lock;
    std::condition_variable condition;
};

WakeSignal::WakeSignal() : state_(std::make_unique<State>()) {}
WakeSignal::~WakeSignal() = default;

void WakeSignal::waitFor(uint32_t milliseconds) {
    std::unique_lock<std::mutex> hold(state_->lock);
    state_->condition.wait_for(hold, std::chrono::milliseconds(milliseconds));
}

void WakeSignal::wakeAll() { state_->condition.notify_all(); }

}  // namespace platform
