#pragma once
// Catches the process log for a test: a listener on [::1] (any free port unless given), a log
// sink aimed at it made the process-wide one, and the level set (7 unless given; -1 leaves
// logging off until setLevel). The destructor restores level -1 and switches sending off.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "terno/Socket.h"

class LogSink;

namespace logtest {

class LogCapture {
public:
    explicit LogCapture(int level = 7, uint16_t port = 0);
    ~LogCapture();
    bool ok() const { return ok_; }
    void setLevel(int level);
    // The sink this capture installed (a later install replaces it as the process's).
    LogSink& sink() { return *sink_; }
    // Whole datagrams as received (syslog header included), and where the last one came from.
    std::vector<std::string> datagrams();
    std::string sender() const { return sender_; }

    // Every line received since the last reset (the text after the syslog header), waiting
    // up to 200 ms for lines still on their way.
    std::vector<std::string> lines();
    bool contains(std::string_view text);
    // Forgets the lines received so far and sets the level.
    void reset(int level);

private:
    void receive(uint32_t firstWaitUs);
    TERNO::Socket listener_;
    std::shared_ptr<LogSink> sink_;
    std::vector<std::string> lines_, datagrams_;
    std::string sender_;
    bool ok_ = false;
};

}  // namespace logtest
