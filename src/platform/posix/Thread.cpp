// Thread scheduling on a POSIX kernel (Linux). Windows thread priorities become nice values of
// the calling thread. Windows lets every user raise a thread's priority; here raising needs
// privilege, so without it the thread goes as high as RLIMIT_NICE allows and the call still
// succeeds: the stand-in is best effort, as the calling code expects of Windows.

#include "platform/Thread.h"

#include "platform/posix/CpuTopology.h"

#include <dirent.h>
#include <errno.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace platform {

namespace {

pid_t threadId() { return static_cast<pid_t>(syscall(SYS_gettid)); }

int niceForThreadPriority(int priority) {
    if (priority >= 15) return -20;
    if (priority >= 2) return -10;
    if (priority > 0) return -5;
    if (priority == 0) return 0;
    if (priority > -15) return 5;
    return 19;
}

int threadPriorityForNice(int nice) {
    if (nice <= -20) return 15;   // THREAD_PRIORITY_TIME_CRITICAL
    if (nice <= -10) return 2;    // THREAD_PRIORITY_HIGHEST
    if (nice < 0) return 1;       // THREAD_PRIORITY_ABOVE_NORMAL
    if (nice == 0) return 0;      // THREAD_PRIORITY_NORMAL
    if (nice < 15) return -1;     // THREAD_PRIORITY_BELOW_NORMAL
    return -15;                   // THREAD_PRIORITY_IDLE
}

// The Windows priority class that best describes a process's scheduling.
uint32_t priorityClassFor(int nice, bool realtime) {
    if (realtime) return 0x100;
    if (nice <= -10) return 0x80;
    if (nice < 0) return 0x8000;
    if (nice == 0) return 0x20;
    if (nice < 10) return 0x4000;
    return 0x40;
}

// Moves every other thread of the process to the processors in allowed; errors are ignored.
void setOtherThreadsAffinity(const cpu_set_t& allowed) {
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) return;
    const pid_t self = threadId();
    while (const dirent* entry = readdir(tasks)) {
        const pid_t tid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (tid > 0 && tid != self) sched_setaffinity(tid, sizeof allowed, &allowed);
    }
    closedir(tasks);
}

}  // namespace

bool setThreadPriorityLevel(int32_t level) {
    const int nice = niceForThreadPriority(threadPriorityForLevel(level));
    const auto thread = static_cast<id_t>(threadId());
    if (setpriority(PRIO_PROCESS, thread, nice) == 0) return true;
    if (errno != EACCES && errno != EPERM) return false;
    // Not allowed that high: the highest this user may set (nice 20 - RLIMIT_NICE), if higher
    // than where the thread stands.
    rlimit limit{};
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, thread);
    if (getrlimit(RLIMIT_NICE, &limit) == 0 && errno == 0) {
        const long allowed = 20 - static_cast<long>(limit.rlim_cur == RLIM_INFINITY ? 40 : limit.rlim_cur);
        if (allowed < current) setpriority(PRIO_PROCESS, thread, static_cast<int>(std::max(allowed, long{nice})));
    }
    return true;
}

int currentThreadPriority() {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(threadId()));
    if (nice == -1 && errno != 0) return 0;
    return threadPriorityForNice(nice);
}

int32_t processPriorityLevel() {
    const pid_t process = getpid();
    const int policy = sched_getscheduler(process);
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(process));
    if (nice == -1 && errno != 0) return priorityLevelNormal;
    return levelForPriorityClass(priorityClassFor(nice, policy == SCHED_FIFO || policy == SCHED_RR));
}

bool pinToProcessor(uint32_t n) {
    const uint64_t mask = affinityMaskForProcessor(n);
    cpu_set_t thread;
    cpu_set_t others;
    CPU_ZERO(&thread);
    CPU_ZERO(&others);
    for (int cpu = 0; cpu < 64; ++cpu) {
        if (mask & (uint64_t{1} << cpu)) CPU_SET(cpu, &thread);
        else CPU_SET(cpu, &others);
    }
    if (sched_setaffinity(0, sizeof thread, &thread) != 0) return false;
    setOtherThreadsAffinity(others);
    return true;
}

uint32_t coreCount() {
    const uint32_t cores = posix::countCoresInTopology("/sys/devices/system/cpu");
    return cores != 0 ? cores : std::thread::hardware_concurrency();
}

int currentProcessor() { return sched_getcpu(); }

uint64_t threadCpuMicroseconds() {
    timespec used{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
    return static_cast<uint64_t>(used.tv_sec) * 1000000u + static_cast<uint64_t>(used.tv_nsec) / 1000u;
}

void sleepMilliseconds(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void yieldProcessor() { sched_yield(); }

}  // namespace platform
