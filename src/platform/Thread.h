#pragma once
// Scheduling of the calling thread and of the process: four priority levels, processor
// pinning, the processor core count, sleeping and yielding.
//
// Priority levels: 0 real-time, 1 high (the Windows THREAD_PRIORITY_HIGHEST, used by the
// buffer worker and the Sync worker), 2 normal, 3 low.

#include <cstdint>

namespace platform {

constexpr int32_t priorityLevelRealtime = 0;
constexpr int32_t priorityLevelHigh = 1;
constexpr int32_t priorityLevelNormal = 2;
constexpr int32_t priorityLevelLow = 3;

// Sets the calling thread's priority for a level (any other level means normal).
// False when the system refused (e.g. no privilege to raise priority outside Windows).
bool setThreadPriorityLevel(int32_t level);

// The level of the current process's priority class (normal when it cannot be read).
int32_t processPriorityLevel();

// Pins the calling thread to processor n mod 64 and moves the rest of the process to the
// other processors (that second step may fail silently). False when the thread's pinning fails.
bool pinToProcessor(uint32_t n);

// Processor cores (not logical processors); 0 when they cannot be counted.
uint32_t coreCount();

// The Windows thread priority the calling thread runs at (15, 2, 0, -15 ... as set above).
int currentThreadPriority();

// The processor the calling thread runs on right now; -1 when the system cannot say.
int currentProcessor();

// Processor time the calling thread has used (user and system), in microseconds.
uint64_t threadCpuMicroseconds();

// Suspends the calling thread for at least ms milliseconds.
void sleepMilliseconds(uint32_t ms);

// Gives the rest of the calling thread's time slice away (a zero-length sleep).
void yieldProcessor();

// --- The tables behind the calls above (pure, the same on every system). ---

// The Windows thread priority of a level: 15, 2, 0, -15; 0 for any other level.
int threadPriorityForLevel(int32_t level);

// The level of a Windows priority class: 0x100 -> 0; 0x80, 0x8000 -> 1; 0x20 -> 2;
// 0x4000, 0x40 -> 3; anything else -> 2.
int32_t levelForPriorityClass(uint32_t priorityClass);

// The affinity mask of processor n: bit (n mod 64).
uint64_t affinityMaskForProcessor(uint32_t n);

}  // namespace platform
