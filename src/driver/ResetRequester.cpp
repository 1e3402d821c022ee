#include "driver/ResetRequester.h"

#include <system_error>

#include "log/LogLine.h"

namespace {
// The requester whose thread this is, if any.
thread_local const ResetRequester* requesterOf = nullptr;
}  // namespace

ResetRequester::~ResetRequester() {
    finish();
    // Left only when the host releases the driver from inside its own message, which no
    // driver can make safe (the thread returns into a destroyed object); detaching at
    // least does not end the process on the spot.
    if (thread_.joinable()) thread_.detach();
}

bool ResetRequester::onThread() const { return requesterOf == this; }

void ResetRequester::arm() {
    finish();
    std::lock_guard<std::mutex> lock(mutex_);
    finishing_ = false;
    pending_ = false;
}

void ResetRequester::request(Clock::time_point when) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (finishing_) return;
        pending_ = true;
        at_ = when;
        if (!thread_.joinable()) {
            try {
                thread_ = std::thread(&ResetRequester::run, this);
            } catch (const std::system_error&) {
                LogLine(3) << "reset request thread error";
                pending_ = false;
            }
        }
    }
    changed_.notify_all();
}

void ResetRequester::finish() {
    std::thread ending;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finishing_ = true;
        pending_ = false;
        if (!onThread()) ending = std::move(thread_);
    }
    changed_.notify_all();
    if (ending.joinable()) ending.join();
}

void ResetRequester::run() {
    requesterOf = this;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (finishing_) break;
        if (!pending_) {
            changed_.wait(lock);
            continue;
        }
        if (Clock::now() < at_) {
            changed_.wait_until(lock, at_);
            continue;
        }
        pending_ = false;
        lock.unlock();
        ask();
        lock.lock();
    }
    requesterOf = nullptr;
}

void ResetRequester::ask() {
    ASIOCallbacks* host = callbacks_.load(std::memory_order_acquire);
    if (!host || !host->asioMessage) return;
    if (host->asioMessage(kAsioSelectorSupported, kAsioResetRequest, nullptr, nullptr) == 0) {
        LogLine(6) << "host does not take kAsioResetRequest: callbacks go on";
        return;
    }
    sent_.fetch_add(1, std::memory_order_relaxed);
    LogLine(6) << "kAsioResetRequest";
    host->asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
}
