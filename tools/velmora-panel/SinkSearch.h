#pragma once
// Runs the driver's finder on a thread of its own, one search at a time, so that the dialog
// stays responsive while discovery waits for answers.

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "find/FinderObject.h"

class SinkSearch {
public:
    struct Result {
        bool complete = false;   // discovery ran to the end (also with nothing found)
        VELMORA::TargetMap targets;
    };

    // finder outlives this object. ended is called on the search thread when a search has
    // ended and its result can be taken (the dialog posts itself a message there).
    SinkSearch(VELMORA::asio_velmora_find_call& finder, std::function<void()> ended);
    ~SinkSearch();   // waits for a running search
    SinkSearch(const SinkSearch&) = delete;
    SinkSearch& operator=(const SinkSearch&) = delete;

    // Starts a search with the driver's FindIP addresses and Interface index. False while one
    // still runs (nothing started).
    bool start(std::vector<TERNO::Address> extra, uint16_t interfaceIndex);

    bool searching() const { return searching_.load(std::memory_order_acquire); }

    // The result of the search that ended, once; nothing before it has ended.
    std::optional<Result> take();

private:
    VELMORA::asio_velmora_find_call& finder_;
    std::function<void()> ended_;
    std::atomic<bool> searching_{false};
    std::mutex mutex_;               // guards result_
    std::optional<Result> result_;
    std::thread thread_;
};
