// Windows: the select wait ends on the system timer's tick (1 ms at best), far too coarse for
// cycles of a few hundred microseconds. In order of preference:
//  1. a high-resolution waitable timer (Windows 10 1803 and later) together with the socket's
//     read event (WSAEventSelect), one WaitForMultipleObjects for both;
//  2. where such a timer is not precise but NtDelayExecution sleeps to the microsecond (the
//     system's timer is fine-grained, as under Wine): select on the socket for all but the
//     last stretch, then sleep to the end;
//  3. select alone.
// prepare measures 1 and 2 with five short waits each and keeps the one that ends closer to
// its time, if it ends close enough; what it still overshoots by is spent spinning instead of
// sleeping. A timer that turns out to end its waits on a millisecond tick after all is given
// up for 2 while streaming (TimerWatch). A wait of no time asks the socket for the bytes
// waiting (FIONREAD), which under Wine costs one request to its server (ws2_32 sets its
// completion event there), not the round trips of a select.

#include "platform/DeadlineWait.h"

#include "platform/Clock.h"
#include "platform/win32/WaitChoice.h"

#include <winsock2.h>
#include <windows.h>

#include <algorithm>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace platform {

namespace {

using DelayExecution = LONG(WINAPI*)(BOOLEAN alertable, PLARGE_INTEGER interval);

constexpr uint32_t probeUs = 300;            // length of one calibration wait
constexpr uint32_t coarseGuardUs = 1500;     // the last stretch that select leaves to the sleep
constexpr uint32_t maxSpinTailUs = 100;      // the longest end of a wait spent spinning

// Relative due time in 100 ns units, as the timer and sleep calls take it.
LARGE_INTEGER relative(uint32_t us) {
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(us) * 10;
    return due;
}

bool timerWait(HANDLE timer, uint32_t us) {
    LARGE_INTEGER due = relative(us);
    return SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) &&
           WaitForSingleObject(timer, INFINITE) == WAIT_OBJECT_0;
}

void sleepFor(DelayExecution delay, uint32_t us) {
    LARGE_INTEGER interval = relative(us);
    delay(FALSE, &interval);
}

// Median lateness of five waits of probeUs.
template <typename Wait>
uint32_t overshoot(Wait wait) {
    uint32_t late[5];
    for (uint32_t& l : late) {
        const uint32_t start = nowMicroseconds();
        wait(probeUs);
        const uint32_t took = nowMicroseconds() - start;
        l = took > probeUs ? took - probeUs : 0;
    }
    std::sort(late, late + 5);
    return late[2];
}

int selectWait(SocketHandle socket, uint32_t us) { return waitReadable(socket, us / 1000000u, us % 1000000u); }

// Readable now: a datagram is waiting.
int pollReadable(SocketHandle socket) {
    u_long waiting = 0;
    if (ioctlsocket(static_cast<SOCKET>(socket), FIONREAD, &waiting) != 0) return selectWait(socket, 0);
    return waiting > 0 ? 1 : 0;
}

// Spins until `us` have passed since start, keeping the processor: a yield (SwitchToThread)
// hands it to any thread ready on it for as long as the scheduler lets that thread run, a
// millisecond and more on Linux under Wine, where a yielding thread is put back behind it.
void spinUntil(uint32_t start, uint32_t us) {
    while (nowMicroseconds() - start < us) YieldProcessor();
}

}  // namespace

struct DeadlineWait::State {
    SocketHandle socket = invalidSocket;
    PacedWaitKind method = PacedWaitKind::select;
    HANDLE timer = nullptr;
    WSAEVENT event = WSA_INVALID_EVENT;
    DelayExecution delay = nullptr;   // kept while the sleep is precise enough to fall back to
    uint32_t sleepLateUs = ~0u;       // the sleep's measured overshoot
    uint32_t spinTailUs = 0;          // the measured overshoot of the chosen wait
    TimerWatch timerWatch;
};

namespace {
void dropTimer(DeadlineWait::State& s) {
    if (s.timer) CloseHandle(s.timer);
    if (s.event != WSA_INVALID_EVENT) WSACloseEvent(s.event);
    s.timer = nullptr;
    s.event = WSA_INVALID_EVENT;
}

// Counts a wait the timer ended `overshootUs` late, and moves to the precise sleep when the
// timer proves coarse (and the sleep is precise; on Windows it runs on the system's tick).
void watchTimer(DeadlineWait::State& s, uint32_t overshootUs) {
    if (!s.timerWatch.coarseAfter(overshootUs) || !s.delay) return;
    dropTimer(s);
    s.method = PacedWaitKind::selectThenSleep;
    s.spinTailUs = std::min(s.sleepLateUs, maxSpinTailUs);
}
}  // namespace

DeadlineWait::DeadlineWait() = default;
DeadlineWait::~DeadlineWait() { release(); }

void DeadlineWait::prepare(SocketHandle socket) {
    release();
    state_ = std::make_unique<State>();
    State& s = *state_;
    s.socket = socket;
    if (plainWaitsOnly) return;

    // Both candidates are measured; choosePacedWait takes the more precise one.
    s.timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (s.timer) s.event = WSACreateEvent();
    const uint32_t timerLate = s.timer && s.event != WSA_INVALID_EVENT
                                   ? overshoot([&](uint32_t us) { timerWait(s.timer, us); })
                                   : ~0u;
    if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll"))
        s.delay = reinterpret_cast<DelayExecution>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtDelayExecution")));
    s.sleepLateUs = s.delay ? overshoot([&](uint32_t us) { sleepFor(s.delay, us); }) : ~0u;

    s.method = choosePacedWait(timerLate, s.sleepLateUs);
    s.spinTailUs = s.method == PacedWaitKind::select ? 0 : std::min({timerLate, s.sleepLateUs, maxSpinTailUs});
    if (s.method != PacedWaitKind::timerAndEvent) dropTimer(s);
    if (s.sleepLateUs > preciseEnoughUs) s.delay = nullptr;
}

void DeadlineWait::release() {
    if (!state_) return;
    dropTimer(*state_);
    state_.reset();
}

bool DeadlineWait::prepared() const { return state_ != nullptr; }

namespace {
// The timer and the socket's event are waited on only when the wait is longer than its spun
// tail; a shorter one only spins.
bool timerWatchesSocket(uint32_t timeoutUs, uint32_t spinTailUs) { return timeoutUs > spinTailUs; }
// select takes all but the last stretch of a wait long enough to leave the sleep its share.
bool selectComesFirst(uint32_t timeoutUs) { return timeoutUs > 2 * coarseGuardUs; }
}  // namespace

int DeadlineWait::wait(uint32_t timeoutUs, bool socketBlocking) {
    State& s = *state_;
    if (s.method == PacedWaitKind::select) return selectWait(s.socket, timeoutUs);
    if (timeoutUs == 0) return pollReadable(s.socket);
    const uint32_t start = nowMicroseconds();
    const uint32_t sleepUs = timeoutUs > s.spinTailUs ? timeoutUs - s.spinTailUs : 0;
    if (s.method == PacedWaitKind::timerAndEvent && timerWatchesSocket(timeoutUs, s.spinTailUs)) {
        const SOCKET socket = static_cast<SOCKET>(s.socket);
        // The event association makes the socket non-blocking; it lasts for this wait only.
        if (WSAEventSelect(socket, s.event, FD_READ) != 0) return -1;
        LARGE_INTEGER due = relative(sleepUs);
        DWORD woke = WAIT_FAILED;
        const uint32_t timerSet = nowMicroseconds();
        uint32_t timerSlept = 0;   // from setting the timer to the end of the wait
        if (SetWaitableTimer(s.timer, &due, 0, nullptr, nullptr, FALSE)) {
            HANDLE handles[2] = {s.event, s.timer};
            woke = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            timerSlept = nowMicroseconds() - timerSet;
        }
        WSAEventSelect(socket, nullptr, 0);
        WSAResetEvent(s.event);
        if (socketBlocking) {
            u_long off = 0;
            ioctlsocket(socket, FIONBIO, &off);
        }
        if (woke == WAIT_OBJECT_0) return 1;
        if (woke != WAIT_OBJECT_0 + 1) return -1;
        watchTimer(s, timerSlept > sleepUs ? timerSlept - sleepUs : 0);
    } else if (s.method == PacedWaitKind::selectThenSleep) {
        if (selectComesFirst(timeoutUs)) {
            const int ready = selectWait(s.socket, timeoutUs - coarseGuardUs);
            if (ready != 0) return ready;
        }
        const uint32_t elapsed = nowMicroseconds() - start;
        if (elapsed < sleepUs) sleepFor(s.delay, sleepUs - elapsed);
    }
    spinUntil(start, timeoutUs);
    return 0;
}

bool DeadlineWait::seesSocketAtStart(uint32_t timeoutUs) const {
    switch (state_->method) {
    case PacedWaitKind::select: return true;
    // WSAEventSelect sets the event at once when data is already there.
    case PacedWaitKind::timerAndEvent: return timerWatchesSocket(timeoutUs, state_->spinTailUs);
    case PacedWaitKind::selectThenSleep: return selectComesFirst(timeoutUs);
    }
    return false;
}

const char* DeadlineWait::method() const {
    if (!state_) return "select";
    switch (state_->method) {
    case PacedWaitKind::timerAndEvent: return "high-resolution timer and socket event, spinning at the end";
    case PacedWaitKind::selectThenSleep: return "select, then a precise sleep, spinning at the end";
    case PacedWaitKind::select: break;
    }
    return "select";
}

}  // namespace platform
