// The performance counter and the system clock of Windows.

#include "platform/Clock.h"

#include <windows.h>

#include <time.h>

namespace platform {

uint64_t performanceCounter() {
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return static_cast<uint64_t>(counter.QuadPart);
}

uint64_t performanceFrequency() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return static_cast<uint64_t>(frequency.QuadPart);
}

int64_t secondsSince1970() {
    constexpr uint64_t unixEpochIn100ns = 116444736000000000ull;   // 1601-01-01 to 1970-01-01
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const uint64_t since1601 = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<int64_t>((since1601 - unixEpochIn100ns) / 10000000u);
}

std::tm localCalendarTime(int64_t seconds) {
    std::tm result{};
    const __time64_t value = static_cast<__time64_t>(seconds);
    if (_localtime64_s(&result, &value) != 0) return std::tm{};
    return result;
}

}  // namespace platform
