// The pure tables of thread scheduling, shared by every backend.

#include "platform/Thread.h"

namespace platform {

int threadPriorityForLevel(int32_t level) {
    switch (level) {
        case priorityLevelRealtime: return 15;   // THREAD_PRIORITY_TIME_CRITICAL
        case priorityLevelHigh: return 2;        // THREAD_PRIORITY_HIGHEST
        case priorityLevelLow: return -15;       // THREAD_PRIORITY_IDLE
        default: return 0;                       // THREAD_PRIORITY_NORMAL
    }
}

int32_t levelForPriorityClass(uint32_t priorityClass) {
    switch (priorityClass) {
        case 0x100: return priorityLevelRealtime;   // REALTIME_PRIORITY_CLASS
        case 0x80:                                  // HIGH_PRIORITY_CLASS
        case 0x8000: return priorityLevelHigh;      // ABOVE_NORMAL_PRIORITY_CLASS
        case 0x4000:                                // BELOW_NORMAL_PRIORITY_CLASS
        case 0x40: return priorityLevelLow;         // IDLE_PRIORITY_CLASS
        default: return priorityLevelNormal;        // NORMAL_PRIORITY_CLASS, unknown, failed
    }
}

uint64_t affinityMaskForProcessor(uint32_t n) { return uint64_t{1} << (n % 64); }

}  // namespace platform
