// The monotonic clock presented as a performance counter of 1 GHz; the wall clock and local
// time through the C library.

#include "platform/Clock.h"

#include <time.h>

namespace platform {

uint64_t performanceCounter() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

uint64_t performanceFrequency() { return 1000000000u; }

int64_t secondsSince1970() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const int64_t hundredNanoseconds = static_cast<int64_t>(now.tv_sec) * 10000000 + now.tv_nsec / 100;
    return hundredNanoseconds / 10000000;
}

std::tm localCalendarTime(int64_t seconds) {
    std::tm result{};
    const time_t value = static_cast<time_t>(seconds);
    if (!localtime_r(&value, &result)) return std::tm{};
    return result;
}

}  // namespace platform
