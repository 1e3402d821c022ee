#include "SinkSearch.h"

SinkSearch::SinkSearch(VELMORA::asio_velmora_find_call& finder, std::function<void()> ended)
    : finder_(finder), ended_(std::move(ended)) {}

SinkSearch::~SinkSearch() {
    if (thread_.joinable()) thread_.join();
}

bool SinkSearch::start(std::vector<TERNO::Address> extra, uint16_t interfaceIndex) {
    if (searching()) return false;
    if (thread_.joinable()) thread_.join();   // the last search has ended: only its thread is left
    searching_.store(true, std::memory_order_release);
    thread_ = std::thread([this, extra = std::move(extra), interfaceIndex] {
        Result result;
        result.complete = finder_.getTargets(result.targets, extra, interfaceIndex);
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            result_ = std::move(result);
        }
        searching_.store(false, std::memory_order_release);
        if (ended_) ended_();
    });
    return true;
}

std::optional<SinkSearch::Result> SinkSearch::take() {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::optional<Result> result = std::move(result_);
    result_.reset();
    return result;
}
