#pragma once
// The process log: one line per message, built only when its severity passes the
// process-wide level, sent as one syslog-style datagram by the process's LogSink.
//
//   LogLine(6) << "start SPEED=" << rate;      // sent when the temporary ends
//
// Severities: 3 error, 4 warning, 6 information, 7 detail.

#include <atomic>
#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>

namespace logging_detail {
// Process-wide level; -1 logs nothing. Relaxed: a stale read only drops or sends one line.
extern std::atomic<int32_t> level;
}

inline int32_t logLevel() { return logging_detail::level.load(std::memory_order_relaxed); }
void setLogLevel(int32_t level);

class LogLine {
public:
    static constexpr size_t textCapacity = 2048;   // bytes of text after the priority byte

    // begin: allocates only when the severity passes the level (one comparison otherwise).
    explicit LogLine(int severity) {
        if ((severity & 7) <= logLevel()) start(severity & 7);
    }
    ~LogLine() { flush(); }
    LogLine(const LogLine&) = delete;
    LogLine& operator=(const LogLine&) = delete;

    bool active() const { return buffer_ != nullptr; }

    LogLine& operator<<(const char* text) { if (buffer_) appendText(text ? text : "(null)"); return *this; }
    LogLine& operator<<(const std::string& text) { if (buffer_) appendText(text.c_str()); return *this; }
    LogLine& operator<<(double value) { if (buffer_) appendDouble(value); return *this; }
    template <std::integral T>
    LogLine& operator<<(T value) {
        if (buffer_) {
            if constexpr (std::is_signed_v<T>) appendSigned(static_cast<int64_t>(value));
            else appendUnsigned(static_cast<uint64_t>(value));
        }
        return *this;
    }

    // end: sends the line (if it was built and a sink exists) and frees the buffer.
    void flush();

    // The text built so far (after the priority byte); empty when the line is inactive.
    std::string_view text() const;

private:
    void start(int severity);
    void appendText(const char* text);
    void appendSigned(int64_t value);
    void appendUnsigned(uint64_t value);
    void appendDouble(double value);

    char* buffer_ = nullptr;   // [0] priority, [1..2048] NUL-terminated text
    size_t length_ = 0;        // bytes of text used
};
