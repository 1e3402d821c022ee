// Building log lines: the buffer behind the header template, printf-style appends with
// truncation, and the hand-over to the process's sink.

#include "log/LogLine.h"

#include "log/LogHeader.h"
#include "log/LogSink.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace logging_detail {
std::atomic<int32_t> level{-1};
}

void setLogLevel(int32_t level) { logging_detail::level.store(level, std::memory_order_relaxed); }

void LogLine::start(int severity) {
    buffer_ = new (std::nothrow) char[1 + textCapacity];
    if (!buffer_) return;   // no memory: the line is dropped like one below the level
    const LogSinkUse sink;
    const uint32_t facility = sink.get() ? sink.get()->facility() : LogSink::driverFacility;
    buffer_[0] = static_cast<char>(static_cast<uint8_t>(facility * 8 + static_cast<uint32_t>(severity)));
    std::memcpy(buffer_ + 1, logheader::templateText, logheader::length + 1);
    length_ = logheader::length;
}

void LogLine::flush() {
    if (!buffer_) return;
    if (const LogSinkUse sink; sink.get()) sink.get()->send(static_cast<uint8_t>(buffer_[0]), buffer_ + 1);
    delete[] buffer_;
    buffer_ = nullptr;
    length_ = 0;
}

std::string_view LogLine::text() const {
    return buffer_ ? std::string_view(buffer_ + 1, length_) : std::string_view();
}

namespace {

// snprintf into the space left of the text area; keeps length at the bytes actually written.
template <typename... Args>
void appendFormatted(char* text, size_t& length, const char* format, Args... args) {
    const size_t space = LogLine::textCapacity - length;   // includes the terminating NUL
    if (space <= 1) return;
    const int wanted = std::snprintf(text + length, space, format, args...);
    if (wanted <= 0) return;
    length += (static_cast<size_t>(wanted) < space) ? static_cast<size_t>(wanted) : space - 1;
}

}  // namespace

void LogLine::appendText(const char* text) { appendFormatted(buffer_ + 1, length_, "%s", text); }
void LogLine::appendSigned(int64_t value) { appendFormatted(buffer_ + 1, length_, "%lld", static_cast<long long>(value)); }
void LogLine::appendUnsigned(uint64_t value) {
    appendFormatted(buffer_ + 1, length_, "%llu", static_cast<unsigned long long>(value));
}
void LogLine::appendDouble(double value) { appendFormatted(buffer_ + 1, length_, "%lf", value); }
