// Linux: ppoll is already precise to the microsecond, but the kernel lets a normal thread's
// timers expire up to its timer slack late (50 us by default). A pacing thread asks for 1 us.

#include "platform/DeadlineWait.h"

#include <pthread.h>
#include <sys/prctl.h>

namespace platform {

struct DeadlineWait::State {
    SocketHandle socket = invalidSocket;
    long previousSlackNs = -1;   // the preparing thread's own, restored on that thread only
    pthread_t thread{};
};

namespace {
constexpr unsigned long pacingSlackNs = 1000;
}

DeadlineWait::DeadlineWait() = default;
DeadlineWait::~DeadlineWait() { release(); }

void DeadlineWait::prepare(SocketHandle socket) {
    release();
    state_ = std::make_unique<State>();
    state_->socket = socket;
    state_->thread = pthread_self();
    if (plainWaitsOnly) return;
    const int previous = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    if (previous > 0 && prctl(PR_SET_TIMERSLACK, pacingSlackNs, 0, 0, 0) == 0) state_->previousSlackNs = previous;
}

void DeadlineWait::release() {
    if (!state_) return;
    if (state_->previousSlackNs > 0 && pthread_equal(state_->thread, pthread_self()))
        prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(state_->previousSlackNs), 0, 0, 0);
    state_.reset();
}

bool DeadlineWait::prepared() const { return state_ != nullptr; }

int DeadlineWait::wait(uint32_t timeoutUs, bool) {
    return waitReadable(state_->socket, timeoutUs / 1000000u, timeoutUs % 1000000u);
}

bool DeadlineWait::seesSocketAtStart(uint32_t) const { return true; }

const char* DeadlineWait::method() const {
    return state_ && state_->previousSlackNs > 0 ? "ppoll, 1 us timer slack" : "ppoll";
}

}  // namespace platform
