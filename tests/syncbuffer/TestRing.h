#pragma once
// A SyncBuffer that runs without a network. The test thread plays the Sync worker
// (calling getNewStream and streamSent); startWorker is replaced by a stand-in that
// only moves the session state the way the real worker does: streaming at once,
// and ended when the session is asked to disconnect or close. fillBlock stamps each
// block with its fill number (1, 2, ...) and can be held at a gate.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "syncbuffer/SyncBuffer.h"

namespace syncbuffer_test {

using Clock = std::chrono::steady_clock;
constexpr auto patience = std::chrono::seconds(5);

// Polls cond every millisecond for at most `patience`.
template <class Cond>
bool eventually(Cond cond) {
    const auto end = Clock::now() + patience;
    while (!cond()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

constexpr uint64_t pcm16Stereo = 0x0000'000A'0000'0202ull;   // 2 ch, int16, 44.1 kHz
constexpr uint64_t dsd64Stereo = 0x0000'0202'0000'0002ull;    // 2 ch, 44.1 kHz x64, no layout yet

class TestRing : public VELMORA::SyncBuffer {
public:
    explicit TestRing(bool gated = false) : gated_(gated) {
        hostFormat = VELMORA::StreamFormat(pcm16Stereo);
        sinkFormat = hostFormat;
    }
    ~TestRing() override {
        openGate(1u << 30);
        close();   // before this class goes, so the buffer worker never sees it half destroyed
    }

    void fillBlock(std::vector<uint8_t>& block, bool afterSend) override {
        std::unique_lock<std::mutex> lock(mutex_);
        afterSends_.push_back(afterSend);
        const auto number = static_cast<uint8_t>(afterSends_.size());
        changed_.notify_all();
        if (gated_) {
            changed_.wait_for(lock, patience, [&] { return allowed_ >= afterSends_.size(); });
        }
        std::fill(block.begin(), block.end(), number);
    }

    bool startWorker() override {
        worker = std::thread([this] {
            setState(VELMORA::stateStreaming);
            const auto end = Clock::now() + patience * 2;
            while (state.load() == VELMORA::stateStreaming && Clock::now() < end) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            setState(VELMORA::stateIdle);
        });
        return true;
    }

    // The Sync worker ends on its own (the sink went away).
    void endSession() { setState(VELMORA::stateIdle); }

    // Lets fills up to number `count` complete.
    void openGate(size_t count) {
        std::lock_guard<std::mutex> lock(mutex_);
        allowed_ = count;
        changed_.notify_all();
    }
    // Waits until fill number `count` has begun.
    bool fillStarted(size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, patience, [&] { return afterSends_.size() >= count; });
    }
    std::vector<bool> afterSends() {
        std::lock_guard<std::mutex> lock(mutex_);
        return afterSends_;
    }

private:
    const bool gated_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<bool> afterSends_;
    size_t allowed_ = 0;
};

// True when every byte of the handed-out block is `value`.
inline bool filledWith(const VELMORA::StreamBlock& b, uint8_t value) {
    return b.data != nullptr && std::all_of(b.data, b.data + b.size, [&](uint8_t x) { return x == value; });
}

}  // namespace syncbuffer_test
