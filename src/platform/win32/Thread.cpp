// Thread scheduling through the Windows calls.

#include "platform/Thread.h"

#include <windows.h>

#include <vector>

namespace platform {

bool setThreadPriorityLevel(int32_t level) {
    return SetThreadPriority(GetCurrentThread(), threadPriorityForLevel(level)) != 0;
}

int currentThreadPriority() {
    const int priority = GetThreadPriority(GetCurrentThread());
    return priority == THREAD_PRIORITY_ERROR_RETURN ? 0 : priority;
}

int32_t processPriorityLevel() {
    // A failed call gives 0, which maps to normal.
    return levelForPriorityClass(GetPriorityClass(GetCurrentProcess()));
}

bool pinToProcessor(uint32_t n) {
    const uint64_t mask = affinityMaskForProcessor(n);
    if (SetThreadAffinityMask(GetCurrentThread(), static_cast<DWORD_PTR>(mask)) == 0) return false;
    SetProcessAffinityMask(GetCurrentProcess(), static_cast<DWORD_PTR>(~mask));
    return true;
}

uint32_t coreCount() {
    DWORD bytes = 0;
    if (GetLogicalProcessorInformation(nullptr, &bytes) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return 0;
    std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> records(bytes / sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION));
    bytes = static_cast<DWORD>(records.size() * sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION));
    if (!GetLogicalProcessorInformation(records.data(), &bytes)) return 0;
    uint32_t cores = 0;
    for (const auto& record : records)
        if (record.Relationship == RelationProcessorCore) ++cores;
    return cores;
}

int currentProcessor() { return static_cast<int>(GetCurrentProcessorNumber()); }

uint64_t threadCpuMicroseconds() {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
    auto ticks = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return (ticks(kernel) + ticks(user)) / 10;   // 100 ns units
}

void sleepMilliseconds(uint32_t ms) { Sleep(ms); }

void yieldProcessor() { Sleep(0); }

}  // namespace platform
