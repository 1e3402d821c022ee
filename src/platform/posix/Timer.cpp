// The kernel's timers are already fine-grained, so the resolution requests have nothing to do;
// the tick count comes from the monotonic clock.

#include "platform/Timer.h"

#include <time.h>

namespace platform {

bool beginTimerResolution(uint32_t) { return true; }
bool endTimerResolution(uint32_t) { return true; }

uint32_t tickMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

}  // namespace platform
