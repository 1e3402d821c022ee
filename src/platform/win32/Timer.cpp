// The multimedia timer of Windows (winmm).

#include "platform/Timer.h"

#include <windows.h>

#include <mmsystem.h>

namespace platform {

bool beginTimerResolution(uint32_t ms) { return timeBeginPeriod(ms) == TIMERR_NOERROR; }
bool endTimerResolution(uint32_t ms) { return timeEndPeriod(ms) == TIMERR_NOERROR; }
uint32_t tickMilliseconds() { return timeGetTime(); }

}  // namespace platform
