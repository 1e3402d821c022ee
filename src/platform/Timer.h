#pragma once
// The multimedia timer: system timer resolution and the millisecond tick count.

#include <cstdint>

namespace platform {

// Asks the system for a timer resolution of ms milliseconds (timeBeginPeriod). Every
// successful call is undone by endTimerResolution with the same value.
bool beginTimerResolution(uint32_t ms);
bool endTimerResolution(uint32_t ms);

// Milliseconds since the system started, wrapping at 2^32 (timeGetTime).
uint32_t tickMilliseconds();

}  // namespace platform
