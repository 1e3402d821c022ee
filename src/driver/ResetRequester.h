#pragma once
// Asks the host for a reset: asioMessage (kAsioResetRequest) once the host has answered
// kAsioSelectorSupported for it. The call goes out from a thread of its own, so it is never
// made from inside a host callback nor from a thread that holds anything the host's answer
// may need. The thread starts with the first request of a run and is joined by finish().

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "com/Asio.h"

class ResetRequester {
public:
    using Clock = std::chrono::steady_clock;

    explicit ResetRequester(const std::atomic<ASIOCallbacks*>& callbacks) : callbacks_(callbacks) {}
    ~ResetRequester();
    ResetRequester(const ResetRequester&) = delete;
    ResetRequester& operator=(const ResetRequester&) = delete;

    // A new run may ask again; a thread that finish() could not join (it was called from
    // inside the host's message) is joined first. Not from the requester's own thread.
    void arm();
    // One reset request at `when`. Nothing after finish() until the next arm().
    void request(Clock::time_point when);
    // No more requests: a request not yet sent is dropped, the thread joined, unless this
    // is the requester's own thread (the host called stop from inside its message): then the
    // thread ends when the host's call returns, and arm() or the destructor joins it.
    void finish();
    // True on the requester's thread, i.e. inside the host's asioMessage.
    bool onThread() const;
    // Reset requests the host has been sent.
    uint64_t sent() const { return sent_.load(std::memory_order_relaxed); }

private:
    void run();
    void ask();

    const std::atomic<ASIOCallbacks*>& callbacks_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
    bool finishing_ = false;
    bool pending_ = false;
    Clock::time_point at_{};
    std::atomic<uint64_t> sent_{0};
};
