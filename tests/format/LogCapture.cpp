#include "LogCapture.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "log/LogLine.h"

namespace {
std::mutex captureMutex;
std::vector<std::string> captured;
}

namespace logging_detail {
std::atomic<int32_t> level{-1};
}

void setLogLevel(int32_t level) { logging_detail::level.store(level, std::memory_order_relaxed); }

void LogLine::start(int severity) {
    buffer_ = new char[textCapacity + 2];
    buffer_[0] = static_cast<char>(severity);
    buffer_[1] = '\0';
    length_ = 0;
}

void LogLine::appendText(const char* text) {
    const size_t room = textCapacity - length_;
    const size_t n = std::min(std::strlen(text), room);
    std::memcpy(buffer_ + 1 + length_, text, n);
    length_ += n;
    buffer_[1 + length_] = '\0';
}

void LogLine::appendSigned(int64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRId64, value);
    appendText(text);
}

void LogLine::appendUnsigned(uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRIu64, value);
    appendText(text);
}

void LogLine::appendDouble(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", value);
    appendText(text);
}

std::string_view LogLine::text() const {
    return buffer_ ? std::string_view(buffer_ + 1, length_) : std::string_view();
}

void LogLine::flush() {
    if (!buffer_) return;
    {
        std::lock_guard lock(captureMutex);
        captured.emplace_back(buffer_ + 1, length_);
    }
    delete[] buffer_;
    buffer_ = nullptr;
    length_ = 0;
}

namespace logcapture {

void reset(int level) {
    std::lock_guard lock(captureMutex);
    captured.clear();
    setLogLevel(level);
}

std::vector<std::string> lines() {
    std::lock_guard lock(captureMutex);
    return captured;
}

}  // namespace logcapture
