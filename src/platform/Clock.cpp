// The pure side of the microsecond clock: counter conversion and wrap-around comparisons.

#include "platform/Clock.h"

namespace platform {

uint32_t counterToMicroseconds(uint64_t counter, uint64_t frequency) {
    if (frequency == 0) return 0;
    // Whole seconds and the remainder separately: the plain product counter * 10^6 overflows
    // 64 bits after a few days at common counter frequencies. Only the low 32 bits are kept, so
    // the whole-second part may wrap freely; the remainder part is exact (below 10^6).
    const uint64_t seconds = counter / frequency;
    const uint64_t remainder = counter % frequency;
    const uint64_t fraction =
        static_cast<uint64_t>(static_cast<unsigned __int128>(remainder) * 1000000u / frequency);
    return static_cast<uint32_t>(seconds * 1000000u + fraction);
}

uint32_t nowMicroseconds() {
    const uint64_t frequency = performanceFrequency();
    return counterToMicroseconds(performanceCounter(), frequency);
}

int compareTime(uint32_t a, uint32_t b) {
    constexpr uint32_t half = 0x80000000u;
    if (a == b) return 0;
    if (a < b) return (b - a < half) ? -1 : 1;
    return (a - b >= half) ? -1 : 1;
}

bool isEarlier(uint32_t a, uint32_t b) { return compareTime(a, b) < 0; }
bool isLater(uint32_t a, uint32_t b) { return compareTime(a, b) > 0; }

}  // namespace platform
